// Conversions between bytes and text that the whole program uses: hex text, little-endian
// integers, bit tests, dates and times stored as bytes, and the rounding rule of scaled
// readings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/DateUtils.h"

namespace quillon {

namespace detail {
constexpr std::array<signed char, 256> MakeHexDigitValues() {
  std::array<signed char, 256> t{};
  for (auto& v : t) v = -1;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<signed char>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<signed char>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<signed char>(c - 'a' + 10);
  return t;
}
inline constexpr std::array<signed char, 256> kHexDigitValues = MakeHexDigitValues();
}  // namespace detail

// The value of one hex digit (0-9, A-F, a-f), or -1 for any other character.
constexpr int HexDigitValue(char c) {
  return detail::kHexDigitValues[static_cast<unsigned char>(c)];
}

// Whether the text holds only hex digits and blanks (characters up to U+0020).
bool IsHexText(std::string_view text);

enum class THexCase : std::uint8_t { Upper, Lower };

// A number in hex with at least minDigits digits, more when it needs them, like printf's
// "%.*X": IntToHex(0x1F, 2) is "1F", IntToHex(0xFF01, 2) is "FF01", IntToHex(2, 4,
// THexCase::Lower) is "0002".
std::string IntToHex(std::uint64_t value, int minDigits, THexCase letters = THexCase::Upper);

// Every byte as two upper-case hex digits, separated by single spaces: 02 1C 8F.
std::string BytesToHex(TBytesView data);
// Appends the same text to `out` (a blank first when `out` is not empty and data is not).
void AppendBytesHex(std::string& out, TBytesView data);

// Reads hex text: pairs of digits, separated or not; a one-digit group ends at a blank.
// Stops at the first group that is not hex; the bytes read before it stand.
TBytes HexToBytes(std::string_view text);
// The same into `out` (its old contents replaced, its memory reused).
void HexToBytes(std::string_view text, TBytes& out);
// The same, stopping once maxBytes bytes have been read.
TBytes HexToBytes(std::string_view text, std::size_t maxBytes);
TByteArray HexToByteArray(std::string_view text);
TByteArray BytesToByteArray(TBytesView data);

// `count` bytes from position `pos` (from 1), little-endian; 0 when they are not all there.
std::int64_t BytesToInt(TBytesView data, std::int64_t pos, std::int64_t count);
// The low `size` bytes of value, little-endian; empty when size is not 1..8.
TBytes IntToBytes(std::int64_t value, int size);
// Bit (bit mod 32) of value.
bool TestBit(std::uint32_t value, std::uint8_t bit);

// Day, month, year-2000 at pos (from 1); the zero date when invalid or past the end.
TDateTime BytesToDate(TBytesView data, std::int64_t pos);
// Year-2000, month, day, hour, minute at pos; invalid parts count 0.
TDateTime BytesToDateTime(TBytesView data, std::int64_t pos);
// Hour, minute, second at pos; 0 when invalid or past the end.
TDateTime BytesToTime(TBytesView data, std::int64_t pos);

// Rounds to a multiple of step, halves away from zero, tolerant of floating-point noise.
long double RoundToStep(long double value, long double step);
std::int64_t RoundToInt64(long double value);

std::string Int64ToText(std::int64_t value);
inline int MinInt(int a, int b) {
  return a < b ? a : b;
}

}  // namespace quillon
