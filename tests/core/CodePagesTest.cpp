#include <gtest/gtest.h>

#include <string>

#include "core/CodePages.h"

namespace quillon {
namespace {

std::string Byte(int b) {
  return std::string(1, static_cast<char>(b));
}

// Independent UTF-8 encoder for the expected values.
std::string Utf8(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(CodePages, Windows1251ToUtf8) {
  EXPECT_EQ(Cp1251ToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2, ABC 123"), "Привет, ABC 123");
  EXPECT_EQ(Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Cp1251ToUtf8(""), "");
  for (int b = 0; b < 0x80; ++b) EXPECT_EQ(Cp1251ToUtf8(Byte(b)), Byte(b)) << b;
  for (int b = 0xC0; b <= 0xFF; ++b)
    EXPECT_EQ(Cp1251ToUtf8(Byte(b)), Utf8(0x0410 + (b - 0xC0))) << "byte " << b;
  EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8"), "Ёё");
  EXPECT_EQ(Cp1251ToUtf8("\xB9"), "№");
  EXPECT_EQ(Cp1251ToUtf8("\x88"), "€");
  EXPECT_EQ(Cp1251ToUtf8("\x96\x97"), "–—");
  EXPECT_EQ(Cp1251ToUtf8("\xAB\xBB"), "«»");
  EXPECT_EQ(Cp1251ToUtf8("\xA0"), Utf8(0x00A0));
  EXPECT_EQ(Cp1251ToUtf8("\xA5\xB4\xAA\xBA\xAF\xBF\xB2\xB3"), "ҐґЄєЇїІі");
  EXPECT_EQ(Cp1251ToUtf8("\x80\x90"), "Ђђ");
  // 98 is the one byte without a character.
  EXPECT_EQ(Cp1251ToUtf8("A\x98"
                         "B"),
            "A" + kReplacement + "B");

  std::string out = "x";
  AppendCp1251AsUtf8(out, "\xC0\xFF");
  EXPECT_EQ(out, "xАя");
}

TEST(CodePages, Cp866ToUtf8) {
  EXPECT_EQ(Cp866ToUtf8("\x8F\xE0\xA8"), "При");
  for (int b = 0x80; b <= 0xAF; ++b)
    EXPECT_EQ(Cp866ToUtf8(Byte(b)), Utf8(0x0410 + (b - 0x80))) << "byte " << b;
  for (int b = 0xE0; b <= 0xEF; ++b)
    EXPECT_EQ(Cp866ToUtf8(Byte(b)), Utf8(0x0440 + (b - 0xE0))) << "byte " << b;
  EXPECT_EQ(Cp866ToUtf8("\xF0\xF1"), "Ёё");
  EXPECT_EQ(Cp866ToUtf8("\xFC"), "№");
  EXPECT_EQ(Cp866ToUtf8("\xB0\xC4\xDB"), "░─█");
  EXPECT_EQ(Cp866ToUtf8("\xFF"), Utf8(0x00A0));
  EXPECT_EQ(Cp866ToUtf8("OK 1"), "OK 1");
  // Every byte has a character in 866.
  for (int b = 0x80; b <= 0xFF; ++b) EXPECT_NE(Cp866ToUtf8(Byte(b)), kReplacement) << b;
}

TEST(CodePages, Utf8ToWindows1251InvertsTheTable) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(Byte(b))), Byte(b)) << "byte " << b;
  }
  EXPECT_EQ(Utf8ToCp1251("Привет, мир!"), "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!");
  // Characters the code page lacks, and malformed input, become the replacement.
  EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");
  EXPECT_EQ(Utf8ToCp1251("a中b", '_'), "a_b");
  EXPECT_EQ(Utf8ToCp1251("😀"), "?");
  EXPECT_EQ(Utf8ToCp1251(kReplacement), "?");
  EXPECT_EQ(Utf8ToCp1251("a\xFF"
                         "b"),
            "a?b");
}

TEST(CodePages, NextUtf8DecodesAndResynchronises) {
  struct Case {
    std::string text;
    char32_t cp;
    std::size_t next;
  };
  const Case cases[] = {
      {"A", U'A', 1},
      {"Ж", 0x0416, 2},
      {"€", 0x20AC, 3},
      {"😀", 0x1F600, 4},
      {Utf8(0x10FFFF), 0x10FFFF, 4},
      {"\xFF", 0xFFFD, 1},      // never a lead byte
      {"\x80", 0xFFFD, 1},      // a continuation byte alone
      {"\xC0\x80", 0xFFFD, 1},  // overlong lead
      {"\xD0", 0xFFFD, 1},      // cut short at the end
      {"\xD0"
       "A",
       0xFFFD, 1},  // cut short before ASCII: the A is not swallowed
      {"\xE2\x82"
       "A",
       0xFFFD, 2},
      {"\xE0\x80\x80", 0xFFFD, 3},      // overlong three-byte form
      {"\xED\xA0\x80", 0xFFFD, 3},      // a surrogate
      {"\xF4\x90\x80\x80", 0xFFFD, 4},  // past U+10FFFF
  };
  for (const Case& c : cases) {
    std::size_t pos = 0;
    EXPECT_EQ(NextUtf8(c.text, pos), c.cp) << c.text;
    EXPECT_EQ(pos, c.next) << c.text;
  }
  // From the middle of a string.
  const std::string mixed = "aЖ€😀";
  std::size_t pos = 1;
  EXPECT_EQ(NextUtf8(mixed, pos), 0x0416u);
  EXPECT_EQ(NextUtf8(mixed, pos), 0x20ACu);
  EXPECT_EQ(NextUtf8(mixed, pos), 0x1F600u);
  EXPECT_EQ(pos, mixed.size());
}

TEST(CodePages, EveryCodePointSurvivesEncodeAndDecode) {
  int failures = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF && failures < 5; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string s;
    AppendUtf8(s, cp);
    std::size_t pos = 0;
    if (s != Utf8(cp) || NextUtf8(s, pos) != cp || pos != s.size()) {
      ADD_FAILURE() << "code point " << static_cast<std::uint32_t>(cp);
      ++failures;
    }
  }
  std::string s;
  AppendUtf8(s, 0xD800);
  AppendUtf8(s, 0x110000);
  EXPECT_EQ(s, kReplacement + kReplacement);
}

TEST(CodePages, LengthsAndOffsetsCountCodePoints) {
  const std::string text = "aЖ€😀b";
  EXPECT_EQ(Utf8Length(text), 5u);
  EXPECT_EQ(Utf8Length(""), 0u);
  EXPECT_EQ(Utf8Length("Привет"), 6u);
  EXPECT_EQ(Utf8Offset(text, 0), 0u);
  EXPECT_EQ(Utf8Offset(text, 1), 1u);
  EXPECT_EQ(Utf8Offset(text, 2), 3u);
  EXPECT_EQ(Utf8Offset(text, 3), 6u);
  EXPECT_EQ(Utf8Offset(text, 4), 10u);
  EXPECT_EQ(Utf8Offset(text, 5), text.size());
  EXPECT_EQ(Utf8Offset(text, 50), text.size());
  EXPECT_EQ(Utf8Left(text, 2), "aЖ");
  EXPECT_EQ(Utf8Left("Привет", 3), "При");
  EXPECT_EQ(Utf8Left("Привет", 100), "Привет");
  // A bad lead byte counts as one character.
  EXPECT_EQ(Utf8Length("a\xFF"
                       "b"),
            3u);
}

TEST(CodePages, LowerCaseIncludesCyrillic) {
  EXPECT_EQ(Utf8ToLower("ПРИВЕТ, Мир! ABC xyz 123"), "привет, мир! abc xyz 123");
  EXPECT_EQ(Utf8ToLower("ЁЖИК"), "ёжик");
  EXPECT_EQ(Utf8ToLower("ЂЃЄЅІЇЈЉЊЋЌЎЏ"), "ђѓєѕіїјљњћќўџ");
  EXPECT_EQ(Utf8ToLower("Ґ"), "ґ");
  EXPECT_EQ(Utf8ToLower("абвгд ёж"), "абвгд ёж");
  EXPECT_EQ(Utf8ToLower("€№"), "€№");
  EXPECT_EQ(Utf8ToLower(""), "");
  // Every capital of the basic Russian alphabet.
  for (char32_t cp = 0x0410; cp <= 0x042F; ++cp) EXPECT_EQ(Utf8ToLower(Utf8(cp)), Utf8(cp + 0x20));
}

}  // namespace
}  // namespace quillon
