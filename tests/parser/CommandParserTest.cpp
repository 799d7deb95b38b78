#include <gtest/gtest.h>

#include <algorithm>

#include "TestCommands.h"
#include "core/FormatSettings.h"
#include "parser/CommandParser.h"
#include "parser/PrinterTypes.h"

namespace quillon {
namespace {

TCommand MakeCommand(const std::string& tx, const std::string& rx) {
  return test::MakeCommand(tx, rx, pProtocol2);
}

// A decoder with a small layout on each side and a sub-value-adding composite field.
class TTestDecoder : public TParserCommand {
 public:
  void CreateFields() override {
    AddField("Password", ftUInt32);
    AddField("Value", ftByte);
    AddField("value", ftByte);
  }
  void CreateAnswerFields() override {
    AddAnswerField("OperatorNumber", ftByte);
    AddAnswerField("Hidden", ftBarcodeTLV);
  }
  std::string GetShortValue() override {
    return GetFieldValue("VALUE") + "/" + GetAnswerFieldValue("operatornumber");
  }
};

TEST(CommandParser, RequestSkipsTheCodeAndWalksTheLayout) {
  auto decoder = MakeParserCommand<TTestDecoder>();
  // One-byte code: one byte skipped.
  EXPECT_EQ(decoder->Parse(MakeCommand("8D 1E 00 00 00 07 09", ""), pFields),
            "Password: 30\r\nValue: 7\r\nvalue: 9\r\n");
  // Two-byte code: two bytes skipped; the last pair of a repeated name wins, case ignored.
  decoder->Parse(MakeCommand("FF 46 01 00 00 00 05 06", ""), pFields);
  EXPECT_EQ(decoder->GetFieldValue("Password"), "1");
  EXPECT_EQ(decoder->GetFieldValue("VALUE"), "6");
  EXPECT_EQ(decoder->GetFieldValue("missing"), "");
  // A layout longer than the bytes still gives every line.
  std::string shortText = decoder->Parse(MakeCommand("8D 01", ""), pFields);
  EXPECT_EQ(std::count(shortText.begin(), shortText.end(), '\n'), 3);
  EXPECT_EQ(decoder->Parse(MakeCommand("", ""), pFields), "");
}

TEST(CommandParser, AnswerErrorLineAndHiddenComposites) {
  auto decoder = MakeParserCommand<TTestDecoder>();
  EXPECT_EQ(decoder->Parse(MakeCommand("11", "11 37 05"), pAnswerFields),
            "Error: 55(0x37) " + TPrinterError::GetDescription(55, true));
  // The composite field adds its own sub-values and has no line of its own.
  std::string text = decoder->Parse(MakeCommand("11", "11 00 04 00"), pAnswerFields);
  EXPECT_EQ(text.substr(0, 19), "OperatorNumber: 4\r\n");
  EXPECT_EQ(text.find(kHiddenValue), std::string::npos);
  EXPECT_EQ(text.find("Hidden:"), std::string::npos);
  // The played answer uses the answer layout.
  TCommand played = MakeCommand("11", "");
  played.SetPlayedAnswerData("11 00 02");
  EXPECT_EQ(decoder->Parse(played, pPlayedFields).substr(0, 19), "OperatorNumber: 2\r\n");
  EXPECT_EQ(decoder->Parse(MakeCommand("11", ""), pPlayedFields), "");
}

TEST(CommandParser, CommandsWithoutDecoderAndSummarySuffixes) {
  TCommand unknown = MakeCommand("13 1E 00 00 00", "13 00");
  TCommandTexts texts = ParseCommand(unknown);
  EXPECT_EQ(texts.Request, "");
  EXPECT_EQ(texts.Answer, "");
  EXPECT_EQ(texts.PlayedAnswer, "");
  EXPECT_EQ(GetCommandShortValue(unknown), "");

  TCommand failed = MakeCommand("13 1E 00 00 00", "13 02");
  EXPECT_EQ(ParseCommand(failed).Answer,
            "Error: 2(0x02) " + TPrinterError::GetDescription(2, true));
  EXPECT_EQ(GetCommandShortValue(failed),
            " [ERROR] 2 (0x02) " + TPrinterError::GetDescription(2, true));

  TCommand unanswered = MakeCommand("13 1E 00 00 00", "");
  EXPECT_EQ(GetCommandShortValue(unanswered), " Нет ответа на команду");

  EXPECT_EQ(TParserCommands::Shared().Count(), 34u);
  auto base = TParserCommands::Shared().GetParserCommandClass(0x13)();
  EXPECT_TRUE(base->Fields().empty());
  EXPECT_TRUE(base->AnswerFields().empty());
}

}  // namespace
}  // namespace quillon
