#include "ui/FilterController.h"

#include <QMetaObject>

#include "ui/QueuedCall.h"

namespace quillon {

namespace {

// The worker looks at the cancel flag and the progress after this many commands.
constexpr std::size_t kStep = 4096;

}  // namespace

TFilterController::TFilterController(QObject* parent) : QObject(parent) {}

TFilterController::~TFilterController() {
  Cancel();
}

void TFilterController::Start(const TCommandList& list, TPredicate matches, const QString& text) {
  Cancel();
  auto run = std::make_shared<TFilterRun>();
  run->Text = text;
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  FCancel = cancel;
  const std::uint64_t id = ++FRunId;
  FThread = StartNotifyThread(
      [this, &list, matches = std::move(matches), run, cancel, id](TNotifyThread&) {
        const std::size_t count = list.Count();
        auto rows = std::make_shared<std::vector<int>>();
        int lastPercent = -1;
        for (std::size_t first = 0; first < count && !cancel->load(); first += kStep) {
          const std::size_t last = std::min(count, first + kStep);
          for (std::size_t i = first; i < last; ++i)
            if (matches(list[i], i + 1)) rows->push_back(static_cast<int>(i));
          const int percent = static_cast<int>(100 * last / count);
          if (percent == lastPercent) continue;
          lastPercent = percent;
          QMetaObject::invokeMethod(
              this,
              [this, id, percent] {
                if (id == FRunId && Running()) emit Progress(percent);
              },
              Qt::QueuedConnection);
        }
        run->Total = count;
        run->Rows = std::move(rows);
      },
      [this, run, cancel](TNotifyThread&) {
        FThread.reset();
        if (!cancel->load()) emit Finished(run);
      },
      QueuedOn(this));
}

void TFilterController::Cancel() {
  if (!FThread) return;
  *FCancel = true;
  FThread.reset();  // waits for the worker; its end is not reported
}

}  // namespace quillon
