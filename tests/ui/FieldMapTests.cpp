// The link between the details' lines and the command's bytes, without widgets: every line
// the map names shows its value, the innermost value of chosen bytes and lines, the marks of
// the bytes, and the bytes pane's text.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "FormatSettingsGuard.h"
#include "TestCommands.h"
#include "TestLogs.h"
#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/LogLoader.h"
#include "parser/CommandDetails.h"
#include "parser/CommandParser.h"
#include "ui/FieldMap.h"
#include "ui/HexDump.h"

namespace quillon {
namespace {

using test::kTlvDocument;
using test::MakeCommand;

struct TDetails {
  std::vector<std::string> Lines;
  TDetailsLines Texts;  // where the decoded texts begin
  TFieldMap Map;
};

TDetails Decode(const TCommand& command) {
  TDetails details;
  TCommandSpans spans;
  const std::string text = FormatCommandDetails(command, &spans, &details.Texts);
  details.Map = TFieldMap(spans, details.Texts);
  for (std::string_view line : DetailsLines(text)) details.Lines.emplace_back(line);
  return details;
}

// Each entry's line starts with its name and each record's line holds its name (and it is
// the record that line gives back); each line of a decoded text is one entry's; each byte of
// a value has a value over it.
void ExpectLinesShowTheirValues(const TCommand& command) {
  const TDetails details = Decode(command);
  std::vector<int> entriesOnLine(details.Lines.size(), 0);
  for (const TFieldPlace& place : details.Map.Places()) {
    SCOPED_TRACE(place.Name);
    if (place.Kind == skField || place.Kind == skRecord) {
      ASSERT_GE(place.FirstLine, 0);
      ASSERT_LE(static_cast<std::size_t>(place.FirstLine + place.LineCount), details.Lines.size());
    }
    const std::string& line = place.FirstLine >= 0 ? details.Lines[place.FirstLine] : "";
    if (place.Kind == skField) {
      EXPECT_TRUE(line.starts_with(place.Name + ": ")) << line;
      for (int k = 0; k < place.LineCount; ++k) ++entriesOnLine[place.FirstLine + k];
    }
    if (place.Kind == skRecord) {
      EXPECT_NE(line.find(place.Name), std::string::npos) << line;
      EXPECT_EQ(details.Map.AtLine(place.FirstLine), &place);
    }
    for (std::size_t at = place.Offset; at < place.Offset + place.Length; ++at) {
      const TFieldPlace* found = details.Map.AtByte(place.Side, at);
      ASSERT_NE(found, nullptr);
      EXPECT_TRUE(found->Covers(at));
    }
  }
  // Every line of each decoded text (but the empty one after its last line end) is one
  // entry's; an empty text has none.
  const TCommandTexts texts = ParseCommand(command);
  for (const auto& [first, text] : {std::pair(details.Texts.Request, &texts.Request),
                                    std::pair(details.Texts.Answer, &texts.Answer),
                                    std::pair(details.Texts.PlayedAnswer, &texts.PlayedAnswer)}) {
    const std::size_t count =
        text->empty() ? 0 : DetailsLines(*text).size() - (text->ends_with("\r\n") ? 1 : 0);
    for (std::size_t line = first; line < first + count; ++line)
      EXPECT_EQ(entriesOnLine[line], 1) << details.Lines[line];
  }
}

class FieldMap : public ::testing::Test {
 private:
  test::TFormatSettingsGuard FSettings;
};

TEST_F(FieldMap, EveryLineItNamesShowsItsValue) {
  // Records nested in structures, entries of composite fields, a failed answer, a played
  // answer cut short.
  std::vector<TCommand> commands;
  commands.push_back(MakeCommand(kTlvDocument, "FF 0C 00"));
  commands.push_back(MakeCommand(
      "FF 67 1E 00 00 00 18 " + BytesToHex(RawBytes("0104600439931256215ABCDE")) + " FF",
      "FF 67 00 44 4D 00 01 00 04 01 FF"));
  commands.push_back(
      MakeCommand("FF 61 1E 00 00 00 01 00 1E 00", "FF 61 00 03 00 02 03 00 0F FF 03 02 00 00 02"));
  commands.push_back(MakeCommand("11 1E 00 00 00", "11 37"));
  commands.back().SetPlayedAnswerData("11 00 1E 33");
  for (const TCommand& command : commands) {
    SCOPED_TRACE(command.TxData());
    ExpectLinesShowTheirValues(command);
  }
  const std::string sample = test::SampleLogPath();
  ASSERT_FALSE(sample.empty());
  const TLogLoadResult loaded =
      LoadLog(TLogSource::File(sample), [&](TCommand& command, std::uint64_t number) {
        SCOPED_TRACE("sample command " + std::to_string(number));
        ExpectLinesShowTheirValues(command);
      });
  EXPECT_TRUE(loaded.ReadError.empty());
}

TEST_F(FieldMap, InnermostValuesOfBytesAndLinesAndTheMarks) {
  const std::string cut =
      std::string(kTlvDocument).substr(0, std::string(kTlvDocument).size() - 21);
  const std::string barcode =
      "FF 67 1E 00 00 00 18 " + BytesToHex(RawBytes("0104600439931256215ABCDE")) + " FF";
  struct TCase {
    std::string Tx, Rx;
    TBytesSide Side;
    std::size_t Offset;
    const char* Name;  // the value over the byte; nullptr: none
    TByteMark Mark;
  };
  const TCase cases[] = {
      {kTlvDocument, "", bsRequest, 0, nullptr, bmNoField},  // the code
      {kTlvDocument, "", bsRequest, 2, "Password", bmField},
      {kTlvDocument, "", bsRequest, 7, "1021,КАССИР", bmField},  // a tag byte
      {kTlvDocument, "", bsRequest, 15, "1059,ПРЕДМ. РАСЧЕТА", bmField},
      {kTlvDocument, "", bsRequest, 22, "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА", bmField},
      {kTlvDocument, "", bsRequest, 30, "1044,ОПЕРАЦИЯ ПЛАТ. АГЕНТА", bmField},
      {kTlvDocument, "", bsRequest, 38, "60000,НЕИЗВЕСТНЫЙ ТЕГ", bmField},
      // Cut in the agent's operation: it and the structures around it ran past the end.
      {cut, "", bsRequest, 15, "1059,ПРЕДМ. РАСЧЕТА", bmIncomplete},
      {cut, "", bsRequest, 22, "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА", bmField},
      {cut, "", bsRequest, 29, "1044,ОПЕРАЦИЯ ПЛАТ. АГЕНТА", bmIncomplete},
      // A short request: the price has two of its five bytes.
      {"80 1E 00 00 00 10 27 00 00 00 E8 03", "", bsRequest, 11, "Price", bmIncomplete},
      // The length byte before the barcode is only the composite field's.
      {barcode, "", bsRequest, 6, "Barcode", bmField},
      {barcode, "", bsRequest, 7, "Barcode HEX", bmField},
      {"11 1E 00 00 00", "11 37", bsAnswer, 1, "Error", bmField},
      {"11 1E 00 00 00", "11 37", bsAnswer, 0, nullptr, bmNoField},
      {"10 1E 00 00 00", "10 00 1E", bsAnswer, 1, nullptr, bmNoField},  // the result byte
      {"10 1E 00 00 00", "10 00 1E", bsAnswer, 2, "OperatorNumber", bmField},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Tx + " / " + c.Rx + " @" + std::to_string(c.Side) + ":" +
                 std::to_string(c.Offset));
    const TDetails details = Decode(MakeCommand(c.Tx, c.Rx));
    const std::size_t size = HexToBytes(c.Side == bsRequest ? c.Tx : c.Rx).size();
    const std::vector<TByteMark> marks = details.Map.Marks(c.Side, size);
    if (c.Offset < size) {
      EXPECT_EQ(marks[c.Offset], c.Mark);
    }
    const TFieldPlace* place = details.Map.AtByte(c.Side, c.Offset);
    if (c.Name == nullptr) {
      EXPECT_EQ(place, nullptr) << place->Name;
      continue;
    }
    ASSERT_NE(place, nullptr);
    EXPECT_EQ(place->Name, c.Name);
    EXPECT_EQ(place->Side, c.Side);
    // Clicking its line comes back to it (a composite field's line is its first entry's).
    const TFieldPlace* onLine = details.Map.AtLine(place->FirstLine);
    ASSERT_NE(onLine, nullptr);
    EXPECT_EQ(onLine->Name, place->Kind == skGroup ? std::string("Barcode HEX") : place->Name);
  }
  // The headings and the lines above them show no value.
  const TDetails details = Decode(MakeCommand(kTlvDocument, "FF 0C 00"));
  for (std::size_t line = 0; line < details.Lines.size(); ++line) {
    const std::string& text = details.Lines[line];
    if (line < 6 || text.ends_with("параметры:") || text.ends_with("параметры (лог):") ||
        text.ends_with("параметры (ККТ):")) {
      EXPECT_EQ(details.Map.AtLine(static_cast<int>(line)), nullptr) << text;
    }
  }
}

TEST(HexDump, RowsOfSixteenBytesWithOffsetsAndCodePage1251Characters) {
  // 19 request bytes: two rows; "Сахар" in code page 1251, a control code and 0x98, which
  // the code page lacks.
  const std::string text = BytesToHex(RawBytes(Utf8ToCp1251("Сахар")));
  const TCommand command =
      MakeCommand("17 1E 00 00 00 01 " + text + " 0A 98 41 42 43 44 45 46", "17 00 1E");
  const THexDump dump(command, TFieldMap());
  const QStringList lines = dump.Text().split(QLatin1Char('\n'));
  const QStringList expected{
      QStringLiteral("Передано, байт: 19"),
      QStringLiteral("0000  17 1E 00 00 00 01 D1 E0  F5 E0 F0 0A 98 41 42 43  ......Сахар..ABC"),
      QStringLiteral("0010  44 45 46") + QString(42, QLatin1Char(' ')) + QStringLiteral("DEF"),
      QString(),
      QStringLiteral("Принято (лог), байт: 3"),
      QStringLiteral("0000  17 00 1E") + QString(42, QLatin1Char(' ')) + QStringLiteral("..."),
      QString(),
      QStringLiteral("Принято (ККТ), байт: 0"),
  };
  EXPECT_EQ(lines, expected);

  // Each byte's hex digits and character lead back to it; the blanks lead nowhere.
  for (TBytesSide side : {bsRequest, bsAnswer}) {
    for (std::size_t offset = 0; offset < dump.Bytes(side).size(); ++offset) {
      const TBytePosition at = dump.Position(side, offset);
      const QString hex =
          QStringLiteral("%1").arg(dump.Bytes(side)[offset], 2, 16, QLatin1Char('0')).toUpper();
      EXPECT_EQ(lines[at.Line].mid(at.HexColumn, 2), hex);
      EXPECT_EQ(lines[at.Line].at(at.CharColumn), THexDump::ByteChar(dump.Bytes(side)[offset]));
      for (int column : {at.HexColumn, at.HexColumn + 1, at.CharColumn}) {
        TBytesSide gotSide = bsPlayedAnswer;
        std::size_t got = 0;
        ASSERT_TRUE(dump.ByteAt(at.Line, column, gotSide, got));
        EXPECT_EQ(gotSide, side);
        EXPECT_EQ(got, offset);
      }
      TBytesSide gotSide;
      std::size_t got;
      EXPECT_FALSE(dump.ByteAt(at.Line, at.HexColumn + 2, gotSide, got));
    }
  }
  TBytesSide side;
  std::size_t offset;
  EXPECT_FALSE(dump.ByteAt(0, 6, side, offset));          // the heading
  EXPECT_FALSE(dump.ByteAt(2, 6 + 3 * 4, side, offset));  // past the last byte
  EXPECT_EQ(dump.Position(bsRequest, 19).Line, -1);
}

}  // namespace
}  // namespace quillon
