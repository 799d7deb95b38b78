// The answer comparison of a whole list for the window, on a worker thread: the verdict of
// every command (for the list's cache and the "only differing" filter) and, when a file is
// named, the report (one JSON line per command, as `replay --report` writes its range).
// Holds no widgets.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/untCommand.h"
#include "parser/AnswerComparison.h"
#include "player/NotifyThread.h"

namespace quillon {

// What one run gave.
struct TComparisonRun {
  std::uint64_t Epoch = 0;            // the caller's mark given to Start
  std::vector<signed char> Verdicts;  // a TAnswerVerdict per command
  QString ReportFile;                 // empty: no report asked for
  std::size_t ReportLines = 0;        // lines written to it
  QString Error;                      // the report could not be written
};

class TComparisonController : public QObject {
  Q_OBJECT

 public:
  explicit TComparisonController(QObject* parent = nullptr);
  // Cancels a run and waits for its thread.
  ~TComparisonController() override;

  // Compares every command of list (not owned; it must live and keep its commands until
  // Finished or Cancel) with fields, writing the report to reportFile when not empty.
  // Refused (false) while a run goes on.
  bool Start(const TCommandList& list, const TVolatileFields& fields, std::uint64_t epoch,
             const QString& reportFile = QString());
  // Ends a run at once (waits for its thread); it reports nothing.
  void Cancel();
  bool Running() const { return FThread != nullptr; }

 signals:
  void Finished(std::shared_ptr<TComparisonRun> run);

 private:
  std::unique_ptr<TNotifyThread> FThread;
  std::shared_ptr<std::atomic<bool>> FCancel;
};

}  // namespace quillon
