// The player: replays the commands of a parsed log to a register through the driver and
// reports its progress on the notification bus:
//   "CommandRun"  before each command: "index", or "index pass" in endless play;
//   "ErrorQuery"  after a failed command that is not the last of the range: "index message";
//                 whoever answers calls SetPlayMode(pmContinue or pmStop);
//   "Error"       when a failure ends playback, and when the last command of the range
//                 fails: "index pass message", the pass being -1 unless playing endlessly.
// Indexes are 0-based; a device error reads "result code, description".
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/untCommand.h"
#include "driver/Driver.h"
#include "player/NotifyBus.h"

namespace quillon {

enum TPlayMode : std::uint8_t {
  pmPlay = 0,      // playing, no answer pending
  pmStop = 1,      // stop after the failed command
  pmContinue = 2,  // go on with the next command
  pmNone = 3,      // not used by the player
};

class TQuillon {
 public:
  using TSleep = std::function<void(std::chrono::milliseconds)>;

  // A busy result (IsBusyResult, core/CommandCode.h) is retried up to this many
  // exchanges in all, kBusyPause apart.
  static constexpr int kMaxExchanges = 5;
  static constexpr std::chrono::milliseconds kBusyPause{50};

  // Posts on bus; sleep (default: the thread's own sleep) makes the pauses between
  // retries.
  explicit TQuillon(TNotifyBus& bus = TNotifyBus::Instance(), TSleep sleep = {});
  TQuillon(const TQuillon&) = delete;
  TQuillon& operator=(const TQuillon&) = delete;

  // Clears a stop given for an earlier playback. Whoever decides to play calls it first,
  // before handing PlayLog to its thread: a StopPlaying that comes after it, even before
  // PlayLog has begun, stops that PlayLog. PlayLog itself never clears the stop.
  void BeginPlayback();

  // Plays commands [firstIndex, firstIndex + count - 1] (count 0: up to the end of the
  // list), the selected and playable ones, once or, with infinitePlay, pass after pass
  // until StopPlaying. Tells drv first the protocol the commands were recorded in
  // (RecordedProtocol), when one is known. Runs on the calling thread and raises nothing.
  void PlayLog(IDriver& drv, TCommandList& commands, const std::vector<std::string>* exceptList,
               int firstIndex, int count, bool infinitePlay);

  // Asks a running PlayLog to stop before its next command, ends the exchange in progress
  // (IDriver::Abort), and answers a pending error query with stop. A failure while stopping
  // ends the playback without a question. Any thread; returns at once.
  void StopPlaying();
  bool StopRequested() const { return FStopFlag.load(); }

  // The last index [firstIndex, firstIndex + count - 1] reaches in a list of listSize
  // commands (count 0: up to the end), never beyond the list's last command; below
  // firstIndex when the range holds nothing.
  static std::int64_t LastIndex(std::size_t listSize, int firstIndex, int count);

  // The link protocol (pProtocol1..3) the command was recorded in; 0 for the others.
  static int LinkProtocol(const TCommand& command);
  // The protocol (pProtocol1..3) of the first command that [firstIndex, firstIndex +
  // count - 1] would play, or 0 when none of them was recorded in one of those.
  static int RecordedProtocol(const TCommandList& commands,
                              const std::vector<std::string>* exceptList, int firstIndex,
                              int count);

  // False when a line of exceptList, read as a command code, is the command's code.
  static bool IsPlayable(const TCommand& command, const std::vector<std::string>* exceptList);

  // Waits until the play mode is pmContinue (true) or pmStop (false), or until StopPlaying
  // is called (false).
  bool WaitForPlayMode();
  // The answer to an error query; any thread.
  void SetPlayMode(TPlayMode mode);
  TPlayMode PlayMode() const;

 private:
  // Steps of one command; a failure is raised as an error.
  void PlayCommand(IDriver& drv, TCommand& command);
  // Posts, and returns false when a handler failed.
  bool TryPost(const char* channel, const std::string& message);

  TNotifyBus& FBus;
  TSleep FSleep;
  std::atomic<bool> FStopFlag = false;
  std::mutex FDriverMutex;
  IDriver* FDriver = nullptr;  // the driver of the running PlayLog; guarded by FDriverMutex
  mutable std::mutex FModeMutex;
  std::condition_variable FModeChanged;
  TPlayMode FPlayMode = pmPlay;  // guarded by FModeMutex
};

}  // namespace quillon
