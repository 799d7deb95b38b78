#include "core/KorvanProtocol2.h"

#include "core/BinUtils.h"
#include "core/Errors.h"
#include "core/Translate.h"

namespace quillon {

namespace {
constexpr std::uint8_t kStart = 0x8F;
constexpr std::uint8_t kEscape = 0x9F;
constexpr std::uint8_t kEscStart = 0x81;
constexpr std::uint8_t kEscEscape = 0x83;
}  // namespace

std::uint16_t Crc16Ccitt(TBytesView data) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : data) crc = Crc16CcittStep(crc, b);
  return crc;
}

TBytes TKorvanProtocol2::Stuffing(TBytesView str) {
  TBytes out;
  out.reserve(str.size() + 4);
  for (std::uint8_t b : str) {
    if (b == kStart) {
      out.push_back(kEscape);
      out.push_back(kEscStart);
    } else if (b == kEscape) {
      out.push_back(kEscape);
      out.push_back(kEscEscape);
    } else {
      out.push_back(b);
    }
  }
  return out;
}

TBytes TKorvanProtocol2::DeStuffing(TBytesView str, bool& isFinalEsc) {
  TBytes out;
  out.reserve(str.size());
  isFinalEsc = false;
  for (std::size_t i = 0; i < str.size(); ++i) {
    std::uint8_t b = str[i];
    if (b != kEscape) {
      out.push_back(b);
      continue;
    }
    if (i + 1 == str.size()) {
      isFinalEsc = true;
      break;
    }
    std::uint8_t next = str[++i];
    if (next == kEscStart)
      out.push_back(kStart);
    else if (next == kEscEscape)
      out.push_back(kEscape);
    else
      throw EQuillonError(Tr("Некорректный формат пакета"));
  }
  return out;
}

TBytes TKorvanProtocol2::Encode(const TKorvanFrame2& frame) {
  std::size_t len = frame.Data.size() % 65536;
  TBytes body;
  body.reserve(len + 6);
  if (len == 0) {
    body = MakeBytes({0x00, 0x00});
  } else {
    body = IntToBytes(static_cast<std::int64_t>(len + 2), 2);
    body += IntToBytes(frame.Number, 2);
    body.append(frame.Data, 0, len);
  }
  body += IntToBytes(Crc16Ccitt(body), 2);
  TBytes out;
  out.push_back(kStart);
  out += Stuffing(body);
  return out;
}

bool TKorvanProtocol2::Decode(TBytesView data, TKorvanFrame2& frame) {
  if (data.size() < 5 || data[0] != kStart) return false;
  bool finalEsc = false;
  TBytes body = DeStuffing(data.substr(1), finalEsc);
  auto len = static_cast<std::int64_t>(BytesToInt(body, 1, 2));
  frame.Number = static_cast<std::int32_t>(BytesToInt(body, 3, 2));
  if (len >= 3 && body.size() > 4)
    frame.Data.assign(body, 4, static_cast<std::size_t>(len - 2));
  else
    frame.Data.clear();
  auto crcField = BytesToInt(body, len + 3, 2);
  if (body.size() < 2) return false;
  TBytesView covered(body.data(), body.size() - 2);
  return Crc16Ccitt(covered) == crcField;
}

}  // namespace quillon
