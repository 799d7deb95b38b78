// A driver that plays back a script of exchange results and records every call, and a
// recorder of what the player posts on a bus.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/untCommand.h"
#include "driver/Driver.h"
#include "player/NotifyBus.h"

namespace quillon::test {

struct TExchange {
  TExchange(int result = 0, std::string answer = {}, std::string description = {},
            std::string error = {})
      : Result(result),
        Answer(std::move(answer)),
        Description(std::move(description)),
        Throw(std::move(error)) {}
  int Result = 0;
  std::string Answer;         // TransferBytes after a result of 0 or less
  std::string Description;    // ResultCodeDescription after a failure
  std::string Throw;          // non-empty: ExchangeBytes raises an error with this text
  bool UntilAborted = false;  // ExchangeBytes waits for Abort and answers deAborted
};

class TFakeDriver : public IDriver {
 public:
  std::deque<TExchange> Script;  // one entry per ExchangeBytes, then plain successes
  std::vector<std::string> Calls;
  int PrintingResult = 0;

  int BinaryConversion() const override { return FBinaryConversion; }
  void SetBinaryConversion(int value) override {
    FBinaryConversion = value;
    Calls.push_back("SetBinaryConversion " + std::to_string(value));
  }
  std::string TransferBytes() const override {
    const_cast<TFakeDriver*>(this)->Calls.push_back("TransferBytes");
    return FTransfer;
  }
  void SetTransferBytes(const std::string& hex) override {
    FTransfer = hex;
    Calls.push_back("SetTransferBytes " + hex);
  }
  int ExchangeBytes() override {
    Calls.push_back("ExchangeBytes");
    TExchange next;
    if (!Script.empty()) {
      next = std::move(Script.front());
      Script.pop_front();
    }
    if (!next.Throw.empty()) throw std::runtime_error(next.Throw);
    if (next.UntilAborted) {
      std::unique_lock lock(FAbortMutex);
      FExchangeWaiting = true;
      FAbortChanged.notify_all();
      FAbortChanged.wait(lock, [this] { return FAbortPending; });
      FAbortPending = false;
      FExchangeWaiting = false;
      next = {deAborted, "", "Прервано"};
      FTransfer.clear();
    }
    // A success without a scripted answer answers with the code bytes and result 00; a
    // driver error leaves the request in place.
    if (next.Result == 0 && next.Answer.empty())
      next.Answer = FTransfer.substr(0, FTransfer.starts_with("FF") ? 5 : 2) + " 00";
    if (next.Result == 0) FTransfer = next.Answer;
    FLast = next;
    return next.Result;
  }
  int ResultCode() const override {
    const_cast<TFakeDriver*>(this)->Calls.push_back("ResultCode");
    return FLast.Result;
  }
  std::string ResultCodeDescription() const override {
    const_cast<TFakeDriver*>(this)->Calls.push_back("ResultCodeDescription");
    return FLast.Description;
  }
  int WaitForPrinting() override {
    Calls.push_back("WaitForPrinting");
    return PrintingResult;
  }
  int SysAdminPassword() const override { return 30; }
  int Password() const override { return FPassword; }
  void SetPassword(int value) override { FPassword = value; }
  int GetECRStatus() override { return 0; }
  int ECRMode() const override { return 0; }
  std::string ECRModeDescription() const override { return {}; }
  int ECRAdvancedMode() const override { return 0; }
  std::string ECRAdvancedModeDescription() const override { return {}; }

  // Any thread.
  void Abort() override {
    std::lock_guard lock(FAbortMutex);
    ++FAborts;
    if (FExchangeWaiting) FAbortPending = true;
    FAbortChanged.notify_all();
  }
  void SetLogProtocol(int protocol) override {
    Calls.push_back("SetLogProtocol " + std::to_string(protocol));
  }
  int Aborts() const {
    std::lock_guard lock(FAbortMutex);
    return FAborts;
  }
  // Waits until an exchange waits for Abort.
  void WaitForPendingExchange() {
    std::unique_lock lock(FAbortMutex);
    FAbortChanged.wait(lock, [this] { return FExchangeWaiting; });
  }

  int Exchanges() const {
    int n = 0;
    for (const auto& call : Calls) n += call == "ExchangeBytes";
    return n;
  }

 private:
  int FBinaryConversion = 0;
  int FPassword = 0;
  std::string FTransfer;
  TExchange FLast;
  mutable std::mutex FAbortMutex;
  std::condition_variable FAbortChanged;
  bool FExchangeWaiting = false, FAbortPending = false;
  int FAborts = 0;
};

// Records the messages of the three channels as "Channel: text", in order.
class TRecorder {
 public:
  explicit TRecorder(TNotifyBus& bus) {
    for (const char* channel : {kChannelCommandRun, kChannelErrorQuery, kChannelError})
      FTokens.push_back(bus.Subscribe(channel, [this, channel](const std::string& message) {
        std::function<void(const std::string&)> hook;
        {
          std::lock_guard lock(FMutex);
          FMessages.push_back(std::string(channel) + ": " + message);
          hook = std::string(channel) == kChannelErrorQuery ? OnQuery : OnRun;
          if (std::string(channel) == kChannelError) hook = nullptr;
        }
        FChanged.notify_all();
        if (hook) hook(message);
      }));
  }

  // Run on the posting thread for "ErrorQuery" and "CommandRun" messages.
  std::function<void(const std::string&)> OnQuery, OnRun;

  std::vector<std::string> Messages() const {
    std::lock_guard lock(FMutex);
    return FMessages;
  }
  // Waits until a message equal to text has been posted.
  void WaitFor(const std::string& text) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] {
      for (const auto& message : FMessages)
        if (message == text) return true;
      return false;
    });
  }

 private:
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<std::string> FMessages;
  std::vector<TSubscription> FTokens;
};

// A list of selected commands made from request hex texts.
inline void FillCommands(TCommandList& list, std::initializer_list<const char*> requests) {
  for (const char* tx : requests) {
    TCommandRec rec;
    rec.TxData = tx;
    rec.Code = TCommand::GetCode(tx);
    list.Add(std::move(rec)).Selected = true;
  }
}

}  // namespace quillon::test
