#include "core/BinUtils.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillon {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kHexDigitsLower[] = "0123456789abcdef";

// A group of one or two non-blank characters read as a hex number.
inline bool GroupValue(const char* group, int len, std::uint8_t& value) {
  int v = 0;
  for (int i = 0; i < len; ++i) {
    int d = HexDigitValue(group[i]);
    if (d < 0) return false;
    v = v * 16 + d;
  }
  value = static_cast<std::uint8_t>(v);
  return true;
}

inline bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

void HexToBytesAppend(std::string_view text, std::size_t maxBytes, TBytes& result);

}  // namespace

bool IsHexText(std::string_view text) {
  for (char c : text)
    if (HexDigitValue(c) < 0 && !IsBlank(c)) return false;
  return true;
}

std::string IntToHex(std::uint64_t value, int minDigits, THexCase letters) {
  const char* digits = letters == THexCase::Lower ? kHexDigitsLower : kHexDigits;
  char text[16];
  int n = 0;
  do {
    text[n++] = digits[value & 0x0F];
    value >>= 4;
  } while (value != 0);
  std::string out(static_cast<std::size_t>(std::max(minDigits - n, 0)), '0');
  while (n > 0) out.push_back(text[--n]);
  return out;
}

std::string BytesToHex(TBytesView data) {
  std::string out;
  AppendBytesHex(out, data);
  return out;
}

void AppendBytesHex(std::string& out, TBytesView data) {
  if (data.empty()) return;
  std::size_t start = out.size();
  if (start != 0) out.push_back(' ');
  std::size_t base = out.size();
  out.resize(base + data.size() * 3 - 1);
  char* p = out.data() + base;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i != 0) *p++ = ' ';
    *p++ = kHexDigits[data[i] >> 4];
    *p++ = kHexDigits[data[i] & 0x0F];
  }
}

TBytes HexToBytes(std::string_view text) {
  return HexToBytes(text, text.size());
}

TBytes HexToBytes(std::string_view text, std::size_t maxBytes) {
  TBytes result;
  if (maxBytes == 0) return result;
  result.reserve(std::min(text.size() / 3 + 1, maxBytes));
  HexToBytesAppend(text, maxBytes, result);
  return result;
}

void HexToBytes(std::string_view text, TBytes& out) {
  out.clear();
  HexToBytesAppend(text, text.size() + 1, out);
}

namespace {

// Appends the bytes of the hex text to result; stops after maxBytes bytes in all.
void HexToBytesAppend(std::string_view text, std::size_t maxBytes, TBytes& result) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  // Fast path for the usual form "XX XX XX": whole pairs, each followed by a blank or the
  // end. It leaves off at a group boundary, where the general rules below pick up.
  while (i + 1 < n) {
    int hi = HexDigitValue(text[i]), lo = HexDigitValue(text[i + 1]);
    if (hi < 0 || lo < 0 || (i + 2 < n && text[i + 2] != ' ')) break;
    result.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    if (result.size() >= maxBytes) return;
    i += 3;
  }
  // The pending group after trimming never holds more than two characters: a third
  // non-blank character would have completed it, so a small buffer is enough.
  char group[2];
  int len = 0;
  for (; i < n; ++i) {
    char c = text[i];
    if (IsBlank(c)) {
      // Appending a blank and trimming leaves the group as it was; only a real space
      // ends a one-digit group early.
      if (c == ' ' && len > 0) {
        std::uint8_t value;
        if (!GroupValue(group, len, value)) return;
        result.push_back(value);
        if (result.size() >= maxBytes) return;
        len = 0;
      }
      continue;
    }
    group[len++] = c;
    if (len == 2) {
      std::uint8_t value;
      if (!GroupValue(group, len, value)) return;
      result.push_back(value);
      if (result.size() >= maxBytes) return;
      len = 0;
    }
  }
  if (len > 0) {
    std::uint8_t value;
    if (GroupValue(group, len, value)) result.push_back(value);
  }
}

}  // namespace

TByteArray HexToByteArray(std::string_view text) {
  return BytesToByteArray(HexToBytes(text));
}

TByteArray BytesToByteArray(TBytesView data) {
  return TByteArray(data.begin(), data.end());
}

std::int64_t BytesToInt(TBytesView data, std::int64_t pos, std::int64_t count) {
  if (pos < 1 || count < 0 || count > 8) return 0;
  auto size = static_cast<std::int64_t>(data.size());
  if (pos > size || size - (pos - 1) < count) return 0;
  std::uint64_t value = 0;
  for (std::int64_t i = count - 1; i >= 0; --i) value = (value << 8) | data[pos - 1 + i];
  return static_cast<std::int64_t>(value);
}

TBytes IntToBytes(std::int64_t value, int size) {
  TBytes out;
  if (size < 1 || size > 8) return out;
  auto v = static_cast<std::uint64_t>(value);
  for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return out;
}

bool TestBit(std::uint32_t value, std::uint8_t bit) {
  return (value >> (bit % 32)) & 1u;
}

namespace {

// Byte at pos (from 1), or -1 when it lies outside the data.
inline int ByteAt(TBytesView data, std::int64_t pos) {
  if (pos < 1 || pos > static_cast<std::int64_t>(data.size())) return -1;
  return data[pos - 1];
}

}  // namespace

TDateTime BytesToDate(TBytesView data, std::int64_t pos) {
  int day = ByteAt(data, pos), month = ByteAt(data, pos + 1), year = ByteAt(data, pos + 2);
  TDateTime result = 0;
  if (day < 0 || month < 0 || year < 0) return 0;
  if (!TryEncodeDate(2000 + year, month, day, result)) return 0;
  return result;
}

TDateTime BytesToDateTime(TBytesView data, std::int64_t pos) {
  int year = ByteAt(data, pos), month = ByteAt(data, pos + 1), day = ByteAt(data, pos + 2);
  int hour = ByteAt(data, pos + 3), minute = ByteAt(data, pos + 4);
  TDateTime date = 0, time = 0;
  if (year < 0 || month < 0 || day < 0 || !TryEncodeDate(2000 + year, month, day, date)) date = 0;
  if (hour < 0 || minute < 0 || !TryEncodeTime(hour, minute, 0, 0, time)) time = 0;
  return date + time;
}

TDateTime BytesToTime(TBytesView data, std::int64_t pos) {
  int hour = ByteAt(data, pos), minute = ByteAt(data, pos + 1), second = ByteAt(data, pos + 2);
  TDateTime result = 0;
  if (hour < 0 || minute < 0 || second < 0) return 0;
  if (!TryEncodeTime(hour, minute, second, 0, result)) return 0;
  return result;
}

long double RoundToStep(long double value, long double step) {
  const long double kNoise = 1e-8L;
  const long double kHalf = 0.49999999L;
  bool negative = value < 0;
  long double q = std::trunc(negative ? (value - kNoise) / step : (value + kNoise) / step);
  long double r = std::fabs(value / step - q);
  long double adj = r > kHalf ? 1 : 0;
  return negative ? (q - adj) * step : (q + adj) * step;
}

std::int64_t RoundToInt64(long double value) {
  return static_cast<std::int64_t>(std::trunc(RoundToStep(value, 1.0L)));
}

std::string Int64ToText(std::int64_t value) {
  return std::to_string(value);
}

}  // namespace quillon
