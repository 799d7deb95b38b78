#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "tlv/FormatTLV.h"
#include "tlv/TLVParser.h"

namespace quillon {
namespace {

// One record: tag and length (little-endian, 16 bits each), then the value.
TBytes Rec(std::uint16_t tag, const TBytes& value, int length = -1) {
  const auto len = static_cast<std::uint16_t>(length < 0 ? value.size() : length);
  TBytes r = MakeBytes({static_cast<std::uint8_t>(tag), static_cast<std::uint8_t>(tag >> 8),
                        static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(len >> 8)});
  return r + value;
}

TBytes Str(const char* text) {
  return RawBytes(text);
}

std::string Parse(const TBytes& data, bool numbers = true, int indent = 0) {
  TTLVParser parser;
  parser.SetShowTagNumbers(numbers);
  parser.SetBaseIndent(indent);
  return parser.ParseTLV(data);
}

TEST(TLVParserLayout, NestedRecordsAreIndentedOneBlankPerLevel) {
  const TBytes data = MakeBytes({0x23, 0x04, 0x0C, 0x00, 0x06, 0x04, 0x02, 0x00, 0x41, 0x42, 0x37,
                                 0x04, 0x02, 0x00, 0x39, 0x30});
  EXPECT_EQ(Parse(data, true, 2),
            "  1059,ПРЕДМ. РАСЧЕТА\r\n"
            "   1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n"
            "   1079,ЦЕНА ЗА ЕД. ПРЕДМ. РАСЧ.:123.45\r\n");
  EXPECT_EQ(Parse(data, false, 0),
            "ПРЕДМ. РАСЧЕТА\r\n"
            " НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n"
            " ЦЕНА ЗА ЕД. ПРЕДМ. РАСЧ.:123.45\r\n");
}

TEST(TLVParserLayout, DocumentWithSeveralLevels) {
  const TBytes item = Rec(1059, Rec(1030, Str("X")) + Rec(1023, MakeBytes({0x00, 0x02})));
  const TBytes doc = Rec(3, Rec(1021, Str("Ivan")) + item + Rec(1054, MakeBytes({1})));
  EXPECT_EQ(Parse(doc),
            "3,Кассовый чек\r\n"
            " 1021,КАССИР:Ivan\r\n"
            " 1059,ПРЕДМ. РАСЧЕТА\r\n"
            "  1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:X\r\n"
            "  1023,КОЛ-ВО ПРЕДМ. РАСЧЕТА:2\r\n"
            " 1054,ПРИЗН. РАСЧЕТА:Приход\r\n");
}

TEST(TLVParserErrors, TooShortInput) {
  EXPECT_EQ(Parse(TBytes()), "TLV length error");
  EXPECT_EQ(Parse(MakeBytes({0x06, 0x04, 0x00})), "TLV length error");
  EXPECT_EQ(Parse(MakeBytes({0x06, 0x04, 0x00, 0x00})), "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:\r\n");
  // An empty structure: its caption, then the error text with no line end of its own.
  EXPECT_EQ(Parse(Rec(1059, TBytes()) + Rec(1030, Str("A"))),
            "1059,ПРЕДМ. РАСЧЕТА\r\nTLV length error1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:A\r\n");
}

TEST(TLVParserErrors, UnknownTagIsSkippedByItsLength) {
  EXPECT_EQ(Parse(Rec(999, MakeBytes({1, 2})) + Rec(1030, Str("AB"))),
            "999,НЕИЗВЕСТНЫЙ ТЕГ\r\n1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n");
  EXPECT_EQ(Parse(Rec(999, MakeBytes({1, 2})), false), "НЕИЗВЕСТНЫЙ ТЕГ\r\n");
}

TEST(TLVParserErrors, LengthIsCheckedAgainstTheWholeLevel) {
  // 300 bytes declared in a 20-byte buffer: error line, and the level ends there.
  TBytes data = Rec(1030, Str("0123456789ABCDEF"), 300);
  ASSERT_EQ(data.size(), 20u);
  EXPECT_EQ(Parse(data + Rec(1021, Str("Z"))),
            "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:Ошибка! Некорректная длина\r\n");
  // Inside a structure only that level ends; the outer one goes on.
  EXPECT_EQ(Parse(Rec(1059, Rec(1030, Str("AB"), 60)) + Rec(1021, Str("Z"))),
            "1059,ПРЕДМ. РАСЧЕТА\r\n"
            " 1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:Ошибка! Некорректная длина\r\n"
            "1021,КАССИР:Z\r\n");
  // Longer than what is left but not than the level less 4: taken as far as it goes.
  EXPECT_EQ(Parse(Rec(1030, Str("AB")) + Rec(1030, Str("CD"), 8)),
            "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:CD\r\n");
  EXPECT_EQ(Parse(Rec(1030, Str("AB")) + Rec(1030, Str("CD"), 9)),
            "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n"
            "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:Ошибка! Некорректная длина\r\n");
}

TEST(TLVParserErrors, TrailingFragmentIsReadAsARecord) {
  EXPECT_EQ(Parse(Rec(1030, Str("AB")) + MakeBytes({0xE7, 0x03})),
            "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n999,НЕИЗВЕСТНЫЙ ТЕГ\r\n");
  // A lone byte 01 is tag 1, a document structure with no data.
  EXPECT_EQ(Parse(Rec(1030, Str("AB")) + MakeBytes({0x01})),
            "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n1,Отчет о регистрации\r\nTLV length error");
}

TEST(TLVParserErrors, DamagedValueDoesNotEndTheDocument) {
  const TBytes data =
      Rec(1059, Rec(1023, MakeBytes({0x09, 0x01})) + Rec(1030, Str("A"))) + Rec(1021, Str("Z"));
  EXPECT_EQ(Parse(data),
            "1059,ПРЕДМ. РАСЧЕТА\r\n"
            " 1023,КОЛ-ВО ПРЕДМ. РАСЧЕТА:Неверная длина FVLN\r\n"
            " 1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:A\r\n"
            "1021,КАССИР:Z\r\n");
}

TEST(TLVParserHostile, DeepNestingIsCutAtTheBound) {
  constexpr int kLevels = 5000;
  TBytes data = Rec(1030, Str("A"));
  for (int i = 0; i < kLevels; ++i) data = Rec(1059, data);
  std::string text;
  ASSERT_NO_THROW(text = Parse(data, false));
  const std::string bound = "Превышена допустимая глубина вложенности TLV, запись пропущена";
  const auto at = text.find(bound);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(text.find(bound, at + 1), std::string::npos);
  // Levels 0..kMaxNesting are shown, then the bound line one level further in.
  const std::string indent(TTLVParser::kMaxNesting + 1, ' ');
  EXPECT_EQ(text.substr(at - indent.size() - 2), "\r\n" + indent + bound + "\r\n");
  int lines = 0;
  for (std::size_t i = text.find("\r\n"); i != std::string::npos; i = text.find("\r\n", i + 1))
    ++lines;
  EXPECT_EQ(lines, TTLVParser::kMaxNesting + 2);
  EXPECT_EQ(text.find("НАИМЕН"), std::string::npos);
}

TEST(TLVParserHostile, RandomBytesNeverThrowAndStateDoesNotLeak) {
  std::mt19937 rng(12345);
  TTLVParser parser;
  parser.SetShowTagNumbers(true);
  const TBytes reference = Rec(1059, Rec(1030, Str("AB")));
  const std::string expected = parser.ParseTLV(reference);
  for (int round = 0; round < 2000; ++round) {
    TBytes data(rng() % 300, 0);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    // Favour known structured tags so that the parser descends often.
    for (std::size_t i = 0; i + 1 < data.size(); i += 7) {
      data[i] = 0x23;
      data[i + 1] = 0x04;
    }
    ASSERT_NO_THROW(parser.ParseTLV(data));
    ASSERT_EQ(parser.ParseTLV(reference), expected);
  }
  EXPECT_NO_THROW(parser.ParseTLV(MakeBytes({0x23, 0x04, 0xFF, 0xFF, 0x23, 0x04, 0xFF, 0xFF})));
}

TEST(TLVParserDictionary, UsesTheGivenDictionary) {
  TTLVTags tags{TTLVTags::TEmpty{}};
  tags.AddTag(1030, "", "NAME", tvString, 10, false);
  TTLVParser parser(tags);
  EXPECT_FALSE(parser.ShowTagNumbers());
  EXPECT_EQ(parser.BaseIndent(), 0);
  EXPECT_EQ(parser.ParseTLV(Rec(1030, Str("A")) + Rec(1021, Str("B"))),
            "NAME:A\r\nНЕИЗВЕСТНЫЙ ТЕГ\r\n");
}

}  // namespace
}  // namespace quillon
