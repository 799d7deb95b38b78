#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/BinUtils.h"
#include "core/FormatSettings.h"
#include "parser/CommandFields.h"
#include "parser/CommandParser.h"
#include "parser/PrinterTypes.h"

namespace quillon {
namespace {

using namespace std::string_literals;

// A decoder whose request and answer layouts are set by the test before it is made.
class TTestCommand : public TParserCommand {
 public:
  static inline TFieldLayout Layout;
  void CreateFields() override {
    for (const auto& [name, type] : Layout) AddField(name, type);
  }
  void CreateAnswerFields() override {
    for (const auto& [name, type] : Layout) AddAnswerField(name, type);
  }
};

class CommandFields : public ::testing::Test {
 protected:
  void SetUp() override {
    FSaved = FormatSettings();
    UseSeparator('.');
  }
  void TearDown() override {
    SetFormatSettings(FSaved);
    TTestCommand::Layout.clear();
  }

  static void UseSeparator(char separator) {
    TFormatSettings settings;
    settings.DecimalSeparator = separator;
    settings.ShortDateFormat = "%d.%m.%Y";
    settings.LongTimeFormat = "%H:%M:%S";
    SetFormatSettings(settings);
  }

  // Decodes a request of command 0x10 followed by `hex` with the given layout: the text,
  // and the collected (name, value) pairs.
  static std::string Text(const TFieldLayout& layout, const std::string& hex,
                          TFieldValues* values = nullptr) {
    TTestCommand::Layout = layout;
    auto parser = MakeParserCommand<TTestCommand>();
    TCommandRec rec;
    rec.Code = 0x10;
    rec.TxData = "10 " + hex;
    const std::string text = parser->Parse(TCommand(rec), pFields);
    if (values != nullptr) *values = parser->FieldsValues();
    return text;
  }

  static TFieldValues Values(const TFieldLayout& layout, const std::string& hex) {
    TFieldValues values;
    Text(layout, hex, &values);
    return values;
  }

  // The value text of a single field of the given type over `hex`.
  static std::string Field(TFieldType type, const std::string& hex) {
    TFieldValues values = Values({{"F", type}}, hex);
    return values.size() == 1 ? values[0].second : "<" + std::to_string(values.size()) + ">";
  }

  static std::vector<std::string> Names(const TFieldValues& values) {
    std::vector<std::string> names;
    for (const auto& pair : values) names.push_back(pair.first);
    return names;
  }

 private:
  TFormatSettings FSaved;
};

using Strings = std::vector<std::string>;

const std::string kByFN = " фискальным накопителем с использованием ключа проверки КП";
const std::string kLocalNotPossible = "  \"код маркировки не может быть проверен" + kByFN + "\"";
const std::string kLocalDone = "  \"код маркировки проверен" + kByFN + "\"";
const std::string kLocalPositive = "  \"результат проверки КП КМ" + kByFN + " положительный\"";
const std::string kLocalNegative = "  \"результат проверки КП КМ" + kByFN + " отрицательный\"";

// Single fields: the value text of each type over the bytes given. Code lists show the
// value, then its text or the list's fallback in brackets.
TEST_F(CommandFields, ValueTexts) {
  struct Case {
    TFieldType type;
    const char* hex;
    std::string text;
  };
  const Case cases[] = {
      {ftByte, "FF", "255"},
      {ftUInt32, "01 02 03 04", "67305985"},
      {ftINN, "75 C4 60 CB 01 00", "7707083893"},
      // Dates and times; a date and time at midnight shows no time.
      {ftDate, "1F 0C 18", "31.12.2024"},
      {ftTime, "0A 0F 1E", "10:15:30"},
      {ftDateTime, "1F 0C 18 0A 0F", "31.12.2024"},  // the two bytes after the date do not show
      {ftDateTimeDoc, "18 0C 1F 0A 0F", "31.12.2024 10:15:00"},
      {ftDateTimeDoc, "18 0C 1F 00 00", "31.12.2024"},
      // Device texts in code page 1251; a plain string keeps zeros and blanks.
      {ftString, "CA E0 F1 F1 E0 00 20 41 20", std::string("Касса") + '\0' + " A "},
      {ftString40, "41 42 43", "ABC"},
      {ftBarcode, "05 30 31 1D 61 62", "01<0x1D>ab"},
      {ftSoftVersion, "41 C1", "A.Б"},
      // A table cell: up to eight bytes are a number, and a text too unless all blank.
      {ftTableValue, "", ""},
      {ftTableValue, "41 42 43 00 00", "\r\nStr: ABC\r\nInt: 4407873"},
      {ftTableValue, "20 20", "8224"},
      {ftTableValue, "FF FF FF FF FF FF FF FF", "\r\nStr: яяяяяяяя\r\nInt: -1"},
      {ftTableValue, "31 32 33 34 35 36 37 38 39 20 00", "123456789"},
      // Code lists.
      {ftFieldType, "02", "2 [Unknown]"},
      {ftCheckType, "00", "0 [Приход]"},
      {ftCheckType2, "03", "3 [Расход]"},
      {ftPaymentTypeSign, "07", "7 [Оплата кредита]"},
      {ftPaymentItemSign, "1C", "28 []"},
      {ftTaxType, "20", "32 [ПСН]"},
      {ftTax1, "20", "32 [НДС 10/110]"},
      {ftMarkingTypeEx, "FF", "255 [GS-1 без маркировки]"},
      {ftPortNumber, "04", "4 [неизвестный тип]"},
      {ftCheckItemLocalError, "05", "5 [неизвестное значение]"},
      {ftMarkingType2, "06", "6 [неизвестное значение]"},
      {ftItemStatus, "04", "4 [Часть товара, возвращена]"},
      {ftFNSessionState, "02", "2 [Неизвестное значение]"},
      {ftFNDocumentData, "FF", "255 [Неизвестное значение]"},
      {ftFNCurrentDocument, "16", "22 [Неизвестный тип документа]"},
      // The marking code type is big-endian; a lone byte is the high half.
      {ftMarkingType, "44 4D", "17485 [Код GS1 Data Matrix]"},
      {ftMarkingType, "44", "17408 [Неизвестный тип]"},
      {ftECRMode, "88", "136 [" + GetECRModeDescription(136) + "]"},
      {ftECRAdvancedMode, "03", "3 [" + GetECRAdvancedModeDescription(3) + "]"},
      // Service sub-commands: description and name, each known or not.
      {ftServiceCmd, "00", "0x00 (Запись данных ФП, SERVICE_CMD_1_DIR_FM_WRITE)"},
      {ftServiceCmd, "14", "0x14 (Неизвестный код, Неизвестный код)"},
      {ftServiceCmd, "D0", "0xD0 (Неизвестный код, SERVICE_CMD_1_DIR_ACTIVATION_DATA_GEN)"},
      {ftServiceCmd, "FF", "0xFF (Включение печати графики, SERVICE_CMD_1_DIR_GRAPH_ON)"},
      // Bit lists.
      {ftFNLifeState, "05",
       "5 [\r\n  Проведена настройка ФН Да\r\n  Открыт фискальный режим Нет\r\n"
       "  Закрыт фискальный режим Да\r\n  Закончена передача фискальных данных в ОФД Нет]"},
      {ftCheckItemLocalResult, "00", "0 [" + kLocalNotPossible + "]"},
      {ftCheckItemLocalResult, "01", "1 [" + kLocalDone + "\r\n" + kLocalNegative + "]"},
      {ftCheckItemLocalResult, "02", "2 [" + kLocalNotPossible + "\r\n" + kLocalPositive + "]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Field(c.type, c.hex), c.text) << "type " << int{c.type} << ", bytes " << c.hex;
}

TEST_F(CommandFields, RegionalSettings) {
  struct Case {
    TFieldType type;
    const char *hex, *text;
  };
  const Case cases[] = {{ftSum, "39 30 00 00 00", "123.45"},
                        {ftSum, "05 00 00 00 00", "0.05"},
                        {ftSum, "FF FF FF FF FF", "10995116277.75"},
                        {ftQuantity5, "01 00 00 00 00", "0.001"},
                        {ftQuantity6, "FF FF FF FF FF FF", "281474976.710655"},
                        {ftTaxValue, "10 27 00 00 00", "100.00"},
                        {ftSumm1Value, "FF FF FF FF FE", "10952166604.79"},
                        {ftBatteryVoltage, "80", "2.51 В."},
                        {ftPowerSourceVoltage, "D8", "24.00 В."},
                        {ftPowerSourceVoltage, "05", "0.56 В."}};
  for (char sep : {'.', ','}) {
    UseSeparator(sep);
    for (const Case& c : cases) {
      std::string text = c.text;
      text[text.find('.')] = sep;
      EXPECT_EQ(Field(c.type, c.hex), text) << c.hex;
    }
  }
  // All five bytes set means no amount; five bytes are taken either way.
  EXPECT_EQ(Field(ftSumm1Value, "FF FF FF FF FF"), "[нет]");
  EXPECT_EQ(Values({{"A", ftTaxValue}, {"B", ftByte}}, "FF FF FF FF FF 07"),
            (TFieldValues{{"A", "[нет]"}, {"B", "7"}}));

  TFormatSettings other;
  other.ShortDateFormat = "%Y-%m-%d";
  other.LongTimeFormat = "%H.%M";
  SetFormatSettings(other);
  EXPECT_EQ(Field(ftDate, "1F 0C 18"), "2024-12-31");
  EXPECT_EQ(Field(ftTime, "0A 0F 1E"), "10.15");
  EXPECT_EQ(Field(ftDateTimeDoc, "18 0C 1F 0A 0F"), "2024-12-31 10.15");
}

TEST_F(CommandFields, FixedWidthTextsAndBarcodesTakeTheirBytes) {
  // Trailing blanks, zeros and control characters go, leading ones stay.
  std::string cashier = "20 CA E0 F1 F1 E0 20 09 00";
  for (int i = 9; i < 16; ++i) cashier += " 00";
  EXPECT_EQ(Values({{"A", ftString16}, {"B", ftByte}}, cashier + " 2A"),
            (TFieldValues{{"A", " Касса"}, {"B", "42"}}));
  std::string line40 = "41 42";
  for (int i = 2; i < 40; ++i) line40 += " 20";
  EXPECT_EQ(Values({{"A", ftString40}, {"B", ftByte}}, line40 + " 2A"),
            (TFieldValues{{"A", "AB"}, {"B", "42"}}));
  EXPECT_EQ(Values({{"A", ftBarcode}, {"B", ftByte}}, "02 1D 1D 09"),
            (TFieldValues{{"A", "<0x1D><0x1D>"}, {"B", "9"}}));
}

TEST_F(CommandFields, ECRFlags) {
  // Neighbouring flags alternate, so each reads its own bit and shows its own words.
  EXPECT_EQ(Field(ftECRFlags, "41 15"),
            "0x1541\r\n"
            "    Рулон контр. ленты        : есть\r\n"
            "    Рулон чековой ленты       : нет\r\n"
            "    Опт. датчик контр. ленты  : бумага есть\r\n"
            "    Опт датчик чеков. ленты   : бумаги нет\r\n"
            "    Рычаг термог. контр. ленты: опущен\r\n"
            "    Рычаг термог. чеков. ленты: поднят\r\n"
            "    Крышка корпуса ККТ        : поднята\r\n"
            "    Денежный ящик             : закрыт\r\n"
            "    Крышка контр. ленты       : поднята");
  // Bits 2..5 and 13..15 show only in the number.
  const std::string hidden = Field(ftECRFlags, "3C E0");
  EXPECT_EQ(hidden.substr(0, 6), "0xe03c");
  EXPECT_EQ(hidden.substr(6), Field(ftECRFlags, "00 00").substr(6));
}

// Tag 1030 (a name) with the text AB, and tag 1079 (a price) with 123.45.
const std::string kTlvHex = "06 04 02 00 41 42 37 04 02 00 39 30";

TEST_F(CommandFields, TLVFieldsAreIndentedByFour) {
  for (char sep : {'.', ','}) {
    UseSeparator(sep);
    // TLV values keep the full stop whatever the regional settings say.
    EXPECT_EQ(
        Field(ftTLV, kTlvHex),
        "\r\n    1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n    1079,ЦЕНА ЗА ЕД. ПРЕДМ. РАСЧ.:123.45\r\n");
  }
  EXPECT_EQ(Field(ftTLV, ""), "\r\nTLV length error");
  EXPECT_EQ(Text({{"N", ftByte}, {"TLV", ftTLV}}, "01 " + kTlvHex),
            "N: 1\r\nTLV: \r\n    1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n"
            "    1079,ЦЕНА ЗА ЕД. ПРЕДМ. РАСЧ.:123.45\r\n\r\n");
}

TEST_F(CommandFields, BarcodeTLV) {
  const TFieldValues values = Values({{"A", ftByte}, {"Code", ftBarcodeTLV}, {"B", ftByte}},
                                     "01 03 06 30 1D 31 06 04 02 00 41 42 07");
  EXPECT_EQ(values, (TFieldValues{{"A", "1"},
                                  {"Barcode HEX", "30 1D 31"},
                                  {"Barcode", "0<0x1D>1"},
                                  {"TLVData HEX", "06 04 02 00 41 42"},
                                  {"TLVData", "  1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n"},
                                  {"B", "7"}}));
  // Nothing attached: no sub-value and no line of the field's own.
  EXPECT_EQ(Text({{"Code", ftBarcodeTLV}, {"B", ftByte}}, "00 00 05"), "B: 5\r\n");
}

// Bits 0, 2 and 4 of the checking status set, 1 and 3 clear.
const std::string kStatus21 =
    "21 [  \"код маркировки проверен\"\r\n"
    "  \"результат проверки КП КМ отрицательный или код маркировки не был проверен\"\r\n"
    "  \"проверка статуса ОИСМ выполнена\"\r\n"
    "  \"от ОИСМ получены сведения, что планируемый статус товара некорректен или сведения о "
    "статусе товара от ОИСМ не получены\"\r\n"
    "  \"результат проверки КП КМ сформирован ККТ, работающей в автономном режиме\"]";

TEST_F(CommandFields, KMAnswer) {
  const TFieldLayout layout = {{"KM", ftKMAnswer}, {"Next", ftByte}};
  // N = 0: nothing but N is read.
  EXPECT_EQ(Values(layout, "00 09"), (TFieldValues{{"Next", "9"}}));
  // N = 1, error 0x20: no status byte.
  EXPECT_EQ(Values(layout, "01 20 09"),
            (TFieldValues{{"KMServerErrorCode", "32 []"}, {"Next", "9"}}));
  // N = 2, error 0x20: the status, no TLV data.
  EXPECT_EQ(Values(layout, "02 20 15 09"),
            (TFieldValues{{"KMServerErrorCode", "32 []"},
                          {"KMServerCheckingStatus (Тег 2106)", kStatus21},
                          {"Next", "9"}}));
  // Any other error: no status even with N = 3.
  EXPECT_EQ(Values(layout, "03 05 09"),
            (TFieldValues{{"KMServerErrorCode", "5 []"}, {"Next", "9"}}));
  // N = 3 and error 0: the rest is TLV data.
  EXPECT_EQ(Values({{"KM", ftKMAnswer}}, "03 00 15 06 04 02 00 41 42"),
            (TFieldValues{{"KMServerErrorCode", "0 [Ошибок нет]"},
                          {"KMServerCheckingStatus (Тег 2106)", kStatus21},
                          {"TLVData Hex", "06 04 02 00 41 42"},
                          {"TLV Data", "\r\n  1030,НАИМЕН. ПРЕДМ. РАСЧЕТА:AB\r\n"}}));
  // N = 3 with error 0x20: what follows the status is not TLV data.
  EXPECT_EQ(Names(Values(layout, "03 20 00 09")),
            (Strings{"KMServerErrorCode", "KMServerCheckingStatus (Тег 2106)", "Next"}));
  // N = 3, error 0, nothing after the status: no TLV sub-values.
  EXPECT_EQ(Names(Values({{"KM", ftKMAnswer}}, "03 00 01")),
            (Strings{"KMServerErrorCode", "KMServerCheckingStatus (Тег 2106)"}));
}

TEST_F(CommandFields, KMSendAnswer) {
  // Fewer than three bytes: no sub-value, no line.
  EXPECT_EQ(Text({{"A", ftByte}, {"KM", ftKMSendAnswer}}, "07 01 02"), "A: 7\r\n");
  EXPECT_EQ(
      Values({{"KM", ftKMSendAnswer}}, "03 00 02"),
      (TFieldValues{{"CheckItemLocalResult", "3 [" + kLocalDone + "\r\n" + kLocalPositive + "]"},
                    {"CheckItemLocalError", "0 [КМ проверен в ФН]"},
                    {"MarkingType2",
                     "2 [КМ со значением кода проверки длиной 88 символов, "
                     "подлежащим проверке в ФН]"}}));
  // The server answer follows.
  EXPECT_EQ(
      Names(Values({{"KM", ftKMSendAnswer}}, "03 00 02 03 00 1F 06 04 02 00 41 42")),
      (Strings{"CheckItemLocalResult", "CheckItemLocalError", "MarkingType2", "KMServerErrorCode",
               "KMServerCheckingStatus (Тег 2106)", "TLVData Hex", "TLV Data"}));
  EXPECT_EQ(Values({{"KM", ftKMSendAnswer}}, "01 00 00 01 FF").back(),
            (std::pair<std::string, std::string>{"KMServerErrorCode",
                                                 "255 [Сервер не ответил в течение таймаута]"}));
}

TEST_F(CommandFields, BarcodeOSU) {
  EXPECT_EQ(Values({{"B", ftBarcodeOSU}}, "00"), (TFieldValues{{"OSU", "False"}}));
  EXPECT_EQ(
      Values({{"B", ftBarcodeOSU}, {"Next", ftByte}}, "01 41 01 05"),
      (TFieldValues{{"Barcode HEX", "41"}, {"Barcode", "A"}, {"OSU", "False"}, {"Next", "5"}}));
  EXPECT_EQ(Values({{"B", ftBarcodeOSU}}, "01 41"),
            (TFieldValues{{"Barcode HEX", "41"}, {"Barcode", "A"}, {"OSU", "False"}}));
}

TEST_F(CommandFields, SubValuesGoToTheSideBeingParsed) {
  TTestCommand::Layout = {{"Code", ftBarcodeOSU}};
  auto parser = MakeParserCommand<TTestCommand>();
  TCommandRec rec;
  rec.Code = 0x10;
  rec.TxData = "10 01 51 00";
  rec.AnswerData = "10 00 02 41 42 FF";
  TCommand command(rec);
  command.SetPlayedAnswerData("10 00 01 43");
  EXPECT_EQ(parser->Parse(command, pFields), "Barcode HEX: 51\r\nBarcode: Q\r\nOSU: False\r\n");
  EXPECT_EQ(parser->Parse(command, pAnswerFields),
            "Barcode HEX: 41 42\r\nBarcode: AB\r\nOSU: True\r\n");
  EXPECT_EQ(parser->GetFieldValue("barcode"), "Q");
  EXPECT_EQ(parser->GetAnswerFieldValue("BARCODE"), "AB");
  parser->Parse(command, pPlayedFields);
  EXPECT_EQ(parser->GetAnswerFieldValue("Barcode"), "C");
  EXPECT_EQ(parser->GetFieldValue("Barcode"), "Q");
}

TEST_F(CommandFields, FieldsPastTheEndStillHaveValues) {
  const TFieldLayout layout = {
      {"Byte", ftByte},           {"Sum", ftSum},
      {"Date", ftDate},           {"Time", ftTime},
      {"Doc", ftDateTimeDoc},     {"Name", ftString40},
      {"Tax", ftTaxValue},        {"Mode", ftCheckType},
      {"Status", ftItemStatus},   {"Marking", ftMarkingType},
      {"Version", ftSoftVersion}, {"Table", ftTableValue},
  };
  std::string values;
  for (const auto& [name, value] : Values(layout, "05 39 30")) values += value + "|";
  EXPECT_EQ(values,
            "5|123.45|30.12.1899|00:00:00|30.12.1899||0.00|0 [Приход]|0 [Неизвестный статус]|"
            "0 [Нераспознанный код]|\0.\0||"s);
  // Composite fields at the end of the data; a length byte that promises more than there
  // is stops the read at the end of the data.
  EXPECT_EQ(Values({{"KM", ftKMAnswer}}, ""), TFieldValues{});
  EXPECT_EQ(Values({{"B", ftBarcodeOSU}}, ""), (TFieldValues{{"OSU", "False"}}));
  EXPECT_EQ(Values({{"B", ftBarcodeOSU}, {"Next", ftByte}}, "FF 41").size(), 4u);
}

TEST_F(CommandFields, AnyBytesDecodeWithoutFailing) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    TBytes data(static_cast<std::size_t>(random() % 40), 0);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    for (int type = 0; type < kFieldTypeCount; ++type) {
      TTestCommand::Layout = {{"F", static_cast<TFieldType>(type)}, {"G", ftKMSendAnswer}};
      auto parser = MakeParserCommand<TTestCommand>();
      TCommandRec rec;
      rec.TxData = "10 " + BytesToHex(data);
      EXPECT_NO_THROW(parser->Parse(TCommand(rec), pFields)) << type << " " << rec.TxData;
      EXPECT_LE(parser->Stream().Position(), parser->Stream().Size());
    }
  }
}

}  // namespace
}  // namespace quillon
