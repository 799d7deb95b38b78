#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/CommandStatistics.h"
#include "core/DateUtils.h"

namespace quillon {
namespace {

// "count: min median p95 max", or "none".
std::string Text(const std::optional<TResponseSummary>& s) {
  if (!s) return "none";
  return std::to_string(s->Count) + ": " + std::to_string(s->MinMs) + " " +
         std::to_string(s->MedianMs) + " " + std::to_string(s->P95Ms) + " " +
         std::to_string(s->MaxMs);
}

TEST(CommandStatistics, NearestRankSummaries) {
  struct TCase {
    const char* Name;
    std::vector<std::int64_t> Times;
    std::optional<TResponseSummary> Want;  // count, min, median, p95, max
  };
  // The k-th smallest of n (from 1), k = ceil(p * n): the median takes ceil(n / 2), the 95th
  // percentile ceil(0.95 n).
  const TCase kCases[] = {
      {"none", {}, std::nullopt},
      // n = 1: every rank is 1.
      {"one", {7}, TResponseSummary{1, 7, 7, 7, 7}},
      // n = 2: median rank ceil(1) = 1, p95 rank ceil(1.9) = 2.
      {"two", {20, 10}, TResponseSummary{2, 10, 10, 20, 20}},
      // n = 3 of 1..3: median rank ceil(1.5) = 2, p95 rank ceil(2.85) = 3.
      {"three", {3, 1, 2}, TResponseSummary{3, 1, 2, 3, 3}},
      // n = 20 of 5, 10 .. 100 out of order: median rank 10 -> 50, p95 rank ceil(19) = 19 -> 95.
      {"twenty",
       {65, 5, 100, 40, 85, 20, 55, 95, 10, 70, 35, 90, 15, 60, 45, 80, 25, 75, 30, 50},
       TResponseSummary{20, 5, 50, 95, 100}},
      // n = 21 of 1..21 falling: median rank ceil(10.5) = 11, p95 rank ceil(19.95) = 20.
      {"twenty-one",
       {21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
       TResponseSummary{21, 1, 11, 20, 21}},
      // Sorted: -10 -5 0 5. Median rank 2 -> -5, p95 rank ceil(3.8) = 4 -> 5.
      {"negative", {-5, 0, 5, -10}, TResponseSummary{4, -10, -5, 5, 5}},
      // Sorted: 4 4 4 9. Median rank 2 -> 4, p95 rank 4 -> 9.
      {"repeated", {4, 9, 4, 4}, TResponseSummary{4, 4, 4, 9, 9}},
  };
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Text(TCommandStatistics::Summarize(c.Times)), Text(c.Want));
  }

  // n = 100 of 1..100: the ranks fall exactly on 50 and 95, with no rounding up past them.
  std::vector<std::int64_t> hundred;
  for (std::int64_t v = 100; v >= 1; --v) hundred.push_back(v);
  EXPECT_EQ(Text(TCommandStatistics::Summarize(hundred)), "100: 1 50 95 100");
}

// A command as the parser leaves it: the request's line head, the answer and its time.
TCommand Command(const char* tx, const char* rx, std::optional<std::int64_t> responseMs,
                 TProtocol protocol = pProtocol2,
                 const char* attributes = "[31.12.2024 10:15:00.100] [00001234]") {
  TCommandRec rec;
  rec.TxData = tx;
  rec.Code = TCommand::GetCode(rec.TxData);
  rec.Protocol = protocol;
  rec.Attributes = attributes;
  rec.AnswerData = rx;
  rec.ResCode = TCommand::GetResCode(rx);
  if (responseMs) rec.AnswerTimeMs = *ParseLogTimeStamp("31.12.2024 10:15:00.100") + *responseMs;
  return TCommand(rec);
}

TEST(CommandStatistics, CountsPerCodeMostFrequentFirst) {
  TCommandStatistics statistics;
  for (const TCommand& c : {
           Command("FF 01 1E", "", 40),  // no answer: its time does not count
           Command("11 1E", "11 00 01", 30),
           Command("10 1E", "10 00", 5),
           Command("11 1E", "11 00 01", 10),
           Command("", "00", 3),                                              // protocol 2 Sync
           Command("11 1E", "11 37", 50),                                     // failed, yet timed
           Command("", "", std::nullopt, pProtocol1),                         // code 00, unknown
           Command("FF 01 1E", "FF 01 00", 12, pProtocol2, "[garbage] [1]"),  // no request time
           Command("11 1E", "11 00 02", 20),
           Command("10 1E", "10 00", std::nullopt),
       })
    statistics.Add(c);
  EXPECT_EQ(statistics.Commands(), 10u);
  EXPECT_EQ(statistics.Failed(), 2u);      // 11 37 and the unanswered FF01
  EXPECT_EQ(statistics.Unanswered(), 2u);  // FF01 and 00

  struct TWant {
    std::int64_t Key;
    const char* Name;
    std::uint64_t Count, Failed;
    std::optional<TResponseSummary> Response;
  };
  // Equal counts in key order: 10 before FF01, Sync (-1) before 00.
  const TWant kWant[] = {
      // 11: times 10 20 30 50; median rank 2, p95 rank 4.
      {0x11, "11, Запрос состояния", 4, 1, TResponseSummary{4, 10, 20, 50, 50}},
      {0x10, "10, Короткий запрос состояния", 2, 0, TResponseSummary{1, 5, 5, 5, 5}},
      {0xFF01, "FF01, Запрос статуса ФН", 2, 1, std::nullopt},
      {TCodeStatistics::kSyncKey, "Sync", 1, 0, TResponseSummary{1, 3, 3, 3, 3}},
      {0x00, "00, Неизвестная команда", 1, 0, std::nullopt},
  };
  const std::vector<TCodeStatistics> rows = statistics.Rows();
  ASSERT_EQ(rows.size(), std::size(kWant));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(kWant[i].Name);
    EXPECT_EQ(rows[i].Key, kWant[i].Key);
    EXPECT_EQ(rows[i].Name, kWant[i].Name);
    EXPECT_EQ(rows[i].Count, kWant[i].Count);
    EXPECT_EQ(rows[i].Failed, kWant[i].Failed);
    EXPECT_EQ(Text(rows[i].Response), Text(kWant[i].Response));
  }
}

}  // namespace
}  // namespace quillon
