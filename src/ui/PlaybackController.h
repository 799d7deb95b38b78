// Playback for the window: which commands a start plays, the exception list, endless play,
// the question after a failed command, the status text of every played command; and the
// register's status. The device is used on a worker thread only; what it reports reaches
// the window on the controller's thread through a small view interface. Holds no widgets.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/untCommand.h"
#include "driver/Driver.h"
#include "player/NotifyBus.h"
#include "player/NotifyThread.h"
#include "player/untQuillon.h"

namespace quillon {

// The register's answer to a status request.
struct TStatusReply {
  int Result = 0;
  QString ResultDescription;  // when Result is not 0
  int Mode = 0;               // the modes when Result is 0
  QString ModeDescription;
  int AdvancedMode = 0;
  QString AdvancedModeDescription;
};

// What the controller asks of the window; called on the controller's thread.
class IPlaybackView {
 public:
  virtual ~IPlaybackView() = default;
  // A playback starts: the controls that would disturb it are turned off.
  virtual void PlaybackStarting() = 0;
  // The playback has ended; Finished() is true.
  virtual void PlaybackEnded() = 0;
  // The command at index is played now; status is the text of the status line.
  virtual void ShowPlayedCommand(int index, const QString& status) = 0;
  // The command at index failed and ended the playback, or was the last one and failed.
  virtual void ShowFailedCommand(int index, const QString& status) = 0;
  // Asks whether to go on after a failed command; true goes on.
  virtual bool AskContinue(const QString& title, const QString& text) = 0;
  // The answer to RequestStatus.
  virtual void ShowStatus(const TStatusReply& reply) = 0;
};

// Which commands a start plays.
enum class TStartKind {
  All,           // every command
  FromPosition,  // from the current row to the end
  CurrentLine,   // the current row only
  Selected,      // the selected rows, anywhere in the list
};

struct TPlaybackOptions {
  std::vector<std::string> Exceptions;  // command codes that are not played, one a line
  bool Endless = false;                 // pass after pass until stopped
  bool IgnoreDeviceErrors = false;      // a failure with a device result code goes on unasked
};

class TPlaybackController : public QObject {
  Q_OBJECT

 public:
  // Plays commands of list (not owned) and tells view (not owned); listens on bus.
  TPlaybackController(TCommandList& list, IPlaybackView& view,
                      TNotifyBus& bus = TNotifyBus::Instance());
  // Stops a playback and waits until it and a status request have ended.
  ~TPlaybackController() override;

  // Starts playing to driver (kept until the playback ends): currentRow is where the list
  // stands, selected tells the selected rows. Refused (false) unless Idle().
  bool Start(IDriver& driver, TStartKind kind, int currentRow,
             const std::function<bool(int row)>& selected, TPlaybackOptions options);
  // Asks the playback to stop; returns at once.
  void Stop();
  // Stops a playback and processes events until it has ended.
  void StopAndWait();
  bool Finished() const { return FFinished; }

  using TStatusHandler = std::function<void(const TStatusReply& reply)>;
  // Asks driver for the register's status, with the system administrator's password, on
  // a worker thread; the reply goes to onReply when given (on the controller's thread),
  // else to the view. Refused (false) unless Idle().
  bool RequestStatus(IDriver& driver, TStatusHandler onReply = {});
  bool StatusPending() const { return FStatusPending; }
  // Neither a playback nor a status request runs.
  bool Idle() const { return FFinished && !FStatusPending; }

  TQuillon& Player() { return FPlayer; }

 private:
  void RunOnOwnThread(std::function<void()> function, bool wait);
  void OnCommandRun(const std::string& message);
  void OnError(const std::string& message);
  void OnErrorQuery(const std::string& message);
  void PlayFinished();

  TCommandList& FList;
  IPlaybackView& FView;
  TQuillon FPlayer;
  TPlaybackOptions FOptions;
  bool FFinished = true;
  std::unique_ptr<TNotifyThread> FPlayThread;
  bool FStatusPending = false;
  IDriver* FStatusDriver = nullptr;  // while a status request runs
  std::unique_ptr<TNotifyThread> FStatusThread;
  std::vector<TSubscription> FSubscriptions;
};

}  // namespace quillon
