// Log parsing speed on a generated driver log (128 MB unless QUILLON_BENCH_MB says
// otherwise): MB/s and commands/s, from the file and from lines already in memory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "LogGenerator.h"
#include "core/LogParser2.h"
#include "core/TextFile.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon;

const fs::path& LogFile() {
  static const fs::path file = [] {
    std::uint64_t mb = 128;
    if (const char* env = std::getenv("QUILLON_BENCH_MB")) mb = std::strtoull(env, nullptr, 10);
    fs::path path = fs::temp_directory_path() / ("quillon-bench-" + std::to_string(mb) + ".log");
    if (!fs::exists(path) || fs::file_size(path) < (mb << 20)) {
      std::ofstream out(path, std::ios::binary);
      loggen::TOptions options;
      options.Commands = UINT64_MAX;
      options.MaxBytes = mb << 20;
      loggen::Generate(out, options);
    }
    return path;
  }();
  return file;
}

void BM_ParseLogFile(benchmark::State& state) {
  const fs::path& file = LogFile();
  std::uint64_t commands = 0;
  for (auto _ : state) {
    commands = 0;
    TStreamingCommandSink sink([&](TCommand&) { ++commands; });
    TLogParser parser(sink);
    TTextLineReader reader(file.string());
    std::string_view line;
    while (reader.Next(line)) parser.ParseLine(line);
    parser.Finish();
    sink.Flush();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(file)));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * commands));
  state.counters["commands"] = static_cast<double>(commands);
}
BENCHMARK(BM_ParseLogFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ParseLogLines(benchmark::State& state) {
  std::vector<std::string> lines;
  ReadTextLines(LogFile().string(), TTextEncoding::Windows1251, lines);
  std::uint64_t bytes = 0;
  for (const auto& l : lines) bytes += l.size() + 2;
  TCommandList list;
  for (auto _ : state) ParseLog(lines, list);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.Count()));
}
BENCHMARK(BM_ParseLogLines)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReadLinesOnly(benchmark::State& state) {
  const fs::path& file = LogFile();
  for (auto _ : state) {
    TTextLineReader reader(file.string());
    std::string_view line;
    std::size_t n = 0;
    while (reader.Next(line)) n += line.size();
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(file)));
}
BENCHMARK(BM_ReadLinesOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
