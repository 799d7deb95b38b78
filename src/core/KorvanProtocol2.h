// Protocol version 2 frames: 8F, then the stuffed body LEN(2) NUMBER(2) payload CRC(2),
// CRC-16/CCITT-FALSE over LEN, NUMBER and payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/Bytes.h"

namespace quillon {

// The start byte of a frame, and the escape that stands for a start or escape byte inside
// it: 8F is sent as 9F 81, 9F as 9F 83.
inline constexpr std::uint8_t kProtocol2Start = 0x8F;
inline constexpr std::uint8_t kProtocol2Escape = 0x9F;
inline constexpr std::uint8_t kProtocol2EscapedStart = 0x81;
inline constexpr std::uint8_t kProtocol2EscapedEscape = 0x83;
// The longest payload: LEN (payload + 2) must fit 16 bits. A frame carries the low 16 bits
// of its number.
inline constexpr std::size_t kProtocol2MaxData = 65533;
inline constexpr std::uint32_t kProtocol2NumberMask = 0xFFFF;

struct TKorvanFrame2 {
  TBytes Data;
  std::int32_t Number = 0;
};

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, no reflection, no final XOR.
inline constexpr std::uint16_t kCrc16CcittInitial = 0xFFFF;
std::uint16_t Crc16Ccitt(TBytesView data);

// One byte of that CRC, for callers that feed it a byte at a time (start from
// kCrc16CcittInitial).
inline std::uint16_t Crc16CcittStep(std::uint16_t crc, std::uint8_t b) {
  crc = static_cast<std::uint16_t>((crc >> 8) | (crc << 8));
  crc ^= b;
  crc ^= static_cast<std::uint16_t>((crc & 0xFF) >> 4);
  crc ^= static_cast<std::uint16_t>((crc << 12) & 0xFFFF);
  crc ^= static_cast<std::uint16_t>((crc & 0xFF) << 5);
  return crc;
}

// Undoes the stuffing a byte at a time, for callers that get a frame in pieces.
class TProtocol2Unstuffer {
 public:
  // The byte the input stands for, or nothing for an escape (its meaning comes with the
  // next byte). Raises EQuillonError on an escape before a byte other than 81 or 83.
  std::optional<std::uint8_t> Feed(std::uint8_t b);
  // An escape is waiting for its second byte.
  bool InEscape() const { return FEscape; }
  void Reset() { FEscape = false; }

 private:
  bool FEscape = false;
};

// Follows a frame as it arrives, one wire byte at a time after its start byte, and tells
// when its body (LEN, NUMBER, payload, CRC) is complete.
class TProtocol2FrameTracker {
 public:
  enum TStep : std::uint8_t {
    tsMore,       // the frame goes on
    tsComplete,   // this byte ended the frame
    tsBadEscape,  // an escape before a byte other than 81 or 83: the frame is broken
    tsNewStart,   // a start byte: the frame broke off and a new one begins here
  };
  TStep Feed(std::uint8_t wireByte);
  // Body bytes seen so far (destuffed).
  std::size_t BodySize() const { return FBody; }

 private:
  TProtocol2Unstuffer FUnstuffer;
  std::uint8_t FLen[2] = {0, 0};
  std::size_t FBody = 0;
};

class TKorvanProtocol2 {
 public:
  TKorvanProtocol2() = delete;

  static TBytes Stuffing(TBytesView str);
  // Undoes the stuffing. A lone escape at the very end is dropped and reported in
  // isFinalEsc; an escape before any byte other than 81 or 83 raises EQuillonError.
  static TBytes DeStuffing(TBytesView str, bool& isFinalEsc);
  static TBytes Encode(const TKorvanFrame2& frame);
  // True when `data` holds one complete frame with a correct CRC; `frame` is filled in
  // either way. Raises EQuillonError on a bad escape.
  static bool Decode(TBytesView data, TKorvanFrame2& frame);
};

}  // namespace quillon
