// Following the log file the window shows while its driver still writes it: a worker polls
// the file (TLogFollower) and keeps what the lines appended gave until the window takes it,
// so that the window adds the new commands when nothing else reads its list. Holds no
// widgets.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/LogFollower.h"
#include "core/LogParser2.h"
#include "core/untCommand.h"

namespace quillon {

// What the lines appended gave since the window last took it.
struct TFollowBatch {
  std::uint64_t FirstNumber = 0;  // the number (from 1) of the first of Finals
  std::vector<TCommand> Finals;   // commands the next lines can change no more, in log order
  // The last command, which the next lines may still give its answer; number
  // FirstNumber + Finals.size() (when Finals is empty: the one after the known finals, or
  // a later one).
  std::optional<TCommand> Open;
  std::uint64_t OpenNumber = 0;
  std::vector<TParseDiagnostic> Diagnostics;  // damaged records past the known lines

  bool Empty() const { return Finals.empty() && !Open && Diagnostics.empty(); }
  // Takes what a later batch gave: its finals after these, its open command instead.
  void Merge(TFollowBatch&& later);
};

class TLogFollowController : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 250;

  explicit TLogFollowController(QObject* parent = nullptr);
  // Stops following and waits for the worker.
  ~TLogFollowController() override;

  // Follows a file, polling it every pollMs on a worker; a follow still running is stopped
  // first. The first knownCommands final commands and the damaged records of the first
  // knownLines lines are the caller's already: only what comes after them is handed on.
  void Start(const QString& fileName, TLogEncoding encoding, std::uint64_t knownCommands,
             std::int64_t knownLines, int pollMs = kPollMs);
  // Waits for the worker; nothing more is reported.
  void Stop();
  bool Following() const { return FRun != nullptr; }

  // What came since the last Take; null when nothing did.
  std::unique_ptr<TFollowBatch> Take();

 signals:
  // There is something to Take (once until it is taken).
  void Arrived();
  // Following has stopped by itself: the file was truncated or replaced (change), or it
  // could not be read (error, change None).
  void Ended(TFollowChange change, const QString& error);

 private:
  struct TRun;
  void Report(std::uint64_t id, TFollowChange change, const QString& error);

  std::unique_ptr<TRun> FRun;
  std::uint64_t FLastId = 0;
};

}  // namespace quillon
