// Where the bytes of each decoded value are: every decoder's spans on realistic bytes agree
// with its text and with their own bytes decoded alone; the records of a nested TLV
// document; answers cut short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FormatSettingsGuard.h"
#include "TestCommands.h"
#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/CommandCode.h"
#include "core/FieldSpan.h"
#include "core/LogLoader.h"
#include "parser/CommandParser.h"
#include "tlv/FormatTLV.h"
#include "tlv/TLVParser.h"

namespace quillon {
namespace {

using test::MakeCommand;

// A device text (code page 1251) as hex text, padded with `pad` to `size` bytes.
std::string TextHex(std::string_view utf8, std::size_t size = 0, std::uint8_t pad = 0) {
  TBytes bytes = RawBytes(Utf8ToCp1251(utf8));
  if (bytes.size() < size) bytes.append(size - bytes.size(), pad);
  return BytesToHex(bytes);
}

std::string Repeat(std::string_view hex, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out.append(" ").append(hex);
  return out;
}

// An extended receipt close with `taxValues` tax amounts, and its answer.
std::pair<std::string, std::string> CloseCheck(const std::string& code, int taxValues) {
  return {code + " 1E 00 00 00 10 27 00 00 00" + Repeat("00 00 00 00 00", 15) +
              " 00 67 06 00 00 00" + Repeat("FF FF FF FF FF", taxValues - 1) + " 02 " +
              TextHex("Спасибо за покупку"),
          code + " 00 00 00 00 00 00 2A 00 00 00 D2 02 96 49"};
}

// A request and answer, as registers send them, of each registered code that the sample log
// has not.
std::vector<std::pair<std::string, std::string>> RealisticCommands() {
  const std::string barcode = BytesToHex(RawBytes("01046004399312562112345\03593abcd"));
  const std::string markingCode = BytesToHex(RawBytes("0104600439931256215ABCDE"));
  const std::string operation = " 1E 00 00 00 D0 07 00 00 00 39 30 00 00 00 01 02 00 00 00 ";
  return {
      CloseCheck("FF 45", 6),
      {"FF 01 1E 00 00 00", "FF 01 00 03 00 00 01 00 18 0C 1F 0A 0F " +
                                TextHex("99990789000123", 16, ' ') + " 39 30 01 00"},
      {"FF 0C 1E 00 00 00 FD 03 04 00 49 76 61 6E B3 04 03 00 31 32 33", "FF 0C 00"},
      {"FF 4D 02 00 00 00 0E 04 04 00 C1 1F 00 00 EB 03 00 00", "FF 4D 00"},
      {"FF 61 1E 00 00 00 01 00 1E 06 " + barcode + " FF 03 02 00 00 02",
       "FF 61 00 03 00 02 03 00 0F FF 03 02 00 00 02"},
      {"FF 67 1E 00 00 00 18 " + markingCode + " FF", "FF 67 00 44 4D 00 01 00 04 01 FF"},
      {"FF 69 1E 00 00 00 01", "FF 69 00"},
      {"FF 70",
       "FF 70 00 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 00 06 00 00 "
       "00 07 00 01 00"},
      {"FF 71", "FF 71 00 03 00 00 00 01 00 00 00 00 02 01 00"},
      {"FF 72", "FF 72 00 01 00 00 00 00 02 00 00 00 01 00 00 03 00 00 00 30 31 41"},
      {"FF 73 05 00 00 00 34 12", "FF 73 00"},
      {"FF 74", "FF 74 00 " + TextHex("ФН-М исп. 2")},
      {"FF 75 1E 00 00 00", "FF 75 00 F4 01 00 00 80 00 01 00"},
      CloseCheck("FF 76", 10),
      CloseCheck("FF 78", 12),
      {"11 1E 00 00 00",
       "11 00 1E 33 30 34 12 1F 0C 18 01 0A 00 03 02 02 03 02 32 35 01 00 01 01 18 0F 06 19 0A "
       "0F 1E 00 15 CD 5B 07 2A 00 FF 00 01 1D 75 C4 60 CB 01 00"},
      {"1E 1E 00 00 00 04 2C 01 02 " + TextHex("Кассир Петров", 20), "1E 00"},
      {"2F 1E 00 00 00 02 03 " + TextHex("СПАСИБО"), "2F 00 1E"},
      {"2D 1E 00 00 00 01", "2D 00 " + TextHex("Тип и режим кассы", 40) + " 01 00 12"},
      {"2E 1E 00 00 00 01 02", "2E 00 " + TextHex("Автоматическая обрезка чека", 40, ' ') + " 00"},
      {"6B 37", "6B 00 " + TextHex("Нет бумаги")},
      {"81" + operation + TextHex("Молоко"), "81 00 1E"},
      {"82" + operation + TextHex("Молоко"), "82 00 1E"},
      {"83" + operation + TextHex("Молоко"), "83 00 1E"},
      {"89 1E 00 00 00", "89 00 1E 39 30 00 00 00"},
      {"8D 1E 00 00 00 01", "8D 00 1E"},
      {"FE F3 00 00 00 00", "FE 00"},
  };
}

// A decoder of one field of the given type: decodes a field's bytes alone.
class TOneField : public TParserCommand {
 public:
  static inline TFieldType Type = ftByte;
  void CreateFields() override { AddField("alone", Type); }
};

// The span of `bytes` decoded alone as the one field of a request with a one-byte code.
TFieldSpan DecodeAlone(TFieldType type, TBytesView bytes) {
  TOneField::Type = type;
  auto decoder = MakeParserCommand<TOneField>();
  TFieldSpans spans;
  decoder->Parse(MakeCommand("10 " + BytesToHex(bytes)), pFields, true, &spans);
  return spans.size() == 1 ? spans[0] : TFieldSpan{};
}

// The same values, kinds, lengths and completeness, offsets `shift` bytes further on, and
// (below the top) the same names.
void ExpectSameSpan(const TFieldSpan& got, const TFieldSpan& want, std::size_t shift,
                    const std::string& path, bool top = true) {
  SCOPED_TRACE(path);
  if (!top) {
    EXPECT_EQ(got.Name, want.Name);
  }
  EXPECT_EQ(got.Value, want.Value);
  EXPECT_EQ(got.Kind, want.Kind);
  EXPECT_EQ(got.Offset + shift, want.Offset);
  EXPECT_EQ(got.Length, want.Length);
  EXPECT_EQ(got.Complete, want.Complete);
  ASSERT_EQ(got.Children.size(), want.Children.size());
  for (std::size_t i = 0; i < got.Children.size(); ++i)
    ExpectSameSpan(got.Children[i], want.Children[i], shift, path + "/" + want.Children[i].Name,
                   false);
}

TBytesView Slice(TBytesView bytes, const TFieldSpan& span) {
  return bytes.substr(span.Offset, span.Length);
}

// Children lie inside their parent, one after another; two may cover the same bytes only
// when they show the same bytes twice. Parts and records give what their own bytes say.
void ExpectPartsInPlace(TBytesView bytes, const TFieldSpan& parent, const std::string& path) {
  std::size_t end = parent.Offset;
  const TFieldSpan* previous = nullptr;
  for (const TFieldSpan& child : parent.Children) {
    const std::string at = path + "/" + child.Name;
    SCOPED_TRACE(at);
    EXPECT_GE(child.Offset, parent.Offset);
    EXPECT_LE(child.Offset + child.Length, parent.Offset + parent.Length);
    const bool again =
        previous != nullptr && previous->Offset == child.Offset && previous->Length == child.Length;
    if (!again) {
      EXPECT_GE(child.Offset, end) << "overlaps the part before it";
    }
    end = child.Offset + child.Length;
    previous = &child;

    const TBytesView own = Slice(bytes, child);
    if (child.Kind == skField && (child.Name.ends_with("HEX") || child.Name.ends_with("Hex"))) {
      EXPECT_EQ(child.Value, BytesToHex(own));
    }
    if (child.Kind == skPart && child.Name != "value" && child.Complete) {
      EXPECT_EQ(child.Value, std::to_string(TFormatTLV::ValueTLV2Int(own)));
    }
    if (child.Kind == skRecord && child.Complete) {
      TTLVParser parser;
      parser.SetShowTagNumbers(true);
      TFieldSpans alone;
      parser.ParseTLV(own, alone, child.Offset);
      ASSERT_EQ(alone.size(), 1u);
      ExpectSameSpan(alone[0], child, 0, at, false);
    }
    ExpectPartsInPlace(bytes, child, at);
  }
}

// The text as the entries among the spans make it.
void AppendEntries(std::string& out, const TFieldSpans& spans) {
  for (const TFieldSpan& span : spans) {
    if (span.Kind == skField) out += span.Name + ": " + span.Value + "\r\n";
    if (span.Kind == skGroup) AppendEntries(out, span.Children);
  }
}

// The record lines of a value: blanks, the name and, but for structures and unknown tags,
// ':' and the value.
void ExpectRecordLines(const TFieldSpan& field) {
  std::vector<const TFieldSpan*> records;
  const auto collect = [&](const auto& self, const TFieldSpans& spans) -> void {
    for (const TFieldSpan& span : spans) {
      if (span.Kind == skRecord) records.push_back(&span);
      self(self, span.Children);
    }
  };
  collect(collect, field.Children);
  if (records.empty()) return;
  std::vector<std::string> lines;
  std::string_view rest = field.Value;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find("\r\n"), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 2, rest.size()));
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (!line.empty()) lines.emplace_back(line);
  }
  ASSERT_EQ(lines.size(), records.size()) << field.Value;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const TFieldSpan& r = *records[i];
    EXPECT_TRUE(lines[i] == r.Name + ":" + r.Value || (r.Value.empty() && lines[i] == r.Name))
        << lines[i] << " / " << r.Name << " / " << r.Value;
  }
}

// Both sides of the command: the spans against the text, the layout and the bytes.
void ExpectSpansFitTheBytes(const TCommand& command) {
  TParserCommand& decoder = DecoderFor(command.Code());
  for (TParseType side : {pFields, pAnswerFields}) {
    const std::string& hex = side == pFields ? command.TxData() : command.AnswerData();
    SCOPED_TRACE((side == pFields ? "request " : "answer ") + hex);
    const TBytes bytes = HexToBytes(hex);
    const std::string fast = decoder.Parse(command, side);
    TFieldSpans spans;
    const std::string text = decoder.Parse(command, side, true, &spans);
    EXPECT_EQ(text, fast);
    if (bytes.empty()) {
      EXPECT_TRUE(spans.empty());
      continue;
    }
    const std::size_t code = CommandCodeLength(bytes);
    if (side == pAnswerFields && bytes.size() > code && bytes[code] != 0) {
      ASSERT_EQ(spans.size(), 1u);
      EXPECT_EQ("Error: " + spans[0].Value, text);
      EXPECT_EQ(spans[0].Offset, code);
      EXPECT_EQ(spans[0].Length, 1u);
      continue;
    }
    std::string rebuilt;
    AppendEntries(rebuilt, spans);
    EXPECT_EQ(rebuilt, text);

    const TFieldLayout& layout = side == pFields ? decoder.Fields() : decoder.AnswerFields();
    ASSERT_EQ(spans.size(), layout.size());
    std::size_t at = std::min(code + (side == pFields ? 0 : 1), bytes.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
      const TFieldSpan& span = spans[i];
      const auto& [name, type] = layout[i];
      SCOPED_TRACE(name);
      EXPECT_EQ(span.Name, name);
      EXPECT_EQ(span.Offset, at) << "the fields follow each other";
      at = span.Offset + span.Length;
      ExpectSameSpan(DecodeAlone(type, Slice(bytes, span)), span, span.Offset - 1, name);
      ExpectPartsInPlace(bytes, span, name);
      if (span.Kind == skField) ExpectRecordLines(span);
      for (const TFieldSpan& part : span.Children)
        if (part.Kind == skField) ExpectRecordLines(part);
    }
    EXPECT_LE(at, bytes.size());
  }
}

class FieldSpans : public ::testing::Test {
 private:
  test::TFormatSettingsGuard FSettings;
};

TEST_F(FieldSpans, EveryDecoderSpansItsBytes) {
  std::set<std::uint16_t> codes;
  for (const auto& [tx, rx] : RealisticCommands()) {
    const TCommand command = MakeCommand(tx, rx);
    codes.insert(static_cast<std::uint16_t>(command.Code()));
    ExpectSpansFitTheBytes(command);
  }
  // The sample log: failed answers, requests without answer, what the driver really sent.
  const std::string sample = test::SampleLogPath();
  ASSERT_FALSE(sample.empty());
  const TLogLoadResult loaded =
      LoadLog(TLogSource::File(sample), [&](TCommand& command, std::uint64_t number) {
        SCOPED_TRACE("sample command " + std::to_string(number));
        ExpectSpansFitTheBytes(command);
        if (!command.AnswerData().empty() && command.ResCode() == 0)
          codes.insert(static_cast<std::uint16_t>(command.Code()));
      });
  EXPECT_TRUE(loaded.ReadError.empty());
  for (const auto& [code, cls] : TParserCommands::Shared().Items())
    EXPECT_EQ(codes.count(code), 1u) << "no realistic bytes for code " << IntToHex(code, 2);
}

// One row per span in pre-order: depth, kind, name, value, offset, length, complete.
struct TRow {
  int Depth;
  TSpanKind Kind;
  std::string Name, Value;
  std::size_t Offset, Length;
  bool Complete;
  bool operator==(const TRow&) const = default;
};

void PrintTo(const TRow& r, std::ostream* os) {
  *os << r.Depth << " " << int{r.Kind} << " " << r.Name << " = " << r.Value << " @" << r.Offset
      << "+" << r.Length << (r.Complete ? "" : " incomplete");
}

void Flatten(const TFieldSpans& spans, int depth, std::vector<TRow>& rows) {
  for (const TFieldSpan& s : spans) {
    rows.push_back(
        {depth, s.Kind, s.Name, s.Kind == skField ? "" : s.Value, s.Offset, s.Length, s.Complete});
    Flatten(s.Children, depth + 1, rows);
  }
}

// tag, length and value parts of a record at `offset`.
std::vector<TRow> Parts(int depth, std::size_t offset, std::size_t tag, std::size_t length,
                        std::string value, std::size_t valueLength, bool complete = true) {
  return {{depth, skPart, "tag", std::to_string(tag), offset, 2, true},
          {depth, skPart, "length", std::to_string(length), offset + 2, 2, true},
          {depth, skPart, "value", std::move(value), offset + 4, valueLength, complete}};
}

std::vector<TRow> Join(std::initializer_list<std::vector<TRow>> parts) {
  std::vector<TRow> rows;
  for (const auto& part : parts) rows.insert(rows.end(), part.begin(), part.end());
  return rows;
}

TEST_F(FieldSpans, TlvRecordsOfANestedDocument) {
  // Cashier "Ivan"; an item (1059) with its name "AB" and agent data (1223) holding the
  // agent's operation "OP"; an unknown tag. The TLV block starts at byte 6.
  const std::string document =
      "FF 0C 1E 00 00 00 FD 03 04 00 49 76 61 6E 23 04 10 00 06 04 02 00 41 42 C7 04 06 00 14 "
      "04 02 00 4F 50 60 EA 01 00 07";
  TParserCommand& decoder = DecoderFor(0xFF0C);
  TFieldSpans spans;
  decoder.Parse(MakeCommand(document), pFields, true, &spans);
  std::vector<TRow> rows;
  Flatten(spans, 0, rows);
  const std::vector<TRow> whole = Join({
      {{0, skField, "Password", "", 2, 4, true}, {0, skField, "TLVData", "", 6, 33, true}},
      {{1, skRecord, "1021,КАССИР", "Ivan", 6, 8, true}},
      Parts(2, 6, 1021, 4, "Ivan", 4),
      {{1, skRecord, "1059,ПРЕДМ. РАСЧЕТА", "", 14, 20, true}},
      Parts(2, 14, 1059, 16, "", 16),
      {{3, skRecord, "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА", "AB", 18, 6, true}},
      Parts(4, 18, 1030, 2, "AB", 2),
      {{3, skRecord, "1223,ДАННЫЕ АГЕНТА", "", 24, 10, true}},
      Parts(4, 24, 1223, 6, "", 6),
      {{5, skRecord, "1044,ОПЕРАЦИЯ ПЛАТ. АГЕНТА", "OP", 28, 6, true}},
      Parts(6, 28, 1044, 2, "OP", 2),
      {{1, skRecord, "60000,НЕИЗВЕСТНЫЙ ТЕГ", "", 34, 5, true}},
      Parts(2, 34, 60000, 1, "", 1),
  });
  EXPECT_EQ(rows, whole);

  // Cut in the agent's operation: that record says more than there is, and so are the
  // structures around it and the field; what came before stays whole.
  spans.clear();
  decoder.Parse(MakeCommand(document.substr(0, document.size() - 7 * 3)), pFields, true, &spans);
  rows.clear();
  Flatten(spans, 0, rows);
  const std::string badLength = "Ошибка! Некорректная длина";
  const std::vector<TRow> cut = Join({
      {{0, skField, "Password", "", 2, 4, true}, {0, skField, "TLVData", "", 6, 26, false}},
      {{1, skRecord, "1021,КАССИР", "Ivan", 6, 8, true}},
      Parts(2, 6, 1021, 4, "Ivan", 4),
      {{1, skRecord, "1059,ПРЕДМ. РАСЧЕТА", "", 14, 18, false}},
      Parts(2, 14, 1059, 16, "", 14, false),
      {{3, skRecord, "1030,НАИМЕН. ПРЕДМ. РАСЧЕТА", "AB", 18, 6, true}},
      Parts(4, 18, 1030, 2, "AB", 2),
      {{3, skRecord, "1223,ДАННЫЕ АГЕНТА", "", 24, 8, false}},
      Parts(4, 24, 1223, 6, "", 4, false),
      {{5, skRecord, "1044,ОПЕРАЦИЯ ПЛАТ. АГЕНТА", badLength, 28, 4, false}},
      Parts(6, 28, 1044, 2, badLength, 0, false),
  });
  EXPECT_EQ(rows, cut);
}

// Where the parts of composite fields lie: the barcode as hex and as text on the same bytes
// and the flag after it; the server's answer byte by byte, its TLV block and record.
TEST_F(FieldSpans, CompositeFieldsTellWhereTheirPartsAre) {
  struct Case {
    std::string Tx, Rx;
    TParseType Side;
    std::vector<TRow> Rows;
  };
  const Case cases[] = {
      {"FF 67 1E 00 00 00 18 " + BytesToHex(RawBytes("0104600439931256215ABCDE")) + " FF",
       "",
       pFields,
       {{0, skField, "Password", "", 2, 4, true},
        {0, skGroup, "Barcode", "", 6, 26, true},
        {1, skField, "Barcode HEX", "", 7, 24, true},
        {1, skField, "Barcode", "", 7, 24, true},
        {1, skField, "OSU", "", 31, 1, true}}},
      {"FF 61", "FF 61 00 03 00 02 03 00 0F FF 03 02 00 00 02", pAnswerFields,
       Join({{{0, skField, "CheckItemLocalResult", "", 3, 1, true},
              {0, skField, "CheckItemLocalError", "", 4, 1, true},
              {0, skField, "MarkingType2", "", 5, 1, true},
              {0, skGroup, "KM Server Answer", "", 6, 9, true},
              {1, skField, "KMServerErrorCode", "", 7, 1, true},
              {1, skField, "KMServerCheckingStatus (Тег 2106)", "", 8, 1, true},
              {1, skField, "TLVData Hex", "", 9, 6, true},
              {1, skField, "TLV Data", "", 9, 6, true},
              {2, skRecord, "1023,КОЛ-ВО ПРЕДМ. РАСЧЕТА", "2", 9, 6, true}},
             Parts(3, 9, 1023, 2, "2", 2)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Side == pFields ? c.Tx : c.Rx);
    const TCommand command = MakeCommand(c.Tx, c.Rx);
    TFieldSpans spans;
    DecoderFor(command.Code()).Parse(command, c.Side, true, &spans);
    std::vector<TRow> rows;
    Flatten(spans, 0, rows);
    EXPECT_EQ(rows, c.Rows);
  }
}

// Answers of fixed-width fields cut anywhere: exactly the fields whose bytes reached past
// the cut are incomplete; the others keep their bytes and values.
TEST_F(FieldSpans, CutAnswersMarkTheFieldsPastTheEnd) {
  int answers = 0;
  for (const auto& [tx, rx] : RealisticCommands()) {
    const std::int32_t code = MakeCommand(tx).Code();
    if (code != 0x11 && code != 0xFF01 && code != 0xFF70) continue;
    ++answers;
    TParserCommand& decoder = DecoderFor(code);
    TFieldSpans whole;
    decoder.Parse(MakeCommand(tx, rx), pAnswerFields, true, &whole);
    for (const TFieldSpan& span : whole) ASSERT_TRUE(span.Complete) << span.Name;
    const std::size_t size = HexToBytes(rx).size();
    for (std::size_t kept = CommandCodeLength(HexToBytes(rx)); kept < size; ++kept) {
      SCOPED_TRACE(rx + " cut to " + std::to_string(kept) + " bytes");
      TFieldSpans spans;
      decoder.Parse(MakeCommand(tx, rx.substr(0, kept * 3 - 1)), pAnswerFields, true, &spans);
      ASSERT_EQ(spans.size(), whole.size());
      for (std::size_t i = 0; i < spans.size(); ++i) {
        const bool there = whole[i].Offset + whole[i].Length <= kept;
        EXPECT_EQ(spans[i].Complete, there) << spans[i].Name;
        EXPECT_EQ(spans[i].Offset, std::min(whole[i].Offset, kept)) << spans[i].Name;
        if (there) {
          EXPECT_EQ(spans[i].Value, whole[i].Value) << spans[i].Name;
        }
        EXPECT_LE(spans[i].Offset + spans[i].Length, kept) << spans[i].Name;
      }
    }
  }
  EXPECT_EQ(answers, 3);
}

}  // namespace
}  // namespace quillon
