// Protocol version 1 frames: 02, LEN, payload, XOR check byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Bytes.h"

namespace quillon {

// Control bytes of the link that carries protocol 1 frames.
inline constexpr std::uint8_t kENQ = 0x05;  // host: are you ready?
inline constexpr std::uint8_t kSTX = 0x02;  // start of a frame
inline constexpr std::uint8_t kACK = 0x06;  // accepted / an answer is waiting
inline constexpr std::uint8_t kNAK = 0x15;  // refused / ready for a command

// The most payload bytes a frame carries: LEN is one byte.
inline constexpr std::size_t kProtocol1MaxData = 255;

class TKorvanProtocol1 {
 public:
  TKorvanProtocol1() = delete;

  // XOR of all bytes; 0 for none.
  static std::uint8_t GetCRC(TBytesView data);
  // The frame carrying data (LEN holds the low 8 bits of the length).
  static TBytes Encode(TBytesView data);
  // Checks the frame at the start of `frame`; on success takes it off the front, puts its
  // payload in `data` and answers true. An incomplete, foreign or corrupt frame answers
  // false and leaves `frame` as it was.
  static bool Decode(TBytes& frame, TBytes& data);
  // The same check on a view; `consumed` is the frame's length.
  static bool Decode(TBytesView frame, TBytes& data, std::size_t& consumed);
};

}  // namespace quillon
