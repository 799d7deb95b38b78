// quillon-cli: the command list of a driver log, from the command line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli/CliOutput.h"
#include "cli/DiffCommand.h"
#include "cli/Subcommand.h"
#include "core/CommandStatistics.h"
#include "core/DriverCommands.h"
#include "core/Errors.h"
#include "core/LogFollower.h"
#include "core/LogLoader.h"
#include "core/Translate.h"
#include "core/Version.h"
#include "parser/CommandDetails.h"
#include "parser/CommandFilter.h"
#include "parser/CommandParser.h"
#include "parser/ShortValueFormat.h"
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

// The diagnostics from number `from` (0-based) on.
void PrintDiagnostics(const std::vector<TParseDiagnostic>& diagnostics, std::size_t from = 0) {
  for (std::size_t i = from; i < diagnostics.size(); ++i)
    std::fprintf(stderr, "line %lld: %s\n", static_cast<long long>(diagnostics[i].LineNumber),
                 diagnostics[i].Message.c_str());
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

struct TListOptions {
  std::string FileName;
  TLogEncoding Encoding = TLogEncoding::Auto;
  bool Json = false;
  bool Follow = false;
};

// The line of list (or list --json) for a command the filter lets through.
void AppendListed(std::string& text, TCommand& command, std::uint64_t number, bool json,
                  const TCommandFilter& filter) {
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
}

// Ctrl+C and a termination request, turned into a flag while an object lives.
class TInterruptFlag {
 public:
  TInterruptFlag() {
    struct sigaction action {};
    action.sa_handler = &TInterruptFlag::OnSignal;
    sigemptyset(&action.sa_mask);
    // Writes go on after the signal; the waits between polls end early (poll never restarts).
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &FOldInt);
    sigaction(SIGTERM, &action, &FOldTerm);
  }
  ~TInterruptFlag() {
    sigaction(SIGINT, &FOldInt, nullptr);
    sigaction(SIGTERM, &FOldTerm, nullptr);
  }
  TInterruptFlag(const TInterruptFlag&) = delete;
  TInterruptFlag& operator=(const TInterruptFlag&) = delete;

  static const std::atomic<bool>& Raised() { return FRaised; }

 private:
  static void OnSignal(int) { FRaised.store(true); }
  static inline std::atomic<bool> FRaised{false};
  struct sigaction FOldInt {};
  struct sigaction FOldTerm {};
};

// How often a followed log is looked at, and how long the last command waits, once it has
// an answer, for lines that would still change it before it is printed.
constexpr int kFollowPollMs = 200;
constexpr std::chrono::milliseconds kFollowSettle{1000};

// list --follow: the list, then the commands appended to the log, until Ctrl+C. A file
// that is truncated or replaced is read again from its start, after a note on stderr.
int RunFollow(const TListOptions& options, const TCommandFilter& filter) {
  TInterruptFlag interrupt;
  const std::atomic<bool>& stop = TInterruptFlag::Raised();
  TLogLoadControl control;
  control.Cancel = &stop;
  for (;;) {
    TOutput out;
    std::uint64_t printed = 0;  // the last number printed
    auto print = [&](TCommand& command, std::uint64_t number) {
      if (number <= printed) return;  // printed before it was final
      printed = number;
      AppendListed(out.Buffer(), command, number, options.Json, filter);
      out.MaybeFlush();
    };
    TLogFollower follower(options.FileName, options.Encoding, print);
    std::size_t diagnostics = 0;
    auto flush = [&] {
      out.Flush();
      std::fflush(stdout);
      PrintDiagnostics(follower.Diagnostics(), diagnostics);
      diagnostics = follower.Diagnostics().size();
    };
    auto lastLine = std::chrono::steady_clock::now();
    bool cancelled = false;
    TFollowChange change = TFollowChange::None;
    while (!stop.load()) {
      const TFollowPoll poll = follower.Poll(control);
      cancelled = poll.Cancelled;
      change = poll.Change;
      if (change == TFollowChange::Truncated || change == TFollowChange::Replaced) break;
      const auto now = std::chrono::steady_clock::now();
      if (poll.Lines > 0) {
        lastLine = now;
      } else if (now - lastLine >= kFollowSettle && follower.FinalCommands() + 1 > printed) {
        TCommand* open = follower.OpenCommand();
        if (open != nullptr && !open->AnswerData().empty())
          print(*open, follower.FinalCommands() + 1);
      }
      flush();
      if (!stop.load()) ::poll(nullptr, 0, kFollowPollMs);
    }
    if (change == TFollowChange::None || change == TFollowChange::Appended) {
      // Stopped: the last command as the end of the log leaves it, unless the stop came
      // before the log was read through.
      if (!cancelled) follower.Finish();
      flush();
      return cli::kExitInterrupted;
    }
    flush();
    const std::string& note = change == TFollowChange::Truncated
                                  ? Tr("Файл журнала усечён, читаю заново")
                                  : Tr("Файл журнала заменён, читаю заново");
    std::fprintf(stderr, "%s\n", note.c_str());
  }
}

int RunList(const TListOptions& options, const TCommandFilter& filter) {
  if (options.Follow) return RunFollow(options, filter);
  const bool json = options.Json;
  TOutput out;
  TLogLoadResult result = LoadLogFormatted(
      TLogSource::File(options.FileName, options.Encoding),
      [json, &filter](TCommand& command, std::uint64_t number, std::string& text) {
        AppendListed(text, command, number, json, filter);
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

int RunShow(const std::string& fileName, TLogEncoding encoding, std::uint64_t wanted, bool json) {
  std::string details;
  TLogLoadResult result =
      LoadLog(TLogSource::File(fileName, encoding), [&](TCommand& command, std::uint64_t number) {
        if (number != wanted) return;
        if (json)
          cli::AppendShowJson(details, command);
        else
          details = FormatCommandDetails(command);
      });
  CheckRead(result);
  const std::uint64_t number = result.Commands;
  if (wanted == 0 || wanted > number) {
    const std::string message = FormatShortValue(Tr("В журнале %s команд, команды %s нет"),
                                                 {std::to_string(number), std::to_string(wanted)});
    std::fprintf(stderr, "%s\n", message.c_str());
    return 2;
  }
  std::fwrite(details.data(), 1, details.size(), stdout);
  std::fflush(stdout);
  PrintDiagnostics(result.Diagnostics);
  return 0;
}

int RunSave(const std::string& fileName, TLogEncoding encoding, const std::string& outName) {
  std::FILE* out = std::fopen(outName.c_str(), "wb");
  if (out == nullptr) {
    cli::PrintCreateError(outName);
    return 1;
  }
  std::string buffer;
  TLogLoadResult result;
  try {
    result = LoadLog(TLogSource::File(fileName, encoding), [&](TCommand& command, std::uint64_t) {
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
    cli::PrintWriteError(outName);
    return 1;
  }
  PrintDiagnostics(result.Diagnostics);
  return 0;
}

// Every count is over the commands that the filter lets through.
int RunStats(const std::string& fileName, TLogEncoding encoding, const TCommandFilter& filter) {
  TCommandStatistics statistics;
  TLogLoadResult result =
      LoadLog(TLogSource::File(fileName, encoding), [&](TCommand& command, std::uint64_t number) {
        if (filter.Matches(command, number)) statistics.Add(command);
      });
  CheckRead(result);
  TOutput out;
  std::string& s = out.Buffer();
  auto count = [&s](const char* title, std::uint64_t value) {
    s += Tr(title);
    s += "\t" + std::to_string(value) + "\n";
  };
  count(N_("Строк прочитано"), result.Lines);
  count(N_("Команд"), statistics.Commands());
  count(N_("С ошибкой"), statistics.Failed());
  count(N_("Без ответа"), statistics.Unanswered());
  count(N_("Диагностик"), result.Diagnostics.size());
  s += "\n";
  for (const char* title : kStatisticsColumns) {
    if (title != kStatisticsColumns[0]) s += "\t";
    s += Tr(title);
  }
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
  SetLanguage("");
  CLI::App app{Tr("Quillon: разбор журналов драйвера ККТ")};
  app.require_subcommand(1);
  app.set_version_flag("--version", "quillon-cli " + QuillonVersion(), Tr("Версия программы"));

  // One encoding for whichever command reads a log: only one runs.
  TLogEncoding encoding = TLogEncoding::Auto;
  TListOptions listOptions;
  auto* list = app.add_subcommand("list", Tr("Список команд журнала"));
  list->add_flag("--json", listOptions.Json, Tr("JSON Lines: один объект на команду"));
  std::string listFilter;
  list->add_option("--filter", listFilter, Tr("Только команды, подходящие под выражение фильтра"))
      ->type_name("EXPR");
  list->add_flag("--follow", listOptions.Follow,
                 Tr("Следить за журналом: выводить дописываемые команды до Ctrl+C"));
  cli::AddEncodingOption(*list, encoding);
  list->add_option("LOGFILE", listOptions.FileName, Tr("Файл журнала"))->required();

  std::string statsFile;
  auto* stats = app.add_subcommand("stats", Tr("Сводка по журналу"));
  std::string statsFilter;
  stats->add_option("--filter", statsFilter, Tr("Сводка только по командам, подходящим под фильтр"))
      ->type_name("EXPR");
  cli::AddEncodingOption(*stats, encoding);
  stats->add_option("LOGFILE", statsFile, Tr("Файл журнала"))->required();

  std::string showFile;
  std::uint64_t showNumber = 0;
  auto* show = app.add_subcommand("show", Tr("Подробности команды с номером N (с 1)"));
  bool showJson = false;
  show->add_flag("--json", showJson, Tr("JSON: поля запроса и ответа и их байты"));
  show->add_option("LOGFILE", showFile, Tr("Файл журнала"))->required();
  show->add_option("N", showNumber, Tr("Номер команды"))->required();
  cli::AddEncodingOption(*show, encoding);

  std::string saveFile, saveOut;
  auto* save = app.add_subcommand("save", Tr("Сохранить список команд в текстовый файл"));
  save->add_option("LOGFILE", saveFile, Tr("Файл журнала"))->required();
  save->add_option("OUTFILE", saveOut, Tr("Файл для сохранения"))->required();
  cli::AddEncodingOption(*save, encoding);

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
    listOptions.Encoding = encoding;
    if (*list) return ParseFilter(listFilter, filter) ? RunList(listOptions, filter) : 2;
    if (*stats) return ParseFilter(statsFilter, filter) ? RunStats(statsFile, encoding, filter) : 2;
    if (*show) return RunShow(showFile, encoding, showNumber, showJson);
    if (*save) return RunSave(saveFile, encoding, saveOut);
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
