#include "tlv/FormatTLV.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/CodePages.h"
#include "core/Errors.h"
#include "core/Translate.h"

namespace quillon {

namespace {

constexpr const char* kErrTooLarge = "to large data";
constexpr const char* kErrFvlnLength = N_("Неверная длина FVLN");
constexpr std::uint8_t kMaxFvlnPoint = 8;
constexpr double kSecondsPerDay = 86400.0;

// A compiler extension (GCC, clang): __extension__ keeps -Wpedantic quiet about it.
__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// value / divisor rounded to the nearest integer, ties to even (divisor > 0).
Int128 DivRoundHalfEven(Int128 value, Int128 divisor) {
  Int128 q = value / divisor;
  Int128 r = value % divisor;  // takes the sign of value
  Int128 twice = (r < 0 ? -r : r) * 2;
  if (twice > divisor || (twice == divisor && (q % 2 != 0))) q += value < 0 ? -1 : 1;
  return q;
}

std::int64_t SaturateToInt64(UInt128 value) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  return value > static_cast<UInt128>(kMax) ? kMax : static_cast<std::int64_t>(value);
}

// Point position and mantissa of an amount: the fewest decimals (0..4) that hold it exactly.
void SplitAmount(TAmount amount, std::uint8_t& point, std::int64_t& mantissa) {
  Int128 scaled = amount.Raw;  // amount * 10^p, still scaled by 10 000
  int p = 0;
  while (p < 5) {
    if (scaled % TAmount::kScale == 0) break;
    ++p;
    scaled *= 10;
  }
  point = static_cast<std::uint8_t>(p);
  // |scaled / 10000| never exceeds |Raw|, so the mantissa fits in 64 bits.
  mantissa = static_cast<std::int64_t>(DivRoundHalfEven(scaled, TAmount::kScale));
}

}  // namespace

TAmount TAmount::FromDouble(double value) {
  if (std::isnan(value)) return TAmount{};
  double scaled = std::nearbyint(value * static_cast<double>(kScale));
  // 2^63 is exactly representable; anything at or past it does not fit.
  constexpr double kLimit = 9223372036854775808.0;
  if (scaled >= kLimit) return TAmount{std::numeric_limits<std::int64_t>::max()};
  if (scaled < -kLimit) return TAmount{std::numeric_limits<std::int64_t>::min()};
  return TAmount{static_cast<std::int64_t>(scaled)};
}

TypeTLV TFormatTLV::GetTypeTLV(std::int32_t MsgId) {
  switch (MsgId) {
    case 7:
    case 1029:
    case 1047:
    case 1067:
    case 1068:
      return tlvSTLV;
    case 1014:
    case 1017:
    case 1019:
    case 1039:
      return tlvASCII;
    case 1015:
    case 1078:
      return tlvInt32;
    case 1022:
      return tlvByte;
    default:
      return tlvUnknown;
  }
}

TBytes TFormatTLV::Int2ValueTLV(std::int64_t aValue, std::int32_t aSizeInBytes) {
  if (aSizeInBytes > 8 || aSizeInBytes < 1) throw EQuillonError(kErrTooLarge);
  return VLN2ValueTLVLen(aValue, aSizeInBytes);
}

TBytes TFormatTLV::VLN2ValueTLV(std::int64_t aValue) {
  const auto value = static_cast<std::uint64_t>(aValue);
  TBytes result;
  for (int i = 0; i < 8; ++i) {
    result.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    if (i == 7 || (value >> (8 * (i + 1))) == 0) break;
  }
  return result;
}

TBytes TFormatTLV::VLN2ValueTLVLen(std::int64_t aValue, std::int32_t ALen) {
  const auto value = static_cast<std::uint64_t>(aValue);
  TBytes result;
  if (ALen <= 0) return result;
  result.resize(static_cast<std::size_t>(ALen), 0);
  for (std::int32_t i = 0; i < std::min<std::int32_t>(ALen, 8); ++i)
    result[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  return result;
}

TBytes TFormatTLV::FVLN2ValueTLV(TAmount aValue) {
  std::uint8_t point = 0;
  std::int64_t mantissa = 0;
  SplitAmount(aValue, point, mantissa);
  TBytes result(1, point);
  result += VLN2ValueTLV(mantissa);
  return result;
}

TBytes TFormatTLV::FVLN2ValueTLVLen(TAmount aValue, std::int32_t ALength) {
  std::uint8_t point = 0;
  std::int64_t mantissa = 0;
  SplitAmount(aValue, point, mantissa);
  TBytes result(1, point);
  // ALength - 1 computed wide so that the smallest 32-bit length cannot overflow.
  const std::int64_t mantissaLength = static_cast<std::int64_t>(ALength) - 1;
  if (mantissaLength > 0)
    result += VLN2ValueTLVLen(mantissa, static_cast<std::int32_t>(mantissaLength));
  return result;
}

TBytes TFormatTLV::UnixTime2ValueTLV(TDateTime d) {
  const double seconds = std::nearbyint((d - kUnixEpochDays) * kSecondsPerDay);
  std::uint32_t low = 0;
  if (std::isfinite(seconds)) {
    // fmod is exact, so this is the low 32 bits of the whole number of seconds.
    constexpr double kTwo32 = 4294967296.0;
    double r = std::fmod(seconds, kTwo32);
    if (r < 0) r += kTwo32;
    low = static_cast<std::uint32_t>(r);
  }
  return VLN2ValueTLVLen(low, 4);
}

TDateTime TFormatTLV::ValueTLV2UnixTime(TBytesView s) {
  if (s.size() != 4) return 0.0;
  const auto seconds = static_cast<std::int32_t>(static_cast<std::uint32_t>(ValueTLV2Int(s)));
  return kUnixEpochDays + seconds / kSecondsPerDay;
}

std::uint64_t TFormatTLV::ValueTLV2Int(TBytesView s) {
  // Bytes past the eighth would be shifted out of 64 bits, so only the first eight count.
  const std::size_t n = std::min<std::size_t>(s.size(), 8);
  std::uint64_t result = 0;
  for (std::size_t i = n; i-- > 0;) result = (result << 8) | s[i];
  return result;
}

std::uint64_t TFormatTLV::ValueTLV2VLN(TBytesView s) {
  return ValueTLV2Int(s);
}

TAmount TFormatTLV::ValueTLV2FVLN(TBytesView s) {
  if (s.size() < 2 || s[0] > kMaxFvlnPoint) throw EQuillonError(Tr(kErrFvlnLength));
  UInt128 raw = static_cast<UInt128>(ValueTLV2Int(s.substr(1))) * TAmount::kScale;
  for (int i = 0; i < s[0]; ++i) {
    UInt128 q = raw / 10;
    const unsigned r = static_cast<unsigned>(raw % 10);
    if (r > 5 || (r == 5 && (q & 1) != 0)) ++q;
    raw = q;
  }
  // A mantissa beyond the amount's range (possible only with few decimals) saturates.
  return TAmount{SaturateToInt64(raw)};
}

std::string TFormatTLV::ValueTLV2FVLNstr(TBytesView s) {
  if (s.empty()) return std::string();
  const int point = s[0];
  if (point > kMaxFvlnPoint || s.size() == 1) throw EQuillonError(Tr(kErrFvlnLength));
  double value = static_cast<double>(ValueTLV2Int(s.substr(1)));
  for (int i = 0; i < point; ++i) value /= 10;
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, point);
  return std::string(buf, res.ptr);
}

std::string TFormatTLV::ValueTLV2ASCII(TBytesView s) {
  const std::size_t end = s.find(std::uint8_t{0});
  return Cp866ToUtf8(RawChars(s.substr(0, end)));
}

}  // namespace quillon
