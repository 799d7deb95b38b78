#include "core/CodePages.h"

#include <locale.h>

#include <algorithm>
#include <array>
#include <cwctype>

namespace quillon {

namespace {

// Upper halves (0x80..0xFF) of the two code pages; 0xFFFD marks an undefined byte.
const char32_t kCp1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

const char32_t kCp866[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

void Append8Bit(std::string& out, std::string_view bytes, const char32_t (&upper)[128]) {
  for (unsigned char c : bytes) {
    if (c < 0x80)
      out.push_back(static_cast<char>(c));
    else
      AppendUtf8(out, upper[c - 0x80]);
  }
}

std::string Decode8Bit(std::string_view bytes, const char32_t (&upper)[128]) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  Append8Bit(out, bytes, upper);
  return out;
}

struct TReverseTable {
  // Sorted pairs (code point, byte) for the upper half of code page 1251.
  std::array<std::pair<char32_t, unsigned char>, 128> Pairs{};
  std::size_t Count = 0;
};

const TReverseTable& Reverse1251() {
  static const TReverseTable table = [] {
    TReverseTable t;
    for (int i = 0; i < 128; ++i)
      if (kCp1251[i] != 0xFFFD)
        t.Pairs[t.Count++] = {kCp1251[i], static_cast<unsigned char>(0x80 + i)};
    std::sort(t.Pairs.begin(), t.Pairs.begin() + t.Count);
    return t;
  }();
  return table;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp <= 0x10FFFF) {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    AppendUtf8(out, 0xFFFD);
  }
}

void AppendCp1251AsUtf8(std::string& out, std::string_view bytes) {
  Append8Bit(out, bytes, kCp1251);
}

void AppendCp866AsUtf8(std::string& out, std::string_view bytes) {
  Append8Bit(out, bytes, kCp866);
}

std::string Cp1251ToUtf8(std::string_view bytes) {
  return Decode8Bit(bytes, kCp1251);
}

std::string Cp866ToUtf8(std::string_view bytes) {
  return Decode8Bit(bytes, kCp866);
}

std::string Utf8ToCp1251(std::string_view text, char replacement) {
  const TReverseTable& rev = Reverse1251();
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = NextUtf8(text, pos);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    auto end = rev.Pairs.begin() + rev.Count;
    auto it = std::lower_bound(rev.Pairs.begin(), end, std::pair<char32_t, unsigned char>{cp, 0});
    if (it != end && it->first == cp)
      out.push_back(static_cast<char>(it->second));
    else
      out.push_back(replacement);
  }
  return out;
}

char32_t NextUtf8(std::string_view text, std::size_t& pos) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char c = byte(pos);
  if (c < 0x80) {
    ++pos;
    return c;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    ++pos;
    return 0xFFFD;
  }
  std::size_t i = pos + 1;
  for (int k = 0; k < extra; ++k, ++i) {
    if (i >= text.size() || (byte(i) & 0xC0) != 0x80) {
      pos = i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(i) & 0x3F);
  }
  pos = i;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

bool LooksLikeCyrillicUtf8(std::string_view bytes) {
  bool cyrillic = false;
  const std::size_t size = bytes.size();
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  for (std::size_t i = 0; i < size;) {
    const unsigned char c = byte(i);
    if (c < 0x80) {
      ++i;
      continue;
    }
    // The lead byte gives the length and the range of the second byte (no overlong forms,
    // surrogates or values past U+10FFFF); the others are plain continuation bytes.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= size) return cyrillic;  // cut off at the end of the sample
      const unsigned char next = byte(i + k);
      if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return false;
    }
    if (c >= 0xD0 && c <= 0xD3) cyrillic = true;  // U+0400..U+04FF
    i += length;
  }
  return cyrillic;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}

std::size_t Utf8Offset(std::string_view text, std::size_t chars) {
  std::size_t pos = 0;
  while (pos < text.size() && chars > 0) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
    --chars;
  }
  return pos;
}

std::string_view Utf8Left(std::string_view text, std::size_t chars) {
  return text.substr(0, Utf8Offset(text, chars));
}

std::string Utf8ToLower(std::string_view text) {
  std::string out;
  AppendUtf8Lower(out, text);
  return out;
}

void AppendUtf8Lower(std::string& out, std::string_view text) {
  // The C.UTF-8 locale carries the full Unicode case tables and is always present.
  static const locale_t kLocale = [] {
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr))
      loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    return loc;
  }();
  out.reserve(out.size() + text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
      ++pos;
      continue;
    }
    char32_t cp = NextUtf8(text, pos);
    if (kLocale != static_cast<locale_t>(nullptr))
      cp = static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), kLocale));
    else if (cp >= 0x0410 && cp <= 0x042F)
      cp += 0x20;
    else if (cp >= 0x0400 && cp <= 0x040F)
      cp += 0x50;
    AppendUtf8(out, cp);
  }
}

}  // namespace quillon
