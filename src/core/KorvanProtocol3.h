// Protocol version 3 frames: 82, 00, NUMBER, LEN(2), payload, CRC-16/CMS(2) over the
// bytes from the second to the end of the payload. No stuffing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Bytes.h"

namespace quillon {

// The start byte of a frame.
inline constexpr std::uint8_t kProtocol3Start = 0x82;
// What the device sends for a good request frame before its answer frame (logged as "06").
inline constexpr std::uint8_t kProtocol3Ack = 0x06;
// The longest payload (LEN is 16 bits). A frame carries the low 8 bits of its number.
inline constexpr std::size_t kProtocol3MaxData = 65535;
inline constexpr std::uint32_t kProtocol3NumberMask = 0xFF;

struct TKorvanFrame3 {
  TBytes Data;
  std::int32_t Number = 0;
};

class TKorvanProtocol3 {
 public:
  TKorvanProtocol3() = delete;

  // CRC-16/CMS: polynomial 0x8005, initial 0xFFFF, no reflection, no final XOR.
  static std::uint16_t GetCRC(TBytesView data);
  static TBytes Encode(const TKorvanFrame3& frame);
  // The size of the frame that `data` begins with, from its header (start byte, a byte,
  // NUMBER, LEN); 0 while fewer than the header's 5 bytes are there.
  static std::size_t FrameSize(TBytesView data);
  // True when `data` begins with one complete frame with a correct CRC; bytes after the
  // CRC are ignored.
  static bool Decode(TBytesView data, TKorvanFrame3& frame);
};

}  // namespace quillon
