// The one way a log is read: from a file or from text already in memory, line by line
// through the log parser, every command handed on once it is final. Reading runs on a
// thread of its own, so that the parser never waits for the disk; the formatting form adds
// worker threads for the per-command work and still writes its output in log order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/LogParser2.h"
#include "core/TextFile.h"
#include "core/untCommand.h"

namespace quillon {

// Where a log comes from.
class TLogSource {
 public:
  // A file on disk, read in blocks. A byte-order mark gives its encoding; without one the
  // encoding chosen (TLogEncoding, src/core/TextFile.h).
  static TLogSource File(std::string fileName, TLogEncoding encoding = TLogEncoding::Auto);
  // Text that is already UTF-8 (the clipboard).
  static TLogSource Text(std::string text);

  bool IsFile() const { return FIsFile; }
  const std::string& FileName() const { return FFileName; }
  const std::string& Content() const { return FText; }
  TLogEncoding Encoding() const { return FEncoding; }

 private:
  bool FIsFile = false;
  std::string FFileName;
  TLogEncoding FEncoding = TLogEncoding::Auto;
  std::string FText;
};

// How a load is watched and stopped.
struct TLogLoadControl {
  // Called from the thread that parses, now and then, with the bytes read so far and the
  // size of the source (0 when unknown).
  std::function<void(std::uint64_t done, std::uint64_t total)> Progress;
  // Polled between blocks of lines: once it turns true, the load stops soon and reports
  // itself cancelled (the commands of a cancelled load are incomplete).
  const std::atomic<bool>* Cancel = nullptr;
};

struct TLogLoadResult {
  std::int64_t Lines = 0;  // lines read
  std::uint64_t Commands = 0;
  std::vector<TParseDiagnostic> Diagnostics;
  bool Cancelled = false;
  // Reading failed midway: the message. Every command read before the failure was handed
  // on, the last one with what the log held of its answer.
  std::string ReadError;
};

// Hands every command, once it is final, to onCommand on the calling thread, in log order,
// numbered from 1. A file that cannot be opened raises EQuillonError before any command;
// an exception from onCommand stops the load and comes out of this call.
using TCommandCallback = std::function<void(TCommand& command, std::uint64_t number)>;
TLogLoadResult LoadLog(const TLogSource& source, const TCommandCallback& onCommand,
                       const TLogLoadControl& control = {});

// Keeps every command: empties `list` and fills it.
TLogLoadResult LoadLog(const TLogSource& source, TCommandList& list,
                       const TLogLoadControl& control = {});

// Turns every command into text on worker threads (format appends to `out`; it must not
// touch shared state) and hands the text to write on the calling thread, in log order,
// in pieces of many commands each.
using TCommandFormatter =
    std::function<void(TCommand& command, std::uint64_t number, std::string& out)>;
using TTextWriter = std::function<void(std::string_view text)>;
TLogLoadResult LoadLogFormatted(const TLogSource& source, const TCommandFormatter& format,
                                const TTextWriter& write, const TLogLoadControl& control = {});

}  // namespace quillon
