#include "cli/DiffCommand.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "cli/CliOutput.h"
#include "core/Errors.h"
#include "core/JsonText.h"
#include "core/LogLoader.h"
#include "parser/ShortValueFormat.h"

namespace quillon::cli {

TVolatileFields VolatileFieldsWith(const std::vector<std::string>& names) {
  TVolatileFields fields;
  for (const std::string& name : names) fields.Add(name);
  return fields;
}

std::string VerdictCountsLine(const TVerdictCounts& counts) {
  return FormatShortValue(
      Tr("Сравнение: совпадает %s, другой результат %s, другие данные %s, "
         "нет ответа в журнале %s, не воспроизведена %s"),
      {std::to_string(counts[avSame]), std::to_string(counts[avResultDiffers]),
       std::to_string(counts[avDataDiffers]), std::to_string(counts[avNoLoggedAnswer]),
       std::to_string(counts[avNotPlayed])});
}

TReportFile::~TReportFile() {
  if (FFile != nullptr) std::fclose(FFile);
}

bool TReportFile::Open(const std::string& fileName) {
  FName = fileName;
  FFile = std::fopen(fileName.c_str(), "wb");
  if (FFile != nullptr) return true;
  PrintCreateError(fileName);
  return false;
}

void TReportFile::MaybeFlush() {
  if (FBuffer.size() < (1 << 16)) return;
  std::fwrite(FBuffer.data(), 1, FBuffer.size(), FFile);
  FBuffer.clear();
}

bool TReportFile::Close() {
  if (FFile == nullptr) return true;
  std::fwrite(FBuffer.data(), 1, FBuffer.size(), FFile);
  FBuffer.clear();
  bool ok = std::ferror(FFile) == 0;
  ok = std::fclose(FFile) == 0 && ok;
  FFile = nullptr;
  if (!ok) PrintWriteError(FName);
  return ok;
}

namespace {

// How far ahead the pairing looks for a command's partner.
constexpr std::size_t kLookAhead = 1000;

// One step of the pairing: both commands, or one only in its log. Numbers from 1, 0 none.
struct TPairing {
  std::size_t A = 0;
  std::size_t B = 0;
};

// The requests of a log with their hashes, for the pairing to compare quickly.
struct TRequests {
  explicit TRequests(const TCommandList& commands) : List(commands) {
    Hashes.reserve(commands.Count());
    for (const auto& command : commands)
      Hashes.push_back(std::hash<std::string>{}(command->TxData()));
  }
  bool Same(std::size_t i, const TRequests& other, std::size_t k) const {
    return Hashes[i] == other.Hashes[k] && List[i].TxData() == other.List[k].TxData();
  }
  // The first command from `from` (within the look-ahead) whose request is that of
  // other's command k; Count() when none.
  std::size_t Find(std::size_t from, const TRequests& other, std::size_t k) const {
    const std::size_t end = std::min(List.Count(), from + kLookAhead);
    for (std::size_t i = from; i < end; ++i)
      if (Same(i, other, k)) return i;
    return List.Count();
  }
  const TCommandList& List;
  std::vector<std::size_t> Hashes;
};

// Pairs the commands of A and B by their requests, in order. Greedy with a bounded
// look-ahead rather than a longest common subsequence: the logs to compare are mostly the
// same commands with a few missing or extra, which this finds in about linear time, where
// an exact alignment would cost the product of the two lengths (or a large search) on
// logs of a hundred thousand commands. At each step: equal requests pair. Otherwise the
// partner of A's command is looked for ahead in B and the partner of B's command ahead in
// A; whichever side has its partner nearer keeps its command and the other side's command
// is reported alone (A's on a tie, or when neither has a partner ahead, both).
std::vector<TPairing> PairCommands(const TCommandList& a, const TCommandList& b) {
  const TRequests ra(a), rb(b);
  std::vector<TPairing> pairs;
  std::size_t i = 0, j = 0;
  while (i < a.Count() && j < b.Count()) {
    if (ra.Same(i, rb, j)) {
      pairs.push_back({++i, ++j});
      continue;
    }
    const std::size_t k = rb.Find(j + 1, ra, i);  // A's command ahead in B
    const std::size_t m = ra.Find(i + 1, rb, j);  // B's command ahead in A
    const bool inB = k < b.Count(), inA = m < a.Count();
    if (inB && (!inA || k - j < m - i)) {
      pairs.push_back({0, ++j});
    } else {
      pairs.push_back({++i, 0});
      if (!inA && !inB) pairs.push_back({0, ++j});
    }
  }
  while (i < a.Count()) pairs.push_back({++i, 0});
  while (j < b.Count()) pairs.push_back({0, ++j});
  return pairs;
}

void AppendNumber(std::string& out, std::string_view key, std::size_t number) {
  AppendJsonKey(out, key);
  out += number == 0 ? "null" : std::to_string(number);
}

void AppendOnlyInJson(std::string& out, const TCommand& command, bool inA) {
  AppendJsonKey(out, "verdict");
  AppendJsonString(out, inA ? "only_in_a" : "only_in_b");
  const std::string result =
      command.AnswerData().empty() ? "null" : std::to_string(command.ResCode());
  AppendJsonKey(out, "result_logged");
  out += inA ? result : "null";
  AppendJsonKey(out, "result_played");
  out += inA ? "null" : result;
  AppendJsonKey(out, "fields");
  out += "[]";
}

std::string DiffVerdictText(TAnswerVerdict verdict) {
  // Logged is A, played is B here.
  if (verdict == avNoLoggedAnswer) return Tr("нет ответа в A");
  if (verdict == avNotPlayed) return Tr("нет ответа в B");
  return AnswerVerdictText(verdict);
}

// A TAB B TAB name TAB verdict TAB field: A's value -> B's value; ... (volatile fields left
// out); LF. A number is "-" when the command is not in that log.
void AppendDiffLine(std::string& out, const TPairing& pair, const TCommand& command,
                    std::string_view verdict, const TAnswerComparison* comparison) {
  out += pair.A == 0 ? "-" : std::to_string(pair.A);
  out.push_back('\t');
  out += pair.B == 0 ? "-" : std::to_string(pair.B);
  out.push_back('\t');
  AppendEscaped(out, command.CommandName());
  out.push_back('\t');
  out += verdict;
  out.push_back('\t');
  if (comparison != nullptr) {
    bool first = true;
    for (const TFieldDifference& field : comparison->Fields) {
      if (field.Volatile) continue;
      if (!first) out += "; ";
      first = false;
      AppendEscaped(out, field.Name);
      out += ": ";
      AppendEscaped(out, field.Logged);
      out += " -> ";
      AppendEscaped(out, field.Played);
    }
  }
  out.push_back('\n');
}

TCommandList LoadForDiff(const std::string& fileName, TLogEncoding encoding) {
  TCommandList commands;
  TLogLoadResult loaded = LoadLog(TLogSource::File(fileName, encoding), commands);
  if (!loaded.ReadError.empty()) throw EQuillonError(loaded.ReadError);
  for (const auto& d : loaded.Diagnostics)
    std::fprintf(stderr, "%s: line %lld: %s\n", fileName.c_str(),
                 static_cast<long long>(d.LineNumber), d.Message.c_str());
  return commands;
}

}  // namespace

TSubcommand AddDiffCommand(CLI::App& app) {
  auto options = std::make_shared<TDiffOptions>();
  auto* diff = app.add_subcommand("diff", Tr("Сравнить ответы двух журналов команда за командой"));
  diff->add_option("LOG_A", options->LogA, Tr("Первый журнал"))->required();
  diff->add_option("LOG_B", options->LogB, Tr("Второй журнал"))->required();
  AddEncodingOption(*diff, options->LogEncoding);
  diff->add_option("--report", options->ReportFile,
                   Tr("Записать сравнение в файл (JSON Lines, объект на команду)"));
  diff->add_option("--ignore-field", options->IgnoreFields,
                   Tr("Поле ответа, отличия в котором не считаются (можно повторять)"))
      ->allow_extra_args(false);
  return {diff, [options] { return RunDiff(*options); }};
}

int RunDiff(const TDiffOptions& options) {
  TReportFile report;
  if (!options.ReportFile.empty() && !report.Open(options.ReportFile)) return 1;
  const TCommandList a = LoadForDiff(options.LogA, options.LogEncoding);
  const TCommandList b = LoadForDiff(options.LogB, options.LogEncoding);
  const TVolatileFields volatileFields = VolatileFieldsWith(options.IgnoreFields);

  TVerdictCounts counts{};
  std::size_t onlyA = 0, onlyB = 0;
  std::string out;
  for (const TPairing& pair : PairCommands(a, b)) {
    const TCommand& command = pair.A != 0 ? a[pair.A - 1] : b[pair.B - 1];
    std::string& line = report.Buffer();
    if (report.IsOpen()) {
      line.push_back('{');
      AppendNumber(line, "n_a", pair.A);
      AppendNumber(line, "n_b", pair.B);
      AppendJsonKey(line, "code");
      line += std::to_string(command.Code());
      AppendJsonKey(line, "name");
      AppendJsonString(line, command.CommandName());
    }
    if (pair.A == 0 || pair.B == 0) {
      ++(pair.A != 0 ? onlyA : onlyB);
      AppendDiffLine(out, pair, command, pair.A != 0 ? Tr("только в A") : Tr("только в B"),
                     nullptr);
      if (report.IsOpen()) AppendOnlyInJson(line, command, pair.A != 0);
    } else {
      const std::string& answerA = command.AnswerData();
      const std::string& answerB = b[pair.B - 1].AnswerData();
      TAnswerComparison comparison;
      if (answerA.empty() && answerB.empty())
        comparison.Verdict = avSame;  // neither log has an answer
      else
        comparison = CompareAnswers(command, answerA, answerB, volatileFields);
      ++counts[comparison.Verdict];
      if (comparison.Verdict != avSame)
        AppendDiffLine(out, pair, command, DiffVerdictText(comparison.Verdict), &comparison);
      if (report.IsOpen()) AppendComparisonJsonBody(line, comparison);
    }
    if (report.IsOpen()) {
      line += "}\n";
      report.MaybeFlush();
    }
    if (out.size() >= (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::string totals =
      FormatShortValue(Tr("Команд в A: %s, в B: %s"),
                       {std::to_string(a.Count()), std::to_string(b.Count())}) +
      "\n" +
      FormatShortValue(
          Tr("Сравнение: совпадает %s, другой результат %s, другие данные %s, нет ответа в A %s, "
             "нет ответа в B %s, только в A %s, только в B %s"),
          {std::to_string(counts[avSame]), std::to_string(counts[avResultDiffers]),
           std::to_string(counts[avDataDiffers]), std::to_string(counts[avNoLoggedAnswer]),
           std::to_string(counts[avNotPlayed]), std::to_string(onlyA), std::to_string(onlyB)}) +
      "\n";
  std::fwrite(totals.data(), 1, totals.size(), stdout);
  std::fflush(stdout);
  if (!report.Close()) return 1;
  const bool differs = counts[avSame] != a.Count() || a.Count() != b.Count();
  return differs ? 1 : 0;
}

}  // namespace quillon::cli
