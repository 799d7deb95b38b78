#include "ui/PlaybackController.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <exception>

#include "player/PlaybackTexts.h"
#include "ui/QueuedCall.h"
#include "ui/UiText.h"

namespace quillon {

namespace {

QStringList SplitWords(const std::string& message) {
  return Q(message).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

}  // namespace

TPlaybackController::TPlaybackController(TCommandList& list, IPlaybackView& view, TNotifyBus& bus)
    : FList(list), FView(view), FPlayer(bus) {
  FSubscriptions.push_back(bus.Subscribe(kChannelCommandRun, [this](const std::string& message) {
    RunOnOwnThread([this, message] { OnCommandRun(message); }, false);
  }));
  FSubscriptions.push_back(bus.Subscribe(kChannelError, [this](const std::string& message) {
    RunOnOwnThread([this, message] { OnError(message); }, false);
  }));
  // The player waits for the answer.
  FSubscriptions.push_back(bus.Subscribe(kChannelErrorQuery, [this](const std::string& message) {
    RunOnOwnThread([this, message] { OnErrorQuery(message); }, true);
  }));
}

TPlaybackController::~TPlaybackController() {
  StopAndWait();
  if (FStatusPending && FStatusDriver != nullptr) FStatusDriver->Abort();
  while (FStatusPending) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  FPlayThread.reset();
  FStatusThread.reset();
  FSubscriptions.clear();
}

bool TPlaybackController::Start(IDriver& driver, TStartKind kind, int currentRow,
                                const std::function<bool(int row)>& selected,
                                TPlaybackOptions options) {
  if (!Idle()) return false;
  FView.PlaybackStarting();
  int first = 0;
  int count = 0;  // 0: up to the end of the list
  switch (kind) {
    case TStartKind::All:
      break;
    case TStartKind::FromPosition:
      first = currentRow;
      break;
    case TStartKind::CurrentLine:
      first = currentRow;
      count = 1;
      break;
    case TStartKind::Selected:
      // The selected rows anywhere in the list are played, not only those below the
      // start row of an earlier playback.
      break;
  }
  FFinished = false;
  // From here on a Stop stops this playback, even before the worker has begun it.
  FPlayer.BeginPlayback();
  for (std::size_t i = 0; i < FList.Count(); ++i)
    FList[i].Selected = kind != TStartKind::Selected || selected(static_cast<int>(i));
  FOptions = std::move(options);
  first = std::max(first, 0);
  FPlayThread.reset();
  FPlayThread = StartNotifyThread(
      [this, &driver, first, count](TNotifyThread&) {
        for (std::size_t i = 0; i < FList.Count(); ++i) {
          FList[i].SetPlayedAnswerData({});
          FList[i].Played = false;
        }
        FPlayer.PlayLog(driver, FList, &FOptions.Exceptions, first, count, FOptions.Endless);
      },
      [this](TNotifyThread&) { PlayFinished(); }, QueuedOn(this));
  return true;
}

bool TPlaybackController::RequestStatus(IDriver& driver, TStatusHandler onReply) {
  if (!Idle()) return false;
  FStatusPending = true;
  FStatusDriver = &driver;
  auto reply = std::make_shared<TStatusReply>();
  FStatusThread.reset();
  FStatusThread = StartNotifyThread(
      [&driver, reply](TNotifyThread&) {
        try {
          driver.SetPassword(driver.SysAdminPassword());
          reply->Result = driver.GetECRStatus();
          if (reply->Result != 0) {
            reply->ResultDescription = Q(driver.ResultCodeDescription());
            return;
          }
          reply->Mode = driver.ECRMode();
          reply->ModeDescription = Q(driver.ECRModeDescription());
          reply->AdvancedMode = driver.ECRAdvancedMode();
          reply->AdvancedModeDescription = Q(driver.ECRAdvancedModeDescription());
        } catch (const std::exception& e) {
          reply->Result = deNoConnection;
          reply->ResultDescription = Q(e.what());
        }
      },
      [this, reply, onReply = std::move(onReply)](TNotifyThread&) {
        FStatusPending = false;
        FStatusDriver = nullptr;
        if (onReply)
          onReply(*reply);
        else
          FView.ShowStatus(*reply);
      },
      QueuedOn(this));
  return true;
}

void TPlaybackController::Stop() {
  FPlayer.StopPlaying();
}

void TPlaybackController::StopAndWait() {
  FPlayer.StopPlaying();
  while (!FFinished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void TPlaybackController::PlayFinished() {
  FFinished = true;
  FView.PlaybackEnded();
}

void TPlaybackController::RunOnOwnThread(std::function<void()> function, bool wait) {
  if (QThread::currentThread() == thread()) {
    function();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(function),
                            wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void TPlaybackController::OnCommandRun(const std::string& message) {
  const QStringList words = SplitWords(message);
  if (words.isEmpty()) return;
  const int index = words.at(0).toInt();
  const int pass = words.size() >= 2 ? words.at(1).toInt() : -1;
  const std::string run =
      pass < 0 ? std::to_string(index) : std::to_string(index) + " " + std::to_string(pass);
  FView.ShowPlayedCommand(index, Q(CommandRunStatus(FList, run)));
}

void TPlaybackController::OnError(const std::string& message) {
  if (FList.Count() == 0) return;
  const QStringList words = SplitWords(message);
  if (words.isEmpty()) return;
  // The status line carries the whole error text after the pass number.
  FView.ShowFailedCommand(std::max(words.at(0).toInt(), 0), Q(ErrorStatus(FList, message)));
}

void TPlaybackController::OnErrorQuery(const std::string& message) {
  if (FOptions.IgnoreDeviceErrors && ExtractErrorCode(message) > 0) {
    FPlayer.SetPlayMode(pmContinue);
    return;
  }
  const bool goOn = FView.AskContinue(
      T("Ошибка"), T("Ошибка: ") + Q(message) + QLatin1Char('\n') + T("Продолжить?"));
  FPlayer.SetPlayMode(goOn ? pmContinue : pmStop);
}

}  // namespace quillon
