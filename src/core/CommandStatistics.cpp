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
  if (std::optional<std::int64_t> ms = command.ResponseMs()) row.Times.push_back(*ms);
}

std::int64_t TCommandStatistics::KeyOf(const TCommand& command) {
  bool sync = command.Protocol() == pProtocol2 && command.TxData().empty();
  return sync ? TCodeStatistics::kSyncKey : command.Code();
}

std::optional<TResponseSummary> TCommandStatistics::Summarize(std::vector<std::int64_t>& times) {
  if (times.empty()) return std::nullopt;
  std::sort(times.begin(), times.end());
  // Nearest rank: the ceil(p * n)-th smallest, counted from 1.
  auto rank = [&](std::uint64_t percent) {
    std::uint64_t n = times.size();
    std::uint64_t k = (percent * n + 99) / 100;
    return times[std::max<std::uint64_t>(k, 1) - 1];
  };
  TResponseSummary summary;
  summary.Count = times.size();
  summary.MinMs = times.front();
  summary.MedianMs = rank(50);
  summary.P95Ms = rank(95);
  summary.MaxMs = times.back();
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
    std::vector<std::int64_t> times = accumulator.Times;
    row.Response = Summarize(times);
    rows.push_back(std::move(row));
  }
  std::stable_sort(
      rows.begin(), rows.end(),
      [](const TCodeStatistics& a, const TCodeStatistics& b) { return a.Count > b.Count; });
  return rows;
}

}  // namespace quillon
