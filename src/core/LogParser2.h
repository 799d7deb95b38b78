// Turns the text log of the register's driver into commands: finds the request frames
// behind the protocol markers (a frame may span several lines), checks them with the
// frame codec of their protocol, cuts the command data out of them and attaches the
// answer bytes that follow in the log to the command before them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/untCommand.h"

namespace quillon {

// The markers behind which the driver's log lines carry a request frame of protocol 1, 2
// and 3, and the arrow before the bytes of an answer. The driver writes its answer lines
// with the protocol's marker, its "-> " turned into "<- " ("[DEBUG] TPrinterProtocol2 <- ").
inline constexpr std::string_view kProtocol1Marker = "[DEBUG] TPrinterProtocol -> ";
inline constexpr std::string_view kProtocol2Marker = "[DEBUG] TPrinterProtocol2 -> ";
inline constexpr std::string_view kProtocol3Marker = "[DEBUG] TPrinterProtocol3 -> ";
inline constexpr std::string_view kAnswerMarker = "<- ";

// A problem found while parsing that did not stop the parse.
struct TParseDiagnostic {
  std::int64_t LineNumber = 0;  // 1-based line where the damaged frame began
  std::string Message;
};

// Where the parser puts the commands it builds.
class ICommandSink {
 public:
  virtual ~ICommandSink() = default;
  virtual void AddCommand(TCommandRec&& data) = 0;
  // The last command added, or null when there is none yet.
  virtual TCommand* LastCommand() = 0;
};

// Fills a command list.
class TCommandListSink : public ICommandSink {
 public:
  explicit TCommandListSink(TCommandList& list) : FList(list) {}
  void AddCommand(TCommandRec&& data) override { FList.Add(std::move(data)); }
  TCommand* LastCommand() override { return FList.Last(); }

 private:
  TCommandList& FList;
};

// Keeps only the last command: the one an answer may still be attached to. Every earlier
// command is final and is handed to the callback, so a log of any size is read in
// constant memory.
class TStreamingCommandSink : public ICommandSink {
 public:
  using TCallback = std::function<void(TCommand&)>;
  explicit TStreamingCommandSink(TCallback onFinal) : FOnFinal(std::move(onFinal)) {}
  void AddCommand(TCommandRec&& data) override {
    Flush();
    FLast.emplace(std::move(data));
  }
  TCommand* LastCommand() override { return FLast ? &*FLast : nullptr; }
  // Hands over the last command; call it after the parser's Finish.
  void Flush() {
    if (FLast) FOnFinal(*FLast);
    FLast.reset();
  }

 private:
  TCallback FOnFinal;
  std::optional<TCommand> FLast;
};

// One pass over the lines of a log, fed one line at a time. Every call costs time in
// proportion to the line, however long a frame grows.
class TLogParser {
 public:
  explicit TLogParser(ICommandSink& sink);
  ~TLogParser();
  TLogParser(const TLogParser&) = delete;
  TLogParser& operator=(const TLogParser&) = delete;

  // The next line (numbered from 1 in the order of the calls), without its line end.
  void ParseLine(std::string_view line);
  // After the last line: attaches a pending answer.
  void Finish();
  // What Finish would attach now, put on `command` (a copy of the sink's last command)
  // without changing the parser or adding a diagnostic: false when no answer is pending or
  // it cannot be read. For a log that is still being written.
  bool PreviewAnswer(TCommand& command) const;

  std::int64_t LineCount() const { return FLineNumber; }
  const std::vector<TParseDiagnostic>& Diagnostics() const { return FDiagnostics; }

 private:
  void AttachAnswer();
  void PutAnswer(TCommand& command) const;  // the pending answer; raises when it is damaged
  void Diagnose(std::int64_t line, const std::string& message);

  class TFrame;
  ICommandSink& FSink;
  std::unique_ptr<TFrame> FFrame;
  std::string FAnswerText;
  std::int64_t FAnswerLine = 0;
  std::int64_t FAnswerTimeMs = TCommandRec::kNoTime;  // of the answer's latest line
  std::string FFirstLine;  // first 36 characters of the frame's first line
  std::int64_t FFirstLineNumber = 0;
  std::int64_t FLineNumber = 0;
  TProtocol FProtocol = pNone;
  std::vector<TParseDiagnostic> FDiagnostics;
};

// Empties `list` and fills it with the commands of the log lines. Damaged frames are
// skipped and reported in `diagnostics` when it is given.
void ParseLog(const std::vector<std::string>& lines, TCommandList& list,
              std::vector<TParseDiagnostic>* diagnostics = nullptr);

// The frame piece of a line (everything behind the first protocol marker found, in the
// order protocol 1, 2, 3, "[D]"), and the marker's protocol; an empty piece and the
// protocol unchanged when the line holds no marker. `found` tells whether a marker was seen.
std::string_view FindFrameText(std::string_view line, TProtocol& protocol, bool* found = nullptr);
// Whether the hex text holds one complete frame of the protocol with a correct check value.
// Raises EQuillonError on a bad protocol 2 escape.
bool IsFrameComplete(std::string_view frameText, TProtocol protocol);
// The command data inside a request or answer frame, as hex text.
std::string GetFrameData(std::string_view frameText, TProtocol protocol);

}  // namespace quillon
