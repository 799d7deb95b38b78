#include "parser/CommandFields.h"

#include <array>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/FormatSettings.h"
#include "core/Translate.h"
#include "parser/PrinterTypes.h"
#include "tlv/TLVParser.h"

namespace quillon {

namespace {

constexpr const char* kLineEnd = "\r\n";

// ---------------------------------------------------------------------------------------
// Code lists

struct TCodeText {
  int Code;
  const char* Text;
};

// Texts of the 256 values of a code byte, laid out at compile time. A value without a text
// shows the fallback (empty brackets when there is none).
class TCodeList {
 public:
  constexpr TCodeList(std::initializer_list<TCodeText> items, const char* fallback = "",
                      bool translated = false)
      : FFallback(fallback), FTranslated(translated) {
    for (const TCodeText& item : items) FTexts[static_cast<std::size_t>(item.Code)] = item.Text;
  }

  std::string Text(std::uint8_t code) const {
    const char* text = FTexts[code] != nullptr ? FTexts[code] : FFallback;
    if (FTranslated && *text != '\0') return Tr(text);
    return text;
  }

 private:
  std::array<const char*, 256> FTexts{};
  const char* FFallback;
  bool FTranslated;
};

constexpr TCodeList kCheckType{
    {0, "Приход"},
    {1, "Расход"},
    {2, "Возврат прихода"},
    {3, "Возврат расхода"},
};

constexpr TCodeList kCheckType2{
    {1, "Приход"},
    {2, "Возврат прихода"},
    {3, "Расход"},
    {4, "Возврат расхода"},
};

constexpr TCodeList kPaymentTypeSign{
    {1, "Предоплата 100%"}, {2, "Частичная предоплата"},      {3, "Аванс"},
    {4, "Полный расчет"},   {5, "Частичный расчет и кредит"}, {6, "Передача в кредит"},
    {7, "Оплата кредита"},
};

constexpr TCodeList kPaymentItemSign{
    {1, "Товар"},
    {2, "Подакцизный товар"},
    {3, "Работа"},
    {4, "Услуга"},
    {5, "Ставка азартной игры"},
    {6, "Выигрыш азартной игры"},
    {7, "Лотерейный билет"},
    {8, "Выигрыш лотереи"},
    {9, "Предоставление РИД"},
    {10, "Платеж"},
    {11, "Агентское вознаграждение"},
    {12, "Выплата"},
    {13, "Иной предмет расчета"},
    {14, "Имущественное право"},
    {15, "Внереализационный доход"},
    {16, "Страховые взносы"},
    {17, "Торговый сбор"},
    {18, "Курортный сбор"},
    {19, "Залог"},
    {20, "Расход"},
    {21, "Взносы на ОПС ИП"},
    {22, "Взносы на ОПС"},
    {23, "Взносы на ОМС ИП"},
    {24, "Взносы на ОМС"},
    {25, "Взносы на ОСС"},
    {26, "Платеж казино"},
    {27, "Выдача ДС"},
    {30, "АТНМ"},
    {31, "АТМ"},
    {32, "ТНМ"},
    {33, "ТМ"},
};

// One tax system per bit; combinations have no text.
constexpr TCodeList kTaxType{
    {1, "ОСН"}, {2, "УСНД"}, {4, "УСНДМР"}, {8, "ЕНВД"}, {16, "ЕСХН"}, {32, "ПСН"},
};

constexpr TCodeList kTax1{
    {1, "НДС 20%"}, {2, "НДС 10%"},     {4, "НДС 0%"},
    {8, "БЕЗ НДС"}, {16, "НДС 20/120"}, {32, "НДС 10/110"},
};

constexpr TCodeList kPortNumber{{
                                    {0, "RS-232"},
                                    {1, "USB vCOM"},
                                    {2, "TCP сокет (RNDIS, Ethernet, WI-FI, ppp)"},
                                    {3, "I2C (Основная плата)"},
                                },
                                "неизвестный тип"};

constexpr TCodeList kCheckItemLocalError{
    {
        {0, "КМ проверен в ФН"},
        {1, "КМ данного типа не подлежит проверке в ФН"},
        {2, "ФН не содержит ключ проверки кода проверки этого КМ"},
        {3, "Проверка невозможна, так как отсутствуют теги 91 и / или 92 или их формат неверный"},
        {4, "Внутренняя ошибка в ФН при проверке этого КМ"},
    },
    "неизвестное значение"};

constexpr TCodeList kMarkingType2{
    {
        {0, "Тип КМ не идентифицирован"},
        {1, "Короткий КМ"},
        {2, "КМ со значением кода проверки длиной 88 символов, подлежащим проверке в ФН"},
        {3, "КМ со значением кода проверки длиной 44 символа, не подлежащим проверке в ФН"},
        {4, "КМ со значением кода проверки длиной 44 символа, подлежащим проверке в ФН"},
        {5, "КМ со значением кода проверки длиной 4 символа, не подлежащим проверке в ФН"},
    },
    "неизвестное значение"};

constexpr TCodeList kItemStatus{{
                                    {1, "Штучный товар, реализован"},
                                    {2, "Мерный товар, в стадии реализации"},
                                    {3, "Штучный товар, возвращен"},
                                    {4, "Часть товара, возвращена"},
                                },
                                "Неизвестный статус"};

constexpr TCodeList kMarkingTypeEx{
    {0, "КМ-88"}, {1, "Симметричный"}, {2, "Табачный"}, {3, "КМ-44"}, {255, "GS-1 без маркировки"},
};

constexpr TCodeList kFNSessionState{{
                                        {0, "Смена закрыта"},
                                        {1, "Смена открыта"},
                                    },
                                    "Неизвестное значение"};

constexpr TCodeList kFNCurrentDocument{
    {
        {0x00, "Нет открытого документа"},
        {0x01, "Отчет о регистрации"},
        {0x02, "Отчет об открытии смены"},
        {0x04, "Кассовый чек"},
        {0x08, "Отчет о закрытии смены"},
        {0x10, "Отчет о закрытии фискального накопителя"},
        {0x11, "Бланк строгой отчетности"},
        {0x12, "Отчет об изменении параметров регистрации в связи с заменой ФН"},
        {0x13, "Отчет об изменении параметров регистрации"},
        {0x14, "Кассовый чек коррекции"},
        {0x15, "Бланк строгой отчетности коррекции"},
        {0x17, "Отчет о текущем состоянии расчетов"},
    },
    "Неизвестный тип документа",
    true};

constexpr TCodeList kFNDocumentData{{
                                        {0, "Нет данных документа"},
                                        {1, "Получены данные документа"},
                                    },
                                    "Неизвестное значение",
                                    true};

// The marking code type is a big-endian 16-bit value.
constexpr std::array<TCodeText, 11> kMarkingType{{
    {0x0000, "Нераспознанный код"},
    {0x444D, "Код GS1 Data Matrix"},
    {0x4508, "Код EAN-8, UPC-E"},
    {0x450D, "Код EAN-13, UPC-A"},
    {0x490E, "Код ITF-14"},
    {0x4F08, "ОСУ EAN-8"},
    {0x4F0D, "ОСУ EAN-13"},
    {0x4F0E, "ОСУ GTIN ITF14"},
    {0x5246, "Код мехового изделия"},
    {0xC514, "Код EGAIS 2.0 PDF14"},
    {0xC51E, "Код EGAIS 3.0 Data Matrix"},
}};
constexpr const char* kMarkingTypeUnknown = "Неизвестный тип";

// ---------------------------------------------------------------------------------------
// Service sub-commands of command 0xFE

struct TServiceCmd {
  const char* Name = nullptr;
  const char* Description = nullptr;
};

struct TServiceCmdItem {
  int Code;
  const char* Name;
  const char* Description;
};

constexpr TServiceCmdItem kServiceCmdItems[] = {
    {0, "SERVICE_CMD_1_DIR_FM_WRITE", "Запись данных ФП"},
    {1, "SERVICE_CMD_1_DIR_FM_READ", "Чтение данных ФП"},
    {2, "SERVICE_CMD_1_DIR_PB_READ", "Чтение PB"},
    {3, "SERVICE_CMD_1_DIR_CUSTOM_FONT_WRITE", "Загрузка пользовательского шрифта"},
    {4, "SERVICE_CMD_1_DIR_SD_FORMAT_REQUEST", "Форматирвоание SD карты"},
    {5, "SERVICE_CMD_1_DIR_ENABLE_PLAIN_PROTOCOL", "Включение простого протокола"},
    {6, "SERVICE_CMD_1_DIR_DISABLE_PLAIN_PROTOCOL", "Отключение простого протокола"},
    {7, "SERVICE_CMD_1_DIR_START_BLOCKING_MODE", "Включение режима блокировки"},
    {8, "SERVICE_CMD_1_DIR_FINISH_BLOCKING_MODE", "Отключение режима блокировки"},
    {9, "SERVICE_CMD_1_DIR_CUSTOM_FONT_SHA256", "Подпись пользовательского шрифта"},
    {10, "SERVICE_CMD_1_DIR_CUSTOM_FONT_CLEAR", "Удаление пользовательского шрифта"},
    {11, "SERVICE_CMD_1_DIR_GET_LAST_KM_STATUS", "Получение состояния последнего КМ"},
    {12, "SERVICE_CMD_1_DIR_SCANNER_KEY_AGREEMENT", "SERVICE_CMD_1_DIR_SCANNER_KEY_AGREEMENT"},
    {13, "SERVICE_CMD_1_DIR_IF_TEST", "Проверка интерфейса"},
    {14, "SERVICE_CMD_1_DIR_HDW_PARAM_SET", "Запись параметров оборудования"},
    {15, "SERVICE_CMD_1_DIR_HDW_PARAM_GET", "Чтение параметров оборудования"},
    {16, "SERVICE_CMD_1_DIR_SW_PARAM_GET", "Запрос параметра ПО"},
    {17, "SERVICE_CMD_1_DIR_REMOVE_MONO_CHECKS", "Удаление mono"},
    {18, "SERVICE_CMD_1_DIR_FORCE_SAVE_TABLES", "Запись таблиц"},
    {19, "SERVICE_CMD_1_DIR_VIF_SKIP_PASSWORD_CHK", "Отмена проверки пароля"},
    {208, "SERVICE_CMD_1_DIR_ACTIVATION_DATA_GEN", "Неизвестный код"},
    {209, "SERVICE_CMD_1_DIR_ACTIVATION_DATA_READ", "Неизвестный код"},
    {210, "SERVICE_CMD_1_DIR_SESSION_KEY_AGREEMENT", "Неизвестный код"},
    {224, "SERVICE_CMD_1_DIR_REVERSE", "Добавление в буфер команды обратной печати"},
    {225, "SERVICE_CMD_1_DIR_FORCE_FS_KEY_UPDATE", "Выполнить обновление ключей ФН"},
    {226, "SERVICE_CMD_1_DIR_SYNC_FS_DATE_TIME", "Синхронизация даты ККТ с датой последнего ФД"},
    {227, "SERVICE_CMD_1_DIR_RESET_STAT_COUNTERS", "Сброс внутренних счетчиков"},
    {228, "SERVICE_CMD_1_DIR_CHANGE_MAC", "Изменение MAC адреса"},
    {229, "SERVICE_CMD_1_DIR_FS_CLOSE", "Закрытие фискального режима ФН"},
    {230, "SERVICE_CMD_1_DIR_PROG_FEATURE_LIC", "Запись функциональных лицензий"},
    {231, "SERVICE_CMD_1_DIR_READ_FEATURE_LIC", "Чтение функциональных лицензий"},
    {232, "SERVICE_CMD_1_DIR_RESET_CHALLENGE_KEY", "Удаление ключа авторизации"},
    {233, "SERVICE_CMD_1_DIR_SET_CHALLENGE_KEY", "Запись ключа авторизации"},
    {234, "SERVICE_CMD_1_DIR_ENABLE_DOWNGRADE", "Разрешение загрузки ранней версии ПО"},
    {235, "SERVICE_CMD_1_DIR_GET_PRN_VER", "Запрос версии ПО принтера"},
    {236, "SERVICE_CMD_1_DIR_GET_BL_VER", "Запрос версии загрузчика"},
    {237, "SERVICE_CMD_1_DIR_DFU_REBOOT", "Переход в режим DFU"},
    {238, "SERVICE_CMD_1_DIR_PROG_LIC_DEPRECATED", "Запись лицензии (устаревшая)"},
    {239, "SERVICE_CMD_1_DIR_READ_LIC_DEPRECATED", "Чтение лицензии (устаревшая)"},
    {240, "SERVICE_CMD_1_DIR_READ_MCU_UID", "Чтение UID процессора"},
    {241, "SERVICE_CMD_1_DIR_SERIALNUMBER_REPLACE", "Смена заводского номера"},
    {242, "SERVICE_CMD_1_DIR_PING", "Проверка связи с сервером (PING)"},
    {243, "SERVICE_CMD_1_DIR_REBOOT", "Перезапуск кассы"},
    {244, "SERVICE_CMD_1_DIR_GLOBALSUMM_GET", "Запрос необнуляемых сумм"},
    {245, "SERVICE_CMD_1_DIR_SERIALNUMBER_PROG", "Запись заводского номера"},
    {246, "SERVICE_CMD_1_DIR_FLASHKEY_PROG", "Запись ключа доступа к FLASH памяти"},
    {247, "SERVICE_CMD_1_DIR_SET_MODEL", "Запись кода модели"},
    {248, "SERVICE_CMD_1_DIR_MASS_ERASE", "Полная очистка базы данных"},
    {249, "SERVICE_CMD_1_DIR_SESSIONKEY_PROG", "Запись сессионного ключа"},
    {250, "SERVICE_CMD_1_DIR_MASTERKEY_PROG", "Запись мастер ключа"},
    {251, "SERVICE_CMD_1_DIR_WIFI_PROG", "Перевод ККТ в состояние обновления модуля WIFI"},
    {252, "SERVICE_CMD_1_DIR_PRINTER_INIT", "Инициализация ФП"},
    {253, "SERVICE_CMD_1_DIR_FM_PROG", "Запись ФП"},
    {254, "SERVICE_CMD_1_DIR_GRAPH_OFF", "Отключение печати графики"},
    {255, "SERVICE_CMD_1_DIR_GRAPH_ON", "Включение печати графики"},
};

constexpr std::array<TServiceCmd, 256> MakeServiceCmds() {
  std::array<TServiceCmd, 256> table{};
  for (const TServiceCmdItem& item : kServiceCmdItems)
    table[static_cast<std::size_t>(item.Code)] = TServiceCmd{item.Name, item.Description};
  return table;
}

constexpr std::array<TServiceCmd, 256> kServiceCmds = MakeServiceCmds();
constexpr const char* kUnknownServiceCmd = "Неизвестный код";

// ---------------------------------------------------------------------------------------
// Bit lists

struct TBitText {
  std::uint8_t Bit;
  const char* Label;
  const char* Set;
  const char* Clear;
};

constexpr TBitText kECRFlags[] = {
    {0, "    Рулон контр. ленты        : ", "есть", "нет"},
    {1, "    Рулон чековой ленты       : ", "есть", "нет"},
    {6, "    Опт. датчик контр. ленты  : ", "бумага есть", "бумаги нет"},
    {7, "    Опт датчик чеков. ленты   : ", "бумага есть", "бумаги нет"},
    {8, "    Рычаг термог. контр. ленты: ", "опущен", "поднят"},
    {9, "    Рычаг термог. чеков. ленты: ", "опущен", "поднят"},
    {10, "    Крышка корпуса ККТ        : ", "поднята", "опущена"},
    {11, "    Денежный ящик             : ", "открыт", "закрыт"},
    {12, "    Крышка контр. ленты       : ", "поднята", "опущена"},
};

// Bits 0..3 of the fiscal storage life state.
constexpr const char* kFNLifeLabels[] = {
    "Проведена настройка ФН",
    "Открыт фискальный режим",
    "Закрыт фискальный режим",
    "Закончена передача фискальных данных в ОФД",
};

struct TBitPhrase {
  std::uint8_t Bit;
  const char* Set;
  const char* Clear;
};

// Bits 0..4 of the checking status (fiscal tag 2106) sent by the marking server.
constexpr TBitPhrase kKMCheckingStatus[] = {
    {0, "код маркировки проверен", "код маркировки не был проверен ФН и (или) ОИСМ"},
    {1, "результат проверки КП КМ положительный",
     "результат проверки КП КМ отрицательный или код маркировки не был проверен"},
    {2, "проверка статуса ОИСМ выполнена", "сведения о статусе товара от ОИСМ не получены"},
    {3, "от ОИСМ получены сведения, что планируемый статус товара корректен",
     "от ОИСМ получены сведения, что планируемый статус товара некорректен или сведения о "
     "статусе товара от ОИСМ не получены"},
    {4, "результат проверки КП КМ сформирован ККТ, работающей в автономном режиме",
     "результат проверки КП КМ и статуса товара сформирован ККТ, работающей в режиме передачи "
     "данных"},
};

constexpr const char* kLocalCheckDone =
    "код маркировки проверен фискальным накопителем с использованием ключа проверки КП";
constexpr const char* kLocalCheckNotPossible =
    "код маркировки не может быть проверен фискальным накопителем с использованием ключа "
    "проверки КП";
constexpr const char* kLocalCheckPositive =
    "результат проверки КП КМ фискальным накопителем с использованием ключа проверки КП "
    "положительный";
constexpr const char* kLocalCheckNegative =
    "результат проверки КП КМ фискальным накопителем с использованием ключа проверки КП "
    "отрицательный";

// ---------------------------------------------------------------------------------------
// Rendering helpers

// "N [text]".
std::string Bracketed(std::uint64_t number, std::string_view text) {
  std::string out = std::to_string(number);
  out += " [";
  out += text;
  out += ']';
  return out;
}

std::string DeviceText(TBytesView bytes) {
  return Cp1251ToUtf8(RawChars(bytes));
}

bool IsBlankByte(std::uint8_t b) {
  return b <= 0x20;
}

TBytesView RightTrimmed(TBytesView bytes) {
  while (!bytes.empty() && IsBlankByte(bytes.back())) bytes.remove_suffix(1);
  return bytes;
}

TBytesView Trimmed(TBytesView bytes) {
  bytes = RightTrimmed(bytes);
  while (!bytes.empty() && IsBlankByte(bytes.front())) bytes.remove_prefix(1);
  return bytes;
}

// The device text with every group separator spelled out.
std::string GsMarkedText(TBytesView bytes) {
  std::string text = DeviceText(bytes);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\x1D')
      out += "<0x1D>";
    else
      out += c;
  }
  return out;
}

// value / 10^decimals with exactly `decimals` digits after the regional separator.
std::string Scaled(std::uint64_t value, double divisor, int decimals) {
  return FormatSettings().FormatFixed(static_cast<double>(value) / divisor, decimals);
}

// With `records`, the spans of the records go there, their offsets counted from `offset`.
std::string TlvText(TBytesView data, int indent, TFieldSpans* records = nullptr,
                    std::int64_t offset = 0) {
  const std::size_t had = records != nullptr ? records->size() : 0;
  try {
    TTLVParser parser;
    parser.SetShowTagNumbers(true);
    parser.SetBaseIndent(indent);
    if (records == nullptr) return parser.ParseTLV(data);
    return parser.ParseTLV(data, *records, static_cast<std::size_t>(offset));
  } catch (const std::exception& e) {
    // The TLV parser reports damaged records itself; anything else still must not end
    // the decoding of the command.
    if (records != nullptr) records->resize(had);
    return e.what();
  }
}

// Hundredths of a volt, rounded, shown as volts.
std::string Voltage(long double hundredths) {
  const std::int64_t rounded = RoundToInt64(hundredths);
  std::string out = FormatSettings().FormatFixed(static_cast<double>(rounded) / 100.0, 2);
  out += " В.";
  return out;
}

std::string AmountOrNone(std::uint64_t value) {
  if (value == 0xFFFFFFFFFFull) return "[нет]";
  return Scaled(value, 100.0, 2);
}

std::string ECRFlagsText(std::uint16_t value) {
  std::string out = "0x" + IntToHex(value, 4, THexCase::Lower);
  for (const TBitText& flag : kECRFlags) {
    out += kLineEnd;
    out += flag.Label;
    out += TestBit(value, flag.Bit) ? flag.Set : flag.Clear;
  }
  return out;
}

std::string FNLifeStateText(std::uint8_t value) {
  std::string inner;
  for (std::uint8_t bit = 0; bit < 4; ++bit) {
    inner += kLineEnd;
    inner += "  ";
    inner += Tr(kFNLifeLabels[bit]);
    inner += TestBit(value, bit) ? " Да" : " Нет";
  }
  return Bracketed(value, inner);
}

std::string Quoted(const char* phrase) {
  std::string out = "  \"";
  out += phrase;
  out += '"';
  return out;
}

std::string CheckItemLocalResultText(std::uint8_t value) {
  const bool checked = TestBit(value, 0);
  std::string inner = Quoted(checked ? kLocalCheckDone : kLocalCheckNotPossible);
  if (TestBit(value, 1)) {
    inner += kLineEnd;
    inner += Quoted(kLocalCheckPositive);
  } else if (checked) {
    inner += kLineEnd;
    inner += Quoted(kLocalCheckNegative);
  }
  return Bracketed(value, inner);
}

std::string KMCheckingStatusText(std::uint8_t value) {
  std::string inner;
  for (const TBitPhrase& line : kKMCheckingStatus) {
    if (!inner.empty()) inner += kLineEnd;
    inner += Quoted(TestBit(value, line.Bit) ? line.Set : line.Clear);
  }
  return Bracketed(value, inner);
}

std::string KMServerErrorText(std::uint8_t value) {
  const char* text = value == 0 ? "Ошибок нет"
                     : value == 0xFF ? "Сервер не ответил в течение таймаута"
                                     : "";
  return Bracketed(value, text);
}

std::string MarkingTypeText(std::uint16_t value) {
  const char* text = kMarkingTypeUnknown;
  for (const TCodeText& item : kMarkingType) {
    if (item.Code == value) {
      text = item.Text;
      break;
    }
  }
  return Bracketed(value, text);
}

std::string ServiceCmdText(std::uint8_t value) {
  const TServiceCmd& cmd = kServiceCmds[value];
  std::string out = "0x" + IntToHex(value, 2);
  out += " (";
  out += cmd.Description != nullptr ? cmd.Description : kUnknownServiceCmd;
  out += ", ";
  out += cmd.Name != nullptr ? cmd.Name : kUnknownServiceCmd;
  out += ')';
  return out;
}

// A device table cell, whose type the request does not tell.
std::string TableValueText(TBytesView bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > 8) return DeviceText(RightTrimmed(bytes));
  const auto size = static_cast<std::int64_t>(bytes.size());
  const std::string number = std::to_string(BytesToInt(bytes, 1, size));
  if (Trimmed(bytes).empty()) return number;
  std::string out = kLineEnd;
  out += "Str: ";
  out += DeviceText(RightTrimmed(bytes));
  out += kLineEnd;
  out += "Int: ";
  out += number;
  return out;
}

// The five bytes of an int5 field as they stood in the data (zeros past its end).
TBytes ReadFiveBytes(IBinStream& stream) {
  return IntToBytes(static_cast<std::int64_t>(stream.ReadInt(5)), 5);
}

TBytes ReadThreeBytes(IBinStream& stream) {
  return IntToBytes(static_cast<std::int64_t>(stream.ReadInt(3)), 3);
}

// ---------------------------------------------------------------------------------------
// Composite fields

// The bytes of a part: the stream's position and shortfall noted before it is read, and
// after.
class TPartBytes {
 public:
  explicit TPartBytes(const IBinStream& stream)
      : FStart(stream.Position()), FEnd(FStart), FMissing(stream.Missing()) {}
  // Ends the part at the stream's position.
  TPartBytes& End(const IBinStream& stream) {
    FEnd = stream.Position();
    FComplete = stream.Missing() == FMissing;
    return *this;
  }
  std::int64_t Start() const { return FStart; }

  TFieldSpan Span(std::string name, std::string value, TFieldSpans children) const {
    TFieldSpan span;
    span.Name = std::move(name);
    span.Value = std::move(value);
    span.Offset = static_cast<std::size_t>(FStart);
    span.Length = static_cast<std::size_t>(FEnd - FStart);
    span.Complete = FComplete;
    span.Children = std::move(children);
    return span;
  }

 private:
  std::int64_t FStart, FEnd, FMissing;
  bool FComplete = true;
};

// Reads one byte of a part, noting where it was.
std::uint8_t ReadPartByte(IBinStream& stream, TPartBytes& bytes) {
  bytes = TPartBytes(stream);
  const std::uint8_t value = stream.ReadByte();
  bytes.End(stream);
  return value;
}

// A sub-value of a composite field, and its span while the decoder tells spans.
void AddPart(TParserCommand& parser, const TPartBytes& bytes, std::string name, std::string value,
             TParseType source, TFieldSpans children = {}) {
  if (TFieldSpans* parts = parser.PartSpans())
    parts->push_back(bytes.Span(name, value, std::move(children)));
  parser.AddFieldValue(std::move(name), std::move(value), source);
}

// A TLV text whose record spans are kept for the part of these bytes (when spans are told).
std::string PartTlvText(TParserCommand& parser, TBytesView tlv, const TPartBytes& bytes,
                        TFieldSpans& records) {
  return TlvText(tlv, 2, parser.PartSpans() != nullptr ? &records : nullptr, bytes.Start());
}

// A barcode as hex and as text.
void AddBarcode(TParserCommand& parser, TBytesView barcode, const TPartBytes& bytes,
                TParseType source) {
  AddPart(parser, bytes, "Barcode HEX", BytesToHex(barcode), source);
  AddPart(parser, bytes, "Barcode", GsMarkedText(barcode), source);
}

void ParseBarcodeTLV(TParserCommand& parser, TParseType source) {
  IBinStream& stream = parser.Stream();
  const std::uint8_t barcodeLength = stream.ReadByte();
  const std::uint8_t tlvLength = stream.ReadByte();
  if (barcodeLength > 0) {
    TPartBytes bytes(stream);
    const TBytes barcode = stream.ReadString(barcodeLength);
    AddBarcode(parser, barcode, bytes.End(stream), source);
  }
  if (tlvLength > 0) {
    TPartBytes bytes(stream);
    const TBytes tlv = stream.ReadString(tlvLength);
    bytes.End(stream);
    AddPart(parser, bytes, "TLVData HEX", BytesToHex(tlv), source);
    TFieldSpans records;
    std::string text = PartTlvText(parser, tlv, bytes, records);
    AddPart(parser, bytes, "TLVData", std::move(text), source, std::move(records));
  }
}

void ParseKMAnswer(TParserCommand& parser, TParseType source) {
  IBinStream& stream = parser.Stream();
  const std::uint8_t count = stream.ReadByte();
  bool hasError = false, hasStatus = false;
  std::uint8_t error = 0, status = 0;
  TPartBytes errorBytes(stream), statusBytes(stream), tlvBytes(stream);
  TBytes tlv;
  if (count >= 1) {
    error = ReadPartByte(stream, errorBytes);
    hasError = true;
    if (count >= 2 && (error == 0 || error == 0x20)) {
      status = ReadPartByte(stream, statusBytes);
      hasStatus = true;
    }
    if (count >= 3 && error == 0) {
      tlvBytes = TPartBytes(stream);
      tlv = stream.ReadString();
      tlvBytes.End(stream);
    }
  }
  if (hasError) AddPart(parser, errorBytes, "KMServerErrorCode", KMServerErrorText(error), source);
  if (hasStatus) {
    AddPart(parser, statusBytes, "KMServerCheckingStatus (Тег 2106)", KMCheckingStatusText(status),
            source);
  }
  if (!tlv.empty()) {
    AddPart(parser, tlvBytes, "TLVData Hex", BytesToHex(tlv), source);
    TFieldSpans records;
    std::string text = kLineEnd + PartTlvText(parser, tlv, tlvBytes, records);
    AddPart(parser, tlvBytes, "TLV Data", std::move(text), source, std::move(records));
  }
}

void ParseKMSendAnswer(TParserCommand& parser, TParseType source) {
  IBinStream& stream = parser.Stream();
  if (stream.Remaining() < 3) return;
  TPartBytes resultBytes(stream), errorBytes(stream), typeBytes(stream);
  const std::uint8_t result = ReadPartByte(stream, resultBytes);
  const std::uint8_t error = ReadPartByte(stream, errorBytes);
  const std::uint8_t markingType = ReadPartByte(stream, typeBytes);
  AddPart(parser, resultBytes, "CheckItemLocalResult", CheckItemLocalResultText(result), source);
  AddPart(parser, errorBytes, "CheckItemLocalError",
          Bracketed(error, kCheckItemLocalError.Text(error)), source);
  AddPart(parser, typeBytes, "MarkingType2",
          Bracketed(markingType, kMarkingType2.Text(markingType)), source);
  if (stream.Remaining() > 0) ParseKMAnswer(parser, source);
}

void ParseBarcodeOSU(TParserCommand& parser, TParseType source) {
  IBinStream& stream = parser.Stream();
  const std::uint8_t length = stream.ReadByte();
  if (length > 0) {
    TPartBytes bytes(stream);
    const TBytes barcode = stream.ReadString(length);
    AddBarcode(parser, barcode, bytes.End(stream), source);
  }
  bool osu = false;
  TPartBytes osuBytes(stream);
  if (stream.Remaining() > 0) osu = stream.ReadByte() == 0xFF;
  AddPart(parser, osuBytes.End(stream), "OSU", osu ? "True" : "False", source);
}

std::string CodeField(IBinStream& stream, const TCodeList& list) {
  const std::uint8_t code = stream.ReadByte();
  return Bracketed(code, list.Text(code));
}

}  // namespace

std::string DecodeField(TFieldType type, TParserCommand& parser, TParseType source) {
  IBinStream& stream = parser.Stream();
  const TFormatSettings& settings = FormatSettings();
  switch (type) {
    case ftByte:
    case ftTax:
      return std::to_string(stream.ReadByte());
    case ftUInt32:
      return std::to_string(stream.ReadUInt32());
    case ftUint16:
      return std::to_string(stream.ReadUInt16());
    case ftINN:
      return std::to_string(stream.ReadInt(6));
    case ftBarcode: {
      const std::uint8_t length = stream.ReadByte();
      return GsMarkedText(stream.ReadString(length));
    }
    case ftBarcodeTLV:
      ParseBarcodeTLV(parser, source);
      return std::string(kHiddenValue);
    case ftKMAnswer:
      ParseKMAnswer(parser, source);
      return std::string(kHiddenValue);
    case ftQuantity6:
      return Scaled(stream.ReadInt(6), 1000000.0, 6);
    case ftQuantity5:
      return Scaled(stream.ReadInt(5), 1000.0, 3);
    case ftDateTime:
      // Day, month, year; the two bytes after them are not shown.
      return settings.FormatDateTime(BytesToDate(ReadFiveBytes(stream), 1));
    case ftDate:
      return settings.FormatDate(BytesToDate(ReadThreeBytes(stream), 1));
    case ftTime:
      return settings.FormatTime(BytesToTime(ReadThreeBytes(stream), 1));
    case ftSum:
      return Scaled(stream.ReadInt(5), 100.0, 2);
    case ftString:
      return DeviceText(stream.ReadString());
    case ftString40:
      return DeviceText(RightTrimmed(stream.ReadString(40)));
    case ftString16:
      return DeviceText(RightTrimmed(stream.ReadString(16)));
    case ftTableValue:
      return TableValueText(stream.ReadString());
    case ftFieldType: {
      const std::uint8_t value = stream.ReadByte();
      return Bracketed(value, value == 0 ? "Int" : value == 1 ? "Str" : "Unknown");
    }
    case ftCheckType:
      return CodeField(stream, kCheckType);
    case ftPaymentTypeSign:
      return CodeField(stream, kPaymentTypeSign);
    case ftPaymentItemSign:
      return CodeField(stream, kPaymentItemSign);
    case ftTaxValue:
    case ftSumm1Value:
      return AmountOrNone(stream.ReadInt(5));
    case ftTLV: {
      const std::int64_t start = stream.Position();
      return kLineEnd + TlvText(stream.ReadString(), 4, parser.PartSpans(), start);
    }
    case ftTaxType:
      return CodeField(stream, kTaxType);
    case ftTax1:
      return CodeField(stream, kTax1);
    case ftSoftVersion: {
      const std::uint8_t major = stream.ReadByte();
      const std::uint8_t minor = stream.ReadByte();
      return DeviceText(TBytesView(&major, 1)) + "." + DeviceText(TBytesView(&minor, 1));
    }
    case ftECRMode: {
      const std::uint8_t mode = stream.ReadByte();
      return Bracketed(mode, GetECRModeDescription(mode));
    }
    case ftECRAdvancedMode: {
      const std::uint8_t mode = stream.ReadByte();
      return Bracketed(mode, GetECRAdvancedModeDescription(mode));
    }
    case ftECRFlags:
      return ECRFlagsText(stream.ReadUInt16());
    case ftBatteryVoltage: {
      // Full scale 5 V.
      const long double b = stream.ReadByte();
      return Voltage(b / 255 * 100 * 5);
    }
    case ftPowerSourceVoltage: {
      // Full scale 24 V at 216.
      const long double b = stream.ReadByte();
      return Voltage(b * 24 / 216 * 100);
    }
    case ftPortNumber:
      return CodeField(stream, kPortNumber);
    case ftCheckType2:
      return CodeField(stream, kCheckType2);
    case ftCheckItemLocalResult:
      return CheckItemLocalResultText(stream.ReadByte());
    case ftCheckItemLocalError:
      return CodeField(stream, kCheckItemLocalError);
    case ftMarkingType2:
      return CodeField(stream, kMarkingType2);
    case ftItemStatus:
      return CodeField(stream, kItemStatus);
    case ftBarcodeOSU:
      ParseBarcodeOSU(parser, source);
      return std::string(kHiddenValue);
    case ftMarkingType:
      return MarkingTypeText(static_cast<std::uint16_t>(stream.ReadIntRev(2)));
    case ftMarkingTypeEx:
      return CodeField(stream, kMarkingTypeEx);
    case ftAcceptOrDecline: {
      const std::uint8_t value = stream.ReadByte();
      return std::to_string(value) + (value == 1 ? " [Принять]" : " [Отклонить]");
    }
    case ftKMSendAnswer:
      ParseKMSendAnswer(parser, source);
      return std::string(kHiddenValue);
    case ftDateTimeDoc:
      // Year, month, day, hour, minute; a bad date or time part counts as 0.
      return settings.FormatDateTime(BytesToDateTime(ReadFiveBytes(stream), 1));
    case ftFNSessionState:
      return CodeField(stream, kFNSessionState);
    case ftFNCurrentDocument:
      return CodeField(stream, kFNCurrentDocument);
    case ftFNDocumentData:
      return CodeField(stream, kFNDocumentData);
    case ftFNLifeState:
      return FNLifeStateText(stream.ReadByte());
    case ftServiceCmd:
      return ServiceCmdText(stream.ReadByte());
  }
  return {};
}

}  // namespace quillon
