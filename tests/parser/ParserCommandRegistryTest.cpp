// The decoder registry, the one-line summary helpers and the operation decoder (0xFF46)
// end to end: request text, answer text, list summary and its suffixes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <vector>

#include "FormatSettingsGuard.h"
#include "TestCommands.h"
#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/FormatSettings.h"
#include "core/untCommand.h"
#include "parser/CommandParser.h"
#include "parser/ParserCommand10.h"
#include "parser/ParserCommand11.h"
#include "parser/ParserCommand17.h"
#include "parser/ParserCommand1E.h"
#include "parser/ParserCommand1F.h"
#include "parser/ParserCommand2D.h"
#include "parser/ParserCommand2E.h"
#include "parser/ParserCommand2F.h"
#include "parser/ParserCommand6B.h"
#include "parser/ParserCommand80.h"
#include "parser/ParserCommand81.h"
#include "parser/ParserCommand82.h"
#include "parser/ParserCommand83.h"
#include "parser/ParserCommand85.h"
#include "parser/ParserCommand89.h"
#include "parser/ParserCommand8D.h"
#include "parser/ParserCommandFC.h"
#include "parser/ParserCommandFE.h"
#include "parser/ParserCommandFF01.h"
#include "parser/ParserCommandFF0C.h"
#include "parser/ParserCommandFF45.h"
#include "parser/ParserCommandFF46.h"
#include "parser/ParserCommandFF61.h"
#include "parser/ParserCommandFF67.h"
#include "parser/ParserCommandFF69.h"
#include "parser/ParserCommandFF70.h"
#include "parser/ParserCommandFF71.h"
#include "parser/ParserCommandFF72.h"
#include "parser/ParserCommandFF73.h"
#include "parser/ParserCommandFF74.h"
#include "parser/ParserCommandFF75.h"
#include "parser/ParserCommandFF76.h"
#include "parser/ParserCommandFF78.h"
#include "parser/PrinterTypes.h"
#include "parser/ShortValueFormat.h"

namespace quillon {
namespace {

using namespace std::string_literals;

using test::MakeCommand;

// A device text (code page 1251) as hex text.
std::string TextHex(std::string_view utf8) {
  return BytesToHex(RawBytes(Utf8ToCp1251(utf8)));
}

std::type_index ClassOf(TParserCommandClass cls) {
  auto parser = cls();
  return std::type_index(typeid(*parser));
}

class ParserCommandRegistry : public ::testing::Test {
 private:
  test::TFormatSettingsGuard FSettings;
};

TEST_F(ParserCommandRegistry, RegistersTheThirtyFourCodesInOrder) {
  const std::vector<std::pair<std::uint16_t, std::type_index>> expected = {
      {0xFF45, typeid(TParserCommandFF45)}, {0xFF46, typeid(TParserCommandFF46)},
      {0xFF01, typeid(TParserCommandFF01)}, {0xFF0C, typeid(TParserCommandFF0C)},
      {0xFF4D, typeid(TParserCommandFF0C)}, {0xFF61, typeid(TParserCommandFF61)},
      {0xFF67, typeid(TParserCommandFF67)}, {0xFF69, typeid(TParserCommandFF69)},
      {0xFF70, typeid(TParserCommandFF70)}, {0xFF71, typeid(TParserCommandFF71)},
      {0xFF72, typeid(TParserCommandFF72)}, {0xFF73, typeid(TParserCommandFF73)},
      {0xFF74, typeid(TParserCommandFF74)}, {0xFF75, typeid(TParserCommandFF75)},
      {0xFF76, typeid(TParserCommandFF76)}, {0xFF78, typeid(TParserCommandFF78)},
      {0x10, typeid(TParserCommand10)},     {0x11, typeid(TParserCommand11)},
      {0x17, typeid(TParserCommand17)},     {0x1E, typeid(TParserCommand1E)},
      {0x1F, typeid(TParserCommand1F)},     {0x2F, typeid(TParserCommand2F)},
      {0x2D, typeid(TParserCommand2D)},     {0x2E, typeid(TParserCommand2E)},
      {0x6B, typeid(TParserCommand6B)},     {0x80, typeid(TParserCommand80)},
      {0x81, typeid(TParserCommand81)},     {0x82, typeid(TParserCommand82)},
      {0x83, typeid(TParserCommand83)},     {0x85, typeid(TParserCommand85)},
      {0x89, typeid(TParserCommand89)},     {0x8D, typeid(TParserCommand8D)},
      {0xFC, typeid(TParserCommandFC)},     {0xFE, typeid(TParserCommandFE)},
  };
  const TParserCommands registry;
  ASSERT_EQ(registry.Count(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(registry.Items()[i].first, expected[i].first);
    EXPECT_EQ(ClassOf(registry.Items()[i].second), expected[i].second);
    // The lookup answers the same class, and the decoder it makes has its layouts.
    auto parser = registry.GetParserCommandClass(expected[i].first)();
    EXPECT_EQ(std::type_index(typeid(*parser)), expected[i].second);
    EXPECT_FALSE(parser->Fields().empty() && parser->AnswerFields().empty());
  }
  EXPECT_EQ(TParserCommands::Shared().Count(), expected.size());
}

TEST_F(ParserCommandRegistry, UnknownCodesGetTheEmptyBaseDecoder) {
  const TParserCommands registry;
  for (std::uint16_t code : {0x00, 0x13, 0xFF, 0xFF00, 0xFF99, 0x0145}) {
    SCOPED_TRACE(code);
    auto parser = registry.GetParserCommandClass(code)();
    EXPECT_EQ(std::type_index(typeid(*parser)), std::type_index(typeid(TParserCommand)));
    EXPECT_TRUE(parser->Fields().empty());
    EXPECT_TRUE(parser->AnswerFields().empty());
  }

  const TCommand ok = MakeCommand("13 1E 00 00 00", "13 00 05 06");
  const TCommandTexts texts = ParseCommand(ok);
  EXPECT_EQ(texts.Request, "");
  EXPECT_EQ(texts.Answer, "");
  EXPECT_EQ(texts.PlayedAnswer, "");
  EXPECT_EQ(GetCommandShortValue(ok), "");

  const TCommand failed = MakeCommand("13 1E 00 00 00", "13 37");
  EXPECT_EQ(ParseCommand(failed).Answer,
            "Error: 55(0x37) " + TPrinterError::GetDescription(55, true));
  EXPECT_EQ(GetCommandShortValue(failed),
            " [ERROR] 55 (0x37) " + TPrinterError::GetDescription(55, true));
  EXPECT_EQ(GetCommandShortValue(MakeCommand("13 1E 00 00 00")), " Нет ответа на команду");
}

TEST_F(ParserCommandRegistry, TlvCommandBoundToAnOperationDecodesAsTheFreeTlvCommand) {
  // Tag 1021 (cashier), four Latin letters.
  const std::string body = "1E 00 00 00 FD 03 04 00 49 76 61 6E";
  const TCommand free = MakeCommand("FF 0C " + body, "FF 0C 00");
  const TCommand bound = MakeCommand("FF 4D " + body, "FF 4D 00");
  const TCommandTexts freeTexts = ParseCommand(free);
  const TCommandTexts boundTexts = ParseCommand(bound);
  EXPECT_NE(freeTexts.Request.find("КАССИР:Ivan"), std::string::npos);
  EXPECT_EQ(boundTexts.Request, freeTexts.Request);
  EXPECT_EQ(boundTexts.Answer, freeTexts.Answer);
  EXPECT_EQ(GetCommandShortValue(bound), GetCommandShortValue(free));
  EXPECT_NE(GetCommandShortValue(bound), "");
}

TEST(ShortValueFormat, FillsEveryPlaceholderInOrderAndSurvivesAMismatchedCount) {
  EXPECT_EQ(FormatShortValue("Т%sР%sП%s = %s", {"1", "2", "3", "4"}), "Т1Р2П3 = 4");
  EXPECT_EQ(FormatShortValue("%s (%s)", {"Касса", "45"}), "Касса (45)");
  // Values are copied as they are: a percent sign or "%s" inside one is not a placeholder.
  EXPECT_EQ(FormatShortValue("[%s] %s", {"%s", "НДС 20%"}), "[%s] НДС 20%");
  // Too few values: the remaining placeholders stay empty; too many: the rest is dropped.
  EXPECT_EQ(FormatShortValue("[ДОК: %s] [ФП: %s]  ", {"42"}), "[ДОК: 42] [ФП: ]  ");
  EXPECT_EQ(FormatShortValue("%s", {"a", "b"}), "a");
  EXPECT_EQ(FormatShortValue("100%% %d %", {}), "100% %d %");
}

TEST(ShortValueFormat, JoinsLinesAndTrimsControlCharacters) {
  EXPECT_EQ(JoinLines("\r\nStr: ABC\r\nInt: 4407873"), " Str: ABC Int: 4407873");
  // Only CR LF pairs are line breaks here.
  EXPECT_EQ(JoinLines("a\rb\nc\r\n\r\n"), "a\rb\nc  ");
  EXPECT_EQ(JoinLines(""), "");

  const std::string padded = "  Касса-Т\0\t "s;
  EXPECT_EQ(TrimControls(padded), "Касса-Т");
  EXPECT_EQ(TrimControls("Ввод  данных"), "Ввод  данных");
  EXPECT_EQ(TrimControls(" \r\n "), "");
}

// The operation command of the worked example: item "Хлеб", one piece at 100.00.
std::string OperationRequest() {
  return "FF 46 1E 00 00 00 01 40 42 0F 00 00 00 10 27 00 00 00 FF FF FF FF FF FF FF FF FF FF "
         "01 01 04 01 " +
         TextHex("Хлеб");
}

TEST_F(ParserCommandRegistry, OperationCommandDecodesTheWorkedExample) {
  ASSERT_EQ(TextHex("Хлеб"), "D5 EB E5 E1");
  const TCommand cmd = MakeCommand(OperationRequest(), "FF 46 00");
  const TCommandTexts texts = ParseCommand(cmd);
  EXPECT_EQ(texts.Request,
            "Password: 30\r\n"
            "CheckType: 1 [Приход]\r\n"
            "Quantity: 1,000000\r\n"
            "Price: 100,00\r\n"
            "Summ1: [нет]\r\n"
            "TaxValue: [нет]\r\n"
            "Tax1: 1 [НДС 20%]\r\n"
            "Department: 1\r\n"
            "PaymentTypeSign: 4 [Полный расчет]\r\n"
            "PaymentItemSign: 1 [Товар]\r\n"
            "StringForPrinting: Хлеб\r\n");
  EXPECT_EQ(texts.Answer, "");
  EXPECT_EQ(texts.PlayedAnswer, "");
  const std::string summary = "1 [Приход] 100,00 X 1,000000 (4 [Полный расчет] 1 [Товар] ) Хлеб";
  EXPECT_EQ(GetCommandShortValue(cmd), summary);

  // The played answer is decoded on its own.
  TCommand played = MakeCommand(OperationRequest(), "FF 46 00");
  played.SetPlayedAnswerData("FF 46 7E");
  EXPECT_EQ(ParseCommand(played).PlayedAnswer,
            "Error: 126(0x7E) " + TPrinterError::GetDescription(126, true));
  EXPECT_EQ(ParseCommand(played).Answer, "");
}

TEST_F(ParserCommandRegistry, OperationCommandFailuresAndMissingAnswers) {
  const std::string summary = "1 [Приход] 100,00 X 1,000000 (4 [Полный расчет] 1 [Товар] ) Хлеб";
  const std::string description = TPrinterError::GetDescription(0x37, true);
  ASSERT_FALSE(description.empty());

  const TCommand failed = MakeCommand(OperationRequest(), "FF 46 37");
  EXPECT_EQ(failed.ResCode(), 0x37);
  EXPECT_EQ(ParseCommand(failed).Answer, "Error: 55(0x37) " + description);
  EXPECT_EQ(GetCommandShortValue(failed), summary + " [ERROR] 55 (0x37) " + description);

  const TCommand codeTwo = MakeCommand(OperationRequest(), "FF 46 02");
  EXPECT_EQ(GetCommandShortValue(codeTwo),
            summary + " [ERROR] 2 (0x02) " + TPrinterError::GetDescription(2, true));

  // No answer: the suffix says so, whatever result code the record carries.
  TCommand silent = MakeCommand(OperationRequest());
  silent.SetResCode(0x37);
  EXPECT_EQ(ParseCommand(silent).Answer, "");
  EXPECT_EQ(GetCommandShortValue(silent), summary + " Нет ответа на команду");
}

TEST_F(ParserCommandRegistry, SummariesNeverCarryValuesOfAnEarlierCommand) {
  // Decoders may be reused between rows; a later command must not see earlier values.
  const TCommand full = MakeCommand(OperationRequest(), "FF 46 00");
  EXPECT_NE(GetCommandShortValue(full).find("Хлеб"), std::string::npos);
  const TCommand shortRequest = MakeCommand("FF 46 1E 00 00 00 02", "FF 46 00");
  const std::string summary = GetCommandShortValue(shortRequest);
  EXPECT_EQ(summary.find("Хлеб"), std::string::npos);
  EXPECT_EQ(summary.rfind("2 [Возврат прихода] ", 0), 0u) << summary;

  EXPECT_EQ(GetCommandShortValue(MakeCommand("89 1E 00 00 00", "89 00 1E 39 30 00 00 00")),
            "ПОДЫТОГ 123,45");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("89 1E 00 00 00")), "ПОДЫТОГ  Нет ответа на команду");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("89 1E 00 00 00", "89 37")),
            "ПОДЫТОГ  [ERROR] 55 (0x37) " + TPrinterError::GetDescription(55, true));
}

}  // namespace
}  // namespace quillon
