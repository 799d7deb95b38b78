// What the emulated register answers: a small built-in register for the status commands,
// and the answers recorded in a driver log, handed out in log order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "core/CommandCode.h"
#include "core/DateUtils.h"
#include "core/TextFile.h"

namespace quillon {

inline constexpr std::uint8_t kResultOk = 0x00;
inline constexpr std::uint8_t kResultUnknownCommand = 0x37;

// An answer of the request's code bytes (CommandCodeBytes) and one result byte, nothing
// else.
TBytes ResultAnswer(TBytesView request, std::uint8_t result);

// The wall clock as calendar parts, local time.
TDateTimeParts LocalNow();

// A register that is always ready: it knows the short status (10), the status (11), the
// device type (FC) and the fiscal storage status (FF01), and refuses every other command
// with result 37. It never reports that it is printing (submode 0).
class TEmulatedRegister {
 public:
  // The answer to a request, dated `now`.
  TBytes Answer(TBytesView request, const TDateTimeParts& now) const;
  TBytes Answer(TBytesView request) const { return Answer(request, LocalNow()); }
};

// One exchange read from a driver log.
struct TRecordedCommand {
  TBytes Request;
  TBytes Answer;  // empty: the log holds no answer
  std::int32_t LineNumber = 0;
};

// The recorded commands of a log and the position reached in them. A request takes the
// first command after the last one taken that has the same request bytes; commands passed
// over are not taken on this pass. When none lies ahead the position wraps: the first such
// command from the start of the log is taken, so a log played again (or played endlessly)
// gets its answers on every pass. A short status request (10) is the exception: the driver
// sends it as often as it likes while it waits for printing, so it takes only the very next
// command (the first one once the end is reached), and when that one differs the position
// stays where it was. A request repeated right after a busy answer (IsBusyResult: 50, 4B)
// gets the next recorded answer to it without taking it.
//
// A copy shares the commands and has a position of its own: each connection of the
// emulator plays the log from its own copy.
class TRecordedAnswers {
 public:
  TRecordedAnswers() = default;
  // protocol: the link protocol (1, 2 or 3) the commands were logged with; 0 unknown.
  explicit TRecordedAnswers(std::vector<TRecordedCommand> commands, int protocol = 0);
  // Reads a driver log (a byte-order mark gives its encoding, else `encoding`). Commands
  // without request bytes are left out. Raises EQuillonError when the file cannot be read.
  static TRecordedAnswers FromLogFile(const std::string& fileName,
                                      TLogEncoding encoding = TLogEncoding::Auto);

  // The command that answers the request, now taken; null when none does (the position
  // is then unchanged).
  const TRecordedCommand* Take(TBytesView request);

  std::size_t Count() const { return FCommands ? FCommands->size() : 0; }
  // Index of the first command that may still be taken.
  std::size_t Position() const { return FNext; }
  // The protocol the log's commands were recorded in: that of the first command of protocol
  // 1, 2 or 3 (as the player tells the driver); 0 when the log held none of them.
  int Protocol() const { return FProtocol; }

 private:
  const TRecordedCommand* TakeAt(std::size_t index);

  std::shared_ptr<const std::vector<TRecordedCommand>> FCommands;
  int FProtocol = 0;
  std::size_t FNext = 0;
  const TRecordedCommand* FLast = nullptr;  // what the last request got
  std::size_t FPeekFrom = 0;                // where the next repeat after a busy answer looks
};

}  // namespace quillon
