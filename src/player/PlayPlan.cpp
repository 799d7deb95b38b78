#include "player/PlayPlan.h"

#include <algorithm>

#include "core/BinUtils.h"
#include "core/LinkProtocol.h"
#include "player/untQuillon.h"

namespace quillon {

std::vector<TPlannedCommand> PlanPlayback(const TCommandList& commands,
                                          const std::vector<std::string>* exceptList,
                                          int firstIndex, int count, int protocol) {
  std::vector<TPlannedCommand> plan;
  const std::int64_t last = TQuillon::LastIndex(commands.Count(), firstIndex, count);
  const std::size_t limit = MaxFrameData(protocol);
  for (std::int64_t j = std::max(firstIndex, 0); j <= last; ++j) {
    TPlannedCommand entry;
    entry.Index = static_cast<std::size_t>(j);
    const TCommand& command = commands[entry.Index];
    entry.Size = HexToBytes(command.TxData()).size();
    if (!command.Selected)
      entry.Step = TPlanStep::Unselected;
    else if (!TQuillon::IsPlayable(command, exceptList))
      entry.Step = TPlanStep::Excepted;
    else if (entry.Size == 0)
      entry.Step = TPlanStep::Empty;
    else if (entry.Size > limit)
      entry.Step = TPlanStep::TooLong;
    plan.push_back(entry);
  }
  return plan;
}

}  // namespace quillon
