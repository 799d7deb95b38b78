#include <gtest/gtest.h>

#include <thread>

#include "FakeDriver.h"
#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/LinkProtocol.h"
#include "player/NotifyThread.h"
#include "player/PlayPlan.h"
#include "player/untQuillon.h"

namespace quillon::test {
namespace {

using Messages = std::vector<std::string>;

class PlayerTest : public ::testing::Test {
 protected:
  TNotifyBus bus;
  TRecorder recorder{bus};
  std::vector<std::chrono::milliseconds> sleeps;
  TQuillon player{bus, [this](std::chrono::milliseconds pause) { sleeps.push_back(pause); }};
  TFakeDriver drv;
  TCommandList commands;

  void Play(int first = 0, int count = 0, const std::vector<std::string>* except = nullptr) {
    player.PlayLog(drv, commands, except, first, count, false);
  }
};

TEST_F(PlayerTest, BusyResultsAreRetriedFiveTimesAtMostPerCommand) {
  FillCommands(commands, {"11 1E 00 00 00", "10 1E 00 00 00", "FF 01 1E"});
  // The first command stays busy, the second is busy four times, the third alternates.
  for (int i = 0; i < 5; ++i) drv.Script.push_back({0x4B, "", "Буфер чека переполнен"});
  for (int i = 0; i < 4; ++i) drv.Script.push_back({0x50, "", "Идет печать"});
  drv.Script.push_back({0, "10 00 01 02"});
  drv.Script.push_back({0x50});
  drv.Script.push_back({0x4B});
  drv.Script.push_back({0, "FF 01 00"});
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmContinue); };
  Play();

  EXPECT_EQ(drv.Exchanges(), 5 + 5 + 3);
  EXPECT_EQ(sleeps.size(), 5u + 4u + 2u);
  for (auto pause : sleeps) EXPECT_EQ(pause, std::chrono::milliseconds(50));
  EXPECT_EQ(recorder.Messages(),
            (Messages{"CommandRun: 0", "ErrorQuery: 0 75, Буфер чека переполнен", "CommandRun: 1",
                      "CommandRun: 2"}));
  EXPECT_EQ(commands[0].PlayedAnswerData(), "11 4B");
  EXPECT_EQ(commands[1].PlayedAnswerData(), "10 00 01 02");
  EXPECT_EQ(commands[2].PlayedAnswerData(), "FF 01 00");
  // The calls of one command, in order.
  Messages second(drv.Calls.begin() + 9, drv.Calls.begin() + 17);
  EXPECT_EQ(second, (Messages{"SetBinaryConversion 1", "SetTransferBytes 10 1E 00 00 00",
                              "ExchangeBytes", "ExchangeBytes", "ExchangeBytes", "ExchangeBytes",
                              "ExchangeBytes", "TransferBytes"}));
  Messages failed(drv.Calls.begin() + 7, drv.Calls.begin() + 9);
  EXPECT_EQ(failed, (Messages{"ResultCode", "ResultCodeDescription"}));
}

TEST_F(PlayerTest, FailedCommandsKeepTheirCodeAndResult) {
  FillCommands(commands, {"FF 01", "11", "F", "FF", "10", "12"});
  drv.Script = {{0x02, "", "Неверное состояние"},
                {0x50},
                {0x50},
                {0x50},
                {0x50},
                {0x50},
                {0x03},
                {0x04},
                {deNoConnection, "", "Нет связи"},
                {0, "12 00 05"}};
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmContinue); };
  Play();

  EXPECT_EQ(commands[0].PlayedAnswerData(), "FF 01 02");
  EXPECT_EQ(commands[1].PlayedAnswerData(), "11 50");
  EXPECT_EQ(commands[2].PlayedAnswerData(), "");
  EXPECT_EQ(commands[3].PlayedAnswerData(), "FF 00 04");
  // A driver error keeps what the driver left in TransferBytes.
  EXPECT_EQ(commands[4].PlayedAnswerData(), "10");
  EXPECT_EQ(commands[5].PlayedAnswerData(), "12 00 05");
  for (const auto& command : commands) EXPECT_TRUE(command->Played);
  Messages queries;
  for (const auto& message : recorder.Messages())
    if (message.starts_with("ErrorQuery")) queries.push_back(message);
  EXPECT_EQ(queries,
            (Messages{"ErrorQuery: 0 2, Неверное состояние", "ErrorQuery: 1 80, ",
                      "ErrorQuery: 2 3, ", "ErrorQuery: 3 4, ", "ErrorQuery: 4 -1, Нет связи"}));
}

TEST_F(PlayerTest, ExceptedAndUnselectedCommandsAreSkippedSilently) {
  FillCommands(commands, {"11", "FF 0A 01", "00 01", "10"});
  commands[3].Selected = false;
  const std::vector<std::string> except{"FF 0A", ""};
  Play(0, 0, &except);
  EXPECT_EQ(recorder.Messages(), (Messages{"CommandRun: 0"}));
  EXPECT_EQ(drv.Exchanges(), 1);
  EXPECT_TRUE(commands[0].Played);
  for (int i : {1, 2, 3}) EXPECT_FALSE(commands[i].Played) << i;

  EXPECT_TRUE(TQuillon::IsPlayable(commands[1], nullptr));
  const std::vector<std::string> none;
  EXPECT_TRUE(TQuillon::IsPlayable(commands[2], &none));
  EXPECT_FALSE(TQuillon::IsPlayable(commands[2], &except));
  EXPECT_TRUE(TQuillon::IsPlayable(commands[0], &except));
}

TEST_F(PlayerTest, ErrorQueryAnswersContinueOrStop) {
  FillCommands(commands, {"11", "10", "12"});
  drv.Script = {{0x02, "", "Ошибка"}};
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmContinue); };
  Play();
  EXPECT_EQ(recorder.Messages(), (Messages{"CommandRun: 0", "ErrorQuery: 0 2, Ошибка",
                                           "CommandRun: 1", "CommandRun: 2"}));
  EXPECT_EQ(player.PlayMode(), pmPlay);

  TRecorder stopped(bus);
  drv.Script = {{0}, {0x02, "", "Ошибка"}};
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmStop); };
  Play();
  EXPECT_EQ(stopped.Messages(), (Messages{"CommandRun: 0", "CommandRun: 1",
                                          "ErrorQuery: 1 2, Ошибка", "Error: 1 -1 2, Ошибка"}));
}

TEST_F(PlayerTest, ErrorQueryAnsweredFromAnotherThread) {
  FillCommands(commands, {"11", "10", "12", "13"});
  drv.Script = {{0x02, "", "Ошибка"}, {0}, {0x03, "", "Сбой"}};
  std::thread worker([&] { Play(); });
  recorder.WaitFor("ErrorQuery: 0 2, Ошибка");
  player.SetPlayMode(pmContinue);
  recorder.WaitFor("ErrorQuery: 2 3, Сбой");
  player.SetPlayMode(pmStop);
  worker.join();
  EXPECT_EQ(recorder.Messages(),
            (Messages{"CommandRun: 0", "ErrorQuery: 0 2, Ошибка", "CommandRun: 1", "CommandRun: 2",
                      "ErrorQuery: 2 3, Сбой", "Error: 2 -1 3, Сбой"}));
  EXPECT_FALSE(commands[3].Played);
}

TEST_F(PlayerTest, StopWhileAQueryIsPendingEndsPlayback) {
  FillCommands(commands, {"11", "10"});
  drv.Script = {{0x02, "", "Ошибка"}};
  std::thread worker([&] { Play(); });
  recorder.WaitFor("ErrorQuery: 0 2, Ошибка");
  player.StopPlaying();
  worker.join();
  EXPECT_EQ(recorder.Messages().back(), "Error: 0 -1 2, Ошибка");
  EXPECT_FALSE(commands[1].Played);
}

TEST_F(PlayerTest, FailureOfTheLastCommandIsReportedWithoutAQuestion) {
  FillCommands(commands, {"11", "10", "12"});
  drv.Script = {{0}, {0x02, "", "Ошибка"}};
  Play(0, 2);
  EXPECT_EQ(recorder.Messages(),
            (Messages{"CommandRun: 0", "CommandRun: 1", "Error: 1 -1 2, Ошибка"}));
  EXPECT_TRUE(commands[1].Played);
  EXPECT_EQ(commands[1].PlayedAnswerData(), "10 02");

  // In endless play the next pass goes on.
  TRecorder endless(bus);
  drv.Script = {{0}, {0x02, "", "Ошибка"}};
  endless.OnRun = [&](const std::string& message) {
    if (message == "0 2") player.StopPlaying();
  };
  player.PlayLog(drv, commands, nullptr, 0, 2, true);
  EXPECT_EQ(endless.Messages(), (Messages{"CommandRun: 0 1", "CommandRun: 1 1",
                                          "Error: 1 1 2, Ошибка", "CommandRun: 0 2"}));
}

TEST_F(PlayerTest, RangeBoundaries) {
  Play();
  FillCommands(commands, {"11", "10", "12", "13"});
  Play(4, 0);
  Play(7, 1);
  EXPECT_TRUE(recorder.Messages().empty());
  EXPECT_EQ(drv.Exchanges(), 0);

  Play(2, 1);
  EXPECT_EQ(recorder.Messages(), (Messages{"CommandRun: 2"}));
  Play(1, 100);
  Play(3, 0);
  EXPECT_EQ(recorder.Messages(), (Messages{"CommandRun: 2", "CommandRun: 1", "CommandRun: 2",
                                           "CommandRun: 3", "CommandRun: 3"}));

  // An index before the list is a command failure like any other.
  TRecorder negative(bus);
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmContinue); };
  Play(-1, 2);
  EXPECT_EQ(negative.Messages(),
            (Messages{"ErrorQuery: -1 Индекс команды вне диапазона: -1", "CommandRun: 0"}));
}

TEST_F(PlayerTest, EndlessPlayCountsPassesUntilStoppedFromAnotherThread) {
  FillCommands(commands, {"11", "10"});
  auto thread = StartNotifyThread(
      [&](TNotifyThread&) { player.PlayLog(drv, commands, nullptr, 0, 0, true); }, nullptr);
  recorder.WaitFor("CommandRun: 0 3");
  player.StopPlaying();
  thread->WaitFor();
  Messages messages = recorder.Messages();
  ASSERT_GE(messages.size(), 5u);
  messages.resize(5);
  EXPECT_EQ(messages, (Messages{"CommandRun: 0 1", "CommandRun: 1 1", "CommandRun: 0 2",
                                "CommandRun: 1 2", "CommandRun: 0 3"}));

  // Passes without commands go on too, until stopped.
  TRecorder empty(bus);
  auto idle = StartNotifyThread(
      [&](TNotifyThread&) { player.PlayLog(drv, commands, nullptr, 5, 0, true); }, nullptr);
  while (!idle->Finished()) {
    player.StopPlaying();
    std::this_thread::yield();
  }
  idle->WaitFor();
  EXPECT_TRUE(empty.Messages().empty());
}

TEST_F(PlayerTest, PrintCommandsWaitForPrintingAfterSuccess) {
  FillCommands(commands, {"FF 45 01", "11", "FF 76", "FF 78"});
  drv.PrintingResult = deStillPrinting;
  drv.Script = {{0, "FF 45 00"}, {0}, {0x02, "", "Ошибка"}, {0, "FF 78 00"}};
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmContinue); };
  Play();
  Messages waits;
  for (std::size_t i = 1; i < drv.Calls.size(); ++i)
    if (drv.Calls[i] == "WaitForPrinting") waits.push_back(drv.Calls[i - 2]);
  // Only the two successful print commands wait, each right after reading its answer; the
  // result of the wait does not count.
  EXPECT_EQ(waits, (Messages{"ExchangeBytes", "ExchangeBytes"}));
  EXPECT_EQ(drv.Calls[4], "WaitForPrinting");
  EXPECT_EQ(drv.Calls.back(), "WaitForPrinting");
  EXPECT_EQ(recorder.Messages(), (Messages{"CommandRun: 0", "CommandRun: 1", "CommandRun: 2",
                                           "ErrorQuery: 2 2, Ошибка", "CommandRun: 3"}));
}

TEST_F(PlayerTest, DriverAndHandlerErrorsAreCommandFailures) {
  FillCommands(commands, {"11", "10", "12"});
  drv.Script = {{0, "", "", "Порт закрыт"}, {0}, {0, "", "", "Порт закрыт"}};
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmContinue); };
  Play();
  EXPECT_EQ(recorder.Messages(),
            (Messages{"CommandRun: 0", "ErrorQuery: 0 Порт закрыт", "CommandRun: 1",
                      "CommandRun: 2", "Error: 2 -1 Порт закрыт"}));
  EXPECT_FALSE(commands[0].Played);
  EXPECT_TRUE(commands[1].Played);

  // A handler of "CommandRun" that fails fails its command; the player raises nothing.
  for (const auto& command : commands) command->Played = false;
  TRecorder second(bus);
  auto failing = bus.Subscribe(kChannelCommandRun, [](const std::string& message) {
    if (message == "1") throw 42;
  });
  recorder.OnQuery = [&](const std::string&) { player.SetPlayMode(pmStop); };
  EXPECT_NO_THROW(Play());
  EXPECT_EQ(second.Messages(),
            (Messages{"CommandRun: 0", "CommandRun: 1", "ErrorQuery: 1 Неизвестная ошибка",
                      "Error: 1 -1 Неизвестная ошибка"}));
  EXPECT_FALSE(commands[1].Played);
}

TEST_F(PlayerTest, AStopGivenBeforePlayLogBeginsIsKept) {
  FillCommands(commands, {"11", "10"});
  player.BeginPlayback();
  player.StopPlaying();  // after the decision to play, before the player's thread begins
  std::thread worker([&] { Play(); });
  worker.join();
  Play();  // still stopped: only BeginPlayback clears it
  EXPECT_TRUE(recorder.Messages().empty());
  EXPECT_EQ(drv.Exchanges(), 0);
  player.BeginPlayback();
  Play();
  EXPECT_EQ(drv.Exchanges(), 2);
}

TEST_F(PlayerTest, AStopEndsTheExchangeInProgressAndTheRetriesWithoutAQuestion) {
  FillCommands(commands, {"11", "10", "12"});
  drv.Script.emplace_back();
  drv.Script.back().UntilAborted = true;
  player.BeginPlayback();
  std::thread worker([&] { Play(); });
  drv.WaitForPendingExchange();
  player.StopPlaying();
  worker.join();
  EXPECT_EQ(drv.Aborts(), 1);
  EXPECT_EQ(recorder.Messages(), (Messages{"CommandRun: 0", "Error: 0 -1 -8, Прервано"}));
  EXPECT_TRUE(commands[0].Played);
  EXPECT_FALSE(commands[1].Played);
  player.StopPlaying();  // no playback: nothing to abort
  EXPECT_EQ(drv.Aborts(), 1);

  // A busy device is not asked again once stopped, and the pause is the last one.
  TRecorder busy(bus);
  int pauses = 0;
  TQuillon stopping(bus, [&](std::chrono::milliseconds) {
    ++pauses;
    stopping.StopPlaying();
  });
  drv.Script.assign(5, TExchange{kResultPrinting, "", "Идет печать"});
  const int before = drv.Exchanges();
  stopping.PlayLog(drv, commands, nullptr, 0, 0, false);
  EXPECT_EQ(drv.Exchanges() - before, 1);
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(busy.Messages(), (Messages{"CommandRun: 0", "Error: 0 -1 80, Идет печать"}));
}

// A list of commands recorded in different protocols: what a range plays, which protocol it
// was recorded in, and what a link of each protocol can carry.
TEST_F(PlayerTest, RecordedProtocolAndPlanOfARange) {
  TBytes huge(MaxFrameData(pProtocol2) + 1, 0x11);
  struct TRow {
    std::string Tx;
    TProtocol Protocol;
    bool Selected;
  };
  TBytes big(300, 0x17);
  const TRow rows[] = {
      {"FF 0A 01", pProtocol3, true},  // excepted
      {"", pProtocol2, true},          // a sync frame: no bytes
      {"11 1E", pNone, true},
      {BytesToHex(big), pProtocol1, true},
      {"10", pProtocol3, false},
      {"12", pProtocol3, true},
      {BytesToHex(huge), pProtocol2, true},
  };
  for (const TRow& row : rows) {
    TCommandRec rec;
    rec.TxData = row.Tx;
    rec.Code = TCommand::GetCode(row.Tx);
    rec.Protocol = row.Protocol;
    commands.Add(std::move(rec)).Selected = row.Selected;
  }
  const std::vector<std::string> except{"FF 0A"};
  struct TRange {
    int First, Count, Protocol;
  };
  for (const TRange& range : {TRange{0, 0, 2}, TRange{2, 0, 1}, TRange{4, 0, 3}, TRange{2, 1, 0},
                              TRange{7, 0, 0}, TRange{-1, 3, 2}})
    EXPECT_EQ(TQuillon::RecordedProtocol(commands, &except, range.First, range.Count),
              range.Protocol)
        << range.First << " " << range.Count;

  using S = TPlanStep;
  const std::pair<int, std::vector<S>> plans[] = {
      {1, {S::Excepted, S::Empty, S::Send, S::TooLong, S::Unselected, S::Send, S::TooLong}},
      {2, {S::Excepted, S::Empty, S::Send, S::Send, S::Unselected, S::Send, S::TooLong}},
      {3, {S::Excepted, S::Empty, S::Send, S::Send, S::Unselected, S::Send, S::Send}},
  };
  for (const auto& [protocol, steps] : plans) {
    std::vector<S> planned;
    for (const TPlannedCommand& entry : PlanPlayback(commands, &except, 0, 0, protocol))
      planned.push_back(entry.Step);
    EXPECT_EQ(planned, steps) << protocol;
  }
  const std::vector<TPlannedCommand> tail = PlanPlayback(commands, &except, 3, 2, 1);
  ASSERT_EQ(tail.size(), 2u);
  EXPECT_EQ(tail[0].Index, 3u);
  EXPECT_EQ(tail[0].Size, 300u);
  EXPECT_EQ(tail[1].Index, 4u);
  EXPECT_TRUE(PlanPlayback(commands, &except, 7, 0, 1).empty());

  // The player tells the driver the protocol before the first command, and plays what the
  // plan says it sends (the driver refuses nothing here).
  Play(0, 0, &except);
  ASSERT_FALSE(drv.Calls.empty());
  EXPECT_EQ(drv.Calls[0], "SetLogProtocol 2");
  EXPECT_EQ(drv.Exchanges(), 5);
}

// One thread plays while another reads the replay state of every command, as the window
// does; run under the thread sanitizer this must stay silent.
TEST(PlayerConcurrency, StateIsReadWhilePlaying) {
  TNotifyBus bus;
  TQuillon player(bus, [](std::chrono::milliseconds) {});
  TFakeDriver drv;
  TCommandList commands;
  for (int i = 0; i < 2000; ++i) FillCommands(commands, {i % 2 ? "11 1E" : "FF 01"});
  std::atomic<bool> reading = false, done = false;
  int playedWithoutAnswer = 0;
  std::thread reader([&] {
    while (!done) {
      for (const auto& command : commands) {
        // The answer is stored before the command counts as played.
        const bool played = command->Played;
        if (command->PlayedAnswerData().empty() && played) ++playedWithoutAnswer;
      }
      // Subscribing while the player posts.
      TSubscription token = bus.Subscribe(kChannelCommandRun, [](const std::string&) {});
      reading = true;
    }
  });
  while (!reading) std::this_thread::yield();
  player.PlayLog(drv, commands, nullptr, 0, 0, false);
  done = true;
  reader.join();
  EXPECT_EQ(playedWithoutAnswer, 0);
  for (std::size_t i = 0; i < commands.Count(); ++i) {
    EXPECT_TRUE(commands[i].Played);
    EXPECT_EQ(commands[i].PlayedAnswerData(), i % 2 ? "11 00" : "FF 01 00");
  }
}

}  // namespace
}  // namespace quillon::test
