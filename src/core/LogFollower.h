// Following a log file that its driver is still writing. The first poll reads the whole
// file; each later one reads the lines appended since, through the same parser, so that a
// request frame or an answer split between two polls comes out as if the file had been
// read at once. A line without its line end yet waits until it has one (or the follow
// ends).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/LogLoader.h"
#include "core/LogParser2.h"
#include "core/TextFile.h"

namespace quillon {

enum class TFollowChange {
  None,       // nothing new
  Appended,   // lines were read
  Truncated,  // the file is shorter than what was read of it: nothing was read
  Replaced,   // the name is another file's now (another inode): nothing was read
};

struct TFollowPoll {
  TFollowChange Change = TFollowChange::None;
  std::int64_t Lines = 0;  // complete lines read by this poll
  bool Cancelled = false;  // the control's Cancel stopped it midway; the next poll reads on
};

// Commands are numbered from 1 in log order. A command is final once the next one begins
// (or the follow ends); until then it is the open command, which the next lines may still
// give an answer or a longer one.
class TLogFollower {
 public:
  // Opens the file (EQuillonError when it cannot be opened); nothing is read yet. onFinal
  // gets each command once it is final, on the thread that calls Poll or Finish.
  TLogFollower(std::string fileName, TLogEncoding encoding, TCommandCallback onFinal);
  ~TLogFollower();
  TLogFollower(const TLogFollower&) = delete;
  TLogFollower& operator=(const TLogFollower&) = delete;

  // Reads the complete lines past those read already. Progress and Cancel of the control
  // are looked at every few thousand lines (the first poll of a large log takes a while).
  // Once it reports Truncated or Replaced the follower reads nothing more and keeps saying
  // so: the caller starts over with a new follower. Raises EQuillonError when reading
  // fails; an exception from onFinal comes out of it too (the follower is spent then).
  TFollowPoll Poll(const TLogLoadControl& control = {});

  // A copy of the open command with the answer lines read so far attached, as the end of
  // the log would leave it; null before the first command. Its number is FinalCommands() + 1.
  // The pointer is valid until the next call on the follower.
  TCommand* OpenCommand();

  // Ends the follow: reads what the file holds, a last line without its end included, and
  // hands on the open command. Nothing is to be called after it but the accessors.
  void Finish();

  const std::string& FileName() const { return FFileName; }
  std::uint64_t FinalCommands() const { return FFinal; }
  std::int64_t Lines() const { return FParser.LineCount(); }
  // Grows as lines are read.
  const std::vector<TParseDiagnostic>& Diagnostics() const { return FParser.Diagnostics(); }
  // The encoding the lines are read in (TTextLineReader::Encoding).
  TTextEncoding Encoding() const { return FReader->Encoding(); }

 private:
  void Open();

  std::string FFileName;
  TLogEncoding FEncodingChoice;
  TCommandCallback FOnFinal;
  std::uint64_t FFinal = 0;
  TStreamingCommandSink FSink;
  TLogParser FParser;
  std::unique_ptr<TTextLineReader> FReader;
  std::optional<TCommand> FOpen;
  TFollowChange FGone = TFollowChange::None;  // Truncated or Replaced once seen
  bool FFinished = false;
};

}  // namespace quillon
