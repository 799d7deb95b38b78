#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

#include "player/NotifyBus.h"
#include "player/NotifyThread.h"

namespace quillon {
namespace {

using Messages = std::vector<std::string>;

TEST(NotifyBus, DeliversToEverySubscriberOfTheChannelOnThePostingThread) {
  TNotifyBus bus;
  Messages got;
  std::thread::id thread;
  auto first = bus.Subscribe("Error", [&](const std::string& m) {
    got.push_back("first " + m);
    thread = std::this_thread::get_id();
  });
  auto other =
      bus.Subscribe("CommandRun", [&](const std::string& m) { got.push_back("run " + m); });
  auto second = bus.Subscribe("Error", [&](const std::string& m) { got.push_back("second " + m); });
  EXPECT_EQ(bus.SubscriberCount("Error"), 2u);

  bus.Post("Error", "1 -1 2, Ошибка");
  EXPECT_EQ(got, (Messages{"first 1 -1 2, Ошибка", "second 1 -1 2, Ошибка"}));
  EXPECT_EQ(thread, std::this_thread::get_id());

  // A moved token keeps the subscription; a replaced or destroyed one ends it.
  TSubscription kept = std::move(first);
  EXPECT_FALSE(first.Active());
  second = std::move(other);
  got.clear();
  bus.Post("Error", "x");
  bus.Post("CommandRun", "0");
  bus.Post("ErrorQuery", "nobody listens");
  EXPECT_EQ(got, (Messages{"first x", "run 0"}));
  kept.Unsubscribe();
  second = TSubscription();
  got.clear();
  bus.Post("Error", "y");
  bus.Post("CommandRun", "1");
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(bus.SubscriberCount("Error"), 0u);
  EXPECT_EQ(&TNotifyBus::Instance(), &TNotifyBus::Instance());
}

TEST(NotifyBus, FailingAndSelfRemovingHandlers) {
  TNotifyBus bus;
  int calls = 0;
  TSubscription once;
  once = bus.Subscribe("Error", [&](const std::string&) {
    ++calls;
    once.Unsubscribe();  // must not wait for itself
  });
  auto failing = bus.Subscribe("Error", [](const std::string& m) { throw std::runtime_error(m); });
  auto last = bus.Subscribe("Error", [&](const std::string&) { ++calls; });
  try {
    bus.Post("Error", "boom");
    ADD_FAILURE() << "the handler's error was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "boom");
  }
  EXPECT_EQ(calls, 2);  // the handler after the failing one still ran
  failing.Unsubscribe();
  bus.Post("Error", "again");
  EXPECT_EQ(calls, 3);
}

TEST(NotifyBus, UnsubscribeWaitsForAHandlerRunningOnAnotherThread) {
  TNotifyBus bus;
  std::atomic<bool> entered = false, unsubscribed = false, returnedEarly = false;
  auto token = bus.Subscribe("CommandRun", [&](const std::string&) {
    entered = true;
    // Wait until the other thread has taken the handler off the channel.
    while (bus.SubscriberCount("CommandRun") != 0) std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    returnedEarly = unsubscribed.load();
  });
  std::thread poster([&] { bus.Post("CommandRun", "0"); });
  while (!entered) std::this_thread::yield();
  token.Unsubscribe();
  unsubscribed = true;
  poster.join();
  EXPECT_FALSE(returnedEarly);
}

TEST(NotifyThread, TerminateRunsAfterExecuteOnTheWorkerByDefault) {
  std::thread::id executeThread, terminateThread;
  bool executed = false, executedFirst = false;
  auto thread = StartNotifyThread(
      [&](TNotifyThread&) {
        executeThread = std::this_thread::get_id();
        executed = true;
      },
      [&](TNotifyThread& self) {
        terminateThread = std::this_thread::get_id();
        executedFirst = executed && self.Finished();
      });
  thread->WaitFor();
  EXPECT_TRUE(thread->Finished());
  EXPECT_TRUE(executedFirst);
  EXPECT_NE(executeThread, std::this_thread::get_id());
  EXPECT_EQ(terminateThread, executeThread);
  EXPECT_THROW(thread->Start(), std::logic_error);

  // A thread that never started is left alone.
  TNotifyThread idle(nullptr);
  idle.WaitFor();
  EXPECT_FALSE(idle.Finished());
}

TEST(NotifyThread, TerminateGoesThroughTheMainThreadRunner) {
  std::mutex mutex;
  std::deque<std::function<void()>> queue;  // the "main thread" event queue
  auto runOnMain = [&](std::function<void()> f) {
    std::lock_guard lock(mutex);
    queue.push_back(std::move(f));
  };
  auto takeAll = [&] {
    std::lock_guard lock(mutex);
    return std::exchange(queue, {});
  };

  int terminated = 0;
  std::thread::id terminateThread;
  auto thread = StartNotifyThread([](TNotifyThread&) { throw std::runtime_error("failed"); },
                                  [&](TNotifyThread&) {
                                    ++terminated;
                                    terminateThread = std::this_thread::get_id();
                                  },
                                  runOnMain);
  thread->WaitFor();
  EXPECT_EQ(terminated, 0);
  ASSERT_TRUE(thread->FatalException());
  for (auto& f : takeAll()) f();
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(terminateThread, std::this_thread::get_id());

  // The window may free the thread in its terminate callback.
  std::unique_ptr<TNotifyThread> owned =
      StartNotifyThread([](TNotifyThread&) {}, [&](TNotifyThread&) { owned.reset(); }, runOnMain);
  owned->WaitFor();
  for (auto& f : takeAll()) f();
  EXPECT_EQ(owned, nullptr);

  // A callback still queued when the thread object goes is dropped.
  auto gone =
      StartNotifyThread([](TNotifyThread&) {}, [&](TNotifyThread&) { ++terminated; }, runOnMain);
  gone.reset();
  for (auto& f : takeAll()) f();
  EXPECT_EQ(terminated, 1);
}

TEST(NotifyThread, TerminateCallbackMayFreeTheThreadOnTheWorker) {
  std::mutex mutex;
  std::condition_variable done;
  bool freed = false;
  std::unique_ptr<TNotifyThread> owned;
  {
    std::lock_guard lock(mutex);  // owned is set before the callback reads it
    owned = StartNotifyThread([](TNotifyThread&) {},
                              [&](TNotifyThread&) {
                                std::lock_guard inner(mutex);
                                owned.reset();
                                freed = true;
                                done.notify_all();
                              });
  }
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return freed; });
  EXPECT_EQ(owned, nullptr);
}

}  // namespace
}  // namespace quillon
