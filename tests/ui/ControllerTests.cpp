// The window's logic without widgets, on a plain QCoreApplication: the log loader, the
// playback controller, the search and the display filter's worker.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/BinUtils.h"
#include "core/KorvanProtocol2.h"
#include "player/FakeDriver.h"
#include "ui/CommandSearch.h"
#include "ui/FilterController.h"
#include "ui/LogLoadController.h"
#include "ui/PlaybackController.h"

namespace quillon {
namespace {

// A log of `count` status commands, every one answered; CR LF line ends.
std::string StatusLog(int count) {
  std::string log;
  for (int i = 1; i <= count; ++i) {
    const std::string head = "[31.12.2024 10:15:00.123] [00001234] [DEBUG] TPrinterProtocol2 ";
    const std::pair<const char*, const char*> lines[] = {{"-> ", "10 1E 00 00 00"},
                                                         {"<- ", "10 00 1E"}};
    for (const auto& [direction, payload] : lines) {
      TKorvanFrame2 frame;
      frame.Data = HexToBytes(payload);
      frame.Number = i;
      log += head + direction + BytesToHex(TKorvanProtocol2::Encode(frame)) + "\r\n";
    }
  }
  return log;
}

// Runs a controller and records what it reports.
struct TLoadRecorder {
  TLogLoadController Loader;
  std::vector<std::shared_ptr<TLoadedLog>> Finished;
  std::vector<int> Percents;

  TLoadRecorder() {
    QObject::connect(&Loader, &TLogLoadController::Finished,
                     [this](const std::shared_ptr<TLoadedLog>& log) { Finished.push_back(log); });
    QObject::connect(&Loader, &TLogLoadController::Progress,
                     [this](int percent) { Percents.push_back(percent); });
  }
  void Wait() {
    QElapsedTimer timer;
    timer.start();
    while (Loader.Loading() && timer.elapsed() < 20000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_FALSE(Loader.Loading());
    Drain();
  }
  // Gives a cancelled load's thread the time to end: nothing more may come.
  static void Drain() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
};

TEST(LogLoadController, ALoadStartedMeanwhileCancelsTheFirstAndReportsAlone) {
  // About 6 MB: several blocks, so that progress is reported along the way.
  const QString big = QString::fromStdString(StatusLog(30000));
  TLoadRecorder alone;
  alone.Loader.LoadText(big, QStringLiteral("big"));
  alone.Wait();
  ASSERT_EQ(alone.Finished.size(), 1u);
  EXPECT_EQ(alone.Finished[0]->Commands.Count(), 30000u);
  ASSERT_GE(alone.Percents.size(), 2u);
  EXPECT_TRUE(std::is_sorted(alone.Percents.begin(), alone.Percents.end()));
  EXPECT_EQ(alone.Percents.back(), 100);

  // Whether the first load has ended on its thread or not, only the second one reports.
  TLoadRecorder recorder;
  recorder.Loader.LoadText(big, QStringLiteral("big"));
  recorder.Loader.LoadText(QString::fromStdString(StatusLog(2)), QStringLiteral("small"));
  EXPECT_TRUE(recorder.Loader.Loading());
  recorder.Wait();
  ASSERT_EQ(recorder.Finished.size(), 1u);
  EXPECT_EQ(recorder.Finished[0]->SourceName, QStringLiteral("small"));
  EXPECT_EQ(recorder.Finished[0]->Commands.Count(), 2u);
  for (int percent : recorder.Percents) EXPECT_EQ(percent, 100);  // the small load's only

  // A cancelled load reports nothing; destroying the controller meanwhile waits for it.
  TLoadRecorder cancelled;
  cancelled.Loader.LoadText(big, QStringLiteral("big"));
  cancelled.Loader.Cancel();
  EXPECT_FALSE(cancelled.Loader.Loading());
  TLoadRecorder::Drain();
  EXPECT_TRUE(cancelled.Finished.empty());
  auto destroyed = std::make_unique<TLogLoadController>();
  destroyed->LoadText(big, QStringLiteral("big"));
  destroyed.reset();
}

// A command with the given request and answer, logged at 10:15:<second>.
TCommandRec Exchange(const char* request, const char* answer, int second) {
  TCommandRec rec;
  rec.Attributes = "[31.12.2024 10:15:" + std::string(second < 10 ? "0" : "") +
                   std::to_string(second) + ".123] [00001234] [DEBUG] T";
  rec.TxData = request;
  rec.AnswerData = answer;
  rec.Code = TCommand::GetCode(request);
  rec.ResCode = TCommand::GetResCode(answer);
  return rec;
}

TEST(SearchQuery, EachKindLooksWhereItShould) {
  const TCommand status(Exchange("11 1E 00 00 00", "11 00 01 02", 7));
  struct TCase {
    const char* Text;
    const char* Summary;  // the "Data" text the list would show
    bool Matches;
  };
  const TCase cases[] = {
      {"10:15:07", "", true},                 // the time stamp
      {"00001234", "", true},                 // the log line's start
      {"10:15:08", "", false},                //
      {"ЧЕК", "Чек закрыт", true},            // the summary, in any case
      {"hex: 11 1e", "", true},               // the request's bytes
      {"HEX:111E00", "", true},               // digits without blanks
      {"hex: 00 01 02", "", true},            // the answer's bytes
      {"hex: 1E 00 01", "", false},           // neither holds these in a row
      {"hex: 1 1E", "", false},               // one digit is a byte of its own: 01 1E
      {"re: 10:15:0[5-8]\\.123$", "", true},  // each text on its own
      {"re: ^11,", "", true},                 // the name starts with the code
      {"RE:итог\\s+\\d", "ИТОГ 12", true},
      {"re: ^\\d+$", "12a", false},
      {"hex:", "hex:", false},  // a bad text finds nothing: see below
  };
  for (const TCase& c : cases) {
    QString error;
    const std::optional<TSearchQuery> query = TSearchQuery::Parse(QString::fromUtf8(c.Text), error);
    if (!query) {
      EXPECT_FALSE(c.Matches) << c.Text;
      EXPECT_FALSE(error.isEmpty()) << c.Text;
      continue;
    }
    EXPECT_TRUE(error.isEmpty()) << c.Text;
    const QString summary = QString::fromUtf8(c.Summary);
    EXPECT_EQ(query->Matches(status, [&] { return summary; }), c.Matches) << c.Text;
  }

  // No query for an empty text, and no message either; a message for a bad one.
  struct TBad {
    const char* Text;
    const char* Message;  // a part of it
  };
  const TBad bad[] = {
      {"", nullptr},
      {"hex: 1G", "шестнадцатеричном"},
      {"hex:", "шестнадцатеричном"},
      {"re: ", "нужно выражение"},
      {"re: (чек", "Ошибка в регулярном выражении (позиция 5)"},
  };
  for (const TBad& b : bad) {
    QString error = QStringLiteral("stale");
    EXPECT_FALSE(TSearchQuery::Parse(QString::fromUtf8(b.Text), error)) << b.Text;
    if (b.Message)
      EXPECT_TRUE(error.contains(QString::fromUtf8(b.Message))) << error.toStdString();
    else
      EXPECT_TRUE(error.isEmpty());
  }
}

TEST(SearchStartPosition, PassesOverTheCurrentRowEitherWay) {
  const TSearchRows shown = std::make_shared<const std::vector<int>>(std::vector<int>{2, 5, 9});
  struct TCase {
    TSearchRows Rows;
    int Current;
    bool Backward;
    int Position;
  };
  const TCase cases[] = {
      {nullptr, 3, false, 4}, {nullptr, 3, true, 2}, {nullptr, 0, true, -1}, {shown, 5, false, 2},
      {shown, 5, true, 0},    {shown, 3, false, 1},  {shown, 3, true, 0},    {shown, 0, false, 0},
      {shown, 2, true, -1},   {shown, 9, false, 3},  {shown, 12, true, 2},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(SearchStartPosition(c.Rows, 12, c.Current, c.Backward), c.Position)
        << (c.Rows ? "shown " : "all ") << c.Current << (c.Backward ? " back" : "");
}

TEST(NearestCommandRow, TakesTheLastBegunAtOrBeforeTheLineElseTheFirstAfter) {
  TCommandList commands;
  for (std::int32_t line : {3, 7, 12}) {
    TCommandRec rec;
    rec.LineNumber = line;
    commands.Add(std::move(rec));
  }
  const std::vector<int> lastTwo{1, 2}, none;
  struct TCase {
    const std::vector<int>* Rows;
    std::int64_t Line;
    int Row;
  };
  const TCase cases[] = {
      {nullptr, 1, 0},  {nullptr, 3, 0},   {nullptr, 6, 0},   {nullptr, 7, 1},
      {nullptr, 11, 1}, {nullptr, 12, 2},  {nullptr, 900, 2}, {&lastTwo, 1, 1},
      {&lastTwo, 8, 1}, {&lastTwo, 13, 2}, {&none, 5, -1},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(NearestCommandRow(commands, c.Rows, c.Line), c.Row)
        << (c.Rows ? c.Rows->size() : 3u) << " rows, line " << c.Line;
  EXPECT_EQ(NearestCommandRow(TCommandList(), nullptr, 5), -1);
}

// Runs a search controller and records what it reports.
struct TSearchRecorder {
  TSearchController Controller;
  std::vector<int> Found;
  int Ends = 0;

  TSearchRecorder() {
    QObject::connect(&Controller, &TSearchController::Found,
                     [this](int row) { Found.push_back(row); });
    QObject::connect(&Controller, &TSearchController::EndReached, [this] { ++Ends; });
  }
  void Wait() {
    while (Controller.Running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
};

TEST(SearchController, WalksTheGivenRowsAheadOrBackAndWrapsOnRequest) {
  TCommandList list;
  test::FillCommands(list, {"10", "11", "10", "12", "11", "10"});
  const auto isStatus = [](const TCommand& command) { return command.Code() == 0x11; };
  const TSearchRows shown = std::make_shared<const std::vector<int>>(std::vector<int>{0, 2, 4, 5});
  struct TCase {
    TSearchRows Rows;
    int Start;
    bool Backward;
    std::vector<int> Found;  // before the end, then after the wrap
    int Ends;
  };
  const TCase cases[] = {
      {nullptr, 0, false, {1}, 0}, {nullptr, 2, false, {4}, 0},
      {nullptr, 5, false, {1}, 1},                              // wrapped to the top
      {nullptr, 3, true, {1}, 0},  {nullptr, 0, true, {4}, 1},  // wrapped to the bottom
      {shown, 0, false, {4}, 0},                                // row 1 is not shown
      {shown, 3, false, {4}, 1},   {shown, 1, true, {4}, 1},    // nothing before: from the bottom
  };
  for (const TCase& c : cases) {
    TSearchRecorder recorder;
    recorder.Controller.Start(list, c.Rows, isStatus, c.Start, c.Backward);
    recorder.Wait();
    if (recorder.Ends > 0) {
      recorder.Controller.Wrap();
      recorder.Wait();
    }
    EXPECT_EQ(recorder.Found, c.Found) << c.Start << (c.Backward ? " back" : "");
    EXPECT_EQ(recorder.Ends, c.Ends) << c.Start;
  }

  // A sequence with no match at all ends again after the wrap; a cancelled walk says nothing.
  TSearchRecorder none;
  none.Controller.Start(
      list, shown, [](const TCommand&) { return false; }, 0, false);
  none.Wait();
  none.Controller.Wrap();
  none.Wait();
  EXPECT_EQ(none.Ends, 2);
  EXPECT_TRUE(none.Found.empty());
  TSearchRecorder cancelled;
  cancelled.Controller.Start(list, nullptr, isStatus, 0, false);
  cancelled.Controller.Cancel();
  EXPECT_FALSE(cancelled.Controller.Running());
  TLoadRecorder::Drain();
  EXPECT_TRUE(cancelled.Found.empty());
  EXPECT_EQ(cancelled.Ends, 0);
}

TEST(FilterController, ANewerRunCancelsTheOlderAndOnlyItReports) {
  TCommandList list;
  for (int i = 0; i < 20000; ++i)
    list.Add(Exchange(i % 3 == 0 ? "11 1E 00 00 00" : "10 1E 00 00 00", "10 00", i % 60));
  TFilterController controller;
  std::vector<std::shared_ptr<TFilterRun>> runs;
  std::vector<int> percents;
  QObject::connect(&controller, &TFilterController::Finished,
                   [&](const std::shared_ptr<TFilterRun>& run) { runs.push_back(run); });
  QObject::connect(&controller, &TFilterController::Progress,
                   [&](int percent) { percents.push_back(percent); });
  std::vector<std::uint64_t> numbers;  // those the second run was given, in its thread
  controller.Start(
      list, [](const TCommand&, std::uint64_t) { return true; }, QStringLiteral("first"));
  controller.Start(
      list,
      [&numbers](const TCommand& command, std::uint64_t number) {
        numbers.push_back(number);
        return command.Code() == 0x11;
      },
      QStringLiteral("second"));
  while (controller.Running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  TLoadRecorder::Drain();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0]->Text, QStringLiteral("second"));
  EXPECT_EQ(runs[0]->Total, 20000u);
  std::vector<int> expected;
  for (int i = 0; i < 20000; i += 3) expected.push_back(i);
  EXPECT_EQ(*runs[0]->Rows, expected);
  ASSERT_EQ(numbers.size(), 20000u);
  EXPECT_EQ(numbers.front(), 1u);
  EXPECT_EQ(numbers.back(), 20000u);
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);

  // Cancelled: nothing comes.
  controller.Start(
      list, [](const TCommand&, std::uint64_t) { return true; }, QStringLiteral("third"));
  controller.Cancel();
  EXPECT_FALSE(controller.Running());
  TLoadRecorder::Drain();
  EXPECT_EQ(runs.size(), 1u);
}

// Records what the controller shows and answers its questions.
struct TRecordingView : IPlaybackView {
  int Started = 0, Ended = 0;
  std::vector<int> Played, Failed;
  std::vector<QString> Statuses, Questions;
  std::vector<TStatusReply> Replies;
  std::deque<bool> Answers;                      // then: stop
  std::function<void(const QString&)> OnStatus;  // after each played command

  void PlaybackStarting() override { ++Started; }
  void PlaybackEnded() override { ++Ended; }
  void ShowPlayedCommand(int index, const QString& status) override {
    Played.push_back(index);
    Statuses.push_back(status);
    if (OnStatus) OnStatus(status);
  }
  void ShowFailedCommand(int index, const QString&) override { Failed.push_back(index); }
  void ShowStatus(const TStatusReply& reply) override { Replies.push_back(reply); }
  bool AskContinue(const QString&, const QString& text) override {
    Questions.push_back(text);
    const bool answer = !Answers.empty() && Answers.front();
    if (!Answers.empty()) Answers.pop_front();
    return answer;
  }
};

class PlaybackControllerTest : public ::testing::Test {
 protected:
  TNotifyBus Bus;
  TCommandList List;
  TRecordingView View;
  TPlaybackController Controller{List, View, Bus};
  test::TFakeDriver Driver;

  void SetUp() override {
    test::FillCommands(List, {"10 1E 00 00 00", "11 1E 00 00 00", "12 1E", "13 1E", "14 1E"});
  }
  bool Play(TStartKind kind, int current, std::set<int> selected = {},
            TPlaybackOptions options = {}) {
    View.Played.clear();
    const bool started = Controller.Start(
        Driver, kind, current, [&](int row) { return selected.count(row) > 0; }, options);
    QElapsedTimer timer;
    timer.start();
    while (!Controller.Finished() && timer.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return started && Controller.Finished();
  }
  std::vector<int> PlayedRows() const {
    std::vector<int> rows;
    for (std::size_t i = 0; i < List.Count(); ++i)
      if (List[i].Played) rows.push_back(static_cast<int>(i));
    return rows;
  }
};

TEST_F(PlaybackControllerTest, EachStartPlaysItsRowsAndPassesOverTheExceptions) {
  struct TCase {
    TStartKind Kind;
    int Current;
    std::set<int> Selected;
    std::vector<std::string> Exceptions;
    std::vector<int> Played;
  };
  const TCase cases[] = {
      {TStartKind::All, 3, {1}, {}, {0, 1, 2, 3, 4}},
      {TStartKind::FromPosition, 3, {}, {}, {3, 4}},
      {TStartKind::CurrentLine, 3, {}, {}, {3}},
      {TStartKind::Selected, 3, {1, 4}, {}, {1, 4}},
      {TStartKind::All, 0, {}, {"FF 0A", "12", "14"}, {0, 1, 3}},
      {TStartKind::FromPosition, 1, {}, {"13"}, {1, 2, 4}},
  };
  int runs = 0;
  for (const TCase& c : cases) {
    TPlaybackOptions options;
    options.Exceptions = c.Exceptions;
    ASSERT_TRUE(Play(c.Kind, c.Current, c.Selected, options)) << runs;
    ++runs;
    EXPECT_EQ(PlayedRows(), c.Played) << runs;  // nothing left over from the run before
    EXPECT_EQ(View.Played, c.Played) << runs;
    EXPECT_EQ(View.Started, runs);
    EXPECT_EQ(View.Ended, runs);
  }
  EXPECT_TRUE(View.Statuses[0].startsWith(QStringLiteral("(1/5) 10, ")))
      << View.Statuses[0].toStdString();
  EXPECT_TRUE(View.Questions.empty() && View.Failed.empty());
}

TEST_F(PlaybackControllerTest, AFailedCommandAsksAndTheAnswerDecides) {
  struct TCase {
    int Result;
    bool IgnoreDeviceErrors;
    std::deque<bool> Answers;
    bool Asked;
    std::vector<int> Played, Failed;
  };
  const TCase cases[] = {
      {0x37, false, {true}, true, {0, 1, 2, 3, 4}, {}},
      {0x37, false, {false}, true, {0, 1}, {1}},
      {0x37, true, {}, false, {0, 1, 2, 3, 4}, {}},
      // A driver error is no device result: asked even so.
      {-3, true, {false}, true, {0, 1}, {1}},
  };
  for (const TCase& c : cases) {
    Driver.Script = {{0}, {c.Result, "", "Команда не поддерживается"}};
    View.Answers = c.Answers;
    View.Questions.clear();
    View.Failed.clear();
    TPlaybackOptions options;
    options.IgnoreDeviceErrors = c.IgnoreDeviceErrors;
    ASSERT_TRUE(Play(TStartKind::All, 0, {}, options));
    EXPECT_EQ(PlayedRows(), c.Played) << c.Result;
    EXPECT_EQ(View.Failed, c.Failed) << c.Result;
    ASSERT_EQ(View.Questions.size(), c.Asked ? 1u : 0u) << c.Result;
    if (c.Asked) {
      EXPECT_EQ(View.Questions[0], QStringLiteral("Ошибка: 1 %1, Команда не поддерживается\n"
                                                  "Продолжить?")
                                       .arg(c.Result));
    }
  }
}

TEST_F(PlaybackControllerTest, EndlessPlayRunsUntilStoppedAndRefusesASecondStart) {
  bool refused = false;
  View.OnStatus = [&](const QString& status) {
    if (!status.startsWith(QStringLiteral("Цикл 2 "))) return;
    refused =
        !Controller.Start(Driver, TStartKind::All, 0, {}, {}) && !Controller.RequestStatus(Driver);
    Controller.Stop();
  };
  TPlaybackOptions options;
  options.Endless = true;
  ASSERT_TRUE(Play(TStartKind::All, 0, {}, options));
  EXPECT_TRUE(refused);
  EXPECT_EQ(View.Ended, 1);
  // The worker may run ahead of the status lines shown: the first pass is labelled too.
  EXPECT_TRUE(View.Statuses[0].startsWith(QStringLiteral("Цикл 1 (1/5) ")));
}

TEST_F(PlaybackControllerTest, StatusIsAskedOnTheWorkerAndBlocksAPlaybackMeanwhile) {
  ASSERT_TRUE(Controller.RequestStatus(Driver));
  EXPECT_FALSE(Controller.Idle());
  EXPECT_FALSE(Controller.Start(Driver, TStartKind::All, 0, {}, {}));
  EXPECT_TRUE(View.Replies.empty());  // not answered on this thread
  while (Controller.StatusPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  ASSERT_EQ(View.Replies.size(), 1u);
  EXPECT_EQ(View.Replies[0].Result, 0);
  EXPECT_EQ(Driver.Password(), Driver.SysAdminPassword());
  EXPECT_EQ(View.Started, 0);
}

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
