// `quillon-cli show` run as the user runs it, once in English with the build folder's
// catalogue and once in Russian: in English no Russian resource text is left (the command
// name, the field texts, the result-code and mode descriptions, the TLV captions), only the
// device's own strings; in Russian the program prints exactly what it prints without any
// catalogue.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ShellRun.h"
#include "TestCommands.h"
#include "core/BinUtils.h"
#include "core/KorvanProtocol2.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

// The output of `program show LOG N` in the given environment (variables put before the
// program by env(1), LANGUAGE removed first).
std::string Show(const std::string& program, const std::string& environment, const std::string& log,
                 int number) {
  const std::string command = "env -u LANGUAGE -u LANG -u LC_MESSAGES " + environment + " " +
                              program + " show " + log + " " + std::to_string(number) + " 2>&1";
  const test::TShellRun run = test::RunShell(command);
  EXPECT_EQ(run.Status, 0) << command << "\n" << run.Out;
  return run.Out;
}

using test::Lines;

// The words of the text with Cyrillic letters in them, each once.
std::vector<std::string> CyrillicWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    if (test::HasCyrillic(word) && std::find(words.begin(), words.end(), word) == words.end())
      words.push_back(word);
  }
  return words;
}

// A log line with a protocol 2 frame of the payload.
std::string FrameLine(const char* time, const char* arrow, const std::string& payload, int number) {
  TKorvanFrame2 frame;
  frame.Data = HexToBytes(payload);
  frame.Number = static_cast<std::uint16_t>(number);
  return std::string("[01.12.2024 ") + time + "] [00001A2C] [DEBUG] TPrinterProtocol2 " + arrow +
         " " + BytesToHex(TKorvanProtocol2::Encode(frame)) + "\r\n";
}

// One command 0xFF0C sending a fiscal document: a calculation sign, a tax system, a shift
// number, a subject of calculation holding a quantity whose value is damaged, and a tag the
// dictionary does not know.
std::string TlvLog() {
  const std::string records =
      "1E 04 01 00 01 "           // 1054 calculation sign: 1
      "1F 04 01 00 03 "           // 1055 tax systems: 1 + 2
      "0E 04 04 00 9C 00 00 00 "  // 1038 shift number: 156
      "23 04 0A 00 "              // 1059 subject of calculation, holding
      "BC 04 01 00 01 "           //   1212 subject sign: 1 and
      "0F 27 01 00 07";           //   9999, unknown
  const std::string damaged = " 23 04 05 00 FF 03 01 00 09";  // 1059 holding 1023 of one byte
  return FrameLine("10:00:00.100", "->", "FF 0C 1E 00 00 00 " + records + damaged, 1) +
         FrameLine("10:00:00.120", "<-", "FF 0C 00", 1);
}

struct TShowCase {
  const char* What;
  bool SampleLog;  // samples/sample.log, else the log of TlvLog()
  int Number;
  // Lines of the Russian output, each as it is shown today.
  std::vector<std::string> Russian;
  // Strings of the device (decoded from the command's bytes) that stay in any language.
  std::vector<std::string> DeviceTexts;
};

const TShowCase kCases[] = {
    {"status request 0x11",
     true,
     3,
     {"11, Запрос состояния", "Передано     : 11 1E 00 00 00",
      "Входные параметры:", "Возвращенные параметры (лог):", "    Рулон чековой ленты       : есть",
      "    Опт. датчик контр. ленты  : бумаги нет",
      "ECRMode: 2 [Открытая смена; 24 часа не кончились]", "ECRAdvancedMode: 0 [бумага есть]",
      "Возвращенные параметры (ККТ):"},
     {}},
    {"short status request 0x10",
     true,
     2,
     {"10, Короткий запрос состояния", "ECRMode: 2 [Открытая смена; 24 часа не кончились]",
      "Принято (ККТ): "},
     {}},
    {"answer with result code 0x50",
     true,
     41,
     {"10, Короткий запрос состояния", "Error: 80(0x50) Идет печать предыдущей команды"},
     {}},
    {"unanswered sale", true, 11, {"80, Продажа", "Принято (лог): НЕТ ОТВЕТА"}, {"Пакет-майка"}},
    {"operation with code lists",
     true,
     14,
     {"FF46, Операция V2", "CheckType: 1 [Приход]", "Summ1: [нет]", "Tax1: 1 [НДС 20%]",
      "PaymentTypeSign: 4 [Полный расчет]", "PaymentItemSign: 1 [Товар]"},
     {}},
    {"fiscal storage status",
     true,
     22,
     {"FF01, Запрос статуса ФН", "  Проведена настройка ФН Да",
      "  Закончена передача фискальных данных в ОФД Нет]", "FNCurrentDocument: 4 [Кассовый чек]",
      "FNDocumentData: 0 [Нет данных документа]", "FNSessionState: 1 [Смена открыта]"},
     {}},
    {"printed line", true, 7, {"17, Печать строки"}, {"Бензин АИ-95"}},
    {"fiscal document in TLV",
     false,
     1,
     {"FF0C, Передать произвольную TLV структуру", "    1054,ПРИЗН. РАСЧЕТА:Приход",
      "    1055,ПРИМЕН. СИСТ. НАЛОГООБЛОЖЕНИЯ:ОБЩ.+УД", "    1038,НОМЕР СМЕНЫ:156",
      "    1059,ПРЕДМ. РАСЧЕТА", "     1212,ПРИЗН. ПРЕДМЕТА РАСЧ.:1", "     9999,НЕИЗВЕСТНЫЙ ТЕГ",
      "     1023,КОЛ-ВО ПРЕДМ. РАСЧЕТА:Неверная длина FVLN"},
     {}},
};

class TranslatedShow : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::path(::testing::TempDir()) / ("quillon-translated-show-" + std::to_string(getpid()));
    fs::create_directories(FDir);
    // A copy of the program with no catalogue beside it shows the source texts.
    FBare = (FDir / "quillon-cli").string();
    fs::copy_file(QUILLON_CLI, FBare, fs::copy_options::overwrite_existing);
    FTlvLog = (FDir / "tlv.log").string();
    std::ofstream(FTlvLog, std::ios::binary) << TlvLog();
  }
  void TearDown() override { fs::remove_all(FDir); }

  fs::path FDir;
  std::string FBare, FTlvLog;
};

TEST_F(TranslatedShow, EnglishHasNoRussianResourceTextAndRussianStaysAsItIs) {
  const std::string sample = test::SampleLogPath();
  ASSERT_FALSE(sample.empty()) << "QUILLON_SOURCE_DIR is not set";
  const fs::path catalogue =
      fs::path(QUILLON_CLI).parent_path() / "locale" / "en" / "LC_MESSAGES" / "quillon.mo";
  ASSERT_TRUE(fs::exists(catalogue)) << catalogue;

  std::size_t pinned = 0, translated = 0;
  std::vector<std::string> faults;
  for (const TShowCase& c : kCases) {
    SCOPED_TRACE(c.What);
    const std::string log = c.SampleLog ? sample : FTlvLog;
    const std::string today = Show(FBare, "LC_ALL=C.UTF-8", log, c.Number);
    const std::vector<std::string> todayLines = Lines(today);
    for (const std::string& line : c.Russian) {
      EXPECT_NE(std::find(todayLines.begin(), todayLines.end(), line), todayLines.end())
          << "no line \"" << line << "\" in\n"
          << today;
    }
    EXPECT_EQ(Show(QUILLON_CLI, "LC_ALL=C.UTF-8", log, c.Number), today);
    EXPECT_EQ(Show(QUILLON_CLI, "LC_ALL=C.UTF-8 LANGUAGE=ru", log, c.Number), today);
    // Russian settings change the numbers and dates, not the texts.
    const std::string russian = Show(FBare, "LC_ALL=ru_RU.UTF-8", log, c.Number);
    EXPECT_EQ(Show(QUILLON_CLI, "LC_ALL=ru_RU.UTF-8", log, c.Number), russian);
    EXPECT_EQ(Show(QUILLON_CLI, "LC_ALL=ru_RU.UTF-8 LANGUAGE=ru", log, c.Number), russian);

    const std::string english = Show(QUILLON_CLI, "LC_ALL=C.UTF-8 LANGUAGE=en", log, c.Number);
    const std::vector<std::string> englishLines = Lines(english);
    EXPECT_EQ(englishLines.size(), todayLines.size()) << english;
    for (const std::string& line : c.Russian) {
      ++pinned;
      if (std::find(englishLines.begin(), englishLines.end(), line) == englishLines.end())
        ++translated;
    }
    std::string rest = english;
    for (const std::string& device : c.DeviceTexts) {
      const std::size_t at = rest.find(device);
      EXPECT_NE(at, std::string::npos) << "the device's \"" << device << "\" is not kept in\n"
                                       << english;
      if (at != std::string::npos) rest.erase(at, device.size());
    }
    std::string left;
    for (const std::string& word : CyrillicWords(rest)) left += " " + word;
    if (!left.empty()) faults.push_back(std::string(c.What) + ":" + left + "\n" + english);
  }
  // The English catalogue is filled in apart from the code; until it holds these texts
  // there is no English to check.
  if (translated * 2 < pinned) {
    GTEST_SKIP() << "the English catalogue " << catalogue << " translates " << translated
                 << " of the " << pinned << " Russian lines";
  }
  for (const std::string& fault : faults) ADD_FAILURE() << "Russian left in English: " << fault;
}

}  // namespace
}  // namespace quillon
