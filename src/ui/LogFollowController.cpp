#include "ui/LogFollowController.h"

#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "ui/UiText.h"

namespace quillon {

void TFollowBatch::Merge(TFollowBatch&& later) {
  if (!later.Finals.empty()) {
    if (Finals.empty()) FirstNumber = later.FirstNumber;
    for (TCommand& command : later.Finals) Finals.push_back(std::move(command));
  }
  if (later.Open) {
    Open = std::move(later.Open);
    OpenNumber = later.OpenNumber;
  } else if (!later.Finals.empty()) {
    Open.reset();  // the open command became one of the finals
  }
  for (TParseDiagnostic& diagnostic : later.Diagnostics)
    Diagnostics.push_back(std::move(diagnostic));
}

struct TLogFollowController::TRun {
  std::uint64_t Id = 0;
  std::mutex Mutex;
  std::condition_variable Wake;
  std::atomic<bool> Stop = false;
  TFollowBatch Pending;  // guarded by Mutex
  std::thread Thread;
};

TLogFollowController::TLogFollowController(QObject* parent) : QObject(parent) {}

TLogFollowController::~TLogFollowController() {
  Stop();
}

void TLogFollowController::Stop() {
  if (!FRun) return;
  {
    std::lock_guard lock(FRun->Mutex);
    FRun->Stop = true;
  }
  FRun->Wake.notify_all();
  FRun->Thread.join();
  FRun.reset();
}

std::unique_ptr<TFollowBatch> TLogFollowController::Take() {
  if (!FRun) return nullptr;
  auto batch = std::make_unique<TFollowBatch>();
  std::lock_guard lock(FRun->Mutex);
  if (FRun->Pending.Empty()) return nullptr;
  std::swap(*batch, FRun->Pending);
  return batch;
}

void TLogFollowController::Report(std::uint64_t id, TFollowChange change, const QString& error) {
  if (!FRun || FRun->Id != id) return;
  Stop();
  emit Ended(change, error);
}

void TLogFollowController::Start(const QString& fileName, TLogEncoding encoding,
                                 std::uint64_t knownCommands, std::int64_t knownLines, int pollMs) {
  Stop();
  FRun = std::make_unique<TRun>();
  TRun* run = FRun.get();
  run->Id = ++FLastId;
  run->Thread = std::thread([this, run, file = fileName.toStdString(), encoding, knownCommands,
                             knownLines, pollMs] {
    const std::uint64_t id = run->Id;
    auto report = [this, id](TFollowChange change, const QString& error) {
      QMetaObject::invokeMethod(
          this, [this, id, change, error] { Report(id, change, error); }, Qt::QueuedConnection);
    };
    try {
      TFollowBatch batch;
      TLogFollower follower(file, encoding, [&](TCommand& command, std::uint64_t number) {
        if (number <= knownCommands) return;
        if (batch.Finals.empty()) batch.FirstNumber = number;
        batch.Finals.push_back(command);
      });
      std::size_t diagnostics = 0;
      TLogLoadControl control;
      control.Cancel = &run->Stop;
      while (!run->Stop) {
        const TFollowPoll poll = follower.Poll(control);
        if (poll.Change == TFollowChange::Truncated || poll.Change == TFollowChange::Replaced) {
          report(poll.Change, QString());
          return;
        }
        if (poll.Change == TFollowChange::Appended && !poll.Cancelled) {
          const std::uint64_t openNumber = follower.FinalCommands() + 1;
          if (const TCommand* open = follower.OpenCommand(); open && openNumber > knownCommands) {
            batch.Open = *open;
            batch.OpenNumber = openNumber;
          }
          const std::vector<TParseDiagnostic>& found = follower.Diagnostics();
          for (; diagnostics < found.size(); ++diagnostics)
            if (found[diagnostics].LineNumber > knownLines)
              batch.Diagnostics.push_back(found[diagnostics]);
          bool first = false;
          {
            std::lock_guard lock(run->Mutex);
            first = run->Pending.Empty();
            run->Pending.Merge(std::move(batch));
            first = first && !run->Pending.Empty();
          }
          batch = TFollowBatch();
          if (first)
            QMetaObject::invokeMethod(
                this,
                [this, id] {
                  if (FRun && FRun->Id == id) emit Arrived();
                },
                Qt::QueuedConnection);
        }
        std::unique_lock lock(run->Mutex);
        run->Wake.wait_for(lock, std::chrono::milliseconds(pollMs),
                           [run] { return run->Stop.load(); });
      }
    } catch (const std::exception& e) {
      report(TFollowChange::None, Q(e.what()));
    }
  });
}

}  // namespace quillon
