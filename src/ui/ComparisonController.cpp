#include "ui/ComparisonController.h"

#include <QSaveFile>
#include <exception>
#include <string>

#include "ui/QueuedCall.h"

namespace quillon {

namespace {

// The report is written in pieces of about this size.
constexpr std::size_t kReportChunk = 1 << 20;

}  // namespace

TComparisonController::TComparisonController(QObject* parent) : QObject(parent) {}

TComparisonController::~TComparisonController() {
  Cancel();
}

bool TComparisonController::Start(const TCommandList& list, const TVolatileFields& fields,
                                  std::uint64_t epoch, const QString& reportFile) {
  if (Running()) return false;
  auto run = std::make_shared<TComparisonRun>();
  run->Epoch = epoch;
  run->ReportFile = reportFile;
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  FCancel = cancel;
  FThread = StartNotifyThread(
      [&list, fields, run, cancel](TNotifyThread&) {
        const std::size_t count = list.Count();
        run->Verdicts.assign(count, static_cast<signed char>(avNotPlayed));
        std::unique_ptr<QSaveFile> file;
        if (!run->ReportFile.isEmpty()) {
          file = std::make_unique<QSaveFile>(run->ReportFile);
          if (!file->open(QIODevice::WriteOnly)) {
            run->Error = file->errorString();
            file.reset();
          }
        }
        std::string out;
        auto flush = [&] {
          if (file && !out.empty() &&
              file->write(out.data(), static_cast<qint64>(out.size())) !=
                  static_cast<qint64>(out.size()))
            run->Error = file->errorString();
          out.clear();
        };
        for (std::size_t i = 0; i < count && !cancel->load(); ++i) {
          const TCommand& command = list[i];
          TAnswerComparison comparison;
          try {
            comparison = CompareAnswers(command, fields);
          } catch (const std::exception&) {
            continue;  // a command the decoder cannot read stays "not played"
          }
          run->Verdicts[i] = static_cast<signed char>(comparison.Verdict);
          if (!file) continue;
          AppendComparisonJson(out, i + 1, command, comparison);
          ++run->ReportLines;
          if (out.size() >= kReportChunk) flush();
        }
        flush();
        if (file && (cancel->load() || !run->Error.isEmpty() || !file->commit())) {
          if (run->Error.isEmpty() && !cancel->load()) run->Error = file->errorString();
          file->cancelWriting();
        }
      },
      [this, run, cancel](TNotifyThread&) {
        FThread.reset();
        if (!cancel->load()) emit Finished(run);
      },
      QueuedOn(this));
  return true;
}

void TComparisonController::Cancel() {
  if (!FThread) return;
  *FCancel = true;
  FThread.reset();  // waits for the worker; its end is not reported
}

}  // namespace quillon
