// Byte strings: counted sequences of 8-bit values, zero bytes allowed.
// They are never text and never go through a character-set conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

using TBytes = std::basic_string<std::uint8_t>;
using TBytesView = std::basic_string_view<std::uint8_t>;
using TByteArray = std::vector<std::uint8_t>;

// Builds a byte string from a list of values: MakeBytes({0x02, 0x00, 0x00}).
inline TBytes MakeBytes(std::initializer_list<std::uint8_t> values) {
  return TBytes(values.begin(), values.end());
}

// Reinterprets raw characters (file contents, a test literal) as bytes, unchanged.
inline TBytes RawBytes(std::string_view raw) {
  return TBytes(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
}

inline std::string_view RawChars(TBytesView bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace quillon
