#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "core/CodePages.h"
#include "core/DateUtils.h"
#include "parser/CommandFilter.h"
#include "parser/CommandParser.h"

// Allocations made on this thread, to see that Matches makes none. GCC takes the inlined
// replacement delete for a free of memory from the standard new and warns.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
thread_local std::size_t tAllocations = 0;
}

void* operator new(std::size_t size) {
  ++tAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace quillon {
namespace {

struct TRow {
  std::string Attributes;
  std::string Tx, Answer;
  TProtocol Protocol = pProtocol2;
  std::optional<std::int64_t> ResponseMs;
};

// A small log: one- and two-byte codes, code 00 with and without payload (the sync frame),
// failed and unanswered commands, two days, a stamp that cannot be read, threads in both
// letter cases and one with a quote and a backslash.
TCommandList MakeList() {
  const TRow rows[] = {
      {"[12.01.2025 21:26:59.900] [000074ED] [DEBUG]", "10 1E 00 00 00", "10 00 02 18", pProtocol2,
       40},
      {"[12.01.2025 21:27:00.000] [000074ED] [DEBUG]", "11 1E 00 00 00", "11 00 1E 41 30",
       pProtocol2, 600},
      {"[12.01.2025 21:29:59.999] [00001A2B] [DEBUG]", "FC", "FC 00 00 00 01 00 01", pProtocol1,
       500},
      {"[12.01.2025 21:30:00.000] [00001A2B] [DEBUG]", "8D 1E 00 00 00 00", "8D 00 01", pProtocol2,
       1200},
      {"[13.01.2025 08:00:00.000] [000074ED] [DEBUG]", "FF 46 1E 00 00 00 01", "FF 46 00",
       pProtocol2, 50},
      {"[13.01.2025 09:15:00.000] [0000ABCD] [DEBUG]", "FF 46 1E 00 00 00 02", "", pProtocol2, {}},
      {"[13.01.2025 23:59:59.999] [0000abcd] [DEBUG]", "11 1E 00 00 00", "11 37", pProtocol3, 10},
      {"[xx.01.2025 10:00:00.000] [000074ED] [DEBUG]",
       "10 1E 00 00 00",
       "10 00 02 18",
       pProtocol2,
       {}},
      {"[11.01.2025 12:00:00.000] [0000ABCD] [DEBUG]", "", "", pProtocol2, {}},
      {"[11.01.2025 12:00:01.000] [0000ABCD] [DEBUG]", "00", "00 00", pProtocol1, 20},
      {"[11.01.2025 12:00:02.000] [A\"B\\C] [DEBUG]", "2A 1E 00 00 00", "2A 00", pProtocol1, 0},
      {"[11.01.2025 12:00:03.000] [0000ABCD] [DEBUG]", "FF 0C 1E 00 00 00", "FF 0C 45", pProtocol2,
       70},
  };
  TCommandList list;
  for (const TRow& row : rows) {
    TCommandRec rec;
    rec.Attributes = row.Attributes;
    rec.TxData = row.Tx;
    rec.AnswerData = row.Answer;
    rec.Code = TCommand::GetCode(row.Tx);
    rec.ResCode = TCommand::GetResCode(row.Answer);
    rec.Protocol = row.Protocol;
    if (row.ResponseMs)
      rec.AnswerTimeMs = *ParseLogTimeStamp(LineTimeStamp(row.Attributes)) + *row.ResponseMs;
    list.Add(std::move(rec));
  }
  return list;
}

using TPredicate = std::function<bool(const TCommand&, std::uint64_t)>;

// Log numbers of the commands (from 1) for which `pick` holds.
std::vector<std::uint64_t> Picked(const TCommandList& list, const TPredicate& pick) {
  std::vector<std::uint64_t> numbers;
  for (std::size_t i = 0; i < list.Count(); ++i)
    if (pick(list[i], i + 1)) numbers.push_back(i + 1);
  return numbers;
}

std::vector<std::uint64_t> Filtered(const TCommandList& list, const TCommandFilter& filter) {
  return Picked(list, [&](const TCommand& c, std::uint64_t n) { return filter.Matches(c, n); });
}

bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// "hh:mm:ss.zzz" of the stamp, and the stamp as "yyyy.mm.dd hh:mm:ss.zzz", which sorts.
std::string Clock(const TCommand& c) {
  return std::string(c.TimeStampView().substr(11));
}
std::string Sortable(const TCommand& c) {
  std::string_view s = c.TimeStampView();
  return std::string(s.substr(6, 4)) + "." + std::string(s.substr(3, 2)) + "." +
         std::string(s.substr(0, 2)) + " " + Clock(c);
}
bool Readable(const TCommand& c) {
  return c.RequestTimeMs().has_value();
}
std::optional<std::int64_t> Response(const TCommand& c) {
  return c.ResponseMs();
}

struct TCase {
  const char* Expression;
  TPredicate Expected;
};

TEST(CommandFilter, EveryTermAndOperatorPicksWhatAPlainLoopPicks) {
  const TCommandList list = MakeList();
  const TCase cases[] = {
      {"error", [](auto& c, auto) { return c.HasError(); }},
      {"NoAnswer", [](auto& c, auto) { return c.AnswerData().empty(); }},
      {"code == FF46", [](auto& c, auto) { return c.Code() == 0xFF46; }},
      {"Code == ff0c", [](auto& c, auto) { return c.Code() == 0xFF0C; }},
      {"code != 10", [](auto& c, auto) { return c.Code() != 0x10; }},
      {"code == 2a", [](auto& c, auto) { return c.Code() == 0x2A; }},
      {"code in {10, 11, FC}",
       [](auto& c, auto) { return c.Code() == 0x10 || c.Code() == 0x11 || c.Code() == 0xFC; }},
      {"code IN {ff46,0}", [](auto& c, auto) { return c.Code() == 0xFF46 || c.Code() == 0; }},
      {"name ~ \"открыть ЧЕК\"", [](auto& c, auto) { return Has(c.CommandName(), "Открыть чек"); }},
      {"name == \"8d, открыть чек\"",
       [](auto& c, auto) { return c.CommandName() == "8D, Открыть чек"; }},
      {"name ~ SYNC", [](auto& c, auto) { return c.CommandName() == "Sync"; }},
      {"name ~ \"00,\"", [](auto& c, auto) { return c.CommandName().substr(0, 3) == "00,"; }},
      {"name !~ запрос",
       [](auto& c, auto) {
         return !Has(c.CommandName(), "Запрос") && !Has(c.CommandName(), "запрос");
       }},
      {"name != Sync", [](auto& c, auto) { return c.CommandName() != "Sync"; }},
      {"summary ~ \"нет ответа\"",
       [](auto& c, auto) { return Has(GetCommandShortValue(c), "Нет ответа"); }},
      {"summary ~ [error]", [](auto& c, auto) { return Has(GetCommandShortValue(c), "[ERROR]"); }},
      {"summary !~ [error]",
       [](auto& c, auto) { return !Has(GetCommandShortValue(c), "[ERROR]"); }},
      {"thread == 000074ed", [](auto& c, auto) { return c.ThreadIDView() == "000074ED"; }},
      {"thread ~ ABCD",
       [](auto& c, auto) {
         return Has(c.ThreadIDView(), "ABCD") || Has(c.ThreadIDView(), "abcd");
       }},
      {"thread != 000074ED", [](auto& c, auto) { return c.ThreadIDView() != "000074ED"; }},
      {"thread !~ 74", [](auto& c, auto) { return !Has(c.ThreadIDView(), "74"); }},
      {"thread == \"a\\\"b\\\\c\"", [](auto& c, auto) { return c.ThreadIDView() == "A\"B\\C"; }},
      {"time >= 21:27:00", [](auto& c, auto) { return Readable(c) && Clock(c) >= "21:27:00.000"; }},
      {"time < 21:27", [](auto& c, auto) { return Readable(c) && Clock(c) < "21:27:00.000"; }},
      {"time == 21:30:00.000",
       [](auto& c, auto) { return Readable(c) && Clock(c) == "21:30:00.000"; }},
      {"time != 21:30:00.000",
       [](auto& c, auto) { return Readable(c) && Clock(c) != "21:30:00.000"; }},
      {"time <= 9:15", [](auto& c, auto) { return Readable(c) && Clock(c) <= "09:15:00.000"; }},
      {"time > 21:29:59.999",
       [](auto& c, auto) { return Readable(c) && Clock(c) > "21:29:59.999"; }},
      {"time < \"12.01.2025 21:30\"",
       [](auto& c, auto) { return Readable(c) && Sortable(c) < "2025.01.12 21:30:00.000"; }},
      {"time >= 13.01.2025",
       [](auto& c, auto) { return Readable(c) && Sortable(c) >= "2025.01.13 00:00:00.000"; }},
      {"time == 13.01.2025 08:00",
       [](auto& c, auto) { return Readable(c) && Sortable(c) == "2025.01.13 08:00:00.000"; }},
      {"time >= 12.01.2025 21:27:00.000 and time < 13.01.2025",
       [](auto& c, auto) {
         return Readable(c) && Sortable(c) >= "2025.01.12 21:27:00.000" &&
                Sortable(c) < "2025.01.13 00:00:00.000";
       }},
      {"response > 500", [](auto& c, auto) { return Response(c) && *Response(c) > 500; }},
      {"response >= 500", [](auto& c, auto) { return Response(c) && *Response(c) >= 500; }},
      {"response < 50", [](auto& c, auto) { return Response(c) && *Response(c) < 50; }},
      {"response <= 40", [](auto& c, auto) { return Response(c) && *Response(c) <= 40; }},
      {"response == 600", [](auto& c, auto) { return Response(c) && *Response(c) == 600; }},
      {"response != 600", [](auto& c, auto) { return Response(c) && *Response(c) != 600; }},
      {"n >= 5", [](auto&, auto n) { return n >= 5; }},
      {"N == 1", [](auto&, auto n) { return n == 1; }},
      {"n != 1", [](auto&, auto n) { return n != 1; }},
      {"n < 3", [](auto&, auto n) { return n < 3; }},
      {"n <= 3", [](auto&, auto n) { return n <= 3; }},
      {"n > 10", [](auto&, auto n) { return n > 10; }},
      // Precedence: not before and before or; parentheses group.
      {"error or code == 10 and n > 5",
       [](auto& c, auto n) { return c.HasError() || (c.Code() == 0x10 && n > 5); }},
      {"(error or code == 10) and n > 5",
       [](auto& c, auto n) { return (c.HasError() || c.Code() == 0x10) && n > 5; }},
      {"not error and code == 11", [](auto& c, auto) { return !c.HasError() && c.Code() == 0x11; }},
      {"not (error and code == 11)",
       [](auto& c, auto) { return !(c.HasError() && c.Code() == 0x11); }},
      {"!error || noanswer && n <= 6",
       [](auto& c, auto n) { return !c.HasError() || (c.AnswerData().empty() && n <= 6); }},
      {"code == 11 AND NOT error OR n == 1",
       [](auto& c, auto n) { return (c.Code() == 0x11 && !c.HasError()) || n == 1; }},
      {"((code == 10)) or not not noanswer",
       [](auto& c, auto) { return c.Code() == 0x10 || c.AnswerData().empty(); }},
      {"not code in {10, 11} and thread ~ 74ED",
       [](auto& c, auto) {
         return c.Code() != 0x10 && c.Code() != 0x11 && c.ThreadIDView() == "000074ED";
       }},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Expression);
    const std::vector<std::uint64_t> expected = Picked(list, test.Expected);
    // Every case tells commands apart.
    EXPECT_FALSE(expected.empty());
    EXPECT_LT(expected.size(), list.Count());
    TCommandFilter filter = TCommandFilter::Parse(test.Expression);
    EXPECT_FALSE(filter.MatchesEverything());
    EXPECT_EQ(Filtered(list, filter), expected);
  }

  for (const char* blank : {"", "  \t "}) {
    TCommandFilter filter = TCommandFilter::Parse(blank);
    EXPECT_TRUE(filter.MatchesEverything());
    EXPECT_EQ(Filtered(list, filter).size(), list.Count());
  }
  EXPECT_TRUE(TCommandFilter().MatchesEverything());
}

TEST(CommandFilter, BadExpressionsSayWhatWasExpectedAndWhere) {
  struct TBad {
    std::string Expression;
    std::string Message;
    std::size_t Position;  // bytes
  };
  const TBad cases[] = {
      {"code ==", "Фильтр: ожидается значение после \"==\" (позиция 8)", 7},
      {"name ~", "Фильтр: ожидается значение после \"~\" (позиция 7)", 6},
      {"n >= )", "Фильтр: ожидается значение после \">=\" (позиция 6)", 5},
      {"foo", "Фильтр: неизвестное поле \"foo\" (позиция 1)", 0},
      // Positions count characters, offsets bytes.
      {"name ~ \"чек\" and Foo == 1", "Фильтр: неизвестное поле \"Foo\" (позиция 18)", 20},
      {"(error or noanswer", "Фильтр: не закрыта скобка (позиция 1)", 0},
      {"n > 1 and ((error)", "Фильтр: не закрыта скобка (позиция 11)", 10},
      {"code in {10", "Фильтр: не закрыта скобка (позиция 9)", 8},
      {"name ~ \"чек", "Фильтр: не закрыта кавычка (позиция 8)", 7},
      {"thread == \"a\\\"", "Фильтр: не закрыта кавычка (позиция 11)", 10},
      {"code == XYZ", "Фильтр: неверный код команды \"XYZ\" (позиция 9)", 8},
      {"code in {10, FF, 11}", "Фильтр: неверный код команды \"FF\" (позиция 14)", 13},
      {"code == 1011", "Фильтр: неверный код команды \"1011\" (позиция 9)", 8},
      {"code == FF4601", "Фильтр: неверный код команды \"FF4601\" (позиция 9)", 8},
      {"time >= 25:00", "Фильтр: неверное время \"25:00\" (позиция 9)", 8},
      {"time < \"31.02.2025 10:00\"", "Фильтр: неверное время \"31.02.2025 10:00\" (позиция 8)", 7},
      {"time < 12.01.2025 21:3", "Фильтр: неверное время \"12.01.2025 21:3\" (позиция 8)", 7},
      {"time > 21:27:00.5", "Фильтр: неверное время \"21:27:00.5\" (позиция 8)", 7},
      {"time > 1.1.2025", "Фильтр: неверное время \"1.1.2025\" (позиция 8)", 7},
      {"n >= -1", "Фильтр: неверное число \"-1\" (позиция 6)", 5},
      {"response > 99999999999999999999",
       "Фильтр: неверное число \"99999999999999999999\" (позиция 12)", 11},
      {"n == \"\"", "Фильтр: неверное число \"\" (позиция 6)", 5},
      {"code ~ 10", "Фильтр: оператор \"~\" не подходит к полю \"code\" (позиция 6)", 5},
      {"name < x", "Фильтр: оператор \"<\" не подходит к полю \"name\" (позиция 6)", 5},
      {"Time !~ 10", "Фильтр: оператор \"!~\" не подходит к полю \"Time\" (позиция 6)", 5},
      {"response in {1}", "Фильтр: оператор \"in\" не подходит к полю \"response\" (позиция 10)",
       9},
      {"code", "Фильтр: ожидается оператор после \"code\" (позиция 5)", 4},
      {"Thread 000074ED", "Фильтр: ожидается оператор после \"Thread\" (позиция 8)", 7},
      {"error foo bar ", "Фильтр: лишний текст \"foo bar\" (позиция 7)", 6},
      {"error)", "Фильтр: лишний текст \")\" (позиция 6)", 5},
      {"(error noanswer)", "Фильтр: лишний текст \"noanswer)\" (позиция 8)", 7},
      {"error == 1", "Фильтр: лишний текст \"== 1\" (позиция 7)", 6},
      {"error and", "Фильтр: ожидается условие (позиция 10)", 9},
      {"()", "Фильтр: ожидается условие (позиция 2)", 1},
      {"not", "Фильтр: ожидается условие (позиция 4)", 3},
      {"\"error\"", "Фильтр: ожидается условие (позиция 1)", 0},
      {"error or or noanswer", "Фильтр: ожидается условие (позиция 10)", 9},
      {"code in 10", "Фильтр: ожидается \"{\" после \"in\" (позиция 9)", 8},
      {"code in {10 11}", "Фильтр: ожидается \",\" или \"}\" (позиция 13)", 12},
      {"code in {10,", "Фильтр: ожидается значение после \",\" (позиция 13)", 12},
      {"code in {}", "Фильтр: ожидается значение после \"{\" (позиция 10)", 9},
      {"code = 10", "Фильтр: неизвестный оператор \"=\" (позиция 6)", 5},
      {"error & noanswer", "Фильтр: неизвестный оператор \"&\" (позиция 7)", 6},
      {std::string(300, '(') + "error" + std::string(300, ')'),
       "Фильтр: слишком глубокая вложенность (позиция 201)", 200},
  };
  for (const TBad& test : cases) {
    SCOPED_TRACE(test.Expression);
    try {
      TCommandFilter::Parse(test.Expression);
      ADD_FAILURE() << "no error";
    } catch (const EFilterError& e) {
      EXPECT_EQ(e.what(), test.Message);
      EXPECT_EQ(e.Position, test.Position);
    }
  }
}

TEST(CommandFilter, OneFilterServesSeveralThreadsAtOnce) {
  const TCommandList list = MakeList();
  const TCommandFilter filter =
      TCommandFilter::Parse("summary ~ 1e or name ~ состояния or thread ~ abcd and time > 12:00");
  const std::vector<std::uint64_t> expected = Filtered(list, filter);
  ASSERT_FALSE(expected.empty());
  std::atomic<int> mismatches = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int round = 0; round < 200; ++round)
        if (Filtered(list, filter) != expected) ++mismatches;
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, 0);
}

// Allocations of one pass of the filter over the list, after a first pass has warmed up
// this thread's buffers.
std::size_t AllocationsOfAPass(const TCommandList& list, const TCommandFilter& filter) {
  std::size_t matched = 0;
  for (std::size_t i = 0; i < list.Count(); ++i) matched += filter.Matches(list[i], i + 1);
  const std::size_t before = tAllocations;
  for (std::size_t i = 0; i < list.Count(); ++i) matched += filter.Matches(list[i], i + 1);
  const std::size_t allocations = tAllocations - before;
  EXPECT_GT(matched, 0u);
  return allocations;
}

TEST(CommandFilter, OnlyTheSummaryAllocatesAndOnlyOncePerCommand) {
  const TCommandList list = MakeList();
  for (const char* simple :
       {"error or noanswer", "code in {10, FF46}", "name ~ \"открыть\" or name ~ sync",
        "thread ~ abcd", "time >= 21:00 or time < 12.01.2025", "response > 100", "n > 2"}) {
    SCOPED_TRACE(simple);
    EXPECT_EQ(AllocationsOfAPass(list, TCommandFilter::Parse(simple)), 0u);
  }
  const std::size_t once = AllocationsOfAPass(list, TCommandFilter::Parse("summary !~ zzz"));
  EXPECT_GT(once, 0u);
  EXPECT_EQ(AllocationsOfAPass(list, TCommandFilter::Parse(
                                         "summary !~ zzz and summary !~ yyy and summary !~ xxx")),
            once);
}

}  // namespace
}  // namespace quillon
