// Display filter speed over the commands of a generated log (a million unless
// QUILLON_BENCH_COMMANDS says otherwise): commands/s for a few kinds of expression.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "LogGenerator.h"
#include "core/LogLoader.h"
#include "parser/CommandFilter.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon;

const TCommandList& Commands() {
  static const TCommandList list = [] {
    std::uint64_t count = 1'000'000;
    if (const char* env = std::getenv("QUILLON_BENCH_COMMANDS"))
      count = std::strtoull(env, nullptr, 10);
    fs::path path =
        fs::temp_directory_path() / ("quillon-bench-filter-" + std::to_string(count) + ".log");
    if (!fs::exists(path)) {
      std::ofstream out(path, std::ios::binary);
      loggen::TOptions options;
      options.Commands = count;
      loggen::Generate(out, options);
    }
    TCommandList commands;
    LoadLog(TLogSource::File(path.string()), commands);
    return commands;
  }();
  return list;
}

void BM_Filter(benchmark::State& state, const char* expression) {
  const TCommandList& list = Commands();
  const TCommandFilter filter = TCommandFilter::Parse(expression);
  std::uint64_t matched = 0;
  for (auto _ : state) {
    matched = 0;
    for (std::size_t i = 0; i < list.Count(); ++i) matched += filter.Matches(list[i], i + 1);
    benchmark::DoNotOptimize(matched);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.Count()));
  state.counters["matched"] = static_cast<double>(matched);
}
BENCHMARK_CAPTURE(BM_Filter, code, "code in {10, 11, FF46}")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, error_and_number, "error and n > 1000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, name, "name ~ \"чек\"")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, thread, "thread ~ 74ed")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, time, "time >= 12:00 and time < 13:00:00.500")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, response, "response > 500")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, summary, "summary ~ \"нет ответа\"")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
