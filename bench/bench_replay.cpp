// Replay throughput: the player, the driver and the link layer against the emulator over
// loopback, with no device delays: what the software itself adds per command, in each link
// protocol (the argument).
#include <benchmark/benchmark.h>

#include "core/LogParser2.h"
#include "driver/TarvexDriver.h"
#include "emulator/Emulator.h"
#include "player/untQuillon.h"

namespace {

using namespace quillon;

void BM_ReplayOverLoopback(benchmark::State& state) {
  const int protocol = static_cast<int>(state.range(0));
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.ByteTimeoutMs = 0;
  options.Protocol = protocol;
  TEmulator emulator(options);
  std::uint16_t port = emulator.Start();
  TDriverSettings settings;
  settings.Address = "tcp://127.0.0.1:" + std::to_string(port);
  settings.Protocol = protocol;
  TDriver driver(settings);

  // Status queries, answered by the emulator's own register.
  std::vector<std::string> lines;
  for (int i = 0; i < 1000; ++i)
    lines.push_back(
        "[31.12.2024 10:15:00.123] [00000001] [DEBUG] TPrinterProtocol -> "
        "02 05 11 1E 00 00 00 0A");
  TCommandList commands;
  ParseLog(lines, commands);
  TNotifyBus bus;
  TQuillon player(bus);
  for (auto _ : state) {
    for (const auto& command : commands) command->Selected = true;
    player.BeginPlayback();
    player.PlayLog(driver, commands, nullptr, 0, 0, false);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * commands.Count()));
  emulator.Stop();
  emulator.Wait();
}
BENCHMARK(BM_ReplayOverLoopback)
    ->ArgName("protocol")
    ->DenseRange(1, 3)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
