// Generated logs replayed through the real driver to the emulator over TCP.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "LogGenerator.h"
#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/LogParser2.h"
#include "core/TextFile.h"
#include "driver/TarvexDriver.h"
#include "emulator/Emulator.h"
#include "player/untQuillon.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

bool IsBusy(const std::string& answer) {
  return IsBusyResult(TCommand::GetResCode(answer));
}

class ReplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FFile = fs::temp_directory_path() / ("quillon-replay-" + std::to_string(getpid()) + ".log");
    std::ofstream out(FFile, std::ios::binary);
    loggen::TOptions options;
    options.Commands = 300;
    options.Seed = 77;
    loggen::Generate(out, options);
  }
  void TearDown() override { fs::remove(FFile); }

  // Plays the whole log against an emulator with these faults; every error question is
  // answered "go on". Returns the number of questions.
  std::size_t Play(TEmulatorOptions options, TCommandList& commands) {
    options.Listen = "127.0.0.1:0";
    options.LogFile = FFile.string();
    options.ByteTimeoutMs = 1;
    TEmulator emulator(options);
    std::uint16_t port = emulator.Start();
    TDriverSettings settings;
    settings.Address = "tcp://127.0.0.1:" + std::to_string(port);
    settings.ByteTimeout = 20;
    settings.AnswerTimeout = 200;  // commands the log left unanswered time out
    TDriver driver(settings);

    std::vector<std::string> lines;
    ReadTextLines(FFile.string(), TTextEncoding::Windows1251, lines);
    ParseLog(lines, commands);
    for (const auto& command : commands) command->Selected = true;
    TNotifyBus bus;
    TQuillon player(bus, [](std::chrono::milliseconds) {});
    std::size_t questions = 0;
    auto query = bus.Subscribe(kChannelErrorQuery, [&](const std::string&) {
      ++questions;
      player.SetPlayMode(pmContinue);
    });
    // The whole log: a skipped command would leave its recorded answer unused.
    player.PlayLog(driver, commands, nullptr, 0, 0, false);
    emulator.Stop();
    emulator.Wait();
    return questions;
  }

  // Checks every played answer against the log; answers how many were compared.
  static std::size_t CompareWithLog(const TCommandList& commands, std::size_t* busy = nullptr) {
    std::size_t compared = 0;
    for (std::size_t i = 0; i < commands.Count(); ++i) {
      const TCommand& command = commands[i];
      SCOPED_TRACE("command " + std::to_string(i + 1) + " line " +
                   std::to_string(command.LineNumber()));
      EXPECT_TRUE(command.Played);
      // Frames of protocol 1 carry at most 255 bytes; sync frames carry none.
      std::size_t size = HexToBytes(command.TxData()).size();
      if (size == 0 || size > 255 || HexToBytes(command.AnswerData()).size() > 255) continue;
      if (command.AnswerData().empty()) {
        EXPECT_EQ(command.PlayedAnswerData(), "") << "no answer in the log: a time-out";
        continue;
      }
      if (IsBusy(command.AnswerData())) {
        // The player asks again; the emulator answers as the device did the next time.
        EXPECT_LT(i + 1, commands.Count());
        if (i + 1 < commands.Count()) {
          EXPECT_EQ(command.PlayedAnswerData(), commands[i + 1].AnswerData());
        }
        if (busy != nullptr) ++*busy;
        continue;
      }
      EXPECT_EQ(command.PlayedAnswerData(), command.AnswerData());
      ++compared;
    }
    return compared;
  }

  fs::path FFile;
};

TEST_F(ReplayTest, EveryPlayedAnswerIsTheLoggedOne) {
  TCommandList commands;
  std::size_t questions = Play({}, commands);
  ASSERT_GT(commands.Count(), 250u);
  std::size_t busy = 0;
  EXPECT_GT(CompareWithLog(commands, &busy), 200u);
  EXPECT_GT(busy, 0u);
  EXPECT_GT(questions, 0u);  // unanswered commands and sync frames are errors
}

TEST_F(ReplayTest, RefusedAndCorruptFramesAreRecoveredByRetries) {
  TEmulatorOptions faults;
  faults.NakEvery = 3;
  faults.GarbageEvery = 4;
  TCommandList commands;
  Play(faults, commands);
  EXPECT_GT(CompareWithLog(commands), 200u);
}

TEST_F(ReplayTest, SilenceAndDisconnectsAreReportedAndPlaybackGoesOn) {
  TEmulatorOptions faults;
  faults.DropEvery = 25;
  faults.DisconnectAfter = 40;
  TCommandList commands;
  auto start = std::chrono::steady_clock::now();
  std::size_t questions = Play(faults, commands);
  auto elapsed = std::chrono::steady_clock::now() - start;
  std::size_t played = 0, failed = 0;
  for (const auto& command : commands) {
    played += command->Played ? 1 : 0;
    std::string answer = command->PlayedAnswerData();
    failed += answer.empty() || TCommand::GetResCode(answer) != 0 ? 1 : 0;
  }
  EXPECT_EQ(played, commands.Count());  // every command was tried
  EXPECT_GT(questions, 10u);            // the dropped answers and lost links were asked about
  EXPECT_GT(failed, 10u);
  // Each failure costs at most the configured timeouts: nothing hangs.
  EXPECT_LT(elapsed, std::chrono::seconds(60));
}

}  // namespace
}  // namespace quillon
