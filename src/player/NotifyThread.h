// A worker thread that runs one execute callback and then reports its end through a
// terminate callback, which a window wants run on its own (main) thread.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quillon {

// Hands a function over to the main thread and returns without waiting for it to run (for
// a Qt window, a queued call). It must not block until the function has run.
using TRunOnMainThread = std::function<void(std::function<void()>)>;

class TNotifyThread {
 public:
  using TCallback = std::function<void(TNotifyThread&)>;

  // Creates the thread suspended; Start runs it.
  explicit TNotifyThread(TCallback onExecute);
  // Waits for the worker to end. A terminate callback handed to the main thread and not
  // run yet is dropped.
  ~TNotifyThread();
  TNotifyThread(const TNotifyThread&) = delete;
  TNotifyThread& operator=(const TNotifyThread&) = delete;

  // Called after the execute callback has returned, through runOnMain when given, else on
  // the worker itself. Set it before Start.
  void SetOnTerminate(TCallback onTerminate, TRunOnMainThread runOnMain = {});

  // Starts the worker; a second call raises an error.
  void Start();
  // Waits until the worker has ended (the terminate callback has run when it runs on the
  // worker). Returns at once when the thread never started or when called on the worker.
  void WaitFor();
  // The execute callback has returned.
  bool Finished() const { return FFinished.load(); }
  // The error that escaped the execute callback, if any.
  std::exception_ptr FatalException() const;

 private:
  // What a terminate callback handed to the main thread still needs once the thread object
  // may be gone.
  struct TShared {
    // Held while the callback runs, which may itself destroy the thread object.
    std::recursive_mutex Mutex;
    TNotifyThread* Owner = nullptr;  // null once the thread object is destroyed
  };

  void Run();
  // Runs the execute callback.
  void Execute();

  TCallback FOnExecute;
  TCallback FOnTerminate;
  TRunOnMainThread FRunOnMain;
  std::shared_ptr<TShared> FShared;
  std::thread FThread;
  std::atomic<bool> FFinished = false;
  std::mutex FJoinMutex;
  mutable std::mutex FMutex;
  std::exception_ptr FFatalException;
};

// Creates a thread running onExecute, with onTerminate called after it (see
// SetOnTerminate), starts it and hands it to the caller, who keeps it until it has ended.
std::unique_ptr<TNotifyThread> StartNotifyThread(TNotifyThread::TCallback onExecute,
                                                 TNotifyThread::TCallback onTerminate,
                                                 TRunOnMainThread runOnMain = {});

}  // namespace quillon
