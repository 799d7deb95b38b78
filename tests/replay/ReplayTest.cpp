// A generated log replayed through the real driver to the emulator over TCP.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "LogGenerator.h"
#include "core/BinUtils.h"
#include "core/LogParser2.h"
#include "core/TextFile.h"
#include "driver/TarvexDriver.h"
#include "emulator/Emulator.h"
#include "player/untQuillon.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

bool IsBusy(const std::string& answer) {
  int result = TCommand::GetResCode(answer);
  return result == 0x50 || result == 0x4B;
}

TEST(ReplayEndToEnd, EveryPlayedAnswerIsTheLoggedOne) {
  fs::path file =
      fs::temp_directory_path() / ("quillon-replay-" + std::to_string(getpid()) + ".log");
  {
    std::ofstream out(file, std::ios::binary);
    loggen::TOptions options;
    options.Commands = 300;
    options.Seed = 77;
    loggen::Generate(out, options);
  }
  TEmulatorOptions emulatorOptions;
  emulatorOptions.Listen = "127.0.0.1:0";
  emulatorOptions.LogFile = file.string();
  emulatorOptions.ByteTimeoutMs = 1;
  TEmulator emulator(emulatorOptions);
  std::uint16_t port = emulator.Start();

  TDriverSettings settings;
  settings.Address = "tcp://127.0.0.1:" + std::to_string(port);
  settings.ByteTimeout = 20;
  settings.AnswerTimeout = 200;  // commands the log left unanswered time out
  TDriver driver(settings);

  std::vector<std::string> lines;
  ReadTextLines(file.string(), TTextEncoding::Windows1251, lines);
  TCommandList commands;
  ParseLog(lines, commands);
  ASSERT_GT(commands.Count(), 250u);
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

  std::size_t compared = 0, busy = 0;
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
      // The player asks again, and the emulator answers as the device did the next time.
      ASSERT_LT(i + 1, commands.Count());
      EXPECT_EQ(commands[i + 1].TxData(), command.TxData());
      EXPECT_EQ(command.PlayedAnswerData(), commands[i + 1].AnswerData());
      ++busy;
      continue;
    }
    EXPECT_EQ(command.PlayedAnswerData(), command.AnswerData());
    ++compared;
  }
  EXPECT_GT(compared, 200u);
  EXPECT_GT(busy, 0u);
  EXPECT_GT(questions, 0u);
  emulator.Stop();
  emulator.Wait();
  fs::remove(file);
}

}  // namespace
}  // namespace quillon
