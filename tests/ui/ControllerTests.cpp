// The window's logic without widgets: the log loader, on a plain QCoreApplication.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/BinUtils.h"
#include "core/KorvanProtocol2.h"
#include "core/TextFile.h"
#include "ui/LogLoadController.h"

namespace quillon {
namespace {

// A log of `count` status commands, every one answered; CR LF line ends.
std::string StatusLog(int count) {
  std::string log;
  for (int i = 1; i <= count; ++i) {
    const std::string head = "[31.12.2024 10:15:00.123] [00001234] [DEBUG] TPrinterProtocol2 ";
    for (const char* payload : {"10 1E 00 00 00", "10 00 1E"}) {
      TKorvanFrame2 frame;
      frame.Data = HexToBytes(payload);
      frame.Number = i;
      log += head + (payload[3] == '1' ? "-> " : "<- ") +
             BytesToHex(TKorvanProtocol2::Encode(frame)) + "\r\n";
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

std::vector<std::string> Requests(const TCommandList& list) {
  std::vector<std::string> requests;
  for (const auto& command : list) requests.push_back(command->TxData());
  return requests;
}

TEST(LogLoadController, FileAndTextGiveTheSameCommandsAndAMissingFileItsMessage) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("a.log"));
  const std::string log = StatusLog(3);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(log.data(), static_cast<qint64>(log.size()));
  file.close();
  const QString missing = dir.filePath(QStringLiteral("missing.log"));
  std::string missingMessage;
  try {
    TTextLineReader reader(missing.toStdString());
  } catch (const std::exception& e) {
    missingMessage = e.what();
  }
  ASSERT_FALSE(missingMessage.empty());

  struct TCase {
    bool File;
    QString Name;
    QString Source;
  };
  const TCase cases[] = {{true, path, path},
                         {false, QString::fromStdString(log), QStringLiteral("Clipboard")}};
  std::vector<std::vector<std::string>> loaded;
  for (const TCase& c : cases) {
    TLoadRecorder recorder;
    if (c.File)
      recorder.Loader.LoadFile(c.Name);
    else
      recorder.Loader.LoadText(c.Name, c.Source);
    EXPECT_TRUE(recorder.Loader.Loading());
    recorder.Wait();
    ASSERT_EQ(recorder.Finished.size(), 1u) << c.File;
    const TLoadedLog& result = *recorder.Finished[0];
    EXPECT_EQ(result.SourceName, c.Source);
    EXPECT_TRUE(result.OpenError.isEmpty() && result.ReadError.isEmpty());
    EXPECT_TRUE(result.Diagnostics.empty());
    ASSERT_EQ(result.Commands.Count(), 3u);
    EXPECT_EQ(result.Commands[2].AnswerData(), "10 00 1E");
    loaded.push_back(Requests(result.Commands));
  }
  EXPECT_EQ(loaded[0], loaded[1]);

  TLoadRecorder recorder;
  recorder.Loader.LoadFile(missing);
  recorder.Wait();
  ASSERT_EQ(recorder.Finished.size(), 1u);
  EXPECT_EQ(recorder.Finished[0]->OpenError.toStdString(), missingMessage);
  EXPECT_EQ(recorder.Finished[0]->Commands.Count(), 0u);
}

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

}  // namespace
}  // namespace quillon

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
