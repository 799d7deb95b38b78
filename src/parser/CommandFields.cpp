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

// Texts of the 256 values of a code byte, laid out at compile time; they are catalogue ids.
// A value without a text shows the fallback (empty brackets when there is none).
class TCodeList {
 public:
  constexpr TCodeList(std::initializer_list<TCodeText> items, const char* fallback = "")
      : FFallback(fallback) {
    for (const TCodeText& item : items) FTexts[static_cast<std::size_t>(item.Code)] = item.Text;
  }

  std::string Text(std::uint8_t code) const {
    const char* text = FTexts[code] != nullptr ? FTexts[code] : FFallback;
    if (*text == '\0') return {};
    return Tr(text);
  }

 private:
  std::array<const char*, 256> FTexts{};
  const char* FFallback;
};

constexpr TCodeList kCheckType{
    {0, N_("Приход")},
    {1, N_("Расход")},
    {2, N_("Возврат прихода")},
    {3, N_("Возврат расхода")},
};

constexpr TCodeList kCheckType2{
    {1, N_("Приход")},
    {2, N_("Возврат прихода")},
    {3, N_("Расход")},
    {4, N_("Возврат расхода")},
};

constexpr TCodeList kPaymentTypeSign{
    {1, N_("Предоплата 100%")}, {2, N_("Частичная предоплата")},      {3, N_("Аванс")},
    {4, N_("Полный расчет")},   {5, N_("Частичный расчет и кредит")}, {6, N_("Передача в кредит")},
    {7, N_("Оплата кредита")},
};

constexpr TCodeList kPaymentItemSign{
    {1, N_("Товар")},
    {2, N_("Подакцизный товар")},
    {3, N_("Работа")},
    {4, N_("Услуга")},
    {5, N_("Ставка азартной игры")},
    {6, N_("Выигрыш азартной игры")},
    {7, N_("Лотерейный билет")},
    {8, N_("Выигрыш лотереи")},
    {9, N_("Предоставление РИД")},
    {10, N_("Платеж")},
    {11, N_("Агентское вознаграждение")},
    {12, N_("Выплата")},
    {13, N_("Иной предмет расчета")},
    {14, N_("Имущественное право")},
    {15, N_("Внереализационный доход")},
    {16, N_("Страховые взносы")},
    {17, N_("Торговый сбор")},
    {18, N_("Курортный сбор")},
    {19, N_("Залог")},
    {20, N_("Расход")},
    {21, N_("Взносы на ОПС ИП")},
    {22, N_("Взносы на ОПС")},
    {23, N_("Взносы на ОМС ИП")},
    {24, N_("Взносы на ОМС")},
    {25, N_("Взносы на ОСС")},
    {26, N_("Платеж казино")},
    {27, N_("Выдача ДС")},
    {30, N_("АТНМ")},
    {31, N_("АТМ")},
    {32, N_("ТНМ")},
    {33, N_("ТМ")},
};

// One tax system per bit; combinations have no text.
constexpr TCodeList kTaxType{
    {1, N_("ОСН")},  {2, N_("УСНД")},  {4, N_("УСНДМР")},
    {8, N_("ЕНВД")}, {16, N_("ЕСХН")}, {32, N_("ПСН")},
};

constexpr TCodeList kTax1{
    {1, N_("НДС 20%")}, {2, N_("НДС 10%")},     {4, N_("НДС 0%")},
    {8, N_("БЕЗ НДС")}, {16, N_("НДС 20/120")}, {32, N_("НДС 10/110")},
};

constexpr TCodeList kPortNumber{{
                                    {0, "RS-232"},
                                    {1, "USB vCOM"},
                                    {2, N_("TCP сокет (RNDIS, Ethernet, WI-FI, ppp)")},
                                    {3, N_("I2C (Основная плата)")},
                                },
                                N_("неизвестный тип")};

constexpr TCodeList kCheckItemLocalError{
    {
        {0, N_("КМ проверен в ФН")},
        {1, N_("КМ данного типа не подлежит проверке в ФН")},
        {2, N_("ФН не содержит ключ проверки кода проверки этого КМ")},
        {3,
         N_("Проверка невозможна, так как отсутствуют теги 91 и / или 92 или их формат неверный")},
        {4, N_("Внутренняя ошибка в ФН при проверке этого КМ")},
    },
    N_("неизвестное значение")};

constexpr TCodeList kMarkingType2{
    {
        {0, N_("Тип КМ не идентифицирован")},
        {1, N_("Короткий КМ")},
        {2, N_("КМ со значением кода проверки длиной 88 символов, подлежащим проверке в ФН")},
        {3, N_("КМ со значением кода проверки длиной 44 символа, не подлежащим проверке в ФН")},
        {4, N_("КМ со значением кода проверки длиной 44 символа, подлежащим проверке в ФН")},
        {5, N_("КМ со значением кода проверки длиной 4 символа, не подлежащим проверке в ФН")},
    },
    N_("неизвестное значение")};

constexpr TCodeList kItemStatus{{
                                    {1, N_("Штучный товар, реализован")},
                                    {2, N_("Мерный товар, в стадии реализации")},
                                    {3, N_("Штучный товар, возвращен")},
                                    {4, N_("Часть товара, возвращена")},
                                },
                                N_("Неизвестный статус")};

constexpr TCodeList kMarkingTypeEx{
    {0, N_("КМ-88")}, {1, N_("Симметричный")},          {2, N_("Табачный")},
    {3, N_("КМ-44")}, {255, N_("GS-1 без маркировки")},
};

constexpr TCodeList kFNSessionState{{
                                        {0, N_("Смена закрыта")},
                                        {1, N_("Смена открыта")},
                                    },
                                    N_("Неизвестное значение")};

constexpr TCodeList kFNCurrentDocument{
    {
        {0x00, N_("Нет открытого документа")},
        {0x01, N_("Отчет о регистрации")},
        {0x02, N_("Отчет об открытии смены")},
        {0x04, N_("Кассовый чек")},
        {0x08, N_("Отчет о закрытии смены")},
        {0x10, N_("Отчет о закрытии фискального накопителя")},
        {0x11, N_("Бланк строгой отчетности")},
        {0x12, N_("Отчет об изменении параметров регистрации в связи с заменой ФН")},
        {0x13, N_("Отчет об изменении параметров регистрации")},
        {0x14, N_("Кассовый чек коррекции")},
        {0x15, N_("Бланк строгой отчетности коррекции")},
        {0x17, N_("Отчет о текущем состоянии расчетов")},
    },
    N_("Неизвестный тип документа")};

constexpr TCodeList kFNDocumentData{{
                                        {0, N_("Нет данных документа")},
                                        {1, N_("Получены данные документа")},
                                    },
                                    N_("Неизвестное значение")};

// The marking code type is a big-endian 16-bit value.
constexpr std::array<TCodeText, 11> kMarkingType{{
    {0x0000, N_("Нераспознанный код")},
    {0x444D, N_("Код GS1 Data Matrix")},
    {0x4508, N_("Код EAN-8, UPC-E")},
    {0x450D, N_("Код EAN-13, UPC-A")},
    {0x490E, N_("Код ITF-14")},
    {0x4F08, N_("ОСУ EAN-8")},
    {0x4F0D, N_("ОСУ EAN-13")},
    {0x4F0E, N_("ОСУ GTIN ITF14")},
    {0x5246, N_("Код мехового изделия")},
    {0xC514, N_("Код EGAIS 2.0 PDF14")},
    {0xC51E, N_("Код EGAIS 3.0 Data Matrix")},
}};
constexpr const char* kMarkingTypeUnknown = N_("Неизвестный тип");

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
    {0, "SERVICE_CMD_1_DIR_FM_WRITE", N_("Запись данных ФП")},
    {1, "SERVICE_CMD_1_DIR_FM_READ", N_("Чтение данных ФП")},
    {2, "SERVICE_CMD_1_DIR_PB_READ", N_("Чтение PB")},
    {3, "SERVICE_CMD_1_DIR_CUSTOM_FONT_WRITE", N_("Загрузка пользовательского шрифта")},
    {4, "SERVICE_CMD_1_DIR_SD_FORMAT_REQUEST", N_("Форматирвоание SD карты")},
    {5, "SERVICE_CMD_1_DIR_ENABLE_PLAIN_PROTOCOL", N_("Включение простого протокола")},
    {6, "SERVICE_CMD_1_DIR_DISABLE_PLAIN_PROTOCOL", N_("Отключение простого протокола")},
    {7, "SERVICE_CMD_1_DIR_START_BLOCKING_MODE", N_("Включение режима блокировки")},
    {8, "SERVICE_CMD_1_DIR_FINISH_BLOCKING_MODE", N_("Отключение режима блокировки")},
    {9, "SERVICE_CMD_1_DIR_CUSTOM_FONT_SHA256", N_("Подпись пользовательского шрифта")},
    {10, "SERVICE_CMD_1_DIR_CUSTOM_FONT_CLEAR", N_("Удаление пользовательского шрифта")},
    {11, "SERVICE_CMD_1_DIR_GET_LAST_KM_STATUS", N_("Получение состояния последнего КМ")},
    {12, "SERVICE_CMD_1_DIR_SCANNER_KEY_AGREEMENT", "SERVICE_CMD_1_DIR_SCANNER_KEY_AGREEMENT"},
    {13, "SERVICE_CMD_1_DIR_IF_TEST", N_("Проверка интерфейса")},
    {14, "SERVICE_CMD_1_DIR_HDW_PARAM_SET", N_("Запись параметров оборудования")},
    {15, "SERVICE_CMD_1_DIR_HDW_PARAM_GET", N_("Чтение параметров оборудования")},
    {16, "SERVICE_CMD_1_DIR_SW_PARAM_GET", N_("Запрос параметра ПО")},
    {17, "SERVICE_CMD_1_DIR_REMOVE_MONO_CHECKS", N_("Удаление mono")},
    {18, "SERVICE_CMD_1_DIR_FORCE_SAVE_TABLES", N_("Запись таблиц")},
    {19, "SERVICE_CMD_1_DIR_VIF_SKIP_PASSWORD_CHK", N_("Отмена проверки пароля")},
    {208, "SERVICE_CMD_1_DIR_ACTIVATION_DATA_GEN", N_("Неизвестный код")},
    {209, "SERVICE_CMD_1_DIR_ACTIVATION_DATA_READ", N_("Неизвестный код")},
    {210, "SERVICE_CMD_1_DIR_SESSION_KEY_AGREEMENT", N_("Неизвестный код")},
    {224, "SERVICE_CMD_1_DIR_REVERSE", N_("Добавление в буфер команды обратной печати")},
    {225, "SERVICE_CMD_1_DIR_FORCE_FS_KEY_UPDATE", N_("Выполнить обновление ключей ФН")},
    {226, "SERVICE_CMD_1_DIR_SYNC_FS_DATE_TIME",
     N_("Синхронизация даты ККТ с датой последнего ФД")},
    {227, "SERVICE_CMD_1_DIR_RESET_STAT_COUNTERS", N_("Сброс внутренних счетчиков")},
    {228, "SERVICE_CMD_1_DIR_CHANGE_MAC", N_("Изменение MAC адреса")},
    {229, "SERVICE_CMD_1_DIR_FS_CLOSE", N_("Закрытие фискального режима ФН")},
    {230, "SERVICE_CMD_1_DIR_PROG_FEATURE_LIC", N_("Запись функциональных лицензий")},
    {231, "SERVICE_CMD_1_DIR_READ_FEATURE_LIC", N_("Чтение функциональных лицензий")},
    {232, "SERVICE_CMD_1_DIR_RESET_CHALLENGE_KEY", N_("Удаление ключа авторизации")},
    {233, "SERVICE_CMD_1_DIR_SET_CHALLENGE_KEY", N_("Запись ключа авторизации")},
    {234, "SERVICE_CMD_1_DIR_ENABLE_DOWNGRADE", N_("Разрешение загрузки ранней версии ПО")},
    {235, "SERVICE_CMD_1_DIR_GET_PRN_VER", N_("Запрос версии ПО принтера")},
    {236, "SERVICE_CMD_1_DIR_GET_BL_VER", N_("Запрос версии загрузчика")},
    {237, "SERVICE_CMD_1_DIR_DFU_REBOOT", N_("Переход в режим DFU")},
    {238, "SERVICE_CMD_1_DIR_PROG_LIC_DEPRECATED", N_("Запись лицензии (устаревшая)")},
    {239, "SERVICE_CMD_1_DIR_READ_LIC_DEPRECATED", N_("Чтение лицензии (устаревшая)")},
    {240, "SERVICE_CMD_1_DIR_READ_MCU_UID", N_("Чтение UID процессора")},
    {241, "SERVICE_CMD_1_DIR_SERIALNUMBER_REPLACE", N_("Смена заводского номера")},
    {242, "SERVICE_CMD_1_DIR_PING", N_("Проверка связи с сервером (PING)")},
    {243, "SERVICE_CMD_1_DIR_REBOOT", N_("Перезапуск кассы")},
    {244, "SERVICE_CMD_1_DIR_GLOBALSUMM_GET", N_("Запрос необнуляемых сумм")},
    {245, "SERVICE_CMD_1_DIR_SERIALNUMBER_PROG", N_("Запись заводского номера")},
    {246, "SERVICE_CMD_1_DIR_FLASHKEY_PROG", N_("Запись ключа доступа к FLASH памяти")},
    {247, "SERVICE_CMD_1_DIR_SET_MODEL", N_("Запись кода модели")},
    {248, "SERVICE_CMD_1_DIR_MASS_ERASE", N_("Полная очистка базы данных")},
    {249, "SERVICE_CMD_1_DIR_SESSIONKEY_PROG", N_("Запись сессионного ключа")},
    {250, "SERVICE_CMD_1_DIR_MASTERKEY_PROG", N_("Запись мастер ключа")},
    {251, "SERVICE_CMD_1_DIR_WIFI_PROG", N_("Перевод ККТ в состояние обновления модуля WIFI")},
    {252, "SERVICE_CMD_1_DIR_PRINTER_INIT", N_("Инициализация ФП")},
    {253, "SERVICE_CMD_1_DIR_FM_PROG", N_("Запись ФП")},
    {254, "SERVICE_CMD_1_DIR_GRAPH_OFF", N_("Отключение печати графики")},
    {255, "SERVICE_CMD_1_DIR_GRAPH_ON", N_("Включение печати графики")},
};

constexpr std::array<TServiceCmd, 256> MakeServiceCmds() {
  std::array<TServiceCmd, 256> table{};
  for (const TServiceCmdItem& item : kServiceCmdItems)
    table[static_cast<std::size_t>(item.Code)] = TServiceCmd{item.Name, item.Description};
  return table;
}

constexpr std::array<TServiceCmd, 256> kServiceCmds = MakeServiceCmds();
constexpr const char* kUnknownServiceCmd = N_("Неизвестный код");

// ---------------------------------------------------------------------------------------
// Bit lists

struct TBitText {
  std::uint8_t Bit;
  const char* Label;
  const char* Set;
  const char* Clear;
};

constexpr TBitText kECRFlags[] = {
    {0, N_("    Рулон контр. ленты        : "), N_("есть"), N_("нет")},
    {1, N_("    Рулон чековой ленты       : "), N_("есть"), N_("нет")},
    {6, N_("    Опт. датчик контр. ленты  : "), N_("бумага есть"), N_("бумаги нет")},
    {7, N_("    Опт датчик чеков. ленты   : "), N_("бумага есть"), N_("бумаги нет")},
    {8, N_("    Рычаг термог. контр. ленты: "), N_("опущен"), N_("поднят")},
    {9, N_("    Рычаг термог. чеков. ленты: "), N_("опущен"), N_("поднят")},
    {10, N_("    Крышка корпуса ККТ        : "), N_("поднята"), N_("опущена")},
    {11, N_("    Денежный ящик             : "), N_("открыт"), N_("закрыт")},
    {12, N_("    Крышка контр. ленты       : "), N_("поднята"), N_("опущена")},
};

// Bits 0..3 of the fiscal storage life state.
constexpr const char* kFNLifeLabels[] = {
    N_("Проведена настройка ФН"),
    N_("Открыт фискальный режим"),
    N_("Закрыт фискальный режим"),
    N_("Закончена передача фискальных данных в ОФД"),
};

struct TBitPhrase {
  std::uint8_t Bit;
  const char* Set;
  const char* Clear;
};

// Bits 0..4 of the checking status (fiscal tag 2106) sent by the marking server.
constexpr TBitPhrase kKMCheckingStatus[] = {
    {0, N_("код маркировки проверен"), N_("код маркировки не был проверен ФН и (или) ОИСМ")},
    {1, N_("результат проверки КП КМ положительный"),
     N_("результат проверки КП КМ отрицательный или код маркировки не был проверен")},
    {2, N_("проверка статуса ОИСМ выполнена"), N_("сведения о статусе товара от ОИСМ не получены")},
    {3, N_("от ОИСМ получены сведения, что планируемый статус товара корректен"),
     N_("от ОИСМ получены сведения, что планируемый статус товара некорректен или сведения о "
        "статусе товара от ОИСМ не получены")},
    {4, N_("результат проверки КП КМ сформирован ККТ, работающей в автономном режиме"),
     N_("результат проверки КП КМ и статуса товара сформирован ККТ, работающей в режиме передачи "
        "данных")},
};

constexpr const char* kLocalCheckDone =
    N_("код маркировки проверен фискальным накопителем с использованием ключа проверки КП");
constexpr const char* kLocalCheckNotPossible =
    N_("код маркировки не может быть проверен фискальным накопителем с использованием ключа "
       "проверки КП");
constexpr const char* kLocalCheckPositive =
    N_("результат проверки КП КМ фискальным накопителем с использованием ключа проверки КП "
       "положительный");
constexpr const char* kLocalCheckNegative =
    N_("результат проверки КП КМ фискальным накопителем с использованием ключа проверки КП "
       "отрицательный");

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
  out += Tr(" В.");
  return out;
}

std::string AmountOrNone(std::uint64_t value) {
  if (value == 0xFFFFFFFFFFull) return Tr("[нет]");
  return Scaled(value, 100.0, 2);
}

struct TBitTexts {
  std::string Label, Set, Clear;
};

// The status answers (every 0x11 of a log) decode the flags whether or not the text is
// shown, so their texts are translated once per thread, like the command names.
const std::array<TBitTexts, std::size(kECRFlags)>& ECRFlagTexts() {
  return PerThreadTexts([] {
    std::array<TBitTexts, std::size(kECRFlags)> out;
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = {Tr(kECRFlags[i].Label), Tr(kECRFlags[i].Set), Tr(kECRFlags[i].Clear)};
    return out;
  });
}

std::string ECRFlagsText(std::uint16_t value) {
  std::string out = "0x" + IntToHex(value, 4, THexCase::Lower);
  const auto& texts = ECRFlagTexts();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    out += kLineEnd;
    out += texts[i].Label;
    out += TestBit(value, kECRFlags[i].Bit) ? texts[i].Set : texts[i].Clear;
  }
  return out;
}

std::string FNLifeStateText(std::uint8_t value) {
  std::string inner;
  for (std::uint8_t bit = 0; bit < 4; ++bit) {
    inner += kLineEnd;
    inner += "  ";
    inner += Tr(kFNLifeLabels[bit]);
    inner += TestBit(value, bit) ? Tr(" Да") : Tr(" Нет");
  }
  return Bracketed(value, inner);
}

// The phrase (a catalogue id) in quotes.
std::string Quoted(const char* phrase) {
  std::string out = "  \"";
  out += Tr(phrase);
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
  if (value == 0) return Bracketed(value, Tr("Ошибок нет"));
  if (value == 0xFF) return Bracketed(value, Tr("Сервер не ответил в течение таймаута"));
  return Bracketed(value, "");
}

std::string MarkingTypeText(std::uint16_t value) {
  const char* text = kMarkingTypeUnknown;
  for (const TCodeText& item : kMarkingType) {
    if (item.Code == value) {
      text = item.Text;
      break;
    }
  }
  return Bracketed(value, Tr(text));
}

std::string ServiceCmdText(std::uint8_t value) {
  const TServiceCmd& cmd = kServiceCmds[value];
  std::string out = "0x" + IntToHex(value, 2);
  out += " (";
  out += Tr(cmd.Description != nullptr ? cmd.Description : kUnknownServiceCmd);
  out += ", ";
  out += cmd.Name != nullptr ? std::string(cmd.Name) : Tr(kUnknownServiceCmd);
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
    parts->push_back(bytes.Span(ShownFieldName(name), value, std::move(children)));
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
    AddPart(parser, statusBytes, N_("KMServerCheckingStatus (Тег 2106)"),
            KMCheckingStatusText(status), source);
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
      return std::to_string(value) + (value == 1 ? Tr(" [Принять]") : Tr(" [Отклонить]"));
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
