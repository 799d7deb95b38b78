// quillon-cli: the command list of a driver log, from the command line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli/CliOutput.h"
#include "cli/DiffCommand.h"
#include "core/CommandStatistics.h"
#include "core/DriverCommands.h"
#include "core/Errors.h"
#include "core/LogLoader.h"
#include "core/Translate.h"
#include "parser/CommandDetails.h"
#include "parser/CommandFilter.h"
#include "parser/CommandParser.h"
#ifdef QUILLON_WITH_DEVICES
#include "cli/DeviceCommands.h"
#include "cli/EmulateCommand.h"
#endif

namespace {

using namespace quillon;

// Collects output and writes it to stdout in large blocks.
class TOutput {
 public:
  TOutput() {
#ifdef F_SETPIPE_SZ
    // A larger pipe lets the reader on the other end take the text in fewer, larger reads.
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode))
      ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
#endif
  }
  ~TOutput() {
    Flush();
  }
  std::string& Buffer() {
    return FBuffer;
  }
  void MaybeFlush() {
    if (FBuffer.size() >= (1 << 16)) Flush();
  }
  void Flush() {
    if (!FBuffer.empty()) std::fwrite(FBuffer.data(), 1, FBuffer.size(), stdout);
    FBuffer.clear();
  }

 private:
  std::string FBuffer;
};

void PrintDiagnostics(const std::vector<TParseDiagnostic>& diagnostics) {
  for (const auto& d : diagnostics)
    std::fprintf(stderr, "line %lld: %s\n", static_cast<long long>(d.LineNumber),
                 d.Message.c_str());
}

// A read error midway ends the program as a failure once what was read is out.
void CheckRead(const TLogLoadResult& result) {
  if (!result.ReadError.empty()) throw EQuillonError(result.ReadError);
}

// The filter of --filter; a bad expression is told on stderr and gives false.
bool ParseFilter(const std::string& expression, TCommandFilter& filter) {
  try {
    filter = TCommandFilter::Parse(expression);
    return true;
  } catch (const EFilterError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return false;
  }
}

int RunList(const std::string& fileName, bool json, const TCommandFilter& filter) {
  TOutput out;
  TLogLoadResult result = LoadLogFormatted(
      TLogSource::File(fileName),
      [json, &filter](TCommand& command, std::uint64_t number, std::string& text) {
        if (!filter.Matches(command, number)) return;
        cli::TCommandTexts texts;
        if (json) {
          TCommandTexts decoded;
          texts.Summary = GetCommandShortValue(command, &decoded);
          texts.Request = std::move(decoded.Request);
          texts.Answer = std::move(decoded.Answer);
          cli::AppendJsonLine(text, number, command, texts);
        } else {
          texts.Summary = GetCommandShortValue(command);
          cli::AppendListLine(text, number, command, texts);
        }
      },
      [&out](std::string_view text) {
        out.Buffer() += text;
        out.MaybeFlush();
      });
  out.Flush();
  std::fflush(stdout);
  CheckRead(result);
  PrintDiagnostics(result.Diagnostics);
  return 0;
}

int RunShow(const std::string& fileName, std::uint64_t wanted, bool json) {
  std::string details;
  TLogLoadResult result =
      LoadLog(TLogSource::File(fileName), [&](TCommand& command, std::uint64_t number) {
        if (number != wanted) return;
        if (json)
          cli::AppendShowJson(details, command);
        else
          details = FormatCommandDetails(command);
      });
  CheckRead(result);
  const std::uint64_t number = result.Commands;
  if (wanted == 0 || wanted > number) {
    std::fprintf(stderr, "В журнале %llu команд, команды %llu нет\n",
                 static_cast<unsigned long long>(number), static_cast<unsigned long long>(wanted));
    return 2;
  }
  std::fwrite(details.data(), 1, details.size(), stdout);
  std::fflush(stdout);
  PrintDiagnostics(result.Diagnostics);
  return 0;
}

int RunSave(const std::string& fileName, const std::string& outName) {
  std::FILE* out = std::fopen(outName.c_str(), "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "Не удалось создать файл \"%s\": %s\n", outName.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::string buffer;
  TLogLoadResult result;
  try {
    result = LoadLog(TLogSource::File(fileName), [&](TCommand& command, std::uint64_t) {
      AppendSavedCommand(buffer, command);
      if (buffer.size() >= (1 << 16)) {
        std::fwrite(buffer.data(), 1, buffer.size(), out);
        buffer.clear();
      }
    });
    CheckRead(result);
  } catch (...) {
    std::fclose(out);
    throw;
  }
  std::fwrite(buffer.data(), 1, buffer.size(), out);
  bool ok = std::ferror(out) == 0;
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "Ошибка записи файла \"%s\"\n", outName.c_str());
    return 1;
  }
  PrintDiagnostics(result.Diagnostics);
  return 0;
}

// Every count is over the commands that the filter lets through.
int RunStats(const std::string& fileName, const TCommandFilter& filter) {
  TCommandStatistics statistics;
  TLogLoadResult result =
      LoadLog(TLogSource::File(fileName), [&](TCommand& command, std::uint64_t number) {
        if (filter.Matches(command, number)) statistics.Add(command);
      });
  CheckRead(result);
  TOutput out;
  std::string& s = out.Buffer();
  s += "Строк прочитано\t" + std::to_string(result.Lines) + "\n";
  s += "Команд\t" + std::to_string(statistics.Commands()) + "\n";
  s += "С ошибкой\t" + std::to_string(statistics.Failed()) + "\n";
  s += "Без ответа\t" + std::to_string(statistics.Unanswered()) + "\n";
  s += "Диагностик\t" + std::to_string(result.Diagnostics.size()) + "\n";
  s += "\nКоманда\tЧисло\tС ошибкой";
  for (const char* header : {"Ответ мин, мс", "Медиана, мс", "95%, мс", "Макс, мс"})
    s += "\t" + Tr(header);
  s += "\n";
  for (const TCodeStatistics& row : statistics.Rows()) {
    cli::AppendEscaped(s, row.Name);
    s += "\t" + std::to_string(row.Count) + "\t" + std::to_string(row.Failed);
    if (const std::optional<TResponseSummary>& r = row.Response) {
      for (std::int64_t ms : {r->MinMs, r->MedianMs, r->P95Ms, r->MaxMs})
        s += "\t" + std::to_string(ms);
    } else {
      s += "\t\t\t\t";  // no response times: empty cells
    }
    s += "\n";
  }
  out.Flush();
  std::fflush(stdout);
  PrintDiagnostics(result.Diagnostics);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  CLI::App app{"Quillon: разбор журналов драйвера ККТ"};
  app.require_subcommand(1);

  std::string fileName;
  bool json = false;
  auto* list = app.add_subcommand("list", "Список команд журнала");
  list->add_flag("--json", json, "JSON Lines: один объект на команду");
  std::string listFilter;
  list->add_option("--filter", listFilter, "Только команды, подходящие под выражение фильтра")
      ->type_name("EXPR");
  list->add_option("LOGFILE", fileName, "Файл журнала")->required();

  std::string statsFile;
  auto* stats = app.add_subcommand("stats", "Сводка по журналу");
  std::string statsFilter;
  stats->add_option("--filter", statsFilter, "Сводка только по командам, подходящим под фильтр")
      ->type_name("EXPR");
  stats->add_option("LOGFILE", statsFile, "Файл журнала")->required();

  std::string showFile;
  std::uint64_t showNumber = 0;
  auto* show = app.add_subcommand("show", "Подробности команды с номером N (с 1)");
  bool showJson = false;
  show->add_flag("--json", showJson, "JSON: поля запроса и ответа и их байты");
  show->add_option("LOGFILE", showFile, "Файл журнала")->required();
  show->add_option("N", showNumber, "Номер команды")->required();

  std::string saveFile, saveOut;
  auto* save = app.add_subcommand("save", "Сохранить список команд в текстовый файл");
  save->add_option("LOGFILE", saveFile, "Файл журнала")->required();
  save->add_option("OUTFILE", saveOut, "Файл для сохранения")->required();

  const cli::TSubcommand diff = cli::AddDiffCommand(app);

#ifdef QUILLON_WITH_DEVICES
  std::vector<cli::TSubcommand> deviceCommands = cli::AddDeviceCommands(app);
  for (cli::TSubcommand& command : cli::AddEmulateCommand(app))
    deviceCommands.push_back(std::move(command));
#endif

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  try {
    TCommandFilter filter;
    if (*list) return ParseFilter(listFilter, filter) ? RunList(fileName, json, filter) : 2;
    if (*stats) return ParseFilter(statsFilter, filter) ? RunStats(statsFile, filter) : 2;
    if (*show) return RunShow(showFile, showNumber, showJson);
    if (*save) return RunSave(saveFile, saveOut);
    if (*diff.App) return diff.Run();
#ifdef QUILLON_WITH_DEVICES
    for (const cli::TSubcommand& command : deviceCommands)
      if (*command.App) return command.Run();
#endif
  } catch (const EQuillonError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 2;
}
