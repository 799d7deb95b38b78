#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "parser/AnswerComparison.h"

namespace quillon {
namespace {

// A status answer (code 11): bytes 11-12 are DocumentNumber, 15 ECRMode, 25-27 ECRDate,
// 28-30 ECRTime, 36-37 SessionNumber (0-based).
const std::string kStatus =
    "11 00 1E 41 30 FD 07 0F 03 18 01 47 1E 02 00 04 00 00 41 30 FD 07 0F 03 18 1F 0C 18 0A 0F "
    "00 01 87 D6 12 00 7B 00 00 00 01 00 75 C4 60 CB 01 00";

// kStatus with the byte at `index` (0-based) set to `value`.
std::string WithByte(std::string hex, std::size_t index, const char* value) {
  hex.replace(index * 3, 2, value);
  return hex;
}

TCommand Command(const std::string& request, const std::string& answer = {}) {
  TCommandRec rec;
  rec.TxData = request;
  rec.AnswerData = answer;
  rec.Code = TCommand::GetCode(request);
  return TCommand(rec);
}

struct TField {
  std::string Name;
  bool Volatile;
  bool operator==(const TField&) const = default;
};

TEST(AnswerComparison, VerdictAndFieldsPerCase) {
  const std::string status = "11 1E 00 00 00";
  const std::string unknown = "2A 1E 00 00 00";  // no decoder
  struct TCase {
    const char* Name;
    std::string Request, Logged, Played;
    std::vector<std::string> Ignored;
    TAnswerVerdict Verdict;
    std::vector<TField> Fields;
  };
  const TCase cases[] = {
      {"identical", status, kStatus, kStatus, {}, avSame, {}},
      {"not played", status, kStatus, "", {}, avNotPlayed, {}},
      {"no logged answer", status, "", kStatus, {}, avNoLoggedAnswer, {}},
      {"result changed", status, kStatus, "11 50", {}, avResultDiffers, {}},
      {"error became success", status, "11 37", kStatus, {}, avResultDiffers, {}},
      {"logged busy, played ready", status, "11 50", kStatus, {}, avNoLoggedAnswer, {}},
      {"busy both times", status, "11 4B", "11 4B", {}, avSame, {}},
      {"clock and document number only",
       status,
       kStatus,
       WithByte(WithByte(kStatus, 29, "10"), 11, "48"),
       {},
       avSame,
       {{"DocumentNumber", true}, {"ECRTime", true}}},
      {"mode",
       status,
       kStatus,
       WithByte(kStatus, 15, "02"),
       {},
       avDataDiffers,
       {{"ECRMode", false}}},
      {"mode and date",
       status,
       kStatus,
       WithByte(WithByte(kStatus, 25, "1E"), 15, "02"),
       {},
       avDataDiffers,
       {{"ECRMode", false}, {"ECRDate", true}}},
      {"mode ignored by the user",
       status,
       kStatus,
       WithByte(kStatus, 15, "02"),
       {"ecrMODE"},
       avSame,
       {{"ECRMode", true}}},
      {"a byte no field reads",
       status,
       kStatus,
       kStatus + " 00",
       {},
       avDataDiffers,
       {{"Данные", false}}},
      {"same error, other bytes",
       status,
       "11 37",
       "11 37 01",
       {},
       avDataDiffers,
       {{"Данные", false}}},
      {"no decoder", unknown, "2A 00 01", "2A 00 02", {}, avDataDiffers, {{"Данные", false}}},
      {"no decoder, same bytes", unknown, "2A 00 01", "2A 00 01", {}, avSame, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVolatileFields volatileFields;
    for (const std::string& name : c.Ignored) volatileFields.Add(name);
    const TCommand command = Command(c.Request, c.Logged);
    const TAnswerComparison result = CompareAnswers(command, c.Logged, c.Played, volatileFields);
    EXPECT_EQ(result.Verdict, c.Verdict);
    std::vector<TField> fields;
    for (const TFieldDifference& field : result.Fields) {
      fields.push_back({field.Name, field.Volatile});
      EXPECT_NE(field.Logged, field.Played) << field.Name;
    }
    EXPECT_EQ(fields, c.Fields);
    EXPECT_EQ(result.HasLoggedAnswer, !c.Logged.empty());
    EXPECT_EQ(result.HasPlayedAnswer, !c.Played.empty());
    // The result byte follows the one-byte code of these commands.
    if (c.Played == "11 50") {
      EXPECT_EQ(result.ResultPlayed, 0x50);
    }
    if (c.Logged == "11 37") {
      EXPECT_EQ(result.ResultLogged, 0x37);
    }
  }
}

TEST(AnswerComparison, PlayedAnswerOfTheCommandAndItsReportLine) {
  TCommand command = Command("11 1E 00 00 00", kStatus);
  command.SetPlayedAnswerData(WithByte(kStatus, 15, "02"));
  const TAnswerComparison result = CompareAnswers(command, TVolatileFields());
  ASSERT_EQ(result.Verdict, avDataDiffers);
  ASSERT_EQ(result.Fields.size(), 1u);
  EXPECT_EQ(result.Fields[0].Logged, "4 [Закрытая смена]");

  std::string out = "earlier\n";
  AppendComparisonJson(out, 7, command, result);
  ASSERT_EQ(out.rfind("earlier\n{", 0), 0u);
  ASSERT_EQ(out.back(), '\n');
  const auto line = nlohmann::json::parse(out.substr(8));
  EXPECT_EQ(line["n"], 7);
  EXPECT_EQ(line["code"], 0x11);
  EXPECT_EQ(line["name"], command.CommandName());
  EXPECT_EQ(line["verdict"], "data_differs");
  EXPECT_EQ(line["result_logged"], 0);
  EXPECT_EQ(line["result_played"], 0);
  ASSERT_EQ(line["fields"].size(), 1u);
  EXPECT_EQ(line["fields"][0]["name"], "ECRMode");
  EXPECT_EQ(line["fields"][0]["logged"], result.Fields[0].Logged);
  EXPECT_EQ(line["fields"][0]["played"], result.Fields[0].Played);
  EXPECT_EQ(line["fields"][0]["volatile"], false);

  // A side without answer has no result.
  std::string notPlayed;
  AppendComparisonJson(notPlayed, 1, command, CompareAnswers(command, kStatus, "", {}));
  EXPECT_TRUE(nlohmann::json::parse(notPlayed)["result_played"].is_null());
  EXPECT_EQ(nlohmann::json::parse(notPlayed)["fields"], nlohmann::json::array());
}

TEST(AnswerComparison, VolatileNamesIgnoreLetterCase) {
  TVolatileFields fields;
  for (const std::string& name : TVolatileFields::BuiltIn()) EXPECT_TRUE(fields.Contains(name));
  EXPECT_TRUE(fields.Contains("ecrtime"));
  EXPECT_TRUE(fields.Contains("FISCALSIGN"));
  EXPECT_FALSE(fields.Contains("ECRMode"));
  fields.Add("Ecrmode");
  EXPECT_TRUE(fields.Contains("ECRMODE"));
}

}  // namespace
}  // namespace quillon
