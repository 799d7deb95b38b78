// quillon-cli diff: two logs compared command by command, offline. Also the pieces of the
// answer comparison the replay's report shares with it.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Subcommand.h"
#include "parser/AnswerComparison.h"

namespace quillon::cli {

struct TDiffOptions {
  std::string LogA;
  std::string LogB;
  std::string ReportFile;                 // JSON Lines; empty: none
  std::vector<std::string> IgnoreFields;  // volatile besides the built-in ones
  // The encoding of a log without a byte-order mark, for both.
  TLogEncoding LogEncoding = TLogEncoding::Auto;
};

// Adds "diff" to the application.
TSubcommand AddDiffCommand(CLI::App& app);

// 0 nothing differs, 1 something does (or a log could not be read), 2 bad usage.
int RunDiff(const TDiffOptions& options);

// The built-in volatile fields and the names of --ignore-field.
TVolatileFields VolatileFieldsWith(const std::vector<std::string>& names);

// Commands per verdict, indexed by TAnswerVerdict.
using TVerdictCounts = std::array<std::size_t, 5>;
// "Сравнение: совпадает N, другой результат N, другие данные N, нет ответа в журнале N,
// не воспроизведена N".
std::string VerdictCountsLine(const TVerdictCounts& counts);

// A report file, written as it goes; opening it fails with the message on stderr.
class TReportFile {
 public:
  TReportFile() = default;
  ~TReportFile();
  TReportFile(const TReportFile&) = delete;
  TReportFile& operator=(const TReportFile&) = delete;
  // False (message on stderr) when the file cannot be created.
  bool Open(const std::string& fileName);
  bool IsOpen() const { return FFile != nullptr; }
  // Appends to the buffer written out in large blocks.
  std::string& Buffer() { return FBuffer; }
  void MaybeFlush();
  // False (message on stderr) when the file could not be written.
  bool Close();

 private:
  std::string FName;
  std::FILE* FFile = nullptr;
  std::string FBuffer;
};

}  // namespace quillon::cli
