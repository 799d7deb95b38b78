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

  // Decodes a request of command 0x10 followed by `hex` with the given layout and answers
  // the collected (name, value) pairs.
  static TFieldValues Values(const TFieldLayout& layout, const std::string& hex) {
    TTestCommand::Layout = layout;
    auto parser = MakeParserCommand<TTestCommand>();
    TCommandRec rec;
    rec.Code = 0x10;
    rec.TxData = "10 " + hex;
    parser->Parse(TCommand(rec), pFields);
    return parser->FieldsValues();
  }

  // The value text of a single field of the given type over `hex`.
  static std::string Field(TFieldType type, const std::string& hex) {
    TFieldValues values = Values({{"F", type}}, hex);
    return values.size() == 1 ? values[0].second : "<" + std::to_string(values.size()) + ">";
  }

  // The decoded request text.
  static std::string Text(const TFieldLayout& layout, const std::string& hex) {
    TTestCommand::Layout = layout;
    auto parser = MakeParserCommand<TTestCommand>();
    TCommandRec rec;
    rec.Code = 0x10;
    rec.TxData = "10 " + hex;
    return parser->Parse(TCommand(rec), pFields);
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

TEST_F(CommandFields, PlainNumbers) {
  EXPECT_EQ(Field(ftByte, "00"), "0");
  EXPECT_EQ(Field(ftByte, "FF"), "255");
  EXPECT_EQ(Field(ftTax, "04"), "4");
  EXPECT_EQ(Field(ftUint16, "34 12"), "4660");
  EXPECT_EQ(Field(ftUint16, "FF FF"), "65535");
  EXPECT_EQ(Field(ftUInt32, "01 02 03 04"), "67305985");
  EXPECT_EQ(Field(ftUInt32, "FF FF FF FF"), "4294967295");
  EXPECT_EQ(Field(ftINN, "75 C4 60 CB 01 00"), "7707083893");
  EXPECT_EQ(Field(ftINN, "FF FF FF FF FF FF"), "281474976710655");
}

TEST_F(CommandFields, AmountsAndQuantitiesFollowTheDecimalSeparator) {
  for (char sep : {'.', ','}) {
    UseSeparator(sep);
    auto s = [sep](std::string text) {
      for (char& c : text)
        if (c == '.') c = sep;
      return text;
    };
    EXPECT_EQ(Field(ftSum, "39 30 00 00 00"), s("123.45"));
    EXPECT_EQ(Field(ftSum, "00 00 00 00 00"), s("0.00"));
    EXPECT_EQ(Field(ftSum, "05 00 00 00 00"), s("0.05"));
    EXPECT_EQ(Field(ftSum, "FF FF FF FF FF"), s("10995116277.75"));
    EXPECT_EQ(Field(ftQuantity5, "E8 03 00 00 00"), s("1.000"));
    EXPECT_EQ(Field(ftQuantity5, "01 00 00 00 00"), s("0.001"));
    EXPECT_EQ(Field(ftQuantity6, "40 42 0F 00 00 00"), s("1.000000"));
    EXPECT_EQ(Field(ftQuantity6, "FF FF FF FF FF FF"), s("281474976.710655"));
    EXPECT_EQ(Field(ftTaxValue, "10 27 00 00 00"), s("100.00"));
    EXPECT_EQ(Field(ftTaxValue, "FF FF FF FF 00"), s("42949672.95"));
    EXPECT_EQ(Field(ftSumm1Value, "FF FF FF FF FE"), s("10952166604.79"));
  }
}

TEST_F(CommandFields, AbsentAmountsShowNone) {
  EXPECT_EQ(Field(ftTaxValue, "FF FF FF FF FF"), "[нет]");
  EXPECT_EQ(Field(ftSumm1Value, "FF FF FF FF FF"), "[нет]");
  // Five bytes are taken either way: the next field starts after them.
  EXPECT_EQ(Values({{"A", ftTaxValue}, {"B", ftByte}}, "FF FF FF FF FF 07"),
            (TFieldValues{{"A", "[нет]"}, {"B", "7"}}));
}

TEST_F(CommandFields, DatesAndTimesUseTheRegionalFormats) {
  EXPECT_EQ(Field(ftDate, "1F 0C 18"), "31.12.2024");
  EXPECT_EQ(Field(ftDate, "1D 02 18"), "29.02.2024");
  EXPECT_EQ(Field(ftDate, "1F 02 18"), "30.12.1899");
  EXPECT_EQ(Field(ftDate, "01 0D 18"), "30.12.1899");
  EXPECT_EQ(Field(ftTime, "0A 0F 1E"), "10:15:30");
  EXPECT_EQ(Field(ftTime, "17 3B 3B"), "23:59:59");
  EXPECT_EQ(Field(ftTime, "18 00 00"), "00:00:00");
  EXPECT_EQ(Field(ftTime, "0A 3C 00"), "00:00:00");
  EXPECT_EQ(Field(ftTime, "0A 00 3C"), "00:00:00");
  // Day, month, year; the two bytes after them do not show.
  EXPECT_EQ(Field(ftDateTime, "1F 0C 18 0A 0F"), "31.12.2024");
  EXPECT_EQ(Field(ftDateTime, "1F 0D 18 0A 0F"), "30.12.1899");
  // Year, month, day, hour, minute.
  EXPECT_EQ(Field(ftDateTimeDoc, "18 0C 1F 0A 0F"), "31.12.2024 10:15:00");
  EXPECT_EQ(Field(ftDateTimeDoc, "18 0C 1F 00 00"), "31.12.2024");
  EXPECT_EQ(Field(ftDateTimeDoc, "18 0D 1F 0A 0F"), "30.12.1899 10:15:00");
  EXPECT_EQ(Field(ftDateTimeDoc, "18 0C 1F 18 00"), "31.12.2024");
  EXPECT_EQ(Field(ftDateTimeDoc, "18 0C 1F 0A 3C"), "31.12.2024");

  TFormatSettings other;
  other.ShortDateFormat = "%Y-%m-%d";
  other.LongTimeFormat = "%H.%M";
  SetFormatSettings(other);
  EXPECT_EQ(Field(ftDate, "1F 0C 18"), "2024-12-31");
  EXPECT_EQ(Field(ftTime, "0A 0F 1E"), "10.15");
  EXPECT_EQ(Field(ftDateTimeDoc, "18 0C 1F 0A 0F"), "2024-12-31 10.15");
}

TEST_F(CommandFields, DeviceTexts) {
  // Code page 1251, zero bytes kept in a plain string.
  EXPECT_EQ(Field(ftString, "CA E0 F1 F1 E0 00 41"), std::string("Касса") + '\0' + "A");
  EXPECT_EQ(Field(ftString, "20 41 20"), " A ");
  EXPECT_EQ(Field(ftString, ""), "");
  // Fixed widths: trailing blanks, zeros and control characters go, leading ones stay.
  std::string cashier = "20 CA E0 F1 F1 E0 20 09 00";
  for (int i = 9; i < 16; ++i) cashier += " 00";
  EXPECT_EQ(Values({{"A", ftString16}, {"B", ftByte}}, cashier + " 2A"),
            (TFieldValues{{"A", " Касса"}, {"B", "42"}}));
  std::string line40 = "41 42";
  for (int i = 2; i < 40; ++i) line40 += " 20";
  EXPECT_EQ(Values({{"A", ftString40}, {"B", ftByte}}, line40 + " 2A"),
            (TFieldValues{{"A", "AB"}, {"B", "42"}}));
  // Short data: the missing bytes do not show.
  EXPECT_EQ(Field(ftString40, "41 42 43"), "ABC");
  EXPECT_EQ(Field(ftString16, ""), "");
}

TEST_F(CommandFields, BarcodesAndSoftwareVersion) {
  EXPECT_EQ(Field(ftBarcode, "05 30 31 1D 61 62"), "01<0x1D>ab");
  EXPECT_EQ(Field(ftBarcode, "00"), "");
  EXPECT_EQ(Values({{"A", ftBarcode}, {"B", ftByte}}, "02 1D 1D 09"),
            (TFieldValues{{"A", "<0x1D><0x1D>"}, {"B", "9"}}));
  EXPECT_EQ(Field(ftSoftVersion, "33 30"), "3.0");
  EXPECT_EQ(Field(ftSoftVersion, "41 C1"), "A.Б");
}

TEST_F(CommandFields, TableValues) {
  EXPECT_EQ(Field(ftTableValue, ""), "");
  EXPECT_EQ(Field(ftTableValue, "41 42 43 00 00"), "\r\nStr: ABC\r\nInt: 4407873");
  EXPECT_EQ(Field(ftTableValue, "01 00"), "1");
  EXPECT_EQ(Field(ftTableValue, "20 20"), "8224");
  EXPECT_EQ(Field(ftTableValue, "00 00 00 00 00 00 00 00"), "0");
  // Only eight bytes with the top bit set are negative.
  EXPECT_EQ(Field(ftTableValue, "FF FF FF FF FF FF FF 00"),
            "\r\nStr: яяяяяяя\r\nInt: 72057594037927935");
  EXPECT_EQ(Field(ftTableValue, "FF FF FF FF FF FF FF FF"), "\r\nStr: яяяяяяяя\r\nInt: -1");
  EXPECT_EQ(Field(ftTableValue, "00 00 00 00 00 00 00 80"),
            "\r\nStr: " + std::string(7, '\0') + "Ђ\r\nInt: -9223372036854775808");
  // More than eight bytes: the text alone, even when nothing of it is left.
  EXPECT_EQ(Field(ftTableValue, "31 32 33 34 35 36 37 38 39 20 00"), "123456789");
  EXPECT_EQ(Field(ftTableValue, "01 02 03 04 05 06 07 08 09"), "");
  EXPECT_EQ(Field(ftTableValue, "D2 E5 F1 F2 20 F2 E0 E1 EB E8 F6 FB"), "Тест таблицы");
}

TEST_F(CommandFields, SmallCodeLists) {
  EXPECT_EQ(Field(ftFieldType, "00"), "0 [Int]");
  EXPECT_EQ(Field(ftFieldType, "01"), "1 [Str]");
  EXPECT_EQ(Field(ftFieldType, "02"), "2 [Unknown]");
  EXPECT_EQ(Field(ftAcceptOrDecline, "01"), "1 [Принять]");
  EXPECT_EQ(Field(ftAcceptOrDecline, "00"), "0 [Отклонить]");
  EXPECT_EQ(Field(ftAcceptOrDecline, "02"), "2 [Отклонить]");

  EXPECT_EQ(Field(ftCheckType, "00"), "0 [Приход]");
  EXPECT_EQ(Field(ftCheckType, "03"), "3 [Возврат расхода]");
  EXPECT_EQ(Field(ftCheckType, "04"), "4 []");
  EXPECT_EQ(Field(ftCheckType2, "00"), "0 []");
  EXPECT_EQ(Field(ftCheckType2, "01"), "1 [Приход]");
  EXPECT_EQ(Field(ftCheckType2, "03"), "3 [Расход]");
  EXPECT_EQ(Field(ftCheckType2, "04"), "4 [Возврат расхода]");
  EXPECT_EQ(Field(ftCheckType2, "05"), "5 []");

  EXPECT_EQ(Field(ftPaymentTypeSign, "00"), "0 []");
  EXPECT_EQ(Field(ftPaymentTypeSign, "01"), "1 [Предоплата 100%]");
  EXPECT_EQ(Field(ftPaymentTypeSign, "07"), "7 [Оплата кредита]");
  EXPECT_EQ(Field(ftPaymentTypeSign, "08"), "8 []");

  EXPECT_EQ(Field(ftTaxType, "01"), "1 [ОСН]");
  EXPECT_EQ(Field(ftTaxType, "04"), "4 [УСНДМР]");
  EXPECT_EQ(Field(ftTaxType, "20"), "32 [ПСН]");
  EXPECT_EQ(Field(ftTaxType, "03"), "3 []");
  EXPECT_EQ(Field(ftTaxType, "40"), "64 []");
  EXPECT_EQ(Field(ftTax1, "01"), "1 [НДС 20%]");
  EXPECT_EQ(Field(ftTax1, "08"), "8 [БЕЗ НДС]");
  EXPECT_EQ(Field(ftTax1, "20"), "32 [НДС 10/110]");
  EXPECT_EQ(Field(ftTax1, "00"), "0 []");
  EXPECT_EQ(Field(ftTax1, "06"), "6 []");

  EXPECT_EQ(Field(ftMarkingTypeEx, "00"), "0 [КМ-88]");
  EXPECT_EQ(Field(ftMarkingTypeEx, "03"), "3 [КМ-44]");
  EXPECT_EQ(Field(ftMarkingTypeEx, "04"), "4 []");
  EXPECT_EQ(Field(ftMarkingTypeEx, "FE"), "254 []");
  EXPECT_EQ(Field(ftMarkingTypeEx, "FF"), "255 [GS-1 без маркировки]");
}

TEST_F(CommandFields, PaymentItemSigns) {
  EXPECT_EQ(Field(ftPaymentItemSign, "00"), "0 []");
  EXPECT_EQ(Field(ftPaymentItemSign, "01"), "1 [Товар]");
  EXPECT_EQ(Field(ftPaymentItemSign, "09"), "9 [Предоставление РИД]");
  EXPECT_EQ(Field(ftPaymentItemSign, "10"), "16 [Страховые взносы]");
  EXPECT_EQ(Field(ftPaymentItemSign, "11"), "17 [Торговый сбор]");
  EXPECT_EQ(Field(ftPaymentItemSign, "14"), "20 [Расход]");
  EXPECT_EQ(Field(ftPaymentItemSign, "1B"), "27 [Выдача ДС]");
  EXPECT_EQ(Field(ftPaymentItemSign, "1C"), "28 []");
  EXPECT_EQ(Field(ftPaymentItemSign, "1D"), "29 []");
  EXPECT_EQ(Field(ftPaymentItemSign, "1E"), "30 [АТНМ]");
  EXPECT_EQ(Field(ftPaymentItemSign, "21"), "33 [ТМ]");
  EXPECT_EQ(Field(ftPaymentItemSign, "22"), "34 []");
}

TEST_F(CommandFields, CodeListsWithFallbacks) {
  EXPECT_EQ(Field(ftPortNumber, "00"), "0 [RS-232]");
  EXPECT_EQ(Field(ftPortNumber, "02"), "2 [TCP сокет (RNDIS, Ethernet, WI-FI, ppp)]");
  EXPECT_EQ(Field(ftPortNumber, "03"), "3 [I2C (Основная плата)]");
  EXPECT_EQ(Field(ftPortNumber, "04"), "4 [неизвестный тип]");
  EXPECT_EQ(Field(ftPortNumber, "FF"), "255 [неизвестный тип]");

  EXPECT_EQ(Field(ftCheckItemLocalError, "00"), "0 [КМ проверен в ФН]");
  EXPECT_EQ(Field(ftCheckItemLocalError, "03"),
            "3 [Проверка невозможна, так как отсутствуют теги 91 и / или 92 или их формат "
            "неверный]");
  EXPECT_EQ(Field(ftCheckItemLocalError, "04"), "4 [Внутренняя ошибка в ФН при проверке этого КМ]");
  EXPECT_EQ(Field(ftCheckItemLocalError, "05"), "5 [неизвестное значение]");

  EXPECT_EQ(Field(ftMarkingType2, "00"), "0 [Тип КМ не идентифицирован]");
  EXPECT_EQ(Field(ftMarkingType2, "05"),
            "5 [КМ со значением кода проверки длиной 4 символа, не подлежащим проверке в ФН]");
  EXPECT_EQ(Field(ftMarkingType2, "06"), "6 [неизвестное значение]");

  EXPECT_EQ(Field(ftItemStatus, "00"), "0 [Неизвестный статус]");
  EXPECT_EQ(Field(ftItemStatus, "01"), "1 [Штучный товар, реализован]");
  EXPECT_EQ(Field(ftItemStatus, "04"), "4 [Часть товара, возвращена]");
  EXPECT_EQ(Field(ftItemStatus, "05"), "5 [Неизвестный статус]");

  EXPECT_EQ(Field(ftFNSessionState, "00"), "0 [Смена закрыта]");
  EXPECT_EQ(Field(ftFNSessionState, "01"), "1 [Смена открыта]");
  EXPECT_EQ(Field(ftFNSessionState, "02"), "2 [Неизвестное значение]");

  EXPECT_EQ(Field(ftFNDocumentData, "00"), "0 [Нет данных документа]");
  EXPECT_EQ(Field(ftFNDocumentData, "01"), "1 [Получены данные документа]");
  EXPECT_EQ(Field(ftFNDocumentData, "FF"), "255 [Неизвестное значение]");

  EXPECT_EQ(Field(ftFNCurrentDocument, "00"), "0 [Нет открытого документа]");
  EXPECT_EQ(Field(ftFNCurrentDocument, "04"), "4 [Кассовый чек]");
  EXPECT_EQ(Field(ftFNCurrentDocument, "10"), "16 [Отчет о закрытии фискального накопителя]");
  EXPECT_EQ(Field(ftFNCurrentDocument, "17"), "23 [Отчет о текущем состоянии расчетов]");
  EXPECT_EQ(Field(ftFNCurrentDocument, "03"), "3 [Неизвестный тип документа]");
  EXPECT_EQ(Field(ftFNCurrentDocument, "16"), "22 [Неизвестный тип документа]");
}

TEST_F(CommandFields, MarkingTypeIsBigEndian) {
  EXPECT_EQ(Field(ftMarkingType, "00 00"), "0 [Нераспознанный код]");
  EXPECT_EQ(Field(ftMarkingType, "44 4D"), "17485 [Код GS1 Data Matrix]");
  EXPECT_EQ(Field(ftMarkingType, "4F 0E"), "20238 [ОСУ GTIN ITF14]");
  EXPECT_EQ(Field(ftMarkingType, "C5 1E"), "50462 [Код EGAIS 3.0 Data Matrix]");
  EXPECT_EQ(Field(ftMarkingType, "4D 44"), "19780 [Неизвестный тип]");
  // A lone byte is the high half.
  EXPECT_EQ(Field(ftMarkingType, "44"), "17408 [Неизвестный тип]");
}

TEST_F(CommandFields, DeviceModes) {
  EXPECT_EQ(Field(ftECRMode, "02"), "2 [" + GetECRModeDescription(2) + "]");
  EXPECT_EQ(Field(ftECRMode, "88"), "136 [" + GetECRModeDescription(136) + "]");
  EXPECT_EQ(Field(ftECRAdvancedMode, "03"), "3 [" + GetECRAdvancedModeDescription(3) + "]");
  EXPECT_NE(GetECRModeDescription(2), "");
}

TEST_F(CommandFields, Voltages) {
  for (char sep : {'.', ','}) {
    UseSeparator(sep);
    const std::string d(1, sep);
    EXPECT_EQ(Field(ftBatteryVoltage, "FF"), "5" + d + "00 В.");
    EXPECT_EQ(Field(ftBatteryVoltage, "80"), "2" + d + "51 В.");
    EXPECT_EQ(Field(ftBatteryVoltage, "01"), "0" + d + "02 В.");
    EXPECT_EQ(Field(ftBatteryVoltage, "00"), "0" + d + "00 В.");
    EXPECT_EQ(Field(ftPowerSourceVoltage, "D8"), "24" + d + "00 В.");
    EXPECT_EQ(Field(ftPowerSourceVoltage, "64"), "11" + d + "11 В.");
    EXPECT_EQ(Field(ftPowerSourceVoltage, "FF"), "28" + d + "33 В.");
    EXPECT_EQ(Field(ftPowerSourceVoltage, "05"), "0" + d + "56 В.");
  }
}

TEST_F(CommandFields, ECRFlags) {
  EXPECT_EQ(Field(ftECRFlags, "03 00"),
            "0x0003\r\n"
            "    Рулон контр. ленты        : есть\r\n"
            "    Рулон чековой ленты       : есть\r\n"
            "    Опт. датчик контр. ленты  : бумаги нет\r\n"
            "    Опт датчик чеков. ленты   : бумаги нет\r\n"
            "    Рычаг термог. контр. ленты: поднят\r\n"
            "    Рычаг термог. чеков. ленты: поднят\r\n"
            "    Крышка корпуса ККТ        : опущена\r\n"
            "    Денежный ящик             : закрыт\r\n"
            "    Крышка контр. ленты       : опущена");
  EXPECT_EQ(Field(ftECRFlags, "C0 1F"),
            "0x1fc0\r\n"
            "    Рулон контр. ленты        : нет\r\n"
            "    Рулон чековой ленты       : нет\r\n"
            "    Опт. датчик контр. ленты  : бумага есть\r\n"
            "    Опт датчик чеков. ленты   : бумага есть\r\n"
            "    Рычаг термог. контр. ленты: опущен\r\n"
            "    Рычаг термог. чеков. ленты: опущен\r\n"
            "    Крышка корпуса ККТ        : поднята\r\n"
            "    Денежный ящик             : открыт\r\n"
            "    Крышка контр. ленты       : поднята");
  // Bits 2..5 and 13..15 show only in the number; each flag reads its own bit.
  const std::string hidden = Field(ftECRFlags, "3C E0");
  EXPECT_EQ(hidden.substr(0, 6), "0xe03c");
  EXPECT_EQ(hidden.find("есть"), std::string::npos);
  const std::string drawer = Field(ftECRFlags, "00 08");
  EXPECT_NE(drawer.find("Денежный ящик             : открыт"), std::string::npos);
  EXPECT_NE(drawer.find("Крышка корпуса ККТ        : опущена"), std::string::npos);
  EXPECT_NE(drawer.find("Крышка контр. ленты       : опущена"), std::string::npos);
}

TEST_F(CommandFields, FNLifeState) {
  EXPECT_EQ(Field(ftFNLifeState, "00"),
            "0 [\r\n  Проведена настройка ФН Нет\r\n  Открыт фискальный режим Нет\r\n"
            "  Закрыт фискальный режим Нет\r\n  Закончена передача фискальных данных в ОФД Нет]");
  EXPECT_EQ(Field(ftFNLifeState, "05"),
            "5 [\r\n  Проведена настройка ФН Да\r\n  Открыт фискальный режим Нет\r\n"
            "  Закрыт фискальный режим Да\r\n  Закончена передача фискальных данных в ОФД Нет]");
  EXPECT_EQ(Field(ftFNLifeState, "FA"),
            "250 [\r\n  Проведена настройка ФН Нет\r\n  Открыт фискальный режим Да\r\n"
            "  Закрыт фискальный режим Нет\r\n  Закончена передача фискальных данных в ОФД Да]");
}

const std::string kLocalNotPossible =
    "  \"код маркировки не может быть проверен фискальным накопителем с использованием ключа "
    "проверки КП\"";
const std::string kLocalDone =
    "  \"код маркировки проверен фискальным накопителем с использованием ключа проверки КП\"";
const std::string kLocalPositive =
    "  \"результат проверки КП КМ фискальным накопителем с использованием ключа проверки КП "
    "положительный\"";
const std::string kLocalNegative =
    "  \"результат проверки КП КМ фискальным накопителем с использованием ключа проверки КП "
    "отрицательный\"";

TEST_F(CommandFields, CheckItemLocalResult) {
  EXPECT_EQ(Field(ftCheckItemLocalResult, "00"), "0 [" + kLocalNotPossible + "]");
  EXPECT_EQ(Field(ftCheckItemLocalResult, "01"),
            "1 [" + kLocalDone + "\r\n" + kLocalNegative + "]");
  EXPECT_EQ(Field(ftCheckItemLocalResult, "03"),
            "3 [" + kLocalDone + "\r\n" + kLocalPositive + "]");
  EXPECT_EQ(Field(ftCheckItemLocalResult, "02"),
            "2 [" + kLocalNotPossible + "\r\n" + kLocalPositive + "]");
  EXPECT_EQ(Field(ftCheckItemLocalResult, "FC"), "252 [" + kLocalNotPossible + "]");
}

TEST_F(CommandFields, ServiceCommands) {
  EXPECT_EQ(Field(ftServiceCmd, "00"), "0x00 (Запись данных ФП, SERVICE_CMD_1_DIR_FM_WRITE)");
  EXPECT_EQ(Field(ftServiceCmd, "0C"),
            "0x0C (SERVICE_CMD_1_DIR_SCANNER_KEY_AGREEMENT, "
            "SERVICE_CMD_1_DIR_SCANNER_KEY_AGREEMENT)");
  EXPECT_EQ(Field(ftServiceCmd, "13"),
            "0x13 (Отмена проверки пароля, SERVICE_CMD_1_DIR_VIF_SKIP_PASSWORD_CHK)");
  EXPECT_EQ(Field(ftServiceCmd, "14"), "0x14 (Неизвестный код, Неизвестный код)");
  EXPECT_EQ(Field(ftServiceCmd, "CF"), "0xCF (Неизвестный код, Неизвестный код)");
  EXPECT_EQ(Field(ftServiceCmd, "D0"),
            "0xD0 (Неизвестный код, SERVICE_CMD_1_DIR_ACTIVATION_DATA_GEN)");
  EXPECT_EQ(Field(ftServiceCmd, "D2"),
            "0xD2 (Неизвестный код, SERVICE_CMD_1_DIR_SESSION_KEY_AGREEMENT)");
  EXPECT_EQ(Field(ftServiceCmd, "D3"), "0xD3 (Неизвестный код, Неизвестный код)");
  EXPECT_EQ(Field(ftServiceCmd, "DF"), "0xDF (Неизвестный код, Неизвестный код)");
  EXPECT_EQ(Field(ftServiceCmd, "E0"),
            "0xE0 (Добавление в буфер команды обратной печати, SERVICE_CMD_1_DIR_REVERSE)");
  EXPECT_EQ(Field(ftServiceCmd, "F3"), "0xF3 (Перезапуск кассы, SERVICE_CMD_1_DIR_REBOOT)");
  EXPECT_EQ(Field(ftServiceCmd, "FF"),
            "0xFF (Включение печати графики, SERVICE_CMD_1_DIR_GRAPH_ON)");
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
  EXPECT_EQ(Names(Values({{"Code", ftBarcodeTLV}}, "02 00 41 42")),
            (Strings{"Barcode HEX", "Barcode"}));
  EXPECT_EQ(Names(Values({{"Code", ftBarcodeTLV}}, "00 06 06 04 02 00 41 42")),
            (Strings{"TLVData HEX", "TLVData"}));
}

const std::string kStatusAllSet =
    "31 [  \"код маркировки проверен\"\r\n"
    "  \"результат проверки КП КМ положительный\"\r\n"
    "  \"проверка статуса ОИСМ выполнена\"\r\n"
    "  \"от ОИСМ получены сведения, что планируемый статус товара корректен\"\r\n"
    "  \"результат проверки КП КМ сформирован ККТ, работающей в автономном режиме\"]";
const std::string kStatusAllClear =
    "0 [  \"код маркировки не был проверен ФН и (или) ОИСМ\"\r\n"
    "  \"результат проверки КП КМ отрицательный или код маркировки не был проверен\"\r\n"
    "  \"сведения о статусе товара от ОИСМ не получены\"\r\n"
    "  \"от ОИСМ получены сведения, что планируемый статус товара некорректен или сведения о "
    "статусе товара от ОИСМ не получены\"\r\n"
    "  \"результат проверки КП КМ и статуса товара сформирован ККТ, работающей в режиме "
    "передачи данных\"]";

TEST_F(CommandFields, KMAnswer) {
  const TFieldLayout layout = {{"KM", ftKMAnswer}, {"Next", ftByte}};
  // N = 0: nothing but N is read.
  EXPECT_EQ(Values(layout, "00 09"), (TFieldValues{{"Next", "9"}}));
  // N = 1, error 0x20: no status byte.
  EXPECT_EQ(Values(layout, "01 20 09"),
            (TFieldValues{{"KMServerErrorCode", "32 []"}, {"Next", "9"}}));
  // N = 2, error 0x20: the status, no TLV data.
  EXPECT_EQ(Values(layout, "02 20 1F 09"),
            (TFieldValues{{"KMServerErrorCode", "32 []"},
                          {"KMServerCheckingStatus (Тег 2106)", kStatusAllSet},
                          {"Next", "9"}}));
  // Any other error: no status even with N = 3.
  EXPECT_EQ(Values(layout, "03 05 09"),
            (TFieldValues{{"KMServerErrorCode", "5 []"}, {"Next", "9"}}));
  EXPECT_EQ(Values(layout, "01 FF 09"),
            (TFieldValues{{"KMServerErrorCode", "255 [Сервер не ответил в течение таймаута]"},
                          {"Next", "9"}}));
  // N = 3 and error 0: the rest is TLV data.
  EXPECT_EQ(Values({{"KM", ftKMAnswer}}, "03 00 00 06 04 02 00 41 42"),
            (TFieldValues{{"KMServerErrorCode", "0 [Ошибок нет]"},
                          {"KMServerCheckingStatus (Тег 2106)", kStatusAllClear},
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
  EXPECT_EQ(Values({{"KM", ftKMSendAnswer}}, "00 09 07"),
            (TFieldValues{{"CheckItemLocalResult", "0 [" + kLocalNotPossible + "]"},
                          {"CheckItemLocalError", "9 [неизвестное значение]"},
                          {"MarkingType2", "7 [неизвестное значение]"}}));
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
  EXPECT_EQ(Values({{"B", ftBarcodeOSU}}, "02 41 1D FF"),
            (TFieldValues{{"Barcode HEX", "41 1D"}, {"Barcode", "A<0x1D>"}, {"OSU", "True"}}));
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
  command.PlayedAnswerData = "10 00 01 43";
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
      {"Flags", ftECRFlags},      {"Status", ftItemStatus},
      {"Marking", ftMarkingType}, {"Version", ftSoftVersion},
      {"Table", ftTableValue},
  };
  const TFieldValues values = Values(layout, "05 39 30");
  ASSERT_EQ(values.size(), layout.size());
  EXPECT_EQ(values[0].second, "5");
  EXPECT_EQ(values[1].second, "123.45");
  EXPECT_EQ(values[2].second, "30.12.1899");
  EXPECT_EQ(values[3].second, "00:00:00");
  EXPECT_EQ(values[4].second, "30.12.1899");
  EXPECT_EQ(values[5].second, "");
  EXPECT_EQ(values[6].second, "0.00");
  EXPECT_EQ(values[7].second, "0 [Приход]");
  EXPECT_EQ(values[8].second.substr(0, 6), "0x0000");
  EXPECT_EQ(values[9].second, "0 [Неизвестный статус]");
  EXPECT_EQ(values[10].second, "0 [Нераспознанный код]");
  EXPECT_EQ(values[11].second, std::string("\0.\0", 3));
  EXPECT_EQ(values[12].second, "");
  // A composite field at the end of the data.
  EXPECT_EQ(Values({{"KM", ftKMAnswer}}, ""), TFieldValues{});
  EXPECT_EQ(Values({{"B", ftBarcodeOSU}}, ""), (TFieldValues{{"OSU", "False"}}));
  // A length byte that promises more than there is: the read stops at the end of the data.
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
