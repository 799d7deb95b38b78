#include "player/untQuillon.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <thread>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/Errors.h"
#include "core/Translate.h"

namespace quillon {

namespace {

// The answer recorded for a command that failed with result: its code byte or bytes and
// the result as one byte ("11 50", "FF 01 02").
std::string FailedAnswer(const std::string& txData, int result) {
  if (txData.size() < 2) return {};
  TBytes answer = CommandCodeBytes(HexToBytes(txData, 2));
  answer.push_back(static_cast<std::uint8_t>(result));
  return BytesToHex(answer);
}

std::string CurrentErrorMessage() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return Tr("Неизвестная ошибка");
  }
}

}  // namespace

TQuillon::TQuillon(TNotifyBus& bus, TSleep sleep) : FBus(bus), FSleep(std::move(sleep)) {
  if (!FSleep) FSleep = [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); };
}

void TQuillon::BeginPlayback() {
  FStopFlag = false;
}

void TQuillon::StopPlaying() {
  FStopFlag = true;
  {
    // Held while aborting, so that PlayLog cannot return and let its driver go meanwhile.
    std::lock_guard lock(FDriverMutex);
    if (FDriver != nullptr) FDriver->Abort();
  }
  // Taking the lock orders the flag with a WaitForPlayMode about to sleep.
  { std::lock_guard lock(FModeMutex); }
  FModeChanged.notify_all();
}

bool TQuillon::IsPlayable(const TCommand& command, const std::vector<std::string>* exceptList) {
  if (exceptList == nullptr) return true;
  for (const std::string& line : *exceptList)
    if (TCommand::GetCode(line) == command.Code()) return false;
  return true;
}

std::int64_t TQuillon::LastIndex(std::size_t listSize, int firstIndex, int count) {
  std::int64_t last = static_cast<std::int64_t>(listSize) - 1;
  if (count != 0) last = std::min<std::int64_t>(std::int64_t{firstIndex} + count - 1, last);
  return last;
}

int TQuillon::RecordedProtocol(const TCommandList& commands,
                               const std::vector<std::string>* exceptList, int firstIndex,
                               int count) {
  const std::int64_t last = LastIndex(commands.Count(), firstIndex, count);
  for (std::int64_t j = std::max(firstIndex, 0); j <= last; ++j) {
    const TCommand& command = commands[static_cast<std::size_t>(j)];
    if (!command.Selected || !IsPlayable(command, exceptList)) continue;
    if (const int protocol = LinkProtocol(command)) return protocol;
  }
  return 0;
}

int TQuillon::LinkProtocol(const TCommand& command) {
  const TProtocol protocol = command.Protocol();
  return protocol == pProtocol1 || protocol == pProtocol2 || protocol == pProtocol3 ? protocol : 0;
}

bool TQuillon::WaitForPlayMode() {
  std::unique_lock lock(FModeMutex);
  FModeChanged.wait(
      lock, [this] { return FPlayMode == pmContinue || FPlayMode == pmStop || FStopFlag.load(); });
  return FPlayMode == pmContinue;
}

void TQuillon::SetPlayMode(TPlayMode mode) {
  {
    std::lock_guard lock(FModeMutex);
    FPlayMode = mode;
  }
  FModeChanged.notify_all();
}

TPlayMode TQuillon::PlayMode() const {
  std::lock_guard lock(FModeMutex);
  return FPlayMode;
}

bool TQuillon::TryPost(const char* channel, const std::string& message) {
  try {
    FBus.Post(channel, message);
    return true;
  } catch (...) {
    return false;
  }
}

void TQuillon::PlayCommand(IDriver& drv, TCommand& command) {
  drv.SetBinaryConversion(1);
  drv.SetTransferBytes(command.TxData());
  int result = 0;
  for (int tries = 0;;) {
    result = drv.ExchangeBytes();
    ++tries;
    // A stop ends the retries at once; the busy result then counts as the command's.
    if (!IsBusyResult(result) || FStopFlag) break;
    FSleep(kBusyPause);
    if (tries >= kMaxExchanges || FStopFlag) break;
  }
  if (result <= 0)
    command.SetPlayedAnswerData(drv.TransferBytes());
  else
    command.SetPlayedAnswerData(FailedAnswer(command.TxData(), result));
  command.Played = true;
  if (result != 0) {
    const int code = drv.ResultCode();
    throw EQuillonError(std::to_string(code) + ", " + drv.ResultCodeDescription());
  }
  if (command.IsPrintCommand()) drv.WaitForPrinting();
}

void TQuillon::PlayLog(IDriver& drv, TCommandList& commands,
                       const std::vector<std::string>* exceptList, int firstIndex, int count,
                       bool infinitePlay) {
  // The stop is not cleared here (BeginPlayback does it): one given before this call stops it.
  {
    std::lock_guard lock(FDriverMutex);
    FDriver = &drv;
  }
  std::int64_t pass = infinitePlay ? 0 : -1;
  std::int64_t j = firstIndex;
  // Set when a failure ends playback.
  std::optional<std::string> fatal;

  try {
    if (!FStopFlag) {
      const int protocol = RecordedProtocol(commands, exceptList, firstIndex, count);
      if (protocol != 0) drv.SetLogProtocol(protocol);
    }
    while (!fatal) {
      if (infinitePlay) ++pass;
      const std::int64_t lastInList = static_cast<std::int64_t>(commands.Count()) - 1;
      const std::int64_t last = LastIndex(commands.Count(), firstIndex, count);
      SetPlayMode(pmPlay);
      bool sent = false;

      for (j = firstIndex; j <= last; ++j) {
        if (FStopFlag) break;
        try {
          if (j < 0 || j > lastInList)
            throw EQuillonError(Tr("Индекс команды вне диапазона: ") + std::to_string(j));
          TCommand& command = commands[static_cast<std::size_t>(j)];
          if (!command.Selected || !IsPlayable(command, exceptList)) continue;
          FBus.Post(kChannelCommandRun, infinitePlay
                                            ? std::to_string(j) + ' ' + std::to_string(pass)
                                            : std::to_string(j));
          sent = true;
          PlayCommand(drv, command);
        } catch (...) {
          std::string message = CurrentErrorMessage();
          if (FStopFlag) {
            // Stopped meanwhile (the exchange may have been aborted): nothing to ask.
            fatal = std::move(message);
          } else if (j < last) {
            // The answer may come from a handler of the query or later from any thread.
            if (TryPost(kChannelErrorQuery, std::to_string(j) + ' ' + message) && WaitForPlayMode())
              SetPlayMode(pmPlay);
            else
              fatal = std::move(message);
          } else {
            // The last command of the range: nothing is asked, the pass ends as usual, but
            // the failure is still reported.
            TryPost(kChannelError, std::to_string(j) + ' ' + std::to_string(pass) + ' ' + message);
          }
        }
        if (fatal) break;
      }
      if (fatal || FStopFlag || !infinitePlay) break;
      // A pass that sent nothing must not starve the other threads while it spins.
      if (!sent) std::this_thread::yield();
    }
  } catch (...) {
    // Only the bus or the system can fail out here; nothing leaves the player.
    if (!fatal) fatal = CurrentErrorMessage();
  }
  {
    std::lock_guard lock(FDriverMutex);
    FDriver = nullptr;
  }
  if (fatal) TryPost(kChannelError, std::to_string(j) + ' ' + std::to_string(pass) + ' ' + *fatal);
}

}  // namespace quillon
