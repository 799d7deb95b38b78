// One exchange with the register as read from a driver log, and the ordered list of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum TProtocol : std::uint8_t {
  pNone = 0,
  pProtocol1 = 1,
  pProtocol2 = 2,
  pProtocol3 = 3,
  pPlain = 4,
  pProtocolNg1 = 5,
  pProtocolNg2 = 6,
  pProtocolNg1Plain = 7,
};

struct TCommandRec {
  std::int32_t Code = 0;     // 0x00..0xFF, or 0xFF00 + second byte
  std::int32_t ResCode = 0;  // result byte of the answer; 0 also while no answer is known
  std::string Attributes;    // first 36 characters of the request's first log line
  std::string TxData;        // request as hex text: code, then parameters
  std::string AnswerData;    // answer as hex text: code, result byte, data; may be empty
  TProtocol Protocol = pNone;
  std::int32_t LineNumber = 0;  // 1-based line of the log where the request began
  // Time stamp of the line that completed the answer, in milliseconds since 1899-12-30
  // (ParseLogTimeStamp, core/DateUtils.h); kNoTime without an answer or a readable stamp.
  std::int64_t AnswerTimeMs = kNoTime;
  static constexpr std::int64_t kNoTime = INT64_MIN;

  bool operator==(const TCommandRec&) const = default;
};

// Characters 2..24 of a log line: its time stamp without the opening bracket.
std::string_view LineTimeStamp(std::string_view line);
// The time stamp of a log line in milliseconds since 1899-12-30 (ParseLogTimeStamp,
// core/DateUtils.h), with or without its milliseconds; empty when unreadable.
std::optional<std::int64_t> LineTimeMs(std::string_view line);

class TCommand {
 public:
  explicit TCommand(TCommandRec data) : FData(std::move(data)) {}
  // Moves and copies carry the replay state along; a moved-from command is left unplayed,
  // unselected and without a played answer.
  TCommand(TCommand&& other) noexcept;
  TCommand& operator=(TCommand&& other) noexcept;
  TCommand(const TCommand& other);
  TCommand& operator=(const TCommand& other);

  const TCommandRec& CmdData() const { return FData; }
  std::int32_t Code() const { return FData.Code; }
  const std::string& TxData() const { return FData.TxData; }
  const std::string& Attributes() const { return FData.Attributes; }
  TProtocol Protocol() const { return FData.Protocol; }
  std::int32_t LineNumber() const { return FData.LineNumber; }
  std::int32_t ResCode() const { return FData.ResCode; }
  void SetResCode(std::int32_t value) { FData.ResCode = value; }
  const std::string& AnswerData() const { return FData.AnswerData; }
  void SetAnswerData(std::string value) { FData.AnswerData = std::move(value); }
  void SetAnswerTimeMs(std::int64_t value) { FData.AnswerTimeMs = value; }

  // The request's time stamp in milliseconds since 1899-12-30; empty when unreadable.
  std::optional<std::int64_t> RequestTimeMs() const;
  // The answer's, as kept by the parser; empty without an answer or a readable stamp.
  std::optional<std::int64_t> AnswerTimeMs() const;
  // How long the register took to answer: answer time minus request time, in
  // milliseconds; empty without an answer or when either stamp is unreadable.
  std::optional<std::int64_t> ResponseMs() const;

  // Characters 2..24 of Attributes: the time stamp without its opening bracket.
  std::string TimeStamp() const { return std::string(TimeStampView()); }
  std::string_view TimeStampView() const;
  // The text between the first "] [" of Attributes and the next "]".
  std::string ThreadID() const { return std::string(ThreadIDView()); }
  std::string_view ThreadIDView() const;

  // CommandCodeOf (core/CommandCode.h) of a request in hex text. Empty text gives 0.
  static std::int32_t GetCode(std::string_view data);
  // AnswerResultCode (core/CommandCode.h) of an answer in hex text; 0 when absent.
  static std::int32_t GetResCode(std::string_view data);

  // The command failed, or its request has no answer.
  bool HasError() const;
  // "11, Запрос состояния"; "Sync" for a protocol 2 frame without payload.
  std::string CommandName() const;
  // Appends CommandName() to out.
  void AppendCommandName(std::string& out) const;
  // Case-insensitive search in Attributes, TimeStamp and CommandName.
  bool HasData(std::string_view text) const;
  // The same with a needle that is already lower-cased.
  bool HasLowerData(std::string_view lowerText) const;

  bool IsPrintCommand() const;
  bool IsRecRepCommand() const;
  bool IsStatusCommand() const;

  // Replay state, written by the player thread and the window while the other side may
  // read it: the flags are atomic, the answer text is guarded by a lock.
  std::atomic<bool> Played = false;
  std::atomic<bool> Selected = false;
  // A copy of the answer received during the last playback (hex text).
  std::string PlayedAnswerData() const;
  void SetPlayedAnswerData(std::string value);

 private:
  TCommandRec FData;
  // Guarded by the lock stripe of this command's address (see untCommand.cpp), which
  // keeps a command as small as a plain string.
  std::string FPlayedAnswerData;
};

// A plain, non-owning selection of commands of a list, in list order.
using TCommandRefs = std::vector<TCommand*>;

// The ordered commands of one log; owns them.
class TCommandList {
 public:
  TCommandList() = default;
  TCommandList(const TCommandList&) = delete;
  TCommandList& operator=(const TCommandList&) = delete;
  TCommandList(TCommandList&&) = default;
  TCommandList& operator=(TCommandList&&) = default;

  TCommand& Add(TCommandRec data);
  std::size_t Count() const { return FItems.size(); }
  bool Empty() const { return FItems.empty(); }
  TCommand& operator[](std::size_t index) { return *FItems[index]; }
  const TCommand& operator[](std::size_t index) const { return *FItems[index]; }
  TCommand* Last() { return FItems.empty() ? nullptr : FItems.back().get(); }
  void Clear() { FItems.clear(); }
  void Reserve(std::size_t count) { FItems.reserve(count); }

  // The first command whose Attributes contain text (case-sensitive), or null.
  TCommand* ItemByAttributes(std::string_view text) const;
  // All such commands, in list order.
  TCommandRefs ItemsByAttributes(std::string_view text) const;

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  std::vector<std::unique_ptr<TCommand>> FItems;
};

}  // namespace quillon
