#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/Translate.h"
#include "parser/PrinterTypes.h"

namespace quillon {
namespace {

const std::string kUnknown = "Неизвестный код ошибки";
const std::string kCorrection = ". (Чек коррекции)";

std::string Describe(int code, bool capFN) {
  return TPrinterError::GetDescription(code, capFN);
}

bool HasText(int code) {
  return Describe(code, false) != kUnknown || Describe(code, true) != kUnknown;
}

TEST(ResultCodeTable, CodesWithTextAndFiscalStorageVariants) {
  int withText = 0;
  int withOwnFNText = 0;
  for (int code = 0; code <= 255; ++code) {
    if (HasText(code)) ++withText;
    if (Describe(code, true) != Describe(code, false)) ++withOwnFNText;
  }
  EXPECT_EQ(withText, 193);
  EXPECT_EQ(withOwnFNText, 36);
}

TEST(ResultCodeTable, UnknownRangesAndTheirBoundaries) {
  const std::vector<std::pair<int, int>> ranges = {{15, 15},   {42, 46},   {150, 159}, {180, 191},
                                                   {204, 207}, {214, 223}, {229, 239}, {246, 255}};
  std::set<int> expected;
  for (const auto& [first, last] : ranges) {
    for (int code = first; code <= last; ++code) expected.insert(code);
    EXPECT_TRUE(HasText(first - 1)) << "code " << first - 1;
    EXPECT_FALSE(HasText(first)) << "code " << first;
    EXPECT_FALSE(HasText(last)) << "code " << last;
    if (last < 255) {
      EXPECT_TRUE(HasText(last + 1)) << "code " << last + 1;
    }
  }
  std::set<int> unknown;
  for (int code = 0; code <= 255; ++code) {
    if (!HasText(code)) {
      unknown.insert(code);
      EXPECT_EQ(Describe(code, false), kUnknown);
      EXPECT_EQ(Describe(code, true), kUnknown);
    }
  }
  EXPECT_EQ(unknown, expected);
}

TEST(ResultCodeTable, GeneralTexts) {
  EXPECT_EQ(Describe(0, false), "Ошибок нет");
  EXPECT_EQ(Describe(1, false), "Неисправен накопитель ФП 1, ФП 2 или часы");
  EXPECT_EQ(Describe(11, false), "Неисправна ячейка памяти ФП при записи итога");
  EXPECT_EQ(Describe(41, false), "Несанкционированная замена ФП");
  EXPECT_EQ(Describe(47, false), "ЭКЛЗ не отвечает");
  EXPECT_EQ(Describe(69, false), "Cумма всех типов оплаты меньше итога чека");
  EXPECT_EQ(Describe(81, false), "переполнение накоплений наличными в смене");
  EXPECT_EQ(Describe(131, false), "Ошибка связи с ФП");
  EXPECT_EQ(Describe(149, false), "Неизвестная ошибка ЭКЛЗ");
  EXPECT_EQ(Describe(160, false), "Ошибка связи с ЭКЛЗ");
  EXPECT_EQ(Describe(179, false), "Некорректно указаны дата и время");
  EXPECT_EQ(Describe(192, false), "Контроль даты и времени (подтвердите дату и время)");
  EXPECT_EQ(Describe(203, false), "Переполнение длинного сквозного номера");
  EXPECT_EQ(Describe(208, false), "Не распечатана контрольная лента по смене из ЭКЛЗ");
  EXPECT_EQ(Describe(213, false), "Ошибка авторизации");
  EXPECT_EQ(Describe(224, false), "Ошибка связи с купюроприемником");
  EXPECT_EQ(Describe(228, false), "Итог купюроприемника не нулевой");
  EXPECT_EQ(Describe(240, false), "Ошибка передачи в ФП");
  EXPECT_EQ(Describe(245, false), "Переполнение кадра ответа");
}

TEST(ResultCodeTable, FiscalStorageTextsReplaceGeneralOnes) {
  EXPECT_EQ(Describe(1, true),
            "Неизвестная команда, неверный формат посылки или неизвестные параметры");
  EXPECT_EQ(Describe(2, true), "Другое состояние ФН");
  EXPECT_EQ(Describe(11, true), "Неразрешенные реквизиты");
  EXPECT_EQ(Describe(25, true), "Реквизит не соответствует установкам при регистрации");
  EXPECT_EQ(Describe(33, true), "Нет связи с ФН. Фатальная ошибка !!!");
  EXPECT_EQ(Describe(48, true), "ФН не отвечает");
  EXPECT_EQ(Describe(48, false), "ЭКЛЗ ответила NAK");
  EXPECT_EQ(Describe(121, true), "Ошибка часов");
  EXPECT_EQ(Describe(121, false), "Замена ФП");
  EXPECT_EQ(Describe(161, true), "Неверная последовательность команд группы Bxh");
  EXPECT_EQ(Describe(172, true),
            "В реквизите 2007 содержится КМ, который ранее не проверялся в ФН");
  EXPECT_EQ(Describe(172, false), "Неверный код разрешения активизации");

  // Codes that have only a fiscal-storage text.
  const std::map<int, std::string> onlyFN = {
      {12, "Дублирование данных"},
      {13, "Отсутствуют данные, необходимые для корректного учета в ФН"},
      {14, "Количество позиций в документе превысило допустимый предел"},
      {16, "Превышение размеров TLV данных"}};
  for (const auto& [code, text] : onlyFN) {
    EXPECT_EQ(Describe(code, false), kUnknown) << "code " << code;
    EXPECT_EQ(Describe(code, true), text) << "code " << code;
  }

  // Codes without a fiscal-storage text keep the general one.
  EXPECT_EQ(Describe(0, true), "Ошибок нет");
  EXPECT_EQ(Describe(19, true), "Текущая дата меньше даты последней записи в ФП");
  EXPECT_EQ(Describe(19, false), Describe(19, true));
  EXPECT_EQ(Describe(26, true), "Область перерегистраций в ФП переполнена");
  EXPECT_EQ(Describe(164, true), "Авария ЭКЛЗ");
  EXPECT_EQ(Describe(245, true), "Переполнение кадра ответа");
}

TEST(ResultCodeTable, CodesOutsideAByteAreUnknown) {
  for (int code : {256, 257, 511, 4096, std::numeric_limits<int>::max(), -1, -2, -255, -256,
                   std::numeric_limits<int>::min()}) {
    EXPECT_EQ(Describe(code, false), kUnknown) << "code " << code;
    EXPECT_EQ(Describe(code, true), kUnknown) << "code " << code;
  }
}

TEST(ECRMode, LooksUpLowSevenBits) {
  EXPECT_EQ(GetECRModeDescription(1), "Выдача данных");
  EXPECT_EQ(GetECRModeDescription(4), "Закрытая смена");
  EXPECT_EQ(GetECRModeDescription(9), "Режим разрешения тех. обнуления");
  EXPECT_EQ(GetECRModeDescription(15), "ПД сформирован");
  EXPECT_EQ(GetECRModeDescription(24), "Открытый документ: покупка");
  EXPECT_EQ(GetECRModeDescription(72), "Открытый документ: нефискальный");
  EXPECT_EQ(GetECRModeDescription(110), "Ожидание извлечения ПД");

  int known = 0;
  for (int mode = 0; mode <= 0x7F; ++mode) {
    const std::string plain = GetECRModeDescription(mode);
    const std::string corrected = GetECRModeDescription(mode | 0x80);
    if (plain.rfind("Неизвестный режим: ", 0) == 0) {
      EXPECT_EQ(plain, "Неизвестный режим: " + std::to_string(mode));
      EXPECT_EQ(corrected, "Неизвестный режим: " + std::to_string(mode | 0x80) + kCorrection);
    } else {
      ++known;
      EXPECT_EQ(corrected, plain + kCorrection) << "mode " << mode;
    }
  }
  EXPECT_EQ(known, 29);
}

TEST(ECRMode, CorrectionBitAndFallbackWithWholeByte) {
  EXPECT_EQ(GetECRModeDescription(0x84), "Закрытая смена. (Чек коррекции)");
  EXPECT_EQ(GetECRModeDescription(0x82), "Открытая смена; 24 часа не кончились. (Чек коррекции)");
  EXPECT_EQ(GetECRModeDescription(0), "Неизвестный режим: 0");
  EXPECT_EQ(GetECRModeDescription(16), "Неизвестный режим: 16");
  EXPECT_EQ(GetECRModeDescription(127), "Неизвестный режим: 127");
  EXPECT_EQ(GetECRModeDescription(0x80), "Неизвестный режим: 128. (Чек коррекции)");
  EXPECT_EQ(GetECRModeDescription(0x90), "Неизвестный режим: 144. (Чек коррекции)");
  EXPECT_EQ(GetECRModeDescription(0xFF), "Неизвестный режим: 255. (Чек коррекции)");
}

TEST(ECRAdvancedMode, KnownSubmodesAndFallback) {
  EXPECT_EQ(GetECRAdvancedModeDescription(0), "бумага есть");
  EXPECT_EQ(GetECRAdvancedModeDescription(1), "Пассивное отсутствие бумаги");
  EXPECT_EQ(GetECRAdvancedModeDescription(2), "Активное отсутствие бумаги");
  EXPECT_EQ(GetECRAdvancedModeDescription(3), "После активного отсутствия бумаги");
  EXPECT_EQ(GetECRAdvancedModeDescription(4), "Фаза печати операции длинных отчетов");
  EXPECT_EQ(GetECRAdvancedModeDescription(5), "Фаза печати операции");
  EXPECT_EQ(GetECRAdvancedModeDescription(6), "Неизвестный подрежим устройства (6)");
  EXPECT_EQ(GetECRAdvancedModeDescription(255), "Неизвестный подрежим устройства (255)");
  EXPECT_EQ(GetECRAdvancedModeDescription(256), "Неизвестный подрежим устройства (256)");
  EXPECT_EQ(GetECRAdvancedModeDescription(-1), "Неизвестный подрежим устройства (-1)");
}

// Writes a GNU message catalogue (.mo) holding the given translations.
void WriteCatalogue(const std::filesystem::path& file,
                    std::map<std::string, std::string> translations) {
  translations[""] = "Content-Type: text/plain; charset=UTF-8\n";  // std::map keeps ids sorted
  const auto count = static_cast<std::uint32_t>(translations.size());
  const std::uint32_t idTable = 28;
  const std::uint32_t textTable = idTable + 8 * count;
  std::uint32_t offset = textTable + 8 * count;
  std::vector<std::uint32_t> header = {0x950412de, 0, count, idTable, textTable, 0, offset};
  std::vector<std::uint32_t> ids, texts;
  std::string pool;
  for (const auto& [id, text] : translations) {
    ids.insert(ids.end(), {static_cast<std::uint32_t>(id.size()), offset});
    offset += static_cast<std::uint32_t>(id.size() + 1);
    pool += id + '\0';
  }
  for (const auto& [id, text] : translations) {
    texts.insert(texts.end(), {static_cast<std::uint32_t>(text.size()), offset});
    offset += static_cast<std::uint32_t>(text.size() + 1);
    pool += text + '\0';
  }
  std::ofstream out(file, std::ios::binary);
  for (const auto* words : {&header, &ids, &texts}) {
    for (std::uint32_t word : *words) {
      for (int shift = 0; shift < 32; shift += 8)
        out.put(static_cast<char>((word >> shift) & 0xFF));
    }
  }
  out << pool;
}

class TranslatedTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLocale_ = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ru_RU.UTF-8") == nullptr &&
        std::setlocale(LC_ALL, "ru_RU.utf8") == nullptr) {
      GTEST_SKIP() << "no Russian locale installed";
    }
    if (const char* language = std::getenv("LANGUAGE")) savedLanguage_ = language;
    setenv("LANGUAGE", "ru", 1);
    dir_ = std::filesystem::path(::testing::TempDir()) / "printertypes_catalogue";
    std::filesystem::create_directories(dir_ / "ru" / "LC_MESSAGES");
    WriteCatalogue(dir_ / "ru" / "LC_MESSAGES" / (std::string(kTextDomain) + ".mo"),
                   {{"Ошибок нет", "No errors"},
                    {"Неизвестная команда, неверный формат посылки или неизвестные параметры",
                     "Unknown command"},
                    {"Неисправен накопитель ФП 1, ФП 2 или часы", "FM failure"},
                    {"Неизвестный код ошибки", "Unknown error code"},
                    {"Закрытая смена", "Shift closed"},
                    {". (Чек коррекции)", " [correction]"},
                    {"Неизвестный режим: %d", "Mode %d is unknown"},
                    {"Неизвестный подрежим устройства (%d)", "Submode %s%d%n is unknown"},
                    {"Фаза печати операции", "Printing"}});
    SetTranslationDirectory(dir_.string());
  }

  void TearDown() override {
    std::setlocale(LC_ALL, savedLocale_.c_str());
    if (savedLanguage_) {
      setenv("LANGUAGE", savedLanguage_->c_str(), 1);
    } else {
      unsetenv("LANGUAGE");
    }
    if (!dir_.empty()) {
      SetTranslationDirectory((dir_ / "missing").string());
      std::filesystem::remove_all(dir_);
    }
  }

  std::string savedLocale_;
  std::optional<std::string> savedLanguage_;
  std::filesystem::path dir_;
};

TEST_F(TranslatedTexts, EveryKindOfTextGoesThroughTheCatalogue) {
  EXPECT_EQ(Describe(0, false), "No errors");
  EXPECT_EQ(Describe(1, false), "FM failure");
  EXPECT_EQ(Describe(1, true), "Unknown command");
  EXPECT_EQ(Describe(15, true), "Unknown error code");
  EXPECT_EQ(Describe(12, false), "Unknown error code");
  EXPECT_EQ(Describe(300, true), "Unknown error code");
  EXPECT_EQ(Describe(2, false), "Отсутствует ФП 1");  // no entry: source text
  EXPECT_EQ(GetECRModeDescription(0x84), "Shift closed [correction]");
  EXPECT_EQ(GetECRModeDescription(0x90), "Mode 144 is unknown [correction]");
  EXPECT_EQ(GetECRModeDescription(3), "Открытая смена; 24 часа кончились");
  EXPECT_EQ(GetECRAdvancedModeDescription(5), "Printing");
  // The number goes in place of "%d" only; other conversions in a translation stay text.
  EXPECT_EQ(GetECRAdvancedModeDescription(9), "Submode %s9%n is unknown");
}

}  // namespace
}  // namespace quillon
