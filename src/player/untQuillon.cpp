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

void TQuillon::StopPlaying() {
  FStopFlag = true;
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
    if (!IsBusyResult(result)) break;
    FSleep(kBusyPause);
    if (tries >= kMaxExchanges) break;
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
  FStopFlag = false;
  std::int64_t pass = infinitePlay ? 0 : -1;
  std::int64_t j = firstIndex;
  // Set when a failure ends playback.
  std::optional<std::string> fatal;

  try {
    while (!fatal) {
      if (infinitePlay) ++pass;
      const std::int64_t lastInList = static_cast<std::int64_t>(commands.Count()) - 1;
      std::int64_t last = lastInList;
      if (count != 0) last = std::min<std::int64_t>(std::int64_t{firstIndex} + count - 1, last);
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
          if (j < last) {
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
  if (fatal) TryPost(kChannelError, std::to_string(j) + ' ' + std::to_string(pass) + ' ' + *fatal);
}

}  // namespace quillon
