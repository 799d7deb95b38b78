// The display filter's matching for the window, on a worker thread: which commands of a
// list pass, reported as their ascending row numbers with the progress in percent. A newer
// run cancels the one before, which then reports nothing. Holds no widgets.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/untCommand.h"
#include "player/NotifyThread.h"

namespace quillon {

// What one run gave.
struct TFilterRun {
  QString Text;  // the expression, as given to Start
  std::shared_ptr<const std::vector<int>> Rows;
  std::size_t Total = 0;  // commands matched against
};

class TFilterController : public QObject {
  Q_OBJECT

 public:
  // Whether a command, numbered from 1 in its list, passes; called on the worker.
  using TPredicate = std::function<bool(const TCommand& command, std::uint64_t number)>;

  explicit TFilterController(QObject* parent = nullptr);
  // Cancels a run and waits for its thread.
  ~TFilterController() override;

  // Matches every command of list (not owned; it must live and keep its commands until
  // Finished or Cancel). A run still going is cancelled first.
  void Start(const TCommandList& list, TPredicate matches, const QString& text);
  // Ends a run at once (waits for its thread); it reports nothing.
  void Cancel();
  bool Running() const { return FThread != nullptr; }

 signals:
  // 0..100 while a run goes on.
  void Progress(int percent);
  void Finished(std::shared_ptr<TFilterRun> run);

 private:
  std::unique_ptr<TNotifyThread> FThread;
  std::shared_ptr<std::atomic<bool>> FCancel;
  std::uint64_t FRunId = 0;  // of the run that reports
};

}  // namespace quillon
