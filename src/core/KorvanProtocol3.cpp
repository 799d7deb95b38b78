#include "core/KorvanProtocol3.h"

#include <array>

namespace quillon {

namespace {

// Byte-wise table of the bit-by-bit CRC-16/CMS.
constexpr std::array<std::uint16_t, 256> MakeCmsTable() {
  std::array<std::uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
    table[i] = crc;
  }
  return table;
}

constexpr auto kCmsTable = MakeCmsTable();

}  // namespace

std::uint16_t TKorvanProtocol3::GetCRC(TBytesView data) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : data)
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCmsTable[((crc >> 8) ^ b) & 0xFF]);
  return crc;
}

TBytes TKorvanProtocol3::Encode(const TKorvanFrame3& frame) {
  auto len = static_cast<std::uint16_t>(frame.Data.size());
  TBytes body;
  body.reserve(frame.Data.size() + 6);
  body.push_back(0x00);
  body.push_back(static_cast<std::uint8_t>(frame.Number & 0xFF));
  body.push_back(static_cast<std::uint8_t>(len & 0xFF));
  body.push_back(static_cast<std::uint8_t>(len >> 8));
  body.append(frame.Data, 0, len);
  std::uint16_t crc = GetCRC(body);
  TBytes out;
  out.reserve(body.size() + 3);
  out.push_back(kProtocol3Start);
  out += body;
  out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  out.push_back(static_cast<std::uint8_t>(crc >> 8));
  return out;
}

std::size_t TKorvanProtocol3::FrameSize(TBytesView data) {
  if (data.size() < 5) return 0;
  return static_cast<std::size_t>(data[3] | (data[4] << 8)) + 7;
}

bool TKorvanProtocol3::Decode(TBytesView data, TKorvanFrame3& frame) {
  if (data.size() < 5 || data[0] != kProtocol3Start) return false;
  frame.Number = data[2];
  std::size_t len = data[3] | (data[4] << 8);
  if (data.size() < FrameSize(data)) return false;
  frame.Data.assign(data.substr(5, len));
  std::uint16_t field = static_cast<std::uint16_t>(data[5 + len] | (data[6 + len] << 8));
  return field == GetCRC(data.substr(1, len + 4));
}

}  // namespace quillon
