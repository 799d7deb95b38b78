// Every command decoder on realistic request and answer bytes: the decoded texts (which
// fields, in which order, read from which bytes) and the one-line summary of the list.
#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>

#include "FormatSettingsGuard.h"
#include "TestCommands.h"
#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/FormatSettings.h"
#include "core/untCommand.h"
#include "parser/CommandParser.h"
#include "parser/PrinterTypes.h"

namespace quillon {
namespace {

using namespace std::string_literals;

// The decoded request and answer texts and the summary of a command.
struct Decoded {
  std::string Request, Answer, Summary;
  bool operator==(const Decoded&) const = default;
};

void PrintTo(const Decoded& d, std::ostream* os) {
  *os << "\nrequest: " << testing::PrintToString(d.Request)
      << "\nanswer:  " << testing::PrintToString(d.Answer)
      << "\nsummary: " << testing::PrintToString(d.Summary);
}

Decoded Decode(std::string tx, std::string answer = {}) {
  const TCommand command = test::MakeCommand(std::move(tx), std::move(answer));
  const TCommandTexts texts = ParseCommand(command);
  return {texts.Request, texts.Answer, GetCommandShortValue(command)};
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

class ParserCommandDecoders : public ::testing::Test {
 private:
  test::TFormatSettingsGuard FSettings;
};

TEST_F(ParserCommandDecoders, StatusRequestsShowModesFlagsAndDeviceData) {
  EXPECT_EQ(
      Decode("10 1E 00 00 00", "10 00 1E 03 02 04 00 05 FF D8 00 00 00 19 02"),
      (Decoded{Lines({"Password: 30"}),
               Lines({"OperatorNumber: 30", "ECRFlags: " + kFlags0203, "ECRMode: " + Mode(4),
                      "ECRAdvancedMode: " + AdvancedMode(0), "QuantityOfOperations (lo): 5",
                      "BatteryVoltage: 5,00 В.", "PowerSourceVoltage: 24,00 В.",
                      "FMResultCode (old): 0", "EKLZResultCode (old): 0", "UpdateKeysResultCode: 0",
                      "PrinterHeadTemperature: 25", "PreviousECRMode: " + Mode(2)}),
               Mode(4) + " " + AdvancedMode(0)}));
  EXPECT_EQ(
      Decode("11 1E 00 00 00",
             "11 00 1E 33 30 34 12 1F 0C 18 01 0A 00 03 02 02 03 02 32 35 01 00 01 01 18 0F 06 "
             "19 0A 0F 1E 00 15 CD 5B 07 2A 00 FF 00 01 1D 75 C4 60 CB 01 00"),
      (Decoded{Lines({"Password: 30"}),
               Lines({"OperatorNumber: 30", "FECRSoftVersion: 3.0", "ECRBuild: 4660",
                      "FECRSoftDate: 31.12.2024", "LogicalNumber: 1", "DocumentNumber: 10",
                      "ECRFlags: " + kFlags0203, "ECRMode: " + Mode(2),
                      "ECRAdvancedMode: " + AdvancedMode(3)}) +
                   Lines({"PortNumber: 2 [TCP сокет (RNDIS, Ethernet, WI-FI, ppp)]",
                          "FMSoftVersion (Old): 2.5", "FMBuild (Old): 1",
                          "FMSoftDate (Old): 01.01.2024", "ECRDate: 15.06.2025",
                          "ECRTime: 10:15:30", "FMFlags (Old): 0", "ECRSerial: 123456789"}) +
                   Lines({"SessionNumber: 42", "FreeRecordInFM (Old): 255", "RegistrationNumber: 1",
                          "FreeRegistration: 29", "INN: 7707083893"}),
               Mode(2) + " " + AdvancedMode(3)}));
  // Without an answer there are no modes to show.
  EXPECT_EQ(Decode("11 1E 00 00 00").Summary, "  Нет ответа на команду");
}

TEST_F(ParserCommandDecoders, PrintLineCommandsShowTheirText) {
  EXPECT_EQ(Decode("17 1E 00 00 00 02 " + TextHex("Итого к оплате"), "17 00 1E"),
            (Decoded{Lines({"Password: 30", "Tape type: 2", "StringForPrinting: Итого к оплате"}),
                     "", "Итого к оплате"}));
  EXPECT_EQ(
      Decode("2F 1E 00 00 00 02 03 " + TextHex("СПАСИБО"), "2F 00 1E"),
      (Decoded{Lines({"Password: 30", "Tape type: 2", "FontType: 3", "StringForPrinting: СПАСИБО"}),
               "", "СПАСИБО"}));
}

TEST_F(ParserCommandDecoders, TableCommands) {
  // Write: table 1, row 2, field 3 set to the two-byte number 1.
  EXPECT_EQ(Decode("1E 1E 00 00 00 01 02 00 03 01 00", "1E 00"),
            (Decoded{Lines({"Password: 30", "TableNumber: 1", "Row: 2", "Field: 3", "Value: 1"}),
                     "", "Запись Т1Р2П3 = 1"}));
  // Row numbers are 16 bits; a long value is text.
  EXPECT_EQ(Decode("1E 1E 00 00 00 04 2C 01 02 " + TextHex("Кассир Петров", 20), "1E 00"),
            (Decoded{Lines({"Password: 30", "TableNumber: 4", "Row: 300", "Field: 2",
                            "Value: Кассир Петров"}),
                     "", "Запись Т4Р300П2 = Кассир Петров"}));
  // A short value that reads as text keeps its own line breaks in the write summary, and
  // the read summary joins them ("= " and then the leading break as a second blank).
  EXPECT_EQ(Decode("1E 1E 00 00 00 11 01 00 07 41 42 43", "1E 00").Summary,
            "Запись Т17Р1П7 = \r\nStr: ABC\r\nInt: 4407873");
  EXPECT_EQ(Decode("1F 1E 00 00 00 11 01 00 07", "1F 00 41 42 43"),
            (Decoded{Lines({"Password: 30", "TableNumber: 17", "Row: 1", "Field: 7"}),
                     Lines({"Value: \r\nStr: ABC\r\nInt: 4407873"}),
                     "Чтение Т17Р1П7 =  Str: ABC Int: 4407873"}));

  // Structure: the table has no summary of its own, the field has.
  EXPECT_EQ(
      Decode("2D 1E 00 00 00 01", "2D 00 " + TextHex("Тип и режим кассы", 40) + " 01 00 12"),
      (Decoded{Lines({"Password: 30", "TableNumber: 1"}),
               Lines({"TableName: Тип и режим кассы", "RowCount: 1", "FieldCount: 18"}), ""}));
  EXPECT_EQ(Decode("2E 1E 00 00 00 01 02",
                   "2E 00 " + TextHex("Автоматическая обрезка чека", 40, ' ') + " 00"),
            (Decoded{Lines({"Password: 30", "TableNumber: 1", "FieldNumber: 2"}),
                     Lines({"FieldName: Автоматическая обрезка чека", "FieldType: 0 [Int]"}),
                     "Т1П2 Автоматическая обрезка чека"}));
}

TEST_F(ParserCommandDecoders, DeviceServiceAndErrorTexts) {
  // The request's error code is not part of the layout.
  EXPECT_EQ(Decode("6B 37", "6B 00 " + TextHex("Нет бумаги")),
            (Decoded{"", Lines({"ErrorDescription: Нет бумаги"}), "ОШИБКА Нет бумаги"}));
  // The device type summary trims the description.
  EXPECT_EQ(
      Decode("FC", "FC 00 00 00 01 02 2D 00 " + TextHex("  Касса-Т  ") + " 00"),
      (Decoded{"",
               Lines({"MajorType: 0", "MinorType: 0", "ProtocolVersion: 1", "ProtocolSubVersion: 2",
                      "Model: 45", "CodePage: 0", "Description:   Касса-Т  \0"s}),
               "Касса-Т (45)"}));
  EXPECT_EQ(Decode("FC").Summary, " () Нет ответа на команду");
  const std::string reboot = "0xF3 (Перезапуск кассы, SERVICE_CMD_1_DIR_REBOOT)";
  EXPECT_EQ(Decode("FE F3 00 00 00 00", "FE 00"),
            (Decoded{Lines({"ServiceCmd: " + reboot}), "", reboot}));
}

TEST_F(ParserCommandDecoders, ItemRegistrationsShareOneLayout) {
  const std::string body =
      " 1E 00 00 00 D0 07 00 00 00 39 30 00 00 00 01 02 00 00 00 " + TextHex("Молоко");
  const std::string request =
      Lines({"Password: 30", "Quantity: 2,000", "Price: 123,45", "Department: 1", "Tax1: 2",
             "Tax2: 0", "Tax3: 0", "Tax4: 0", "StringForPrinting: Молоко"});
  for (const auto& [code, summary] :
       {std::pair{"80", "ПРОДАЖА"}, std::pair{"81", "ПОКУПКА"}, std::pair{"82", "ВОЗВРАТ ПРОДАЖИ"},
        std::pair{"83", "ВОЗВРАТ ПОКУПКИ"}}) {
    EXPECT_EQ(Decode(code + body, code + " 00 1E"s),
              (Decoded{request, "", summary + " 123,45X2,000 Молоко"s}));
  }
}

TEST_F(ParserCommandDecoders, ReceiptOpenSubtotalAndClose) {
  // The open command codes check types from 0, unlike the operation command.
  EXPECT_EQ(Decode("8D 1E 00 00 00 01", "8D 00 1E"),
            (Decoded{Lines({"Password: 30", "CheckType: 1 [Расход]"}),
                     Lines({"OperatorNumber: 30"}), "ОТКРЫТИЕ ЧЕКА 1 [Расход]"}));
  EXPECT_EQ(Decode("89 1E 00 00 00", "89 00 1E 39 30 00 00 00"),
            (Decoded{Lines({"Password: 30"}), Lines({"OperatorNumber: 30", "Summ1: 123,45"}),
                     "ПОДЫТОГ 123,45"}));
  // Payments of the close command are 5-byte amounts with three decimals.
  EXPECT_EQ(Decode("85 1E 00 00 00 10 27 00 00 00 E8 03 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                   "05 00 01 00 00 00 " +
                       TextHex("Спасибо"),
                   "85 00 1E 64 00 00 00 00"),
            (Decoded{Lines({"Password: 30", "Summ1: 10,000", "Summ2: 1,000", "Summ3: 0,000",
                            "Summ4: 0,000", "DiscountOnCheck: 5", "Tax1: 1", "Tax2: 0", "Tax3: 0",
                            "Tax4: 0", "StringForPrinting: Спасибо"}),
                     Lines({"OperatorNumber: 30", "Change: 1,00"}), "ЗАКРЫТИЕ ЧЕКА"}));
  EXPECT_EQ(Decode("85 1E 00 00 00", "85 4A").Summary,
            "ЗАКРЫТИЕ ЧЕКА [ERROR] 74 (0x4A) " + TPrinterError::GetDescription(74, true));
}

// Extended receipt close: the variants differ only in the number of tax amounts.
TEST_F(ParserCommandDecoders, ExtendedReceiptCloseVariants) {
  const auto request = [](const std::string& code, int taxValues) {
    std::string hex = code + " 1E 00 00 00 10 27 00 00 00";
    for (int i = 2; i <= 16; ++i) hex += " 00 00 00 00 00";
    hex += " 00 67 06 00 00 00";
    for (int i = 2; i <= taxValues; ++i) hex += " FF FF FF FF FF";
    return hex + " 02 " + TextHex("Спасибо за покупку");
  };
  struct Variant {
    std::string code;
    int taxValues;
    std::string name;
  };
  for (const auto& [code, taxValues, name] :
       {Variant{"FF 45", 6, ""}, Variant{"FF 76", 10, " V3"}, Variant{"FF 78", 12, " V4"}}) {
    std::string text = "Password: 30\r\nSumm1: 100,00\r\n";
    for (int i = 2; i <= 16; ++i) text += "Summ" + std::to_string(i) + ": 0,00\r\n";
    text += "RoundingSumm: 0\r\nTaxValue1: 16,39\r\n";
    for (int i = 2; i <= taxValues; ++i) text += "TaxValue" + std::to_string(i) + ": [нет]\r\n";
    text += "TaxType: 2 [УСНД]\r\nStringForPrinting: Спасибо за покупку\r\n";
    EXPECT_EQ(
        Decode(request(code, taxValues), code + " 00 00 00 00 00 00 2A 00 00 00 D2 02 96 49"),
        (Decoded{text, Lines({"Change: 0,00", "DocumentNumber: 42", "FiscalSign: 1234567890"}),
                 "ЗАКРЫТИЕ ЧЕКА" + name + " [ДОК: 42] [ФП: 1234567890]  "}));
  }
  // Without an answer the document number and fiscal sign stay empty.
  EXPECT_EQ(Decode(request("FF 45", 6)).Summary,
            "ЗАКРЫТИЕ ЧЕКА [ДОК: ] [ФП: ]   Нет ответа на команду");
}

TEST_F(ParserCommandDecoders, FiscalStorageStatusAndFreeTlv) {
  EXPECT_EQ(Decode("FF 01 1E 00 00 00", "FF 01 00 03 00 00 01 00 18 0C 1F 0A 0F " +
                                            TextHex("99990789000123", 16, ' ') + " 39 30 01 00"),
            (Decoded{Lines({"Password: 30"}),
                     Lines({"FNLifeState: 3 [\r\n  Проведена настройка ФН Да"
                            "\r\n  Открыт фискальный режим Да"
                            "\r\n  Закрыт фискальный режим Нет"
                            "\r\n  Закончена передача фискальных данных в ОФД Нет]",
                            "FNCurrentDocument: 0 [Нет открытого документа]",
                            "FNDocumentData: 0 [Нет данных документа]",
                            "FNSessionState: 1 [Смена открыта]", "FNWarningFlags: 0",
                            "ECRDate: 31.12.2024 10:15:00", "SerialNumber: 99990789000123",
                            "DocumentNumber: 77881"}),
                     "SN: 99990789000123"}));

  // Cashier (1021) "Ivan" and cashier tax number (1203) "123"; on one row each CR LF of the
  // TLV text is a blank.
  EXPECT_EQ(Decode("FF 0C 1E 00 00 00 FD 03 04 00 49 76 61 6E B3 04 03 00 31 32 33", "FF 0C 00"),
            (Decoded{"Password: 30\r\nTLVData: \r\n    1021,КАССИР:Ivan\r\n"
                     "    1203,ИНН КАССИРА:123\r\n\r\n",
                     "", "     1021,КАССИР:Ivan     1203,ИНН КАССИРА:123 "}));
}

TEST_F(ParserCommandDecoders, MarkingCodes) {
  const std::string barcode = "01046004399312562112345\03593abcd";
  const std::string marked = "01046004399312562112345<0x1D>93abcd";
  const std::string barcodeHex = BytesToHex(RawBytes(barcode));
  const std::string tlv = "FF 03 02 00 00 02";  // quantity 1023 = 2
  const Decoded check = Decode("FF 61 1E 00 00 00 01 00 1E 06 " + barcodeHex + " " + tlv,
                               "FF 61 00 03 00 02 02 00 0F");
  EXPECT_EQ(check.Request,
            Lines({"Password: 30", "ItemStatus: 1 [Штучный товар, реализован]", "CheckItemMode: 0",
                   "Barcode HEX: " + barcodeHex, "Barcode: " + marked, "TLVData HEX: " + tlv,
                   "TLVData:   1023,КОЛ-ВО ПРЕДМ. РАСЧЕТА:2\r\n"}));
  // The answer is the local check and the server answer; their texts are checked with the
  // field types.
  EXPECT_EQ(check.Answer.rfind("CheckItemLocalResult: 3 [", 0), 0u) << check.Answer;
  EXPECT_NE(check.Answer.find("\r\nMarkingType2: 2 [КМ"), std::string::npos) << check.Answer;
  EXPECT_NE(check.Answer.find("\r\nKMServerCheckingStatus (Тег 2106): 15 ["), std::string::npos);
  EXPECT_EQ(check.Summary, "[M] " + marked);

  const std::string code = "0104600439931256215ABCDE";
  const std::string codeHex = BytesToHex(RawBytes(code));
  const Decoded binding =
      Decode("FF 67 1E 00 00 00 18 " + codeHex + " FF", "FF 67 00 44 4D 00 01 00 04 01 FF");
  EXPECT_EQ(binding.Request,
            Lines({"Password: 30", "Barcode HEX: " + codeHex, "Barcode: " + code, "OSU: True"}));
  EXPECT_EQ(binding.Answer.rfind("MarkingType: 17485 [Код GS1 Data Matrix]\r\n"
                                 "MarkingTypeEx: 0 [КМ-88]\r\nCheckItemLocalResult: 1 [",
                                 0),
            0u)
      << binding.Answer;
  EXPECT_NE(binding.Answer.find("\r\nKMServerErrorCode: 255 ["), std::string::npos);
  EXPECT_EQ(binding.Summary, "[M] " + code);

  EXPECT_EQ(
      Decode("FF 69 1E 00 00 00 01", "FF 69 00"),
      (Decoded{Lines({"Password: 30", "Accept or Decline: 1 [Принять]"}), "", "1 [Принять]"}));
}

TEST_F(ParserCommandDecoders, NotificationCommands) {
  EXPECT_EQ(Decode("FF 70",
                   "FF 70 00 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 "
                   "00 06 00 00 00 07 00 01 00"),
            (Decoded{"",
                     Lines({"MCCheckStatus: 1", "MCNotificationStatus: 2", "MCCommandFlags: 3",
                            "MCCheckResultSavedCount: 4", "MCRealizationCount: 5",
                            "MCStorageSize: 6", "MessageCount: 65543"}),
                     "Запрос статуса по работе с кодами маркировки"}));
  EXPECT_EQ(
      Decode("FF 71", "FF 71 00 03 00 00 00 01 00 00 00 00 02 01 00"),
      (Decoded{"",
               Lines({"NotificationCount: 3", "NotificationNumber: 1", "NotificationSize: 66048"}),
               "Начать выгрузку уведомлений  о реализации маркированных товаров"}));
  EXPECT_EQ(Decode("FF 72", "FF 72 00 01 00 00 00 00 02 00 00 00 01 00 00 03 00 00 00 30 31 41"),
            (Decoded{"",
                     Lines({"NotificationNumber: 1", "NotificationSize: 512", "DataOffset: 256",
                            "DataBlockSize: 3", "BlockDataHex: 01A"}),
                     "Прочитать блок уведомления"}));
  // The confirmation carries no password.
  EXPECT_EQ(Decode("FF 73 05 00 00 00 34 12", "FF 73 00"),
            (Decoded{Lines({"NotificationNumber: 5", "CheckSum: 4660"}), "",
                     "Подтвердить выгрузку уведомления"}));
  EXPECT_EQ(Decode("FF 74", "FF 74 00 " + TextHex("ФН-М исп. 2")),
            (Decoded{"", Lines({"FNImplementation: ФН-М исп. 2"}), "Запрос исполнения ФН"}));
  EXPECT_EQ(Decode("FF 75 1E 00 00 00", "FF 75 00 F4 01 00 00 80 00 01 00"),
            (Decoded{"", Lines({"DocumentSize: 500", "NotificationSize: 65664"}),
                     "Запрос размера данных документа в ФН"}));
}

}  // namespace
}  // namespace quillon
