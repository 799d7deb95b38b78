// Byte strings: counted sequences of 8-bit values, zero bytes allowed.
// They are never text and never go through a character-set conversion.
#pragma once

#include <cstdint>
#include <cstring>
#include <ios>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Character traits for bytes. The standard library has none for unsigned char; these
// also take care that empty copies never hand a null pointer to memcpy.
struct TByteTraits {
  using char_type = std::uint8_t;
  using int_type = int;
  using off_type = std::streamoff;
  using pos_type = std::streampos;
  using state_type = std::mbstate_t;

  static constexpr void assign(char_type& r, const char_type& a) noexcept { r = a; }
  static constexpr bool eq(char_type a, char_type b) noexcept { return a == b; }
  static constexpr bool lt(char_type a, char_type b) noexcept { return a < b; }
  static constexpr int compare(const char_type* a, const char_type* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
  }
  static constexpr std::size_t length(const char_type* s) {
    std::size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
  }
  static constexpr const char_type* find(const char_type* s, std::size_t n, const char_type& a) {
    for (std::size_t i = 0; i < n; ++i)
      if (s[i] == a) return s + i;
    return nullptr;
  }
  static char_type* move(char_type* d, const char_type* s, std::size_t n) {
    if (n != 0) std::memmove(d, s, n);
    return d;
  }
  static char_type* copy(char_type* d, const char_type* s, std::size_t n) {
    if (n != 0) std::memcpy(d, s, n);
    return d;
  }
  static char_type* assign(char_type* d, std::size_t n, char_type a) {
    if (n != 0) std::memset(d, a, n);
    return d;
  }
  static constexpr char_type to_char_type(int_type c) noexcept { return static_cast<char_type>(c); }
  static constexpr int_type to_int_type(char_type c) noexcept { return c; }
  static constexpr bool eq_int_type(int_type a, int_type b) noexcept { return a == b; }
  static constexpr int_type eof() noexcept { return -1; }
  static constexpr int_type not_eof(int_type c) noexcept { return c == eof() ? 0 : c; }
};

using TBytes = std::basic_string<std::uint8_t, TByteTraits>;
using TBytesView = std::basic_string_view<std::uint8_t, TByteTraits>;
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
