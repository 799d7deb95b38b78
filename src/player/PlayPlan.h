// What a playback would do with each command of its range, worked out from the log alone,
// without a device: the commands it sends, those it passes over, and those no frame of the
// link protocol can carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/untCommand.h"

namespace quillon {

enum class TPlanStep : std::uint8_t {
  Send,        // sent to the device
  Unselected,  // not among the commands chosen to play
  Excepted,    // its code is on the exception list
  Empty,       // the request holds no bytes
  TooLong,     // the request is longer than one frame of the protocol carries
};

struct TPlannedCommand {
  std::size_t Index = 0;  // in the list, 0-based
  TPlanStep Step = TPlanStep::Send;
  std::size_t Size = 0;  // the request's bytes
};

// One entry per command of [firstIndex, firstIndex + count - 1] (count 0: up to the end),
// in order, as TQuillon::PlayLog would treat it in one pass over a link of `protocol`.
std::vector<TPlannedCommand> PlanPlayback(const TCommandList& commands,
                                          const std::vector<std::string>* exceptList,
                                          int firstIndex, int count, int protocol);

}  // namespace quillon
