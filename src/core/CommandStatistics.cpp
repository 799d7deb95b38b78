#include "core/CommandStatistics.h"

#include <algorithm>

namespace quillon {

void TCommandStatistics::Add(const TCommand& command) {
  ++FCommands;
  bool error = command.HasError();
  if (error) ++FFailed;
  if (command.AnswerData().empty()) ++FUnanswered;
  TAccumulator& row = FRows[KeyOf(command)];
  if (row.Count == 0) row.Name = command.CommandName();
  ++row.Count;
  if (error) ++row.Failed;
  if (std::optional<std::int64_t> ms = command.ResponseMs()) ++row.Times[*ms];
}

std::int64_t TCommandStatistics::KeyOf(const TCommand& command) {
  bool sync = command.Protocol() == pProtocol2 && command.TxData().empty();
  return sync ? TCodeStatistics::kSyncKey : command.Code();
}

std::optional<TResponseSummary> TCommandStatistics::Summarize(
    const std::vector<std::int64_t>& times) {
  TTimeCounts counts;
  for (std::int64_t ms : times) ++counts[ms];
  return Summarize(counts);
}

std::optional<TResponseSummary> TCommandStatistics::Summarize(const TTimeCounts& counts) {
  if (counts.empty()) return std::nullopt;
  TResponseSummary summary;
  for (const auto& [ms, count] : counts) summary.Count += count;
  // Nearest rank: the ceil(p * n)-th smallest, counted from 1.
  auto rank = [&](std::uint64_t percent) {
    std::uint64_t k = std::max<std::uint64_t>((percent * summary.Count + 99) / 100, 1);
    std::uint64_t seen = 0;
    for (const auto& [ms, count] : counts)
      if ((seen += count) >= k) return ms;
    return counts.rbegin()->first;
  };
  summary.MinMs = counts.begin()->first;
  summary.MedianMs = rank(50);
  summary.P95Ms = rank(95);
  summary.MaxMs = counts.rbegin()->first;
  return summary;
}

std::vector<TCodeStatistics> TCommandStatistics::Rows() const {
  std::vector<TCodeStatistics> rows;
  rows.reserve(FRows.size());
  for (const auto& [key, accumulator] : FRows) {
    TCodeStatistics row;
    row.Key = key;
    row.Name = accumulator.Name;
    row.Count = accumulator.Count;
    row.Failed = accumulator.Failed;
    row.Response = Summarize(accumulator.Times);
    rows.push_back(std::move(row));
  }
  std::stable_sort(
      rows.begin(), rows.end(),
      [](const TCodeStatistics& a, const TCodeStatistics& b) { return a.Count > b.Count; });
  return rows;
}

}  // namespace quillon
