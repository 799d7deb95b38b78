#include "player/NotifyThread.h"

#include <stdexcept>

namespace quillon {

TNotifyThread::TNotifyThread(TCallback onExecute)
    : FOnExecute(std::move(onExecute)), FShared(std::make_shared<TShared>()) {
  FShared->Owner = this;
}

TNotifyThread::~TNotifyThread() {
  {
    std::lock_guard lock(FShared->Mutex);
    FShared->Owner = nullptr;
  }
  if (FThread.joinable() && FThread.get_id() == std::this_thread::get_id()) {
    // Destroyed by its own terminate callback: the worker touches nothing of the object
    // after that callback and ends right away.
    FThread.detach();
    return;
  }
  WaitFor();
}

void TNotifyThread::SetOnTerminate(TCallback onTerminate, TRunOnMainThread runOnMain) {
  FOnTerminate = std::move(onTerminate);
  FRunOnMain = std::move(runOnMain);
}

void TNotifyThread::Start() {
  std::lock_guard lock(FJoinMutex);
  if (FThread.joinable() || Finished()) throw std::logic_error("the thread has been started");
  FThread = std::thread([this] { Run(); });
}

void TNotifyThread::WaitFor() {
  std::lock_guard lock(FJoinMutex);
  if (!FThread.joinable() || FThread.get_id() == std::this_thread::get_id()) return;
  FThread.join();
}

std::exception_ptr TNotifyThread::FatalException() const {
  std::lock_guard lock(FMutex);
  return FFatalException;
}

void TNotifyThread::Execute() {
  if (FOnExecute) FOnExecute(*this);
}

void TNotifyThread::Run() {
  try {
    Execute();
  } catch (...) {
    // An error must not end the program from a thread; the owner can still look at it.
    std::lock_guard lock(FMutex);
    FFatalException = std::current_exception();
  }
  FFinished = true;
  if (!FOnTerminate) return;
  if (FRunOnMain) {
    FRunOnMain([shared = FShared] {
      std::lock_guard lock(shared->Mutex);
      TNotifyThread* owner = shared->Owner;
      if (owner == nullptr) return;
      TCallback callback = owner->FOnTerminate;
      callback(*owner);
    });
    return;
  }
  TCallback callback = FOnTerminate;
  callback(*this);
  // The callback may have destroyed this object: nothing of it is touched from here on.
}

std::unique_ptr<TNotifyThread> StartNotifyThread(TNotifyThread::TCallback onExecute,
                                                 TNotifyThread::TCallback onTerminate,
                                                 TRunOnMainThread runOnMain) {
  auto thread = std::make_unique<TNotifyThread>(std::move(onExecute));
  thread->SetOnTerminate(std::move(onTerminate), std::move(runOnMain));
  thread->Start();
  return thread;
}

}  // namespace quillon
