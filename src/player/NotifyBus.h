// Named notification channels between the player and whoever shows its progress. A message
// is one text; posting delivers it synchronously, on the posting thread, to every handler
// subscribed to the channel, and returns when they all have returned.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The channels of the player.
inline constexpr const char* kChannelCommandRun = "CommandRun";
inline constexpr const char* kChannelErrorQuery = "ErrorQuery";
inline constexpr const char* kChannelError = "Error";

using TNotifyHandler = std::function<void(const std::string& message)>;

class TNotifyBus;

// Keeps one handler subscribed; destroying it (or Unsubscribe) takes the handler off its
// channel and waits until no other thread is still running it, so that the handler's
// owner can go away right after. A handler may drop its own subscription while it runs.
class TSubscription {
 public:
  TSubscription() = default;
  TSubscription(TSubscription&& other) noexcept;
  TSubscription& operator=(TSubscription&& other) noexcept;
  TSubscription(const TSubscription&) = delete;
  TSubscription& operator=(const TSubscription&) = delete;
  ~TSubscription();

  void Unsubscribe();
  bool Active() const { return FBus != nullptr; }

  struct TSubscriber;

 private:
  friend class TNotifyBus;
  TSubscription(TNotifyBus* bus, std::shared_ptr<TSubscriber> subscriber)
      : FBus(bus), FSubscriber(std::move(subscriber)) {}

  TNotifyBus* FBus = nullptr;
  std::shared_ptr<TSubscriber> FSubscriber;
};

class TNotifyBus {
 public:
  TNotifyBus() = default;
  TNotifyBus(const TNotifyBus&) = delete;
  TNotifyBus& operator=(const TNotifyBus&) = delete;
  // Every subscription must have been dropped before its bus goes.
  ~TNotifyBus() = default;

  // The bus of the whole program.
  static TNotifyBus& Instance();

  // Subscribes handler to channel until the returned token is dropped. Any thread.
  [[nodiscard]] TSubscription Subscribe(std::string channel, TNotifyHandler handler);

  // Runs every handler of channel with message, in the order of subscription. A handler
  // subscribed or dropped meanwhile by another thread may or may not get this message.
  // When handlers throw, the others still run and the first error is raised afterwards.
  void Post(std::string_view channel, const std::string& message);

  // The number of handlers subscribed to channel.
  std::size_t SubscriberCount(std::string_view channel) const;

 private:
  friend class TSubscription;
  void Remove(const std::shared_ptr<TSubscription::TSubscriber>& subscriber);

  mutable std::mutex FMutex;
  std::map<std::string, std::vector<std::shared_ptr<TSubscription::TSubscriber>>, std::less<>>
      FChannels;
};

}  // namespace quillon
