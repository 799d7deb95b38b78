// Following a log file on a worker, without widgets: what comes after the commands the
// window knows, batches merged until taken, the end at a truncation or an unreadable file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <string>

#include "TestCommands.h"
#include "TestLogs.h"
#include "ui/LogFollowController.h"

namespace quillon {
namespace {

using test::Protocol2Log;

// Processes events until done() or 10 seconds have passed.
bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  return done();
}

void Write(const QString& path, const std::string& text, QIODevice::OpenMode mode) {
  QFile file(path);
  ASSERT_TRUE(file.open(mode));
  file.write(text.data(), static_cast<qint64>(text.size()));
}

const test::TExchanges kStatus = {{"10 1E 00 00 00", "10 00 1E"}};

TEST(LogFollowController, HandsOnWhatFollowsTheKnownCommandsUntilTheFileIsCut) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("followed.log"));
  // Three commands in five lines, the last without its answer yet.
  Write(path, Protocol2Log({kStatus[0], kStatus[0], {"11 1E 00 00 00", ""}}), QIODevice::WriteOnly);
  TLogFollowController follow;
  int arrived = 0;
  TFollowChange ended = TFollowChange::None;
  QString error;
  QObject::connect(&follow, &TLogFollowController::Arrived, [&] { ++arrived; });
  QObject::connect(&follow, &TLogFollowController::Ended,
                   [&](TFollowChange change, const QString& message) {
                     ended = change;
                     error = message;
                   });
  // The window knows two final commands and five lines.
  follow.Start(path, TLogEncoding::Auto, 2, 5, 20);
  ASSERT_TRUE(WaitFor([&] { return arrived == 1; }));
  std::unique_ptr<TFollowBatch> batch = follow.Take();
  ASSERT_NE(batch, nullptr);
  EXPECT_TRUE(batch->Finals.empty());
  ASSERT_TRUE(batch->Open);
  EXPECT_EQ(batch->OpenNumber, 3u);
  EXPECT_TRUE(batch->Open->AnswerData().empty());
  EXPECT_EQ(follow.Take(), nullptr);

  // The answer, two more commands and a damaged frame, appended in two writes that the
  // worker may see in one poll or two: either way one batch waits.
  Write(path, Protocol2Log({{"", "11 00 1E 22"}}, "00001234", 3) + test::DamagedLine(),
        QIODevice::Append);
  Write(path, Protocol2Log({kStatus[0], {"2F 1E 00 00 00 01 01", "2F 00 1E"}}, "00001234", 4),
        QIODevice::Append);
  ASSERT_TRUE(WaitFor([&] {
    if (arrived < 2) return false;
    // Until the last answer is read the open command is the one before.
    if (!batch || batch->Empty())
      batch = follow.Take();
    else if (auto more = follow.Take())
      batch->Merge(std::move(*more));
    return batch && batch->OpenNumber == 5 && !batch->Open->AnswerData().empty();
  }));
  ASSERT_EQ(batch->Finals.size(), 2u);
  EXPECT_EQ(batch->FirstNumber, 3u);
  EXPECT_EQ(batch->Finals[0].AnswerData(), "11 00 1E 22");
  EXPECT_EQ(batch->Finals[1].Code(), 0x10);
  EXPECT_EQ(batch->Open->Code(), 0x2F);
  ASSERT_EQ(batch->Diagnostics.size(), 1u);
  EXPECT_EQ(batch->Diagnostics[0].LineNumber, 7);

  Write(path, Protocol2Log(kStatus), QIODevice::WriteOnly | QIODevice::Truncate);
  ASSERT_TRUE(WaitFor([&] { return ended != TFollowChange::None; }));
  EXPECT_EQ(ended, TFollowChange::Truncated);
  EXPECT_FALSE(follow.Following());

  follow.Start(dir.filePath(QStringLiteral("missing.log")), TLogEncoding::Auto, 0, 0, 20);
  ASSERT_TRUE(WaitFor([&] { return !follow.Following(); }));
  EXPECT_EQ(ended, TFollowChange::None);
  EXPECT_TRUE(error.contains(QStringLiteral("missing.log"))) << error.toStdString();
}

TEST(FollowBatch, ALaterBatchGoesOnAfterTheEarlierOne) {
  const auto command = [](const char* hex) { return test::MakeCommand(hex); };
  TFollowBatch earlier;
  earlier.FirstNumber = 3;
  earlier.Finals.push_back(command("10"));
  earlier.Open = command("11");
  earlier.OpenNumber = 4;
  TFollowBatch openOnly;  // the open command got an answer line
  openOnly.Open = command("11 00");
  openOnly.OpenNumber = 4;
  earlier.Merge(std::move(openOnly));
  EXPECT_EQ(earlier.Open->TxData(), "11 00");
  TFollowBatch finals;  // it is final now, and so is the one after it
  finals.FirstNumber = 4;
  finals.Finals.push_back(command("11 00 01"));
  finals.Finals.push_back(command("2F"));
  earlier.Merge(std::move(finals));
  EXPECT_EQ(earlier.FirstNumber, 3u);
  ASSERT_EQ(earlier.Finals.size(), 3u);
  EXPECT_EQ(earlier.Finals[2].TxData(), "2F");
  EXPECT_FALSE(earlier.Open);
}

}  // namespace
}  // namespace quillon
