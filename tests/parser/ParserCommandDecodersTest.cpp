// Every command decoder on realistic request and answer bytes: the decoded texts (which
// fields, in which order, read from which bytes) and the one-line summary of the list.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/FormatSettings.h"
#include "core/untCommand.h"
#include "parser/CommandParser.h"
#include "parser/PrinterTypes.h"
#include "tlv/TLVParser.h"

namespace quillon {
namespace {

using namespace std::string_literals;

TCommand MakeCommand(std::string tx, std::string answer = {}) {
  TCommandRec rec;
  rec.Code = TCommand::GetCode(tx);
  rec.ResCode = TCommand::GetResCode(answer);
  rec.TxData = std::move(tx);
  rec.AnswerData = std::move(answer);
  return TCommand(std::move(rec));
}

// A device text (code page 1251) as hex text, optionally padded with `pad` to `size` bytes.
std::string TextHex(std::string_view utf8, std::size_t size = 0, std::uint8_t pad = 0) {
  TBytes bytes = RawBytes(Utf8ToCp1251(utf8));
  if (bytes.size() < size) bytes.append(size - bytes.size(), pad);
  return BytesToHex(bytes);
}

// Decoded text: every line ends with CR LF.
std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::string Mode(int mode) {
  return std::to_string(mode) + " [" + GetECRModeDescription(mode) + "]";
}

std::string AdvancedMode(int mode) {
  return std::to_string(mode) + " [" + GetECRAdvancedModeDescription(mode) + "]";
}

std::string Tlv(const std::string& hex, int indent) {
  TTLVParser parser;
  parser.SetShowTagNumbers(true);
  parser.SetBaseIndent(indent);
  return parser.ParseTLV(HexToBytes(hex));
}

const std::string kFlags0203 =
    "0x0203"
    "\r\n    Рулон контр. ленты        : есть"
    "\r\n    Рулон чековой ленты       : есть"
    "\r\n    Опт. датчик контр. ленты  : бумаги нет"
    "\r\n    Опт датчик чеков. ленты   : бумаги нет"
    "\r\n    Рычаг термог. контр. ленты: поднят"
    "\r\n    Рычаг термог. чеков. ленты: опущен"
    "\r\n    Крышка корпуса ККТ        : опущена"
    "\r\n    Денежный ящик             : закрыт"
    "\r\n    Крышка контр. ленты       : опущена";

const std::string kFlags0000 =
    "0x0000"
    "\r\n    Рулон контр. ленты        : нет"
    "\r\n    Рулон чековой ленты       : нет"
    "\r\n    Опт. датчик контр. ленты  : бумаги нет"
    "\r\n    Опт датчик чеков. ленты   : бумаги нет"
    "\r\n    Рычаг термог. контр. ленты: поднят"
    "\r\n    Рычаг термог. чеков. ленты: поднят"
    "\r\n    Крышка корпуса ККТ        : опущена"
    "\r\n    Денежный ящик             : закрыт"
    "\r\n    Крышка контр. ленты       : опущена";

class ParserCommandDecoders : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = FormatSettings();
    TFormatSettings settings;
    settings.DecimalSeparator = ',';
    settings.ShortDateFormat = "%d.%m.%Y";
    settings.LongTimeFormat = "%H:%M:%S";
    SetFormatSettings(settings);
  }
  void TearDown() override { SetFormatSettings(saved_); }

 private:
  TFormatSettings saved_;
};

TEST_F(ParserCommandDecoders, StatusRequestsShowModesFlagsAndDeviceData) {
  const TCommand shortStatus =
      MakeCommand("10 1E 00 00 00", "10 00 1E 03 02 04 00 05 FF D8 00 00 00 19 02");
  const TCommandTexts shortTexts = ParseCommand(shortStatus);
  EXPECT_EQ(shortTexts.Request, Lines({"Password: 30"}));
  EXPECT_EQ(shortTexts.Answer, Lines({
                                   "OperatorNumber: 30",
                                   "ECRFlags: " + kFlags0203,
                                   "ECRMode: " + Mode(4),
                                   "ECRAdvancedMode: " + AdvancedMode(0),
                                   "QuantityOfOperations (lo): 5",
                                   "BatteryVoltage: 5,00 В.",
                                   "PowerSourceVoltage: 24,00 В.",
                                   "FMResultCode (old): 0",
                                   "EKLZResultCode (old): 0",
                                   "UpdateKeysResultCode: 0",
                                   "PrinterHeadTemperature: 25",
                                   "PreviousECRMode: " + Mode(2),
                               }));
  EXPECT_EQ(GetCommandShortValue(shortStatus), Mode(4) + " " + AdvancedMode(0));

  const TCommand status = MakeCommand(
      "11 1E 00 00 00",
      "11 00 1E 33 30 34 12 1F 0C 18 01 0A 00 00 00 02 03 02 32 35 01 00 01 01 18 0F 06 19 "
      "0A 0F 1E 00 15 CD 5B 07 2A 00 FF 00 01 1D 75 C4 60 CB 01 00");
  const TCommandTexts texts = ParseCommand(status);
  EXPECT_EQ(texts.Request, Lines({"Password: 30"}));
  EXPECT_EQ(texts.Answer, Lines({
                              "OperatorNumber: 30",
                              "FECRSoftVersion: 3.0",
                              "ECRBuild: 4660",
                              "FECRSoftDate: 31.12.2024",
                              "LogicalNumber: 1",
                              "DocumentNumber: 10",
                              "ECRFlags: " + kFlags0000,
                              "ECRMode: " + Mode(2),
                              "ECRAdvancedMode: " + AdvancedMode(3),
                              "PortNumber: 2 [TCP сокет (RNDIS, Ethernet, WI-FI, ppp)]",
                              "FMSoftVersion (Old): 2.5",
                              "FMBuild (Old): 1",
                              "FMSoftDate (Old): 01.01.2024",
                              "ECRDate: 15.06.2025",
                              "ECRTime: 10:15:30",
                              "FMFlags (Old): 0",
                              "ECRSerial: 123456789",
                              "SessionNumber: 42",
                              "FreeRecordInFM (Old): 255",
                              "RegistrationNumber: 1",
                              "FreeRegistration: 29",
                              "INN: 7707083893",
                          }));
  EXPECT_EQ(GetCommandShortValue(status), Mode(2) + " " + AdvancedMode(3));
  // Without an answer there are no modes to show.
  EXPECT_EQ(GetCommandShortValue(MakeCommand("11 1E 00 00 00")), "  Нет ответа на команду");
}

TEST_F(ParserCommandDecoders, PrintLineCommandsShowTheirText) {
  const TCommand line = MakeCommand("17 1E 00 00 00 02 " + TextHex("Итого к оплате"), "17 00 1E");
  const TCommandTexts lineTexts = ParseCommand(line);
  EXPECT_EQ(lineTexts.Request,
            Lines({"Password: 30", "Tape type: 2", "StringForPrinting: Итого к оплате"}));
  EXPECT_EQ(lineTexts.Answer, "");
  EXPECT_EQ(GetCommandShortValue(line), "Итого к оплате");

  const TCommand font = MakeCommand("2F 1E 00 00 00 02 03 " + TextHex("СПАСИБО"), "2F 00 1E");
  EXPECT_EQ(ParseCommand(font).Request,
            Lines({"Password: 30", "Tape type: 2", "FontType: 3", "StringForPrinting: СПАСИБО"}));
  EXPECT_EQ(GetCommandShortValue(font), "СПАСИБО");
}

TEST_F(ParserCommandDecoders, TableWriteShowsCellAndValue) {
  // Table 1, row 2, field 3 set to the two-byte number 1.
  const TCommand number = MakeCommand("1E 1E 00 00 00 01 02 00 03 01 00", "1E 00");
  EXPECT_EQ(ParseCommand(number).Request,
            Lines({"Password: 30", "TableNumber: 1", "Row: 2", "Field: 3", "Value: 1"}));
  EXPECT_EQ(ParseCommand(number).Answer, "");
  EXPECT_EQ(GetCommandShortValue(number), "Запись Т1Р2П3 = 1");

  // Row numbers are 16 bits; a long value is text.
  const TCommand text =
      MakeCommand("1E 1E 00 00 00 04 2C 01 02 " + TextHex("Кассир Петров", 20), "1E 00");
  EXPECT_EQ(ParseCommand(text).Request, Lines({"Password: 30", "TableNumber: 4", "Row: 300",
                                               "Field: 2", "Value: Кассир Петров"}));
  EXPECT_EQ(GetCommandShortValue(text), "Запись Т4Р300П2 = Кассир Петров");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("1E 1E 00 00 00 04 2C 01 02 05", "1E 33")),
            "Запись Т4Р300П2 = 5 [ERROR] 51 (0x33) " + TPrinterError::GetDescription(51, true));
  // A short value that reads as text keeps its own line breaks here (the read command
  // joins them).
  EXPECT_EQ(GetCommandShortValue(MakeCommand("1E 1E 00 00 00 11 01 00 07 41 42 43", "1E 00")),
            "Запись Т17Р1П7 = \r\nStr: ABC\r\nInt: 4407873");
}

TEST_F(ParserCommandDecoders, TableReadJoinsAMultiLineValue) {
  const TCommand read = MakeCommand("1F 1E 00 00 00 11 01 00 07", "1F 00 41 42 43");
  const TCommandTexts texts = ParseCommand(read);
  EXPECT_EQ(texts.Request, Lines({"Password: 30", "TableNumber: 17", "Row: 1", "Field: 7"}));
  EXPECT_EQ(texts.Answer, Lines({"Value: \r\nStr: ABC\r\nInt: 4407873"}));
  // "= " and then the value's own leading line break as a second blank.
  EXPECT_EQ(GetCommandShortValue(read), "Чтение Т17Р1П7 =  Str: ABC Int: 4407873");

  const TCommand numeric = MakeCommand("1F 1E 00 00 00 01 01 00 0A", "1F 00 0A 00");
  EXPECT_EQ(GetCommandShortValue(numeric), "Чтение Т1Р1П10 = 10");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("1F 1E 00 00 00 01 01 00 0A")),
            "Чтение Т1Р1П10 =  Нет ответа на команду");
}

TEST_F(ParserCommandDecoders, TableStructureRequests) {
  const TCommand table =
      MakeCommand("2D 1E 00 00 00 01", "2D 00 " + TextHex("Тип и режим кассы", 40) + " 01 00 12");
  const TCommandTexts tableTexts = ParseCommand(table);
  EXPECT_EQ(tableTexts.Request, Lines({"Password: 30", "TableNumber: 1"}));
  EXPECT_EQ(tableTexts.Answer,
            Lines({"TableName: Тип и режим кассы", "RowCount: 1", "FieldCount: 18"}));
  // This command has no summary of its own.
  EXPECT_EQ(GetCommandShortValue(table), "");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("2D 1E 00 00 00 01")), " Нет ответа на команду");

  const TCommand field = MakeCommand(
      "2E 1E 00 00 00 01 02", "2E 00 " + TextHex("Автоматическая обрезка чека", 40, ' ') + " 00");
  const TCommandTexts fieldTexts = ParseCommand(field);
  EXPECT_EQ(fieldTexts.Request, Lines({"Password: 30", "TableNumber: 1", "FieldNumber: 2"}));
  EXPECT_EQ(fieldTexts.Answer,
            Lines({"FieldName: Автоматическая обрезка чека", "FieldType: 0 [Int]"}));
  EXPECT_EQ(GetCommandShortValue(field), "Т1П2 Автоматическая обрезка чека");
}

TEST_F(ParserCommandDecoders, ErrorDescriptionRequest) {
  // The request's error code is not part of the layout.
  const TCommand cmd = MakeCommand("6B 37", "6B 00 " + TextHex("Нет бумаги"));
  const TCommandTexts texts = ParseCommand(cmd);
  EXPECT_EQ(texts.Request, "");
  EXPECT_EQ(texts.Answer, Lines({"ErrorDescription: Нет бумаги"}));
  EXPECT_EQ(GetCommandShortValue(cmd), "ОШИБКА Нет бумаги");
}

TEST_F(ParserCommandDecoders, ItemRegistrationsShareOneLayout) {
  const std::string body =
      " 1E 00 00 00 D0 07 00 00 00 39 30 00 00 00 01 02 00 00 00 " + TextHex("Молоко");
  const std::string request =
      Lines({"Password: 30", "Quantity: 2,000", "Price: 123,45", "Department: 1", "Tax1: 2",
             "Tax2: 0", "Tax3: 0", "Tax4: 0", "StringForPrinting: Молоко"});
  const std::pair<const char*, const char*> commands[] = {
      {"80", "ПРОДАЖА 123,45X2,000 Молоко"},
      {"81", "ПОКУПКА 123,45X2,000 Молоко"},
      {"82", "ВОЗВРАТ ПРОДАЖИ 123,45X2,000 Молоко"},
      {"83", "ВОЗВРАТ ПОКУПКИ 123,45X2,000 Молоко"},
  };
  for (const auto& [code, summary] : commands) {
    SCOPED_TRACE(code);
    const TCommand cmd = MakeCommand(code + body, std::string(code) + " 00 1E");
    EXPECT_EQ(ParseCommand(cmd).Request, request);
    EXPECT_EQ(ParseCommand(cmd).Answer, "");
    EXPECT_EQ(GetCommandShortValue(cmd), summary);
  }

  // A request cut short still lists every field of the layout.
  const std::string cut = ParseCommand(MakeCommand("80 1E 00 00 00", "80 00 1E")).Request;
  std::size_t lines = 0;
  for (std::size_t pos = cut.find("\r\n"); pos != std::string::npos;
       pos = cut.find("\r\n", pos + 2))
    ++lines;
  EXPECT_EQ(lines, 9u);
  EXPECT_EQ(cut.rfind("Password: 30\r\nQuantity: ", 0), 0u);
  EXPECT_NE(cut.find("\r\nStringForPrinting: "), std::string::npos);
}

TEST_F(ParserCommandDecoders, ReceiptOpenSubtotalAndClose) {
  // The open command codes check types from 0, unlike the operation command.
  const TCommand open = MakeCommand("8D 1E 00 00 00 01", "8D 00 1E");
  EXPECT_EQ(ParseCommand(open).Request, Lines({"Password: 30", "CheckType: 1 [Расход]"}));
  EXPECT_EQ(ParseCommand(open).Answer, Lines({"OperatorNumber: 30"}));
  EXPECT_EQ(GetCommandShortValue(open), "ОТКРЫТИЕ ЧЕКА 1 [Расход]");

  const TCommand subtotal = MakeCommand("89 1E 00 00 00", "89 00 1E 39 30 00 00 00");
  EXPECT_EQ(ParseCommand(subtotal).Request, Lines({"Password: 30"}));
  EXPECT_EQ(ParseCommand(subtotal).Answer, Lines({"OperatorNumber: 30", "Summ1: 123,45"}));
  EXPECT_EQ(GetCommandShortValue(subtotal), "ПОДЫТОГ 123,45");
  // Amounts follow the regional decimal separator (a full stop from here on).
  TFormatSettings dot = FormatSettings();
  dot.DecimalSeparator = '.';
  SetFormatSettings(dot);
  EXPECT_EQ(GetCommandShortValue(subtotal), "ПОДЫТОГ 123.45");

  // Payments of the close command are 5-byte amounts with three decimals.
  const TCommand close = MakeCommand(
      "85 1E 00 00 00 10 27 00 00 00 E8 03 00 00 00 00 00 00 00 00 00 00 00 00 00 05 00 "
      "01 00 00 00 " +
          TextHex("Спасибо"),
      "85 00 1E 64 00 00 00 00");
  EXPECT_EQ(ParseCommand(close).Request,
            Lines({"Password: 30", "Summ1: 10.000", "Summ2: 1.000", "Summ3: 0.000", "Summ4: 0.000",
                   "DiscountOnCheck: 5", "Tax1: 1", "Tax2: 0", "Tax3: 0", "Tax4: 0",
                   "StringForPrinting: Спасибо"}));
  EXPECT_EQ(ParseCommand(close).Answer, Lines({"OperatorNumber: 30", "Change: 1.00"}));
  EXPECT_EQ(GetCommandShortValue(close), "ЗАКРЫТИЕ ЧЕКА");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("85 1E 00 00 00", "85 4A")),
            "ЗАКРЫТИЕ ЧЕКА [ERROR] 74 (0x4A) " + TPrinterError::GetDescription(74, true));
}

TEST_F(ParserCommandDecoders, DeviceTypeSummaryTrimsTheDescription) {
  const TCommand cmd =
      MakeCommand("FC", "FC 00 00 00 01 02 2D 00 " + TextHex("  Касса-Т  ") + " 00");
  const TCommandTexts texts = ParseCommand(cmd);
  EXPECT_EQ(texts.Request, "");
  EXPECT_EQ(texts.Answer,
            Lines({"MajorType: 0", "MinorType: 0", "ProtocolVersion: 1", "ProtocolSubVersion: 2",
                   "Model: 45", "CodePage: 0", "Description:   Касса-Т  \0"s}));
  EXPECT_EQ(GetCommandShortValue(cmd), "Касса-Т (45)");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("FC")), " () Нет ответа на команду");
}

TEST_F(ParserCommandDecoders, ServiceCommandShowsItsSubCommand) {
  const TCommand reboot = MakeCommand("FE F3 00 00 00 00", "FE 00");
  const std::string value = "0xF3 (Перезапуск кассы, SERVICE_CMD_1_DIR_REBOOT)";
  EXPECT_EQ(ParseCommand(reboot).Request, Lines({"ServiceCmd: " + value}));
  EXPECT_EQ(ParseCommand(reboot).Answer, "");
  EXPECT_EQ(GetCommandShortValue(reboot), value);
  EXPECT_EQ(GetCommandShortValue(MakeCommand("FE 14", "FE 00")),
            "0x14 (Неизвестный код, Неизвестный код)");
}

TEST_F(ParserCommandDecoders, FiscalStorageStatus) {
  const TCommand cmd =
      MakeCommand("FF 01 1E 00 00 00", "FF 01 00 03 00 00 01 00 18 0C 1F 0A 0F " +
                                           TextHex("99990789000123", 16, ' ') + " 39 30 00 00");
  const TCommandTexts texts = ParseCommand(cmd);
  EXPECT_EQ(texts.Request, Lines({"Password: 30"}));
  EXPECT_EQ(texts.Answer, Lines({
                              "FNLifeState: 3 [\r\n  Проведена настройка ФН Да"
                              "\r\n  Открыт фискальный режим Да"
                              "\r\n  Закрыт фискальный режим Нет"
                              "\r\n  Закончена передача фискальных данных в ОФД Нет]",
                              "FNCurrentDocument: 0 [Нет открытого документа]",
                              "FNDocumentData: 0 [Нет данных документа]",
                              "FNSessionState: 1 [Смена открыта]",
                              "FNWarningFlags: 0",
                              "ECRDate: 31.12.2024 10:15:00",
                              "SerialNumber: 99990789000123",
                              "DocumentNumber: 12345",
                          }));
  EXPECT_EQ(GetCommandShortValue(cmd), "SN: 99990789000123");
}

TEST_F(ParserCommandDecoders, FreeTlvSummaryIsTheTlvTextOnOneLine) {
  // Cashier (1021) "Ivan" and cashier tax number (1203) "123".
  const std::string tlv = "FD 03 04 00 49 76 61 6E B3 04 03 00 31 32 33";
  const std::string text = Tlv(tlv, 4);
  ASSERT_EQ(text.rfind("    1021,", 0), 0u) << text;
  const TCommand cmd = MakeCommand("FF 0C 1E 00 00 00 " + tlv, "FF 0C 00");
  EXPECT_EQ(ParseCommand(cmd).Request, "Password: 30\r\nTLVData: \r\n" + text + "\r\n");
  EXPECT_EQ(ParseCommand(cmd).Answer, "");

  // Every TLV line ends with CR LF; on one row each break is a blank.
  std::string joined = " ";
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2)
    joined += text.substr(start, end - start) + " ";
  const std::string summary = GetCommandShortValue(cmd);
  EXPECT_EQ(summary, joined);
  EXPECT_EQ(summary.rfind("     1021,", 0), 0u) << summary;
  EXPECT_EQ(summary.find('\n'), std::string::npos);
}

// Extended receipt close: the variants differ only in the number of tax amounts.
std::string CloseRequest(const std::string& code, int taxValues) {
  std::string hex = code + " 1E 00 00 00 10 27 00 00 00";
  for (int i = 2; i <= 16; ++i) hex += " 00 00 00 00 00";
  hex += " 00 67 06 00 00 00";
  for (int i = 2; i <= taxValues; ++i) hex += " FF FF FF FF FF";
  return hex + " 02 " + TextHex("Спасибо за покупку");
}

std::string CloseRequestText(int taxValues) {
  std::string text = "Password: 30\r\nSumm1: 100,00\r\n";
  for (int i = 2; i <= 16; ++i) text += "Summ" + std::to_string(i) + ": 0,00\r\n";
  text += "RoundingSumm: 0\r\nTaxValue1: 16,39\r\n";
  for (int i = 2; i <= taxValues; ++i) text += "TaxValue" + std::to_string(i) + ": [нет]\r\n";
  return text + "TaxType: 2 [УСНД]\r\nStringForPrinting: Спасибо за покупку\r\n";
}

TEST_F(ParserCommandDecoders, ExtendedReceiptCloseVariants) {
  struct Variant {
    std::string code;
    int taxValues;
    std::string summary;
  };
  const Variant variants[] = {
      {"FF 45", 6, "ЗАКРЫТИЕ ЧЕКА [ДОК: 42] [ФП: 1234567890]  "},
      {"FF 76", 10, "ЗАКРЫТИЕ ЧЕКА V3 [ДОК: 42] [ФП: 1234567890]  "},
      {"FF 78", 12, "ЗАКРЫТИЕ ЧЕКА V4 [ДОК: 42] [ФП: 1234567890]  "},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.code);
    const TCommand cmd = MakeCommand(CloseRequest(v.code, v.taxValues),
                                     v.code + " 00 00 00 00 00 00 2A 00 00 00 D2 02 96 49");
    const TCommandTexts texts = ParseCommand(cmd);
    EXPECT_EQ(texts.Request, CloseRequestText(v.taxValues));
    EXPECT_EQ(texts.Answer,
              Lines({"Change: 0,00", "DocumentNumber: 42", "FiscalSign: 1234567890"}));
    EXPECT_EQ(GetCommandShortValue(cmd), v.summary);
  }
  // Without an answer the document number and fiscal sign stay empty.
  EXPECT_EQ(GetCommandShortValue(MakeCommand(CloseRequest("FF 45", 6))),
            "ЗАКРЫТИЕ ЧЕКА [ДОК: ] [ФП: ]   Нет ответа на команду");
}

TEST_F(ParserCommandDecoders, MarkingCodeCheck) {
  const std::string barcode =
      "01046004399312562112345\x1D"
      "93abcd";
  const std::string tlv = "FF 03 02 00 00 02";  // quantity 1023 = 2
  const std::string tlvText = Tlv(tlv, 2);
  ASSERT_EQ(tlvText.rfind("  1023,", 0), 0u) << tlvText;
  const std::string barcodeHex = BytesToHex(RawBytes(barcode));
  const TCommand cmd = MakeCommand("FF 61 1E 00 00 00 01 00 1E 06 " + barcodeHex + " " + tlv,
                                   "FF 61 00 03 00 02 02 00 0F");
  const std::string marked = "01046004399312562112345<0x1D>93abcd";
  const TCommandTexts texts = ParseCommand(cmd);
  EXPECT_EQ(texts.Request, Lines({
                               "Password: 30",
                               "ItemStatus: 1 [Штучный товар, реализован]",
                               "CheckItemMode: 0",
                               "Barcode HEX: " + barcodeHex,
                               "Barcode: " + marked,
                               "TLVData HEX: " + tlv,
                               "TLVData: " + tlvText,
                           }));
  EXPECT_EQ(
      texts.Answer,
      Lines({
          "CheckItemLocalResult: 3 [  \"код маркировки проверен фискальным накопителем с "
          "использованием ключа проверки КП\"\r\n  \"результат проверки КП КМ фискальным "
          "накопителем с использованием ключа проверки КП положительный\"]",
          "CheckItemLocalError: 0 [КМ проверен в ФН]",
          "MarkingType2: 2 [КМ со значением кода проверки длиной 88 символов, подлежащим "
          "проверке в ФН]",
          "KMServerErrorCode: 0 [Ошибок нет]",
          "KMServerCheckingStatus (Тег 2106): 15 [  \"код маркировки проверен\"\r\n"
          "  \"результат проверки КП КМ положительный\"\r\n"
          "  \"проверка статуса ОИСМ выполнена\"\r\n"
          "  \"от ОИСМ получены сведения, что планируемый статус товара корректен\"\r\n"
          "  \"результат проверки КП КМ и статуса товара сформирован ККТ, работающей в режиме "
          "передачи данных\"]",
      }));
  EXPECT_EQ(GetCommandShortValue(cmd), "[M] " + marked);
}

TEST_F(ParserCommandDecoders, MarkingCodeBinding) {
  const std::string barcode = "0104600439931256215ABCDE";
  const std::string barcodeHex = BytesToHex(RawBytes(barcode));
  const TCommand cmd =
      MakeCommand("FF 67 1E 00 00 00 18 " + barcodeHex + " FF", "FF 67 00 44 4D 00 01 00 04 01 FF");
  const TCommandTexts texts = ParseCommand(cmd);
  EXPECT_EQ(texts.Request, Lines({"Password: 30", "Barcode HEX: " + barcodeHex,
                                  "Barcode: " + barcode, "OSU: True"}));
  EXPECT_EQ(texts.Answer,
            Lines({
                "MarkingType: 17485 [Код GS1 Data Matrix]",
                "MarkingTypeEx: 0 [КМ-88]",
                "CheckItemLocalResult: 1 [  \"код маркировки проверен фискальным накопителем с "
                "использованием ключа проверки КП\"\r\n  \"результат проверки КП КМ фискальным "
                "накопителем с использованием ключа проверки КП отрицательный\"]",
                "CheckItemLocalError: 0 [КМ проверен в ФН]",
                "MarkingType2: 4 [КМ со значением кода проверки длиной 44 символа, подлежащим "
                "проверке в ФН]",
                "KMServerErrorCode: 255 [Сервер не ответил в течение таймаута]",
            }));
  EXPECT_EQ(GetCommandShortValue(cmd), "[M] " + barcode);
}

TEST_F(ParserCommandDecoders, AcceptOrDeclineMarkingCode) {
  const TCommand accept = MakeCommand("FF 69 1E 00 00 00 01", "FF 69 00");
  EXPECT_EQ(ParseCommand(accept).Request,
            Lines({"Password: 30", "Accept or Decline: 1 [Принять]"}));
  EXPECT_EQ(GetCommandShortValue(accept), "1 [Принять]");
  EXPECT_EQ(GetCommandShortValue(MakeCommand("FF 69 1E 00 00 00 00", "FF 69 00")), "0 [Отклонить]");
}

TEST_F(ParserCommandDecoders, NotificationCommands) {
  const TCommand status = MakeCommand(
      "FF 70",
      "FF 70 00 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 00 06 00 00 00 "
      "07 00 00 00");
  EXPECT_EQ(ParseCommand(status).Request, "");
  EXPECT_EQ(ParseCommand(status).Answer,
            Lines({"MCCheckStatus: 1", "MCNotificationStatus: 2", "MCCommandFlags: 3",
                   "MCCheckResultSavedCount: 4", "MCRealizationCount: 5", "MCStorageSize: 6",
                   "MessageCount: 7"}));
  EXPECT_EQ(GetCommandShortValue(status), "Запрос статуса по работе с кодами маркировки");

  const TCommand start = MakeCommand("FF 71", "FF 71 00 03 00 00 00 01 00 00 00 00 02 00 00");
  EXPECT_EQ(ParseCommand(start).Answer,
            Lines({"NotificationCount: 3", "NotificationNumber: 1", "NotificationSize: 512"}));
  EXPECT_EQ(GetCommandShortValue(start),
            "Начать выгрузку уведомлений  о реализации маркированных товаров");

  const TCommand block =
      MakeCommand("FF 72", "FF 72 00 01 00 00 00 00 02 00 00 00 01 00 00 03 00 00 00 30 31 41");
  EXPECT_EQ(ParseCommand(block).Answer,
            Lines({"NotificationNumber: 1", "NotificationSize: 512", "DataOffset: 256",
                   "DataBlockSize: 3", "BlockDataHex: 01A"}));
  EXPECT_EQ(GetCommandShortValue(block), "Прочитать блок уведомления");

  // The confirmation carries no password.
  const TCommand confirm = MakeCommand("FF 73 05 00 00 00 34 12", "FF 73 00");
  EXPECT_EQ(ParseCommand(confirm).Request, Lines({"NotificationNumber: 5", "CheckSum: 4660"}));
  EXPECT_EQ(ParseCommand(confirm).Answer, "");
  EXPECT_EQ(GetCommandShortValue(confirm), "Подтвердить выгрузку уведомления");

  const TCommand implementation = MakeCommand("FF 74", "FF 74 00 " + TextHex("ФН-М исп. 2"));
  EXPECT_EQ(ParseCommand(implementation).Answer, Lines({"FNImplementation: ФН-М исп. 2"}));
  EXPECT_EQ(GetCommandShortValue(implementation), "Запрос исполнения ФН");

  const TCommand size = MakeCommand("FF 75 1E 00 00 00", "FF 75 00 F4 01 00 00 80 00 00 00");
  EXPECT_EQ(ParseCommand(size).Request, "");
  EXPECT_EQ(ParseCommand(size).Answer, Lines({"DocumentSize: 500", "NotificationSize: 128"}));
  EXPECT_EQ(GetCommandShortValue(size), "Запрос размера данных документа в ФН");
}

}  // namespace
}  // namespace quillon
