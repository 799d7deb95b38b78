// Generated logs replayed through the real driver to the emulator over TCP.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LogGenerator.h"
#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/LinkProtocol.h"
#include "core/LogLoader.h"
#include "core/LogParser2.h"
#include "core/TextFile.h"
#include "driver/TarvexDriver.h"
#include "emulator/Emulator.h"
#include "player/PlayPlan.h"
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

  // The driver's settings for an emulator on this loopback port.
  static TDriverSettings Settings(std::uint16_t port, int protocol = 0) {
    TDriverSettings settings;
    settings.Address = "tcp://127.0.0.1:" + std::to_string(port);
    settings.ByteTimeout = 20;
    settings.AnswerTimeout = 200;  // commands the log left unanswered time out
    settings.Protocol = protocol;
    return settings;
  }

  void LoadCommands(TCommandList& commands) {
    std::vector<std::string> lines;
    ReadTextLines(FFile.string(), TTextEncoding::Windows1251, lines);
    ParseLog(lines, commands);
  }

  // Plays the whole log (passes passes, 0: once) to driver; every error question is
  // answered "go on". Returns the number of questions.
  static std::size_t PlayTo(IDriver& driver, TCommandList& commands, int passes = 0) {
    for (const auto& command : commands) command->Selected = true;
    TNotifyBus bus;
    TQuillon player(bus, [](std::chrono::milliseconds) {});
    std::size_t questions = 0;
    auto query = bus.Subscribe(kChannelErrorQuery, [&](const std::string&) {
      ++questions;
      player.SetPlayMode(pmContinue);
    });
    // The first command of the pass after the last one is still played.
    auto run = bus.Subscribe(kChannelCommandRun, [&](const std::string& message) {
      if (passes > 0 && message == "0 " + std::to_string(passes + 1)) player.StopPlaying();
    });
    player.BeginPlayback();
    // The whole log: a skipped command would leave its recorded answer unused.
    player.PlayLog(driver, commands, nullptr, 0, 0, passes > 0);
    return questions;
  }

  // Plays the whole log against an emulator with these faults, over the link protocol
  // (0: as the log).
  std::size_t Play(TEmulatorOptions options, TCommandList& commands, int protocol = 0) {
    options.Listen = "127.0.0.1:0";
    options.LogFile = FFile.string();
    options.ByteTimeoutMs = 1;
    options.Protocol = protocol;
    TEmulator emulator(options);
    std::uint16_t port = emulator.Start();
    TDriver driver(Settings(port, protocol));
    LoadCommands(commands);
    const std::size_t questions = PlayTo(driver, commands);
    emulator.Stop();
    emulator.Wait();
    return questions;
  }

  // Checks every played answer against the log; answers how many were compared. Requests
  // and answers longer than a frame of the protocol carries, and sync frames, are passed
  // over.
  static std::size_t CompareWithLog(const TCommandList& commands, std::size_t* busy = nullptr,
                                    int protocol = pProtocol1) {
    std::size_t compared = 0;
    const std::size_t limit = MaxFrameData(protocol);
    for (std::size_t i = 0; i < commands.Count(); ++i) {
      const TCommand& command = commands[i];
      SCOPED_TRACE("command " + std::to_string(i + 1) + " line " +
                   std::to_string(command.LineNumber()));
      EXPECT_TRUE(command.Played);
      std::size_t size = HexToBytes(command.TxData()).size();
      if (size == 0 || size > limit || HexToBytes(command.AnswerData()).size() > limit) continue;
      // The emulator's built-in register answers what the log left unanswered.
      if (command.AnswerData().empty()) continue;
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

TEST_F(ReplayTest, EachProtocolReplaysTheLogExactly) {
  for (int protocol : {1, 2, 3}) {
    SCOPED_TRACE("protocol " + std::to_string(protocol));
    TCommandList commands;
    Play({}, commands, protocol);
    EXPECT_GT(CompareWithLog(commands, nullptr, protocol), 200u);
  }
}

// The emulator's position in the log wraps for each connection: a second replay on the same
// emulator, and two passes of endless play, meet the log's answers again.
TEST_F(ReplayTest, ASecondReplayAndASecondPassAreExactToo) {
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.LogFile = FFile.string();
  options.ByteTimeoutMs = 1;
  TEmulator emulator(options);
  const std::uint16_t port = emulator.Start();
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("replay " + std::to_string(run));
    TDriver driver(Settings(port));
    TCommandList commands;
    LoadCommands(commands);
    PlayTo(driver, commands);
    EXPECT_GT(CompareWithLog(commands), 200u);
  }
  TDriver driver(Settings(port));
  TCommandList commands;
  LoadCommands(commands);
  PlayTo(driver, commands, 2);
  EXPECT_GT(CompareWithLog(commands), 200u);
  emulator.Stop();
  emulator.Wait();
}

// A stop ends an exchange that the device keeps waiting, soon.
TEST_F(ReplayTest, AStopDuringALongDeviceDelayReturnsAtOnce) {
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.ByteTimeoutMs = 1;
  options.DelayMs = 5000;
  TEmulator emulator(options);
  TDriverSettings settings = Settings(emulator.Start());
  settings.AnswerTimeout = 10000;
  TDriver driver(settings);
  TCommandList commands;
  LoadCommands(commands);
  for (const auto& command : commands) command->Selected = true;
  TNotifyBus bus;
  TQuillon player(bus);
  std::atomic<bool> running = false;
  auto run = bus.Subscribe(kChannelCommandRun, [&](const std::string&) { running = true; });
  player.BeginPlayback();
  std::thread worker([&] { player.PlayLog(driver, commands, nullptr, 0, 0, false); });
  while (!running) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // well inside the delay
  const auto start = std::chrono::steady_clock::now();
  player.StopPlaying();
  worker.join();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));  // 200 ms and a margin
  EXPECT_TRUE(commands[0].Played);
  EXPECT_FALSE(commands[1].Played);
  emulator.Stop();
  emulator.Wait();
}

// Over a pseudo-terminal at the slowest and the fastest line speed.
TEST_F(ReplayTest, ThroughAPseudoTerminal) {
  loggen::TOptions generated;
  generated.Commands = 12;
  generated.Seed = 3;
  {
    std::ofstream out(FFile, std::ios::binary | std::ios::trunc);
    loggen::Generate(out, generated);
  }
  for (int baud : {2400, 115200}) {
    SCOPED_TRACE("baud " + std::to_string(baud));
    TEmulatorOptions options;
    options.Pty = true;
    options.Baud = baud;
    options.LogFile = FFile.string();
    options.ByteTimeoutMs = 1;
    TEmulator emulator(options);
    emulator.Start();
    TDriverSettings settings;
    settings.Address = "serial:" + emulator.TerminalPath() + "?baud=" + std::to_string(baud);
    settings.ByteTimeout = 200;
    settings.AnswerTimeout = 2000;
    TDriver driver(settings);
    TCommandList commands;
    LoadCommands(commands);
    PlayTo(driver, commands);
    EXPECT_GT(CompareWithLog(commands), 6u);
    emulator.Stop();
    emulator.Wait();
  }
}

// The trace of a replay, read as a log, lists the commands sent with the answers the
// register gave; a busy command is listed once for each time it was asked.
TEST_F(ReplayTest, TheTraceReadsBackAsTheReplayedLog) {
  const fs::path trace = FFile.string() + ".trace.log";
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.LogFile = FFile.string();
  options.ByteTimeoutMs = 1;
  TEmulator emulator(options);
  TDriverSettings settings = Settings(emulator.Start());
  settings.TraceFile = trace.string();
  TCommandList commands;
  LoadCommands(commands);
  {
    TDriver driver(settings);
    PlayTo(driver, commands);
  }
  emulator.Stop();
  emulator.Wait();

  TCommandList traced;
  TLogLoadResult loaded = LoadLog(TLogSource::File(trace.string()), traced);
  fs::remove(trace);
  EXPECT_TRUE(loaded.Diagnostics.empty());
  std::size_t t = 0, matched = 0;
  for (std::size_t i = 0; i < commands.Count(); ++i) {
    const TCommand& command = commands[i];
    const std::size_t size = HexToBytes(command.TxData()).size();
    if (size == 0 || size > MaxFrameData(pProtocol1)) continue;  // refused by the driver
    SCOPED_TRACE("command " + std::to_string(i + 1));
    // Retries of a busy answer come first, each with its busy answer.
    while (t + 1 < traced.Count() && traced[t].TxData() == command.TxData() &&
           traced[t + 1].TxData() == command.TxData() && IsBusy(traced[t].AnswerData()))
      ++t;
    ASSERT_LT(t, traced.Count());
    EXPECT_EQ(traced[t].TxData(), command.TxData());
    EXPECT_EQ(traced[t].AnswerData(), command.PlayedAnswerData());
    matched += traced[t].AnswerData() == command.PlayedAnswerData() ? 1 : 0;
    ++t;
  }
  EXPECT_EQ(t, traced.Count());
  EXPECT_GT(matched, 200u);
}

}  // namespace
}  // namespace quillon
