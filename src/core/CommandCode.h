// The head of every request and answer: the command code, one byte, or two bytes when
// the first is FF; an answer carries the result byte right after it. Also the results
// that mean "busy, ask again".
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Bytes.h"

namespace quillon {

// A first byte of FF says that one more code byte follows.
inline constexpr std::uint8_t kTwoByteCodePrefix = 0xFF;

// The number of code bytes at the start of a request or answer: 2 when the first byte is
// FF, else 1 (also for no bytes at all, where the code is taken as 00).
constexpr std::size_t CommandCodeLength(TBytesView bytes) {
  return !bytes.empty() && bytes[0] == kTwoByteCodePrefix ? 2 : 1;
}

// The code as a number: the first byte, or 0xFF00 + the second byte (00 when it is
// missing) when the first is FF; 0 for no bytes.
constexpr std::int32_t CommandCodeOf(TBytesView bytes) {
  if (bytes.empty()) return 0;
  if (bytes[0] != kTwoByteCodePrefix) return bytes[0];
  return 0xFF00 + (bytes.size() > 1 ? bytes[1] : 0);
}

// The bytes of a code number: FF and the low byte for codes past 0xFF, else the one byte.
inline TBytes CodeToBytes(std::int32_t code) {
  if (code > 0xFF) return MakeBytes({kTwoByteCodePrefix, static_cast<std::uint8_t>(code & 0xFF)});
  return MakeBytes({static_cast<std::uint8_t>(code)});
}

// The code bytes of a request as an answer repeats them: FF and the second byte (00 when
// missing), or the first byte alone; 00 for no bytes.
inline TBytes CommandCodeBytes(TBytesView request) {
  return CodeToBytes(CommandCodeOf(request));
}

// The result byte of an answer, the one after its code bytes; 0 when the answer ends before.
constexpr std::int32_t AnswerResultCode(TBytesView answer) {
  const std::size_t at = CommandCodeLength(answer);
  return at < answer.size() ? answer[at] : 0;
}

// Results that mean the device is busy and the same command is to be sent again.
inline constexpr std::uint8_t kResultPrinting = 0x50;    // the previous command still prints
inline constexpr std::uint8_t kResultBufferFull = 0x4B;  // the receipt buffer is full

constexpr bool IsBusyResult(std::int32_t result) {
  return result == kResultPrinting || result == kResultBufferFull;
}

}  // namespace quillon
