// Runs the quillon-cli program on generated logs and checks what it prints.
#include <gtest/gtest.h>
#include <locale.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "FormatSettingsGuard.h"
#include "LogEdit.h"
#include "LogGenerator.h"
#include "ShellRun.h"
#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/FormatSettings.h"
#include "core/KorvanProtocol2.h"
#include "core/LogParser2.h"
#include "core/TextFile.h"
#include "core/Version.h"
#include "parser/CommandDetails.h"
#include "parser/CommandParser.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

TRun RunCli(const std::string& args, const char* locale = nullptr) {
  fs::path errFile = fs::temp_directory_path() / ("quillon-cli-err-" + std::to_string(getpid()));
  std::string command = std::string(QUILLON_CLI) + " " + args + " 2>" + errFile.string();
  if (locale != nullptr) command = std::string("LC_ALL=") + locale + " " + command;
  const quillon::test::TShellRun shell = quillon::test::RunShell(command);
  TRun run;
  run.Out = shell.Out;
  run.Status = shell.Status;
  std::ifstream err(errFile, std::ios::binary);
  run.Err.assign(std::istreambuf_iterator<char>(err), {});
  fs::remove(errFile);
  return run;
}

using quillon::test::Lines;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("quillon-cli-test-" + std::to_string(getpid()));
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  std::string Generate(std::uint32_t seed, std::uint64_t commands,
                       std::vector<quillon::loggen::TExpectedCommand>* expected) {
    fs::path file = FDir / ("log" + std::to_string(seed) + ".log");
    std::ofstream out(file, std::ios::binary);
    quillon::loggen::TOptions options;
    options.Seed = seed;
    options.Commands = commands;
    quillon::loggen::Generate(out, options, expected);
    return file.string();
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    fs::path file = FDir / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

  fs::path FDir;
};

TEST_F(CliTest, JsonListGivesEveryCommandExactly) {
  const char* kProtocols[] = {"", "Protocol v1", "Protocol v2", "Protocol v3"};
  for (std::uint32_t seed : {7u, 8u, 9u}) {
    std::vector<quillon::loggen::TExpectedCommand> expected;
    std::string log = Generate(seed, 1500, &expected);
    TRun run = RunCli("list --json " + log);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    std::istringstream lines(run.Out);
    std::string line;
    std::size_t n = 0;
    while (std::getline(lines, line)) {
      ASSERT_LT(n, expected.size());
      const auto& want = expected[n];
      auto j = nlohmann::json::parse(line);
      ++n;
      SCOPED_TRACE("seed " + std::to_string(seed) + " command " + std::to_string(n));
      EXPECT_EQ(j["n"], n);
      EXPECT_EQ(j["line"], want.Line);
      EXPECT_EQ(j["attributes"], want.Attributes);
      EXPECT_EQ(j["time"], want.Time);
      EXPECT_EQ(j["thread"], want.Thread);
      EXPECT_EQ(j["protocol"], kProtocols[want.Protocol]);
      EXPECT_EQ(j["code"], want.Code);
      EXPECT_EQ(j["tx"], want.Tx);
      EXPECT_EQ(j["rx"], want.Rx);
      EXPECT_EQ(j["result"], want.Result);
      EXPECT_EQ(j["error"], want.Error);
      for (const char* key : {"name", "summary", "request", "answer"})
        EXPECT_TRUE(j[key].is_string()) << key;
      EXPECT_EQ(j["answer_time"], want.AnswerTime);
      if (want.ResponseMs)
        EXPECT_EQ(j["response_ms"], *want.ResponseMs);
      else
        EXPECT_TRUE(j["response_ms"].is_null());
    }
    EXPECT_EQ(n, expected.size());
  }
}

// --version gives the project's version, which the window's caption shows too.
TEST_F(CliTest, VersionIsTheProjectsVersion) {
  EXPECT_EQ(quillon::QuillonVersion(), QUILLON_PROJECT_VERSION);
  TRun run = RunCli("--version");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, std::string("quillon-cli ") + QUILLON_PROJECT_VERSION + "\n");
}

TEST_F(CliTest, TextListAndStatsAgree) {
  std::vector<quillon::loggen::TExpectedCommand> expected;
  std::string log = Generate(3, 400, &expected);
  TRun list = RunCli("list " + log);
  ASSERT_EQ(list.Status, 0);
  std::istringstream lines(list.Out);
  std::string line;
  std::size_t n = 0, failed = 0, unanswered = 0;
  while (std::getline(lines, line)) {
    const auto& want = expected[n++];
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    ASSERT_EQ(fields.size(), 6u) << line;
    EXPECT_EQ(fields[0], std::to_string(n));
    EXPECT_EQ(fields[1], want.Time);
    EXPECT_EQ(fields[2], want.Thread);
    EXPECT_EQ(fields[5], want.Error ? "!" : "");
    failed += want.Error;
    unanswered += want.Rx.empty();
  }
  EXPECT_EQ(n, expected.size());

  TRun stats = RunCli("stats " + log);
  ASSERT_EQ(stats.Status, 0);
  EXPECT_NE(stats.Out.find("Команд\t" + std::to_string(expected.size()) + "\n"), std::string::npos)
      << stats.Out;
  EXPECT_NE(stats.Out.find("С ошибкой\t" + std::to_string(failed) + "\n"), std::string::npos);
  EXPECT_NE(stats.Out.find("Без ответа\t" + std::to_string(unanswered) + "\n"), std::string::npos);
  EXPECT_NE(stats.Out.find("Диагностик\t0\n"), std::string::npos);
}

// A log whose response times are known: stats' columns per code and list --json's keys.
TEST_F(CliTest, ResponseTimesInStatsAndJson) {
  int number = 0;
  auto frame = [&](std::initializer_list<std::uint8_t> data) {
    quillon::TKorvanFrame2 f;
    f.Number = ++number;
    f.Data = quillon::MakeBytes(data);
    return quillon::BytesToHex(quillon::TKorvanProtocol2::Encode(f));
  };
  auto line = [](const std::string& stamp, const char* arrow, const std::string& hex) {
    return "[" + stamp + "] [00000001] [DEBUG] TPrinterProtocol2 " + arrow + " " + hex;
  };
  const std::string status = frame({0x11, 0x1E, 0, 0, 0}), ok = frame({0x11, 0x00, 0x01});
  const std::string t = "31.12.2024 10:15:";
  const std::string lines[] = {
      line(t + "00.000", "->", status),
      line(t + "00.040", "<-", ok),  // 40 ms
      line(t + "01.000", "->", status),
      line(t + "01.010", "<-", ok.substr(0, 9)),
      line(t + "01.025", "<-", ok.substr(9)),  // the answer's last line: 25 ms
      line(t + "02.000", "->", status),
      line(t + "02.100", "<-", frame({0x11, 0x37})),           // failed in 100 ms
      line(t + "03.000", "->", status),                        // no answer
      line(t + "04.000", "->", frame({0x10, 0x1E, 0, 0, 0})),  // no answer
      line(t + "05", "->", frame({0xFC})),  // stamps without milliseconds: 2000 ms
      line(t + "07", "<-", frame({0xFC, 0x00})),
      line(t + "08.000", "->", frame({0xFC})),
      line("-", "<-", frame({0xFC, 0x00})),  // an unreadable stamp
  };
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  const std::string log = Write("times.log", text);

  // 11: 25 40 100 (sorted), the median rank ceil(3 / 2) = 2, the 95th ceil(2.85) = 3;
  // FC: 2000 alone (its second answer's stamp is unreadable); 10: no answer, empty cells.
  TRun stats = RunCli("stats " + log, "C.UTF-8");
  EXPECT_EQ(stats.Status, 0) << stats.Err;
  EXPECT_EQ(stats.Out,
            "Строк прочитано\t13\nКоманд\t7\nС ошибкой\t3\nБез ответа\t2\nДиагностик\t0\n\n"
            "Команда\tЧисло\tС ошибкой\tОтвет мин, мс\tМедиана, мс\t95%, мс\tМакс, мс\n"
            "11, Запрос состояния\t4\t2\t25\t40\t100\t100\n"
            "FC, Получить тип устройства\t2\t0\t2000\t2000\t2000\t2000\n"
            "10, Короткий запрос состояния\t1\t1\t\t\t\t\n");

  TRun list = RunCli("list --json " + log);
  ASSERT_EQ(list.Status, 0) << list.Err;
  const std::pair<const char*, nlohmann::json> kWant[] = {{"31.12.2024 10:15:00.040", 40},
                                                          {"31.12.2024 10:15:01.025", 25},
                                                          {"31.12.2024 10:15:02.100", 100},
                                                          {"", nullptr},
                                                          {"", nullptr},
                                                          {"31.12.2024 10:15:07.000", 2000},
                                                          {"", nullptr}};
  const std::vector<std::string> kKeys = {
      "n",       "line",    "attributes", "time",        "thread",     "protocol",
      "code",    "name",    "tx",         "rx",          "result",     "error",
      "summary", "request", "answer",     "answer_time", "response_ms"};
  const std::vector<std::string> objects = Lines(list.Out);
  ASSERT_EQ(objects.size(), std::size(kWant));
  for (std::size_t i = 0; i < objects.size(); ++i) {
    SCOPED_TRACE(objects[i]);
    const auto j = nlohmann::ordered_json::parse(objects[i]);
    std::vector<std::string> keys;
    for (const auto& item : j.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, kKeys);
    EXPECT_EQ(j["answer_time"], kWant[i].first);
    EXPECT_EQ(j["response_ms"], kWant[i].second);
  }
}

TEST_F(CliTest, FilterKeepsLogNumbersAndRejectsBadExpressions) {
  std::vector<quillon::loggen::TExpectedCommand> expected;
  std::string log = Generate(31, 600, &expected);
  std::vector<std::size_t> wantList, wantJson;
  std::size_t failed = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& want = expected[i];
    if (want.Code == 0x11 || want.Error) wantList.push_back(i + 1);
    if ((want.Code == 0x10 || want.Code == 0xFC) && i + 1 > 100) wantJson.push_back(i + 1);
    failed += want.Error;
  }
  ASSERT_FALSE(wantList.empty());
  ASSERT_FALSE(wantJson.empty());
  ASSERT_LT(wantList.size() + wantJson.size(), expected.size());

  TRun list = RunCli("list --filter 'code == 11 or error' " + log);
  ASSERT_EQ(list.Status, 0) << list.Err;
  std::vector<std::size_t> listed;
  for (const std::string& line : Lines(list.Out)) listed.push_back(std::stoul(line));
  EXPECT_EQ(listed, wantList);

  TRun json = RunCli("list --json --filter 'CODE IN {10, fc} && n > 100' " + log);
  ASSERT_EQ(json.Status, 0) << json.Err;
  listed.clear();
  for (const std::string& line : Lines(json.Out))
    listed.push_back(nlohmann::json::parse(line)["n"].get<std::size_t>());
  EXPECT_EQ(listed, wantJson);

  TRun stats = RunCli("stats --filter error " + log);
  ASSERT_EQ(stats.Status, 0) << stats.Err;
  EXPECT_NE(stats.Out.find("Команд\t" + std::to_string(failed) + "\nС ошибкой\t" +
                           std::to_string(failed) + "\n"),
            std::string::npos)
      << stats.Out;

  // A bad expression is reported before the log is opened: this one does not exist.
  const std::string missing = (FDir / "no-such.log").string();
  for (const char* command : {"list", "list --json", "stats"}) {
    SCOPED_TRACE(command);
    TRun bad = RunCli(std::string(command) + " --filter 'code ~ 10' " + missing);
    EXPECT_EQ(bad.Status, 2);
    EXPECT_EQ(bad.Out, "");
    EXPECT_EQ(bad.Err, "Фильтр: оператор \"~\" не подходит к полю \"code\" (позиция 6)\n");
  }
}

TEST_F(CliTest, FieldsAreEscapedAndDiagnosticsGoToStderr) {
  // A thread field with a backslash and a tab, and a damaged protocol 2 frame on line 3.
  std::string log = Write(
      "escape.log",
      "[31.12.2024 10:15:00.123] [a\\b\tc]   [DEBUG] TPrinterProtocol2 -> 8F 03 00 01 00 11 "
      "FE CA\r\n"
      "[31.12.2024 10:15:00.124] [1] [DEBUG] TPrinterProtocol2 <- 8F 04 00 01 00 11 00 47 4E\r\n"
      "[31.12.2024 10:15:00.125] [1] [DEBUG] TPrinterProtocol2 -> 8F 05 9F 00 01 00 11 22\r\n");
  TRun run = RunCli("list " + log);
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("\ta\\\\b\\tc\t"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Err, "line 3: Некорректный формат пакета\n");
}

TEST_F(CliTest, ZeroBytesOfDeviceTextsAreEscaped) {
  quillon::TKorvanFrame2 frame;
  frame.Number = 1;
  frame.Data = quillon::MakeBytes({0x17, 0x01, 0x00, 0x00, 0x00, 0x02, 0x41, 0x00, 0x42});
  std::string log =
      Write("zero.log",
            "[31.12.2024 10:15:00.123] [00000001] [DEBUG] "
            "TPrinterProtocol2 -> " +
                quillon::BytesToHex(quillon::TKorvanProtocol2::Encode(frame)) + "\r\n");
  TRun run = RunCli("list " + log);
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("\tA\\0B Нет ответа на команду\t!\n"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find('\0'), std::string::npos);
}

TEST_F(CliTest, ExitStatuses) {
  TRun missing = RunCli("list " + (FDir / "no-such.log").string());
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("no-such.log"), std::string::npos);
  EXPECT_NE(missing.Err.find("не найден"), std::string::npos);
  TRun directory = RunCli("stats " + FDir.string());
  EXPECT_EQ(directory.Status, 1);
  EXPECT_NE(directory.Err.find("папка"), std::string::npos);
  EXPECT_EQ(RunCli("").Status, 2);
  EXPECT_EQ(RunCli("list").Status, 2);
  EXPECT_EQ(RunCli("frobnicate x").Status, 2);
  EXPECT_EQ(RunCli("--help").Status, 0);

  TRun empty = RunCli("list --json " + Write("empty.log", ""));
  EXPECT_EQ(empty.Status, 0);
  EXPECT_EQ(empty.Out, "");
  std::string binary;
  for (int i = 0; i < 100000; ++i) binary.push_back(static_cast<char>(i * 131 % 256));
  TRun junk = RunCli("stats " + Write("binary.log", binary));
  EXPECT_EQ(junk.Status, 0);
  EXPECT_NE(junk.Out.find("Команд\t0\n"), std::string::npos);
}

// The settings of a locale as the window would take them from the environment.
struct TLocaleCase {
  const char* Name;
  quillon::TFormatSettings Settings;
};

std::vector<TLocaleCase> LocaleCases() {
  quillon::TFormatSettings c{'.', "%m/%d/%y", "%H:%M:%S"};
  quillon::TFormatSettings ru{',', "%d.%m.%Y", "%H:%M:%S"};
  return {{"C.UTF-8", c}, {"ru_RU.UTF-8", ru}};
}

bool LocaleInstalled(const char* name) {
  locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return false;
  freelocale(loc);
  return true;
}

quillon::TCommandList ParseInProcess(const std::string& file) {
  std::vector<std::string> lines;
  quillon::ReadTextLines(file, quillon::TTextEncoding::Windows1251, lines);
  quillon::TCommandList list;
  quillon::ParseLog(lines, list);
  return list;
}

TEST_F(CliTest, DecodedTextsFollowTheLocale) {
  std::string log = Generate(11, 600, nullptr);
  quillon::TCommandList list = ParseInProcess(log);
  quillon::test::TFormatSettingsGuard guard(quillon::FormatSettings());
  for (const TLocaleCase& locale : LocaleCases()) {
    if (!LocaleInstalled(locale.Name)) GTEST_SKIP() << locale.Name << " is not installed";
    SCOPED_TRACE(locale.Name);
    quillon::SetFormatSettings(locale.Settings);
    TRun run = RunCli(std::string("list --json ") + log, locale.Name);
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::istringstream lines(run.Out);
    std::string line;
    std::size_t n = 0, withSeparator = 0;
    while (std::getline(lines, line)) {
      ASSERT_LT(n, list.Count());
      const quillon::TCommand& command = list[n++];
      auto j = nlohmann::json::parse(line);
      quillon::TCommandTexts texts = quillon::ParseCommand(command);
      ASSERT_EQ(j["summary"], quillon::GetCommandShortValue(command)) << "command " << n;
      ASSERT_EQ(j["request"], texts.Request) << "command " << n;
      ASSERT_EQ(j["answer"], texts.Answer) << "command " << n;
      std::string request = j["request"];
      // Prices and quantities carry the decimal separator of the locale.
      if (auto pos = request.find("Price: "); pos != std::string::npos) {
        pos = request.find_first_not_of("0123456789", pos + 7);
        if (pos != std::string::npos && request[pos] == locale.Settings.DecimalSeparator)
          ++withSeparator;
      }
    }
    EXPECT_EQ(n, list.Count());
    EXPECT_GT(withSeparator, 0u);
  }
}

TEST_F(CliTest, ShowAndSaveAsTheWindowDoes) {
  std::string log = Generate(12, 300, nullptr);
  quillon::TCommandList list = ParseInProcess(log);
  ASSERT_GT(list.Count(), 100u);
  quillon::test::TFormatSettingsGuard guard(quillon::FormatSettings());
  quillon::SetFormatSettings(LocaleCases()[0].Settings);
  for (std::size_t n : {std::size_t{1}, std::size_t{42}, list.Count()}) {
    TRun show = RunCli("show " + log + " " + std::to_string(n), "C.UTF-8");
    ASSERT_EQ(show.Status, 0) << show.Err;
    EXPECT_EQ(show.Out, quillon::FormatCommandDetails(list[n - 1]));
    EXPECT_EQ(show.Out.find('\r'), std::string::npos);
    EXPECT_NE(show.Out.find("\nВходные параметры:\n"), std::string::npos);
  }
  EXPECT_EQ(RunCli("show " + log + " 0").Status, 2);
  EXPECT_EQ(RunCli("show " + log + " " + std::to_string(list.Count() + 1)).Status, 2);

  std::string saved = (FDir / "saved.txt").string();
  ASSERT_EQ(RunCli("save " + log + " " + saved).Status, 0);
  std::ifstream in(saved, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::string expected;
  std::size_t lineCount = 0;
  for (const auto& command : list) {
    quillon::AppendSavedCommand(expected, *command);
    lineCount += command->AnswerData().empty() ? 2 : 3;
  }
  EXPECT_EQ(bytes, expected);
  // Windows-1251 with CR LF and no byte-order mark: the first line of the first command.
  const quillon::TCommand& first = list[0];
  std::string head = quillon::Utf8ToCp1251("[" + first.TimeStamp() + "] [" + first.ThreadID() +
                                           "] [" + first.CommandName() + "]\r\n");
  EXPECT_EQ(bytes.substr(0, head.size()), head);
  EXPECT_EQ(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')), lineCount);
  EXPECT_EQ(bytes.find("\n\n"), std::string::npos);
  EXPECT_EQ(RunCli("save " + log + " " + (FDir / "no" / "dir.txt").string()).Status, 1);
}

// Every span of show --json has the same keys, and its children too.
void ExpectSpanKeys(const nlohmann::json& spans) {
  for (const auto& span : spans) {
    std::vector<std::string> keys;
    for (const auto& item : span.items()) keys.push_back(item.key());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"children", "complete", "kind", "length", "name",
                                              "offset", "value"}));
    ExpectSpanKeys(span["children"]);
  }
}

TEST_F(CliTest, ShowJsonTellsWhereEachFieldsBytesAre) {
  int number = 0;
  auto line = [&](const char* arrow, std::initializer_list<std::uint8_t> data) {
    quillon::TKorvanFrame2 f;
    f.Number = ++number;
    f.Data = quillon::MakeBytes(data);
    return "[31.12.2024 10:15:00.000] [00000001] [DEBUG] TPrinterProtocol2 " + std::string(arrow) +
           " " + quillon::BytesToHex(quillon::TKorvanProtocol2::Encode(f)) + "\r\n";
  };
  // TLV records: a cashier's name and an item with its name. Then a request without answer
  // and a failed answer.
  const std::string log = Write(
      "fields.log", line("->", {0xFF, 0x0C, 0x1E, 0,    0,    0, 0xFD, 0x03, 0x04, 0, 'I', 'v',
                                'a',  'n',  0x23, 0x04, 0x06, 0, 0x06, 0x04, 0x02, 0, 'A', 'B'}) +
                        line("<-", {0xFF, 0x0C, 0x00}) + line("->", {0x11, 0x1E, 0, 0, 0}) +
                        line("->", {0x10, 0x1E, 0, 0, 0}) + line("<-", {0x10, 0x37}));
  auto show = [&](int n) {
    TRun run = RunCli("show --json " + log + " " + std::to_string(n), "C.UTF-8");
    EXPECT_EQ(run.Status, 0) << run.Err;
    nlohmann::json j = nlohmann::json::parse(run.Out);
    EXPECT_EQ(j.size(), 3u);
    EXPECT_TRUE(j["played"].is_null());
    for (const char* side : {"request", "answer"})
      if (!j[side].is_null()) ExpectSpanKeys(j[side]["fields"]);
    return j;
  };
  // The bytes of a span in the side's hex text.
  auto bytes = [](const nlohmann::json& side, const nlohmann::json& span) {
    const std::string hex = side["hex"];
    const std::size_t offset = span["offset"], length = span["length"];
    return hex.substr(offset * 3, length * 3 - 1);
  };

  const nlohmann::json tlv = show(1);
  const nlohmann::json& request = tlv["request"];
  EXPECT_EQ(request["text"].get<std::string>().rfind("Password: 30\r\nTLVData: \r\n", 0), 0u);
  const nlohmann::json& password = request["fields"][0];
  EXPECT_EQ(password["value"], "30");
  EXPECT_EQ(bytes(request, password), "1E 00 00 00");
  const nlohmann::json& data = request["fields"][1];
  ASSERT_EQ(data["children"].size(), 2u);
  const nlohmann::json& cashier = data["children"][0];
  EXPECT_EQ(cashier["kind"], "record");
  EXPECT_EQ(cashier["name"], "1021,КАССИР");
  EXPECT_EQ(bytes(request, cashier), "FD 03 04 00 49 76 61 6E");
  EXPECT_EQ(bytes(request, cashier["children"][2]), "49 76 61 6E");
  const nlohmann::json& item = data["children"][1]["children"][2]["children"];
  ASSERT_EQ(item.size(), 1u);
  EXPECT_EQ(item[0]["value"], "AB");
  EXPECT_EQ(bytes(request, item[0]), "06 04 02 00 41 42");
  EXPECT_EQ(tlv["answer"]["fields"], nlohmann::json::array());

  EXPECT_TRUE(show(2)["answer"].is_null());
  const nlohmann::json failed = show(3)["answer"];
  ASSERT_EQ(failed["fields"].size(), 1u);
  EXPECT_EQ(failed["fields"][0]["name"], "Error");
  EXPECT_EQ(bytes(failed, failed["fields"][0]), "37");
}

TEST_F(CliTest, DiffPairsCommandsByRequestAndReportsWhatDiffers) {
  const std::string log = Generate(21, 300, nullptr);
  const std::string report = (FDir / "report.jsonl").string();

  TRun same = RunCli("diff " + log + " " + log + " --report " + report);
  EXPECT_EQ(same.Status, 0) << same.Err;
  ASSERT_EQ(Lines(same.Out).size(), 2u) << same.Out;
  EXPECT_EQ(Lines(same.Out)[1].find("Сравнение: совпадает "), 0u);
  std::ifstream sameReport(report);
  std::size_t reported = 0;
  for (std::string line; std::getline(sameReport, line); ++reported)
    EXPECT_EQ(nlohmann::json::parse(line)["verdict"], "same") << line;

  // B lacks one command of A and has another one's mode changed, a third one's clock.
  quillon::test::TLogEdit edit(log);
  const quillon::TCommandList& commands = edit.Commands();
  EXPECT_EQ(reported, commands.Count());
  const std::size_t removed = quillon::test::FindAnswered(commands, 0xFC, 8, commands.Count() / 3);
  const std::size_t changed = quillon::test::FindAnswered(commands, 0x11, 48, removed + 1);
  const std::size_t clock = quillon::test::FindAnswered(commands, 0x11, 48, changed + 1);
  ASSERT_NE(clock, 0u);
  edit.Remove(removed);
  edit.SetAnswerByte(changed, 15, 0x02);  // ECRMode
  edit.SetAnswerByte(clock, 29, 0x3B);    // ECRTime: volatile
  const std::string other = Write("other.log", "");
  edit.Save(other);

  TRun diff = RunCli("diff " + log + " " + other + " --report " + report);
  EXPECT_EQ(diff.Status, 1) << diff.Err;
  const std::vector<std::string> lines = Lines(diff.Out);
  ASSERT_EQ(lines.size(), 4u) << diff.Out;
  EXPECT_EQ(lines[0], std::to_string(removed) + "\t-\t" + commands[removed - 1].CommandName() +
                          "\tтолько в A\t");
  EXPECT_EQ(lines[1].rfind(std::to_string(changed) + "\t" + std::to_string(changed - 1) + "\t" +
                               commands[changed - 1].CommandName() + "\tДругие данные\tECRMode: ",
                           0),
            0u)
      << lines[1];
  EXPECT_NE(lines[3].find("другие данные 1, "), std::string::npos) << lines[3];
  EXPECT_NE(lines[3].find("только в A 1, только в B 0"), std::string::npos) << lines[3];

  std::ifstream in(report);
  std::size_t rows = 0;
  for (std::string line; std::getline(in, line); ++rows) {
    const auto j = nlohmann::json::parse(line);
    const std::size_t n = j["n_a"].is_null() ? 0 : j["n_a"].get<std::size_t>();
    SCOPED_TRACE(line);
    if (n == removed) {
      EXPECT_EQ(j["verdict"], "only_in_a");
      EXPECT_TRUE(j["n_b"].is_null());
      continue;
    }
    ASSERT_NE(n, 0u);
    EXPECT_EQ(j["n_b"], n < removed ? n : n - 1);
    EXPECT_EQ(j["code"], commands[n - 1].Code());
    if (n == changed) {
      EXPECT_EQ(j["verdict"], "data_differs");
      ASSERT_EQ(j["fields"].size(), 1u);
      EXPECT_EQ(j["fields"][0]["name"], "ECRMode");
      EXPECT_EQ(j["fields"][0]["volatile"], false);
    } else if (n == clock) {
      EXPECT_EQ(j["verdict"], "same");
      ASSERT_EQ(j["fields"].size(), 1u);
      EXPECT_EQ(j["fields"][0]["name"], "ECRTime");
      EXPECT_EQ(j["fields"][0]["volatile"], true);
    } else {
      EXPECT_EQ(j["verdict"], "same");
      EXPECT_EQ(j["fields"].size(), 0u);
    }
  }
  EXPECT_EQ(rows, commands.Count());

  // The user's volatile field makes the mode change no difference; bad usage is 2.
  EXPECT_EQ(RunCli("diff " + log + " " + other + " --ignore-field ecrmode").Out.find("Другие"),
            std::string::npos);
  EXPECT_EQ(RunCli("diff " + log).Status, 2);
}

// A log of protocol 2 requests (and answers) with a thread name in it, as the file holds it.
std::string FrameOf(std::int32_t number, std::initializer_list<std::uint8_t> data) {
  quillon::TKorvanFrame2 frame;
  frame.Number = number;
  frame.Data = quillon::MakeBytes(data);
  return quillon::BytesToHex(quillon::TKorvanProtocol2::Encode(frame));
}

std::string LogLine(const char* arrow, const std::string& hex, const std::string& thread = "1") {
  return "[31.12.2024 10:15:00.123] [" + thread + "] [DEBUG] TPrinterProtocol2 " + arrow + " " +
         hex + "\r\n";
}

const std::string kStatusRequest = FrameOf(1, {0x11, 0x1E, 0, 0, 0});
const std::string kStatusAnswer = FrameOf(1, {0x11, 0x00, 0x01});
const std::string kTypeRequest = FrameOf(2, {0xFC});
const std::string kTypeAnswer = FrameOf(2, {0xFC, 0x00});

TEST_F(CliTest, EncodingOfEveryCommandThatReadsALog) {
  // A thread named "Ккм" in each encoding (short, so that it stays within the attributes
  // even when read in the wrong one).
  const std::string utf8 = "Ккм", cp1251 = quillon::Utf8ToCp1251(utf8), cp866 = "\x8A\xAA\xAC";
  struct TCase {
    std::string Thread;  // the bytes of the file
    const char* Option;
    std::string Shown;
  };
  const TCase cases[] = {
      {cp1251, "", utf8},
      {cp1251, "--encoding cp1251", utf8},
      {utf8, "", utf8},
      {utf8, "--encoding auto", utf8},
      {utf8, "--encoding utf8", utf8},
      {utf8, "--encoding cp1251", "РљРєРј"},
      {cp866, "--encoding cp866", utf8},
      {"\xEF\xBB\xBF" + utf8, "--encoding cp866", utf8},  // the mark wins
  };
  const std::string saved = (FDir / "saved.txt").string();
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Option) + " " + testing::PrintToString(c.Thread));
    // A mark stands at the start of the file, so the thread is the first line's.
    const bool mark = c.Thread.rfind("\xEF\xBB\xBF", 0) == 0;
    const std::string thread = mark ? c.Thread.substr(3) : c.Thread;
    const std::string log =
        Write("encoded.log", (mark ? "\xEF\xBB\xBF" : "") + LogLine("->", kStatusRequest, thread) +
                                 LogLine("<-", kStatusAnswer, thread));
    const std::string option = std::string(c.Option) + " ";

    TRun list = RunCli("list " + option + log);
    ASSERT_EQ(list.Status, 0) << list.Err;
    EXPECT_NE(list.Out.find("\t" + c.Shown + "\t"), std::string::npos) << list.Out;
    TRun show = RunCli("show " + option + log + " 1");
    ASSERT_EQ(show.Status, 0) << show.Err;
    EXPECT_NE(show.Out.find("[" + c.Shown + "]"), std::string::npos) << show.Out;
    ASSERT_EQ(RunCli("save " + option + log + " " + saved).Status, 0);
    std::ifstream in(saved, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(bytes.find("[" + quillon::Utf8ToCp1251(c.Shown) + "]"), std::string::npos);
    EXPECT_EQ(RunCli("stats " + option + log).Status, 0);
    EXPECT_EQ(RunCli("diff " + option + log + " " + log).Status, 0);
  }

  const std::string log = Write("plain.log", LogLine("->", kStatusRequest));
  for (const std::string& command :
       {"list " + log, "list --follow " + log, "stats " + log, "show " + log + " 1",
        "save " + log + " " + saved, "diff " + log + " " + log}) {
    SCOPED_TRACE(command);
    TRun bad = RunCli(command + " --encoding koi8");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_EQ(bad.Out, "");
    EXPECT_NE(bad.Err.find("--encoding: koi8 not in {auto,cp1251,utf8,cp866}"), std::string::npos)
        << bad.Err;
  }
}

TEST_F(CliTest, ListFollowPrintsWhatTheDriverAppends) {
  const std::string status = LogLine("->", kStatusRequest) + LogLine("<-", kStatusAnswer);
  const std::string type = LogLine("->", kTypeRequest) + LogLine("<-", kTypeAnswer);
  struct TCase {
    std::vector<std::string> Options;
    std::vector<std::size_t> Numbers;  // printed in the end
  };
  // Commands 1, 3, 4 are status requests, 2 one of the device type; the log is then cut
  // down to one status request.
  const TCase cases[] = {{{}, {1, 2, 3, 4, 1}},
                         {{"--json", "--filter", "code == 11"}, {1, 3, 4, 1}}};
  for (const TCase& c : cases) {
    const bool json = !c.Options.empty();
    SCOPED_TRACE(json ? "json" : "text");
    const std::string log = Write("follow.log", status + type);
    std::vector<std::string> args{"list", "--follow"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    args.push_back(log);
    quillon::test::TChild cli(args, FDir.string(), true);
    ASSERT_TRUE(cli.Started());
    // The commands printed so far: their numbers, and whether each was answered.
    std::vector<std::size_t> numbers;
    std::vector<bool> answered;
    auto printed = [&] {
      numbers.clear();
      answered.clear();
      for (const std::string& line : Lines(cli.Output())) {
        if (json) {
          const auto j = nlohmann::json::parse(line);
          numbers.push_back(j["n"].get<std::size_t>());
          answered.push_back(!j["rx"].get<std::string>().empty());
        } else {
          numbers.push_back(std::stoul(line));
          answered.push_back(line.back() != '!');
        }
      }
      return numbers;
    };
    auto upTo = [&](std::size_t k) {
      return std::vector<std::size_t>(c.Numbers.begin(), c.Numbers.begin() + k);
    };
    auto append = [&](const std::string& bytes) {
      std::ofstream(log, std::ios::binary | std::ios::app) << bytes;
    };

    // The last command of the log is printed too, a while after its answer.
    ASSERT_TRUE(cli.WaitUntil([&] { return printed() == upTo(json ? 1 : 2); })) << cli.Output();
    append(status);
    ASSERT_TRUE(cli.WaitUntil([&] { return printed() == upTo(json ? 2 : 3); })) << cli.Output();
    // A request whose answer comes later than the wait for more lines, in two pieces: it is
    // not printed before the answer is in.
    const std::string answer = LogLine("<-", kStatusAnswer);
    append(LogLine("->", kStatusRequest));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    append(answer.substr(0, 40));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    append(answer.substr(40));
    ASSERT_TRUE(cli.WaitUntil([&] { return printed() == upTo(json ? 3 : 4); })) << cli.Output();
    EXPECT_EQ(answered, std::vector<bool>(answered.size(), true));

    // Cut short: a note, and the log from its start.
    Write("follow.log", status);
    ASSERT_TRUE(cli.WaitUntil([&] { return printed() == c.Numbers; })) << cli.Output();
    EXPECT_EQ(cli.Errors(), "Файл журнала усечён, читаю заново\n");
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(), 130);
    EXPECT_EQ(printed(), c.Numbers);
    EXPECT_EQ(cli.Output().back(), '\n');
  }
}

}  // namespace
