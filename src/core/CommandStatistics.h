// Counts over the commands of a log, per command code: how many, how many failed, and how
// long the register took to answer them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/Translate.h"
#include "core/untCommand.h"

namespace quillon {

// Response times of one command code, in milliseconds. The median and the 95th percentile
// are nearest-rank values: the smallest time that at least half (95 %) of the times do
// not exceed.
struct TResponseSummary {
  std::uint64_t Count = 0;
  std::int64_t MinMs = 0, MedianMs = 0, P95Ms = 0, MaxMs = 0;
};

struct TCodeStatistics {
  // The command code; kSyncKey for protocol 2 Sync frames, which share code 0 with the
  // unknown command 00.
  std::int64_t Key = 0;
  static constexpr std::int64_t kSyncKey = -1;
  std::string Name;  // CommandName() of the first command with this key
  std::uint64_t Count = 0, Failed = 0;
  std::optional<TResponseSummary> Response;  // empty when none has a response time
};

// The titles of the table's columns, in order (message ids for Tr): the command, how many,
// how many failed, then the four response times.
inline constexpr const char* kStatisticsColumns[] = {
    N_("Команда"),     N_("Число"),   N_("С ошибкой"), N_("Ответ мин, мс"),
    N_("Медиана, мс"), N_("95%, мс"), N_("Макс, мс")};

class TCommandStatistics {
 public:
  void Add(const TCommand& command);
  // The row a command is counted in: TCodeStatistics::Key.
  static std::int64_t KeyOf(const TCommand& command);

  std::uint64_t Commands() const { return FCommands; }
  std::uint64_t Failed() const { return FFailed; }
  std::uint64_t Unanswered() const { return FUnanswered; }
  // One row per key, the most frequent first; equal counts in key order.
  std::vector<TCodeStatistics> Rows() const;

  // How many times each response time (ms) was seen.
  using TTimeCounts = std::map<std::int64_t, std::uint64_t>;
  // The nearest-rank summary of a list of times or of their counts; empty for no times.
  static std::optional<TResponseSummary> Summarize(const std::vector<std::int64_t>& times);
  static std::optional<TResponseSummary> Summarize(const TTimeCounts& counts);

 private:
  struct TAccumulator {
    std::string Name;
    std::uint64_t Count = 0, Failed = 0;
    // Counts, not a list: they take room by the distinct times, not by the log's length.
    TTimeCounts Times;
  };
  std::map<std::int64_t, TAccumulator> FRows;
  std::uint64_t FCommands = 0, FFailed = 0, FUnanswered = 0;
};

}  // namespace quillon
