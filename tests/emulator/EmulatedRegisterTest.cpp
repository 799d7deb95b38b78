#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FormatSettingsGuard.h"
#include "core/BinUtils.h"
#include "core/FormatSettings.h"
#include "core/untCommand.h"
#include "emulator/EmulatedRegister.h"
#include "parser/CommandParser.h"

namespace quillon {
namespace {

TBytes Hex(std::string_view text) {
  return HexToBytes(text);
}

// Decodes a request and its answer with the program's own command decoders, so that every
// field of the built-in answers is read where the decoders expect it.
class BuiltInRegisterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FNow.Year = 2025;
    FNow.Month = 3;
    FNow.Day = 7;
    FNow.Hour = 14;
    FNow.Minute = 5;
    FNow.Second = 9;
  }

  TBytes Ask(std::string_view requestHex) { return FRegister.Answer(Hex(requestHex), FNow); }

  // The decoder of the request's command, filled with the built-in answer.
  std::unique_ptr<TParserCommand> Decode(std::string_view requestHex) {
    TCommandRec rec;
    rec.TxData = std::string(requestHex);
    rec.AnswerData = BytesToHex(Ask(requestHex));
    rec.Code = TCommand::GetCode(rec.TxData);
    const TCommand command(rec);
    auto cls =
        TParserCommands::Shared().GetParserCommandClass(static_cast<std::uint16_t>(rec.Code));
    EXPECT_NE(cls, nullptr) << requestHex;
    if (cls == nullptr) return nullptr;
    auto parser = cls();
    EXPECT_EQ(parser->Parse(command, pAnswerFields).find("Error"), std::string::npos);
    return parser;
  }

  TEmulatedRegister FRegister;
  TDateTimeParts FNow;
  test::TFormatSettingsGuard FSettings;
};

TEST_F(BuiltInRegisterTest, ShortStatusIsReadyAndNeverPrinting) {
  const TBytes answer = Ask("10 1E 00 00 00");
  ASSERT_EQ(answer.size(), 14u);  // code, result, operator, flags 2, mode, submode, 7 bytes
  EXPECT_EQ(answer.substr(0, 2), Hex("10 00"));
  auto parser = Decode("10 1E 00 00 00");
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(parser->GetAnswerFieldValue("OperatorNumber"), "30");
  EXPECT_EQ(parser->GetAnswerFieldValue("ECRAdvancedMode").substr(0, 2), "0 ");
  EXPECT_EQ(parser->GetAnswerFieldValue("ECRMode").substr(0, 2), "2 ");
}

TEST_F(BuiltInRegisterTest, StatusHasTheFullLayoutAndTheClock) {
  const TBytes answer = Ask("11 1E 00 00 00");
  ASSERT_EQ(answer.size(), 48u);
  EXPECT_EQ(answer.substr(0, 2), Hex("11 00"));
  auto parser = Decode("11 1E 00 00 00");
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(parser->GetAnswerFieldValue("FECRSoftVersion"), "1.0");
  EXPECT_EQ(parser->GetAnswerFieldValue("FECRSoftDate"), "15.03.2024");
  EXPECT_EQ(parser->GetAnswerFieldValue("ECRAdvancedMode").substr(0, 2), "0 ");
  EXPECT_EQ(parser->GetAnswerFieldValue("FMSoftDate (Old)"), "15.03.2024");
  EXPECT_EQ(parser->GetAnswerFieldValue("ECRDate"), "07.03.2025");
  EXPECT_EQ(parser->GetAnswerFieldValue("ECRTime"), "14:05:09");
  EXPECT_EQ(parser->GetAnswerFieldValue("ECRSerial"), "12345678");
  EXPECT_EQ(parser->GetAnswerFieldValue("FreeRegistration"), "29");
  EXPECT_EQ(parser->GetAnswerFieldValue("INN"), "123456789012");
}

TEST_F(BuiltInRegisterTest, DeviceTypeAndStorageStatus) {
  auto type = Decode("FC");
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type->GetAnswerFieldValue("ProtocolVersion"), "1");
  EXPECT_EQ(type->GetAnswerFieldValue("CodePage"), "0");
  EXPECT_EQ(type->GetAnswerFieldValue("Description"), "ККТ-ЭМУЛЯТОР");

  const TBytes storage = Ask("FF 01 1E 00 00 00");
  ASSERT_EQ(storage.size(), 33u);  // code 2, result, 5 state bytes, date-time 5, 16, 4
  auto parser = Decode("FF 01 1E 00 00 00");
  ASSERT_NE(parser, nullptr);
  EXPECT_EQ(parser->GetAnswerFieldValue("ECRDate"), "07.03.2025 14:05:00");
  EXPECT_EQ(parser->GetAnswerFieldValue("SerialNumber"), "9999000000000001");
  EXPECT_EQ(parser->GetAnswerFieldValue("DocumentNumber"), "100");
}

TEST_F(BuiltInRegisterTest, OtherCodesAreRefusedWithTheirOwnCode) {
  EXPECT_EQ(Ask("99 1E 00 00 00"), Hex("99 37"));
  EXPECT_EQ(Ask("FF 45 1E 00 00 00"), Hex("FF 45 37"));
  EXPECT_EQ(Ask("FF"), Hex("FF 00 37"));
  EXPECT_EQ(Ask(""), Hex("00 37"));
  EXPECT_EQ(ResultAnswer(Hex("FF 01 1E"), kResultPrinting), Hex("FF 01 50"));
}

// A recorded command: request and answer as hex, the line number standing in for its place.
TRecordedCommand Rec(std::string_view request, std::string_view answer, int line) {
  return {Hex(request), Hex(answer), line};
}

int LineOf(const TRecordedCommand* command) {
  return command ? command->LineNumber : 0;
}

TEST(RecordedAnswersTest, RequestsTakeTheirCommandsInOrderAndWrap) {
  TRecordedAnswers answers({Rec("11 01", "11 00 AA", 1), Rec("80 01", "80 00", 2),
                            Rec("11 01", "11 00 BB", 3), Rec("12 01", "", 4),
                            Rec("13 01", "13 00", 5)});
  EXPECT_EQ(LineOf(answers.Take(Hex("11 01"))), 1);
  EXPECT_EQ(LineOf(answers.Take(Hex("11 01"))), 3);  // skips 80 01
  EXPECT_EQ(answers.Position(), 3u);
  TRecordedAnswers other = answers;                  // the same commands, a position of its own
  EXPECT_EQ(LineOf(answers.Take(Hex("80 01"))), 2);  // none ahead: from the start
  EXPECT_EQ(answers.Position(), 2u);
  EXPECT_EQ(LineOf(answers.Take(Hex("11 01"))), 3);  // ahead again
  EXPECT_EQ(LineOf(answers.Take(Hex("11 02"))), 0);  // other bytes never match
  EXPECT_EQ(answers.Position(), 3u);
  const TRecordedCommand* silent = answers.Take(Hex("12 01"));
  ASSERT_NE(silent, nullptr);
  EXPECT_TRUE(silent->Answer.empty());
  EXPECT_EQ(LineOf(answers.Take(Hex("13 01"))), 5);
  EXPECT_EQ(LineOf(answers.Take(Hex("13 01"))), 5);  // the end: the same one again
  EXPECT_EQ(LineOf(answers.Take(Hex("11 01"))), 1);  // a second pass gets the first
  EXPECT_EQ(answers.Position(), 1u);

  EXPECT_EQ(other.Position(), 3u);
  EXPECT_EQ(LineOf(other.Take(Hex("13 01"))), 5);
  EXPECT_EQ(answers.Position(), 1u);
  EXPECT_EQ(TRecordedAnswers().Take(Hex("11 01")), nullptr);
}

TEST(RecordedAnswersTest, ShortStatusPollsTakeOnlyTheNextCommand) {
  TRecordedAnswers answers({Rec("FF 45 01", "FF 45 00", 1), Rec("10 01", "10 00 05", 2),
                            Rec("10 01", "10 00 00", 3), Rec("11 01", "11 00", 4),
                            Rec("10 01", "10 00 06", 5)});
  EXPECT_EQ(LineOf(answers.Take(Hex("10 01"))), 0);  // next is FF 45: position kept
  EXPECT_EQ(answers.Position(), 0u);
  EXPECT_EQ(LineOf(answers.Take(Hex("FF 45 01"))), 1);
  EXPECT_EQ(LineOf(answers.Take(Hex("10 01"))), 2);
  EXPECT_EQ(LineOf(answers.Take(Hex("10 01"))), 3);
  EXPECT_EQ(LineOf(answers.Take(Hex("10 01"))), 0);  // more polls than the log had
  EXPECT_EQ(LineOf(answers.Take(Hex("10 01"))), 0);
  EXPECT_EQ(answers.Position(), 3u);
  EXPECT_EQ(LineOf(answers.Take(Hex("11 01"))), 4);
  EXPECT_EQ(LineOf(answers.Take(Hex("10 01"))), 5);
  EXPECT_EQ(LineOf(answers.Take(Hex("10 01"))), 0);  // the end of the log
}

}  // namespace
}  // namespace quillon
