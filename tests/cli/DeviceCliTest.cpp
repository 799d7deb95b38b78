// quillon-cli emulate, status and replay, run as the user runs them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "ChildProcess.h"
#include "LogEdit.h"
#include "LogGenerator.h"
#include "core/CommandCode.h"
#include "driver/DriverSettings.h"

namespace {

namespace fs = std::filesystem;

using quillon::test::TChild;

class DeviceCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("quillon-device-cli-" + std::to_string(getpid()));
    fs::create_directories(FDir);
    // Short timeouts, so that commands the log left unanswered fail quickly.
    quillon::TDriverSettings settings;
    settings.ByteTimeout = 20;
    settings.AnswerTimeout = 200;
    std::string error;
    fs::create_directories(FDir / "KORVANIX" / "Quillon");
    ASSERT_TRUE(quillon::SaveDriverSettings((FDir / "KORVANIX" / "Quillon" / "driver.xml").string(),
                                            settings, error))
        << error;
    FLog = (FDir / "replay.log").string();
    std::ofstream out(FLog, std::ios::binary);
    quillon::loggen::TOptions options;
    options.Commands = 40;
    options.Seed = 5;
    quillon::loggen::Generate(out, options);
  }
  void TearDown() override { fs::remove_all(FDir); }

  // Starts the emulator on a free port and answers its address.
  std::string StartEmulator(TChild& emulator) {
    EXPECT_TRUE(emulator.WaitFor("слушает "));
    std::string out = emulator.Output();
    std::size_t at = out.find("слушает ") + std::string("слушает ").size();
    return "tcp://" + out.substr(at, out.find('\n', at) - at);
  }

  TChild Run(const std::vector<std::string>& args) { return TChild(args, FDir.string()); }

  fs::path FDir;
  std::string FLog;
};

TEST_F(DeviceCliTest, StatusOfTheEmulatorAndOfNothing) {
  TChild emulator({"emulate", "--listen", "127.0.0.1:0", "--byte-timeout-ms", "1"}, FDir.string());
  std::string device = StartEmulator(emulator);
  TChild status({"status", "--device", device}, FDir.string());
  EXPECT_EQ(status.Wait(), 0);
  EXPECT_NE(status.Output().find("Запрос состояния: Успешно\nРежим   : "), std::string::npos)
      << status.Output();
  EXPECT_NE(status.Output().find("\nПодрежим: 0, "), std::string::npos);
  emulator.Signal(SIGINT);
  EXPECT_EQ(emulator.Wait(), 0);
  EXPECT_NE(emulator.Output().find("11 1E 00 00 00 -> 11 00"), std::string::npos);

  TChild nothing({"status", "--device", device}, FDir.string());
  EXPECT_EQ(nothing.Wait(), 1);
  EXPECT_NE(nothing.Output().find("Запрос состояния: Ошибка: -"), std::string::npos)
      << nothing.Output();
  TChild bad({"status", "--device", "ftp://x"}, FDir.string());
  EXPECT_EQ(bad.Wait(), 2);
}

TEST_F(DeviceCliTest, ReplayAnswersTheErrorQuestion) {
  TChild emulator({"emulate", "--listen", "127.0.0.1:0", "--byte-timeout-ms", "1", "--log", FLog},
                  FDir.string());
  std::string device = StartEmulator(emulator);

  // Nobody at the terminal: the first error question stops the playback.
  TChild alone({"replay", FLog, "--device", device}, FDir.string());
  EXPECT_EQ(alone.Wait(), 1);
  std::string out = alone.Output();
  EXPECT_NE(out.find("(1/"), std::string::npos) << out;
  EXPECT_NE(out.find("Продолжить? нет"), std::string::npos) << out;
  EXPECT_NE(out.find(": Ошибка: "), std::string::npos) << out;
  EXPECT_NE(out.find("Сыграно: "), std::string::npos);

  // --yes goes on to the end; the summary counts the whole log.
  TChild yes({"replay", FLog, "--device", device, "--yes", "--except", ""}, FDir.string());
  EXPECT_EQ(yes.Wait(), 1);  // the log has failed commands
  out = yes.Output();
  EXPECT_NE(out.find("Продолжить? да"), std::string::npos) << out;
  EXPECT_EQ(out.find("Продолжить? нет"), std::string::npos);
  EXPECT_NE(out.find("пропущено: 0"), std::string::npos) << out;

  // One command from the middle.
  TChild one({"replay", FLog, "--device", device, "--from", "3", "--count", "1", "--yes"},
             FDir.string());
  one.Wait();
  EXPECT_NE(one.Output().find("(3/"), std::string::npos) << one.Output();
  EXPECT_EQ(one.Output().find("(4/"), std::string::npos);
  emulator.Signal(SIGTERM);
  emulator.Wait();
}

// The emulator's own register speaks protocol 1 unless told; the log's commands are of 2.
TEST_F(DeviceCliTest, CtrlCStopsEndlessPlayAfterTheCommandInProgress) {
  TChild emulator(
      {"emulate", "--listen", "127.0.0.1:0", "--byte-timeout-ms", "1", "--protocol", "2"},
      FDir.string());
  std::string device = StartEmulator(emulator);
  TChild loop({"replay", FLog, "--device", device, "--loop", "--ignore-device-errors", "--yes"},
              FDir.string());
  ASSERT_TRUE(loop.WaitFor("Цикл 2 (")) << loop.Output();
  loop.Signal(SIGINT);
  EXPECT_EQ(loop.Wait(), 130);
  std::string out = loop.Output();
  EXPECT_NE(out.find("Остановка после текущей команды"), std::string::npos);
  EXPECT_NE(out.find("Сыграно: "), std::string::npos) << out;
  emulator.Signal(SIGINT);
  emulator.Wait();
}

// The counts at the end of a dry run: sent, skipped, refused.
std::array<std::size_t, 3> DryRunCounts(const std::string& out) {
  std::array<std::size_t, 3> counts{};
  const std::size_t at = out.find("Будет отправлено: ");
  if (at != std::string::npos)
    std::sscanf(out.c_str() + at,
                "Будет отправлено: %zu, пропущено: %zu, не может быть отправлено: %zu", &counts[0],
                &counts[1], &counts[2]);
  return counts;
}

TEST_F(DeviceCliTest, UsageErrorsAndTheRangeGiveStatusTwo) {
  struct TCase {
    std::vector<std::string> Args;
    std::string Message;
  };
  const TCase cases[] = {
      {{"replay", FLog}, "--device is required"},
      {{"replay", FLog, "--device", "tcp://127.0.0.1:1", "--from", "45"},
       "В журнале 44 команд, команды 45 нет"},
      {{"replay", FLog, "--dry-run", "--from", "100"}, "В журнале 44 команд, команды 100 нет"},
      {{"replay", FLog, "--dry-run", "--protocol", "4"}, "--protocol"},
      {{"status", "--device", "tcp://127.0.0.1:1", "--protocol", "0"}, "--protocol"},
  };
  for (const TCase& c : cases) {
    TChild child = Run(c.Args);
    EXPECT_EQ(child.Wait(), 2) << c.Args.back();
    EXPECT_NE(child.Output().find(c.Message), std::string::npos) << child.Output();
  }
}

// A dry run says what a replay then does, and touches no device.
TEST_F(DeviceCliTest, DryRunForetellsTheReplay) {
  TChild emulator({"emulate", "--listen", "127.0.0.1:0", "--byte-timeout-ms", "1", "--log", FLog},
                  FDir.string());
  const std::string device = StartEmulator(emulator);
  TChild dry = Run({"replay", FLog, "--dry-run", "--from", "3"});
  EXPECT_EQ(dry.Wait(), 1);  // the log's sync frames cannot be sent
  const std::string out = dry.Output();
  EXPECT_EQ(out.find("Протокол 2 (как в журнале)\n"), 0u) << out;
  EXPECT_EQ(out.find("(2/44)"), std::string::npos);
  EXPECT_NE(out.find("(3/44) "), std::string::npos);
  EXPECT_NE(out.find(": пропускается (команда-исключение)\n"), std::string::npos);
  EXPECT_NE(out.find("Sync: не может быть отправлена: пустой запрос\n"), std::string::npos);
  // Nothing reached the emulator.
  EXPECT_EQ(emulator.Output().find(" -> "), std::string::npos) << emulator.Output();
  const auto counts = DryRunCounts(out);
  EXPECT_EQ(counts[0] + counts[1] + counts[2], 42u) << out;
  EXPECT_GT(counts[1], 0u);
  EXPECT_GT(counts[2], 0u);

  TChild replay = Run({"replay", FLog, "--device", device, "--from", "3", "--yes"});
  EXPECT_EQ(replay.Wait(), 1);
  std::size_t played = 0, failed = 0, skipped = 0;
  const std::string summary = replay.Output();
  ASSERT_EQ(std::sscanf(summary.c_str() + summary.find("Сыграно: "),
                        "Сыграно: %zu, с ошибкой: %zu, пропущено: %zu", &played, &failed, &skipped),
            3)
      << summary;
  // What cannot be sent is still tried, and fails.
  EXPECT_EQ(played, counts[0] + counts[2]);
  EXPECT_EQ(skipped, counts[1]);
  EXPECT_GE(failed, counts[2]);

  // The same log with a longer exception list and protocol 1 named.
  TChild named = Run({"replay", FLog, "--dry-run", "--protocol", "1", "--except", "FF 0A, 11"});
  named.Wait();
  EXPECT_EQ(named.Output().find("Протокол 1\n"), 0u) << named.Output();
  EXPECT_GT(DryRunCounts(named.Output())[1], counts[1]);
  emulator.Signal(SIGINT);
  emulator.Wait();
}

// A second Ctrl+C ends the program at once, even while the device keeps it waiting.
TEST_F(DeviceCliTest, ASecondCtrlCEndsAtOnce) {
  TChild emulator({"emulate", "--listen", "127.0.0.1:0", "--delay-ms", "5000", "--protocol", "2"},
                  FDir.string());
  const std::string device = StartEmulator(emulator);
  TChild replay = Run({"replay", FLog, "--device", device, "--yes"});
  ASSERT_TRUE(replay.WaitFor("(1/44)")) << replay.Output();
  replay.Signal(SIGINT);
  ASSERT_TRUE(replay.WaitFor("Остановка после текущей команды")) << replay.Output();
  const auto start = std::chrono::steady_clock::now();
  replay.Signal(SIGINT);
  EXPECT_EQ(replay.Wait(), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_NE(replay.Output().find("Прервано"), std::string::npos) << replay.Output();
  emulator.Signal(SIGINT);
  emulator.Wait();
}

// Ctrl+C ends the exchange the device keeps waiting, at once, and the summary follows.
TEST_F(DeviceCliTest, CtrlCDuringALongDeviceDelay) {
  TChild emulator({"emulate", "--listen", "127.0.0.1:0", "--delay-ms", "5000", "--protocol", "2"},
                  FDir.string());
  const std::string device = StartEmulator(emulator);
  TChild replay = Run({"replay", FLog, "--device", device, "--yes"});
  ASSERT_TRUE(replay.WaitFor("(1/44)")) << replay.Output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  replay.Signal(SIGINT);
  EXPECT_EQ(replay.Wait(), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  const std::string out = replay.Output();
  EXPECT_NE(out.find("Сыграно: 1, с ошибкой: 1, пропущено: 43"), std::string::npos) << out;
  EXPECT_EQ(out.find("Прервано"), std::string::npos);
  emulator.Signal(SIGINT);
  emulator.Wait();
}

// Each protocol named on both sides, and a trace that quillon-cli reads as a log.
TEST_F(DeviceCliTest, ReplayInEachProtocolWithATrace) {
  for (const char* protocol : {"1", "2", "3"}) {
    SCOPED_TRACE(protocol);
    TChild emulator({"emulate", "--listen", "127.0.0.1:0", "--byte-timeout-ms", "1", "--log", FLog,
                     "--protocol", protocol},
                    FDir.string());
    const std::string device = StartEmulator(emulator);
    TChild status = Run({"status", "--device", device, "--protocol", protocol});
    EXPECT_EQ(status.Wait(), 0) << status.Output();
    const std::string trace = (FDir / (std::string("trace") + protocol + ".log")).string();
    TChild replay = Run({"replay", FLog, "--device", device, "--protocol", protocol, "--yes",
                         "--ignore-device-errors", "--trace", trace});
    replay.Wait();
    const std::string out = replay.Output();
    std::size_t played = 0, failed = 0, skipped = 0;
    ASSERT_NE(out.find("Сыграно: "), std::string::npos) << out;
    std::sscanf(out.c_str() + out.find("Сыграно: "), "Сыграно: %zu, с ошибкой: %zu, пропущено: %zu",
                &played, &failed, &skipped);
    EXPECT_GT(played, 30u);
    TChild stats = Run({"stats", trace});
    EXPECT_EQ(stats.Wait(), 0);
    std::size_t traced = 0;
    const std::string listed = stats.Output();
    ASSERT_NE(listed.find("Команд\t"), std::string::npos) << listed;
    std::sscanf(listed.c_str() + listed.find("Команд\t"), "Команд\t%zu", &traced);
    // Every command sent is in the trace (busy ones once for each time asked); the sync
    // frames and requests too long for the link never went out.
    EXPECT_GE(traced, played - failed);
    EXPECT_LE(traced, played + 10);
    emulator.Signal(SIGINT);
    emulator.Wait();
  }
}

// Each report line by its command number.
std::map<std::size_t, nlohmann::json> ReadReport(const fs::path& file) {
  std::map<std::size_t, nlohmann::json> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    nlohmann::json j = nlohmann::json::parse(line);
    const auto n = j["n"].get<std::size_t>();
    lines[n] = std::move(j);
  }
  return lines;
}

// The emulator answers from a copy of the log with some answers changed: the replay's
// report names exactly those commands, with their verdicts and fields.
TEST_F(DeviceCliTest, ReplayReportsTheChangedAnswers) {
  quillon::test::TLogEdit edit(FLog);
  const quillon::TCommandList& commands = edit.Commands();
  const std::size_t result = quillon::test::FindAnswered(commands, 0x10, 3);
  const std::size_t mode = quillon::test::FindAnswered(commands, 0x11, 48);
  const std::size_t model = quillon::test::FindAnswered(commands, 0xFC, 8);
  const std::size_t clock = quillon::test::FindAnswered(commands, 0x11, 48, mode + 1);
  ASSERT_NE(result * mode * model * clock, 0u);
  edit.SetAnswerByte(result, 1, 0x37);
  edit.SetAnswerByte(mode, 15, 0x02);   // ECRMode
  edit.SetAnswerByte(model, 6, 0x05);   // Model
  edit.SetAnswerByte(clock, 29, 0x3B);  // ECRTime
  edit.SetAnswerByte(clock, 11, 0x01);  // DocumentNumber
  const std::string changedLog = (FDir / "changed.log").string();
  edit.Save(changedLog);

  auto replay = [&](const std::string& log, const fs::path& report, bool failOnDiff) {
    TChild emulator({"emulate", "--listen", "127.0.0.1:0", "--byte-timeout-ms", "1", "--log", log},
                    FDir.string());
    std::vector<std::string> args = {"replay", FLog,       "--device",     StartEmulator(emulator),
                                     "--yes",  "--report", report.string()};
    if (failOnDiff) args.push_back("--fail-on-diff");
    TChild player(args, FDir.string());
    const int status = player.Wait();
    emulator.Signal(SIGTERM);
    emulator.Wait();
    return std::make_pair(status, player.Output());
  };
  // The unchanged log first: what a replay cannot reproduce by nature.
  const auto [baseStatus, baseOut] = replay(FLog, FDir / "base.jsonl", false);
  const auto base = ReadReport(FDir / "base.jsonl");
  ASSERT_EQ(base.size(), commands.Count()) << baseOut;
  for (const auto& [n, line] : base) {
    const quillon::TCommand& command = commands[n - 1];
    SCOPED_TRACE(line.dump());
    if (command.Code() == 0xFF0A || command.TxData().empty())
      EXPECT_EQ(line["verdict"], "not_played");  // excepted by default, or a Sync
    else if (command.AnswerData().empty() || quillon::IsBusyResult(command.ResCode()))
      EXPECT_EQ(line["verdict"], "no_logged_answer");  // none, or busy: the player waited it out
    else
      EXPECT_EQ(line["verdict"], "same");
  }

  const auto [status, out] = replay(changedLog, FDir / "changed.jsonl", true);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("Сыграно: "), std::string::npos) << out;
  EXPECT_NE(out.find("\nСравнение: совпадает "), std::string::npos) << out;
  const auto changed = ReadReport(FDir / "changed.jsonl");
  ASSERT_EQ(changed.size(), commands.Count());
  for (const auto& [n, line] : changed) {
    SCOPED_TRACE(line.dump());
    EXPECT_EQ(line["code"], commands[n - 1].Code());
    EXPECT_EQ(line["name"], commands[n - 1].CommandName());
    auto names = [&line] {
      std::vector<std::pair<std::string, bool>> fields;
      for (const auto& field : line["fields"]) {
        EXPECT_NE(field["logged"], field["played"]);
        fields.emplace_back(field["name"], field["volatile"]);
      }
      return fields;
    };
    using TFields = std::vector<std::pair<std::string, bool>>;
    if (n == result) {
      EXPECT_EQ(line["verdict"], "result_differs");
      EXPECT_EQ(line["result_logged"], 0);
      EXPECT_EQ(line["result_played"], 0x37);
    } else if (n == mode) {
      EXPECT_EQ(line["verdict"], "data_differs");
      EXPECT_EQ(names(), (TFields{{"ECRMode", false}}));
    } else if (n == model) {
      EXPECT_EQ(line["verdict"], "data_differs");
      EXPECT_EQ(names(), (TFields{{"Model", false}}));
    } else if (n == clock) {
      EXPECT_EQ(line["verdict"], "same");
      EXPECT_EQ(names(), (TFields{{"DocumentNumber", true}, {"ECRTime", true}}));
    } else {
      EXPECT_EQ(line, base.at(n));
    }
  }
}

}  // namespace