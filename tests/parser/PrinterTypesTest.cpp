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

#include "core/DriverCommands.h"
#include "core/Translate.h"
#include "parser/PrinterTypes.h"

namespace quillon {
namespace {

const std::string kUnknown = "Неизвестный код ошибки";
const std::string kCorrection = ". (Чек коррекции)";

std::string Describe(int code, bool capFN) {
  return TPrinterError::GetDescription(code, capFN);
}

TEST(ResultCodeTable, CountsAndUnknownRanges) {
  // Codes without any text: 15, 42..46, 150..159, 180..191, 204..207, 214..223, 229..239
  // and 246..255; the rest have one, 36 of them a fiscal-storage text of their own.
  std::set<int> unknown;
  int withOwnFNText = 0;
  for (int code = 0; code <= 255; ++code) {
    if (Describe(code, false) == kUnknown && Describe(code, true) == kUnknown) unknown.insert(code);
    if (Describe(code, true) != Describe(code, false)) ++withOwnFNText;
  }
  std::set<int> expected = {15};
  for (const auto& [first, last] :
       {std::pair{42, 46}, std::pair{150, 159}, std::pair{180, 191}, std::pair{204, 207},
        std::pair{214, 223}, std::pair{229, 239}, std::pair{246, 255}}) {
    for (int code = first; code <= last; ++code) expected.insert(code);
  }
  EXPECT_EQ(unknown, expected);
  EXPECT_EQ(withOwnFNText, 36);
  for (int code :
       {256, 4096, std::numeric_limits<int>::max(), -1, std::numeric_limits<int>::min()}) {
    EXPECT_EQ(Describe(code, false), kUnknown) << "code " << code;
    EXPECT_EQ(Describe(code, true), kUnknown) << "code " << code;
  }
}

TEST(ResultCodeTable, GeneralAndFiscalStorageTexts) {
  struct Case {
    int code;
    const char *general, *fn;  // fn null: not checked here
  };
  const Case cases[] = {
      {0, "Ошибок нет", "Ошибок нет"},
      {1, "Неисправен накопитель ФП 1, ФП 2 или часы",
       "Неизвестная команда, неверный формат посылки или неизвестные параметры"},
      {12, "Неизвестный код ошибки", "Дублирование данных"},  // only a fiscal-storage text
      {19, "Текущая дата меньше даты последней записи в ФП",
       "Текущая дата меньше даты последней записи в ФП"},
      {48, "ЭКЛЗ ответила NAK", "ФН не отвечает"},
      {172, "Неверный код разрешения активизации",
       "В реквизите 2007 содержится КМ, который ранее не проверялся в ФН"},
      {228, "Итог купюроприемника не нулевой", nullptr},
      {245, "Переполнение кадра ответа", "Переполнение кадра ответа"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Describe(c.code, false), c.general) << "code " << c.code;
    if (c.fn == nullptr) continue;
    EXPECT_EQ(Describe(c.code, true), c.fn) << "code " << c.code;
  }
}

TEST(ECRMode, LowSevenBitsWithTheCorrectionBitAsASuffix) {
  EXPECT_EQ(GetECRModeDescription(4), "Закрытая смена");
  EXPECT_EQ(GetECRModeDescription(0x82), "Открытая смена; 24 часа не кончились. (Чек коррекции)");
  // The fallback shows the whole byte.
  EXPECT_EQ(GetECRModeDescription(0), "Неизвестный режим: 0");
  EXPECT_EQ(GetECRModeDescription(0x90), "Неизвестный режим: 144. (Чек коррекции)");
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

  EXPECT_EQ(GetECRAdvancedModeDescription(0), "бумага есть");
  EXPECT_EQ(GetECRAdvancedModeDescription(5), "Фаза печати операции");
  EXPECT_EQ(GetECRAdvancedModeDescription(6), "Неизвестный подрежим устройства (6)");
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
  std::vector<std::uint32_t> words = {0x950412de, 0, count, idTable, textTable, 0, offset};
  std::string pool;
  for (const bool ids : {true, false}) {
    for (const auto& [id, text] : translations) {
      const std::string& s = ids ? id : text;
      words.insert(words.end(), {static_cast<std::uint32_t>(s.size()), offset});
      offset += static_cast<std::uint32_t>(s.size() + 1);
      pool += s + '\0';
    }
  }
  std::ofstream out(file, std::ios::binary);
  for (std::uint32_t word : words) {
    for (int shift = 0; shift < 32; shift += 8) out.put(static_cast<char>((word >> shift) & 0xFF));
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
                    {"Неизвестный код ошибки", "Unknown error code"},
                    {"Закрытая смена", "Shift closed"},
                    {". (Чек коррекции)", " [correction]"},
                    {"Неизвестный режим: %d", "Mode %d is unknown"},
                    {"Неизвестный подрежим устройства (%d)", "Submode %s%d%n is unknown"},
                    {"Фаза печати операции", "Printing"},
                    {"Запрос состояния", "Status request"}});
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
  EXPECT_EQ(Describe(1, true), "Unknown command");
  EXPECT_EQ(Describe(12, false), "Unknown error code");
  EXPECT_EQ(Describe(300, true), "Unknown error code");
  EXPECT_EQ(Describe(2, false), "Отсутствует ФП 1");  // no entry: source text
  EXPECT_EQ(GetECRModeDescription(0x84), "Shift closed [correction]");
  EXPECT_EQ(GetECRModeDescription(0x90), "Mode 144 is unknown [correction]");
  EXPECT_EQ(GetECRAdvancedModeDescription(5), "Printing");
  // The number goes in place of "%d" only; other conversions in a translation stay text.
  EXPECT_EQ(GetECRAdvancedModeDescription(9), "Submode %s9%n is unknown");
}

// The command names are read for every command from a per-thread table: it follows a
// change of the catalogue rather than keeping the texts of the first one.
TEST_F(TranslatedTexts, CommandNamesFollowTheCatalogue) {
  EXPECT_EQ(GetCommandName(0x11), "Status request");
  SetTranslationDirectory((dir_ / "missing").string());
  EXPECT_EQ(GetCommandName(0x11), "Запрос состояния");
  SetTranslationDirectory(dir_.string());
  EXPECT_EQ(GetCommandName(0x11), "Status request");
}

}  // namespace
}  // namespace quillon
