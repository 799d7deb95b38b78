#include "core/KorvanProtocol1.h"

namespace quillon {

std::uint8_t TKorvanProtocol1::GetCRC(TBytesView data) {
  std::uint8_t crc = 0;
  for (std::uint8_t b : data) crc ^= b;
  return crc;
}

TBytes TKorvanProtocol1::Encode(TBytesView data) {
  TBytes frame;
  frame.reserve(data.size() + 3);
  auto len = static_cast<std::uint8_t>(data.size());
  frame.push_back(kSTX);
  frame.push_back(len);
  frame.append(data);
  frame.push_back(static_cast<std::uint8_t>(len ^ GetCRC(data)));
  return frame;
}

bool TKorvanProtocol1::Decode(TBytesView frame, TBytes& data, std::size_t& consumed) {
  if (frame.empty() || frame[0] != kSTX) return false;
  if (frame.size() < 2) return false;
  std::size_t len = frame[1];
  if (frame.size() < len + 3) return false;
  if (GetCRC(frame.substr(1, len + 1)) != frame[len + 2]) return false;
  data.assign(frame.substr(2, len));
  consumed = len + 3;
  return true;
}

bool TKorvanProtocol1::Decode(TBytes& frame, TBytes& data) {
  std::size_t consumed = 0;
  if (!Decode(TBytesView(frame), data, consumed)) return false;
  frame.erase(0, consumed);
  return true;
}

}  // namespace quillon
