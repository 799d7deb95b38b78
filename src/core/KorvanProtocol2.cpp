#include "core/KorvanProtocol2.h"

#include "core/BinUtils.h"
#include "core/Errors.h"
#include "core/Translate.h"

namespace quillon {

std::uint16_t Crc16Ccitt(TBytesView data) {
  std::uint16_t crc = kCrc16CcittInitial;
  for (std::uint8_t b : data) crc = Crc16CcittStep(crc, b);
  return crc;
}

TBytes TKorvanProtocol2::Stuffing(TBytesView str) {
  TBytes out;
  out.reserve(str.size() + 4);
  for (std::uint8_t b : str) {
    if (b == kProtocol2Start) {
      out.push_back(kProtocol2Escape);
      out.push_back(kProtocol2EscapedStart);
    } else if (b == kProtocol2Escape) {
      out.push_back(kProtocol2Escape);
      out.push_back(kProtocol2EscapedEscape);
    } else {
      out.push_back(b);
    }
  }
  return out;
}

std::optional<std::uint8_t> TProtocol2Unstuffer::Feed(std::uint8_t b) {
  if (FEscape) {
    FEscape = false;
    if (b == kProtocol2EscapedStart) return kProtocol2Start;
    if (b == kProtocol2EscapedEscape) return kProtocol2Escape;
    throw EQuillonError(Tr("Некорректный формат пакета"));
  }
  if (b == kProtocol2Escape) {
    FEscape = true;
    return std::nullopt;
  }
  return b;
}

TBytes TKorvanProtocol2::DeStuffing(TBytesView str, bool& isFinalEsc) {
  TBytes out;
  out.reserve(str.size());
  TProtocol2Unstuffer unstuffer;
  for (std::uint8_t b : str)
    if (auto value = unstuffer.Feed(b)) out.push_back(*value);
  // A lone escape at the very end is dropped.
  isFinalEsc = unstuffer.InEscape();
  return out;
}

TProtocol2FrameTracker::TStep TProtocol2FrameTracker::Feed(std::uint8_t wireByte) {
  if (wireByte == kProtocol2Start) return tsNewStart;
  std::optional<std::uint8_t> value;
  try {
    value = FUnstuffer.Feed(wireByte);
  } catch (const EQuillonError&) {
    return tsBadEscape;
  }
  if (!value) return tsMore;
  if (FBody < 2) FLen[FBody] = *value;
  ++FBody;
  // LEN counts NUMBER and the payload; the body adds LEN itself and the CRC. An empty
  // payload has LEN 0 and no NUMBER: four bytes in all.
  return FBody >= 2 && FBody >= static_cast<std::size_t>(FLen[0] | FLen[1] << 8) + 4 ? tsComplete
                                                                                     : tsMore;
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
  out.push_back(kProtocol2Start);
  out += Stuffing(body);
  return out;
}

bool TKorvanProtocol2::Decode(TBytesView data, TKorvanFrame2& frame) {
  if (data.size() < 5 || data[0] != kProtocol2Start) return false;
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
