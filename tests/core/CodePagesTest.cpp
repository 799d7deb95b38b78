#include <gtest/gtest.h>

#include <string>

#include "core/CodePages.h"

namespace quillon {
namespace {

std::string Byte(int b) {
  return std::string(1, static_cast<char>(b));
}

const std::string kAlphabet = "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя";
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(CodePages, EightBitPagesToUtf8) {
  for (int b = 0; b < 0x80; ++b) {
    EXPECT_EQ(Cp1251ToUtf8(Byte(b)), Byte(b)) << b;
    EXPECT_EQ(Cp866ToUtf8(Byte(b)), Byte(b)) << b;
  }
  // The Russian alphabet, and a sample of the other letters and signs.
  std::string cp1251, cp866;
  for (int i = 0; i < 64; ++i) {
    cp1251 += static_cast<char>(0xC0 + i);
    cp866 += static_cast<char>(i < 48 ? 0x80 + i : 0xE0 + i - 48);
  }
  EXPECT_EQ(Cp1251ToUtf8(cp1251), kAlphabet);
  EXPECT_EQ(Cp866ToUtf8(cp866), kAlphabet);
  EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9\x88\x80\xA0"), "Ёё№€Ђ\u00A0");
  EXPECT_EQ(Cp866ToUtf8("\xF0\xF1\xFC\xB0\xC4\xDB\xFF"), "Ёё№░─█\u00A0");
  // 98 is the one byte without a character in 1251; 866 has one for every byte.
  EXPECT_EQ(Cp1251ToUtf8("A\230B"), "A" + kReplacement + "B");
  for (int b = 0x80; b <= 0xFF; ++b) EXPECT_NE(Cp866ToUtf8(Byte(b)), kReplacement) << b;

  std::string out = "x";
  AppendCp1251AsUtf8(out, std::string("\xC0\0\xFF", 3));
  EXPECT_EQ(out, std::string("xА\0я", 6));
  AppendCp866AsUtf8(out, std::string("\x80\0\xEF\xFC", 4));
  EXPECT_EQ(out, std::string("xА\0яА\0я№", 14));
}

// What the automatic choice of a log's encoding judges a sample by.
TEST(CodePages, CyrillicUtf8IsToldFromWindows1251) {
  struct Case {
    std::string bytes;
    bool utf8;
  };
  const Case cases[] = {
      {"Привет, мир", true},
      {"Ёё Ѐӿ", true},  // U+0401, U+0451, U+0400, U+04FF
      {"Ԁ ̀", false},    // U+0500 and U+0300, just past either end
      {"ascii \xD0\x96", true},
      {"", false},
      {"plain ASCII", false},
      {"\xCF\xF0\xE8\xE2\xE5\xF2", false},  // "Привет" in 1251
      {"\x8F\xE0\xA8\xA2\xA5\xE2", false},  // and in 866
      // Well-formed UTF-8 without a Cyrillic letter: 1251 "В«XВ»" is "«X»", "Г©" is "é".
      {"\xC2\xABX\xC2\xBB \xC3\xA9", false},
      {"€ 😀", false},
      // One bad sequence anywhere spoils the rest.
      {"Привет \xFF", false},
      {"Привет \xC0\x80", false},          // overlong
      {"Привет \xE0\x80\x80", false},      // overlong three-byte form
      {"Привет \xED\xA0\x80", false},      // a surrogate
      {"Привет \xF4\x90\x80\x80", false},  // past U+10FFFF
      {"Привет \xD0\x41", false},          // cut short before ASCII
      {"Привет \xE2\x82 ", false},
      // A sequence cut off by the very end of the sample is taken for a whole one.
      {"Привет \xD0", true},
      {"Привет \xF0\x9F\x98", true},
      {"Привет \xE0\x80", false},  // but its bytes so far must fit
      {"\xD0", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LooksLikeCyrillicUtf8(c.bytes), c.utf8) << testing::PrintToString(c.bytes);
}

TEST(CodePages, Utf8ToWindows1251InvertsTheTable) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(Byte(b))), Byte(b)) << "byte " << b;
  }
  // Characters the code page lacks, and malformed input, become the replacement.
  EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");
  EXPECT_EQ(Utf8ToCp1251("a中😀\xFF", '_'), "a___");
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
      {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
      {"\xFF", 0xFFFD, 1},      // never a lead byte
      {"\x80", 0xFFFD, 1},      // a continuation byte alone
      {"\xC0\x80", 0xFFFD, 1},  // overlong lead
      {"\xD0", 0xFFFD, 1},      // cut short at the end
      {"\xD0\x41", 0xFFFD, 1},  // cut short before ASCII: the A is not swallowed
      {"\xE2\x82\x41", 0xFFFD, 2},
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
  std::size_t pos = 1;
  EXPECT_EQ(NextUtf8("aЖ😀", pos), 0x0416u);
  EXPECT_EQ(NextUtf8("aЖ😀", pos), 0x1F600u);
  EXPECT_EQ(pos, 7u);
}

TEST(CodePages, EveryCodePointSurvivesEncodeAndDecode) {
  int failures = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF && failures < 5; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string s;
    AppendUtf8(s, cp);
    const std::size_t size = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    std::size_t pos = 0;
    if (s.size() != size || NextUtf8(s, pos) != cp || pos != size) {
      ADD_FAILURE() << "code point " << static_cast<std::uint32_t>(cp);
      ++failures;
    }
  }
  std::string s;
  AppendUtf8(s, 0xD800);
  AppendUtf8(s, 0x110000);
  EXPECT_EQ(s, kReplacement + kReplacement);
}

TEST(CodePages, LengthsOffsetsAndLowerCase) {
  const std::string text = "aЖ€😀b";
  EXPECT_EQ(Utf8Length(text), 5u);
  EXPECT_EQ(Utf8Length("a\xFF"), 2u);  // a bad lead byte counts as one character
  const std::size_t offsets[] = {0, 1, 3, 6, 10, 11, 11};
  for (std::size_t chars = 0; chars < 7; ++chars)
    EXPECT_EQ(Utf8Offset(text, chars), offsets[chars]) << chars;
  EXPECT_EQ(Utf8Left("Привет", 3), "При");
  EXPECT_EQ(Utf8Left("Привет", 100), "Привет");

  EXPECT_EQ(Utf8ToLower("ПРИВЕТ, Мир! ABC xyz 123 €№"), "привет, мир! abc xyz 123 €№");
  EXPECT_EQ(Utf8ToLower("ЁЂЃЄЅІЇЈЉЊЋЌЎЏҐ"), "ёђѓєѕіїјљњћќўџґ");
  EXPECT_EQ(Utf8ToLower(kAlphabet.substr(0, 64)), kAlphabet.substr(64));
}

}  // namespace
}  // namespace quillon
