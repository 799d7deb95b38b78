#include "player/NotifyBus.h"

#include <algorithm>
#include <condition_variable>
#include <exception>

namespace quillon {

struct TSubscription::TSubscriber {
  std::string Channel;
  TNotifyHandler Handler;
  std::mutex Mutex;
  std::condition_variable Idle;
  int Running = 0;       // deliveries in progress, on any thread
  bool Removed = false;  // no new delivery starts once set
};

namespace {

// The subscribers whose handlers run on this thread right now, innermost last: a handler
// that drops its own subscription must not wait for itself.
thread_local std::vector<const TSubscription::TSubscriber*> tRunningHere;

class TRunningHereFrame {
 public:
  explicit TRunningHereFrame(const TSubscription::TSubscriber* subscriber) {
    tRunningHere.push_back(subscriber);
  }
  ~TRunningHereFrame() { tRunningHere.pop_back(); }
  TRunningHereFrame(const TRunningHereFrame&) = delete;
  TRunningHereFrame& operator=(const TRunningHereFrame&) = delete;
};

}  // namespace

TSubscription::TSubscription(TSubscription&& other) noexcept
    : FBus(other.FBus), FSubscriber(std::move(other.FSubscriber)) {
  other.FBus = nullptr;
}

TSubscription& TSubscription::operator=(TSubscription&& other) noexcept {
  if (this != &other) {
    Unsubscribe();
    FBus = other.FBus;
    FSubscriber = std::move(other.FSubscriber);
    other.FBus = nullptr;
  }
  return *this;
}

TSubscription::~TSubscription() {
  Unsubscribe();
}

void TSubscription::Unsubscribe() {
  if (FBus == nullptr) return;
  FBus->Remove(FSubscriber);
  TSubscriber& subscriber = *FSubscriber;
  const auto ownFrames = std::count(tRunningHere.begin(), tRunningHere.end(), &subscriber);
  {
    std::unique_lock lock(subscriber.Mutex);
    subscriber.Removed = true;
    subscriber.Idle.wait(lock, [&] { return subscriber.Running <= ownFrames; });
  }
  FSubscriber.reset();
  FBus = nullptr;
}

TNotifyBus& TNotifyBus::Instance() {
  // Never destroyed: subscriptions held by static objects may be dropped at exit.
  static TNotifyBus* const bus = new TNotifyBus;
  return *bus;
}

TSubscription TNotifyBus::Subscribe(std::string channel, TNotifyHandler handler) {
  auto subscriber = std::make_shared<TSubscription::TSubscriber>();
  subscriber->Channel = std::move(channel);
  subscriber->Handler = std::move(handler);
  {
    std::lock_guard lock(FMutex);
    FChannels[subscriber->Channel].push_back(subscriber);
  }
  return TSubscription(this, std::move(subscriber));
}

void TNotifyBus::Remove(const std::shared_ptr<TSubscription::TSubscriber>& subscriber) {
  std::lock_guard lock(FMutex);
  auto channel = FChannels.find(subscriber->Channel);
  if (channel == FChannels.end()) return;
  auto& list = channel->second;
  list.erase(std::remove(list.begin(), list.end(), subscriber), list.end());
  if (list.empty()) FChannels.erase(channel);
}

void TNotifyBus::Post(std::string_view channel, const std::string& message) {
  std::vector<std::shared_ptr<TSubscription::TSubscriber>> targets;
  {
    std::lock_guard lock(FMutex);
    auto found = FChannels.find(channel);
    if (found == FChannels.end()) return;
    targets = found->second;
  }
  std::exception_ptr firstError;
  for (const auto& subscriber : targets) {
    {
      std::lock_guard lock(subscriber->Mutex);
      if (subscriber->Removed) continue;
      ++subscriber->Running;
    }
    {
      TRunningHereFrame frame(subscriber.get());
      try {
        if (subscriber->Handler) subscriber->Handler(message);
      } catch (...) {
        if (!firstError) firstError = std::current_exception();
      }
    }
    {
      std::lock_guard lock(subscriber->Mutex);
      --subscriber->Running;
    }
    subscriber->Idle.notify_all();
  }
  if (firstError) std::rethrow_exception(firstError);
}

std::size_t TNotifyBus::SubscriberCount(std::string_view channel) const {
  std::lock_guard lock(FMutex);
  auto found = FChannels.find(channel);
  return found == FChannels.end() ? 0 : found->second.size();
}

}  // namespace quillon
