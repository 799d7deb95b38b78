#include "cli/EmulateCommand.h"

#include <csignal>
#include <cstdio>
#include <memory>

namespace quillon::cli {

std::vector<TSubcommand> AddEmulateCommand(CLI::App& app) {
  auto options = std::make_shared<TEmulatorOptions>();
  TEmulatorOptions& o = *options;
  auto* emulate = app.add_subcommand("emulate", "Эмулятор ККТ по TCP");
  emulate->add_option("--listen", o.Listen, "Адрес HOST:PORT (по умолчанию 127.0.0.1:7778)");
  emulate->add_option("--log", o.LogFile, "Отвечать ответами из журнала");
  emulate->add_option("--busy", o.Busy, "Ответ 0x50 N раз перед каждым успешным");
  emulate->add_option("--delay-ms", o.DelayMs, "Задержка перед каждым ответом, мс");
  emulate->add_option("--nak-every", o.NakEvery, "NAK на каждый K-й запрос");
  emulate->add_option("--drop-every", o.DropEvery, "Без ответа на каждый K-й запрос");
  emulate->add_option("--garbage-every", o.GarbageEvery, "Испорченный кадр ответа каждый K-й раз");
  emulate->add_option("--disconnect-after", o.DisconnectAfter,
                      "Разорвать соединение после K обменов");
  emulate->add_option("--byte-timeout-ms", o.ByteTimeoutMs, "Пауза перед каждой реакцией, мс");
  return {{emulate, [options] { return RunEmulate(*options); }}};
}

namespace {
TEmulator* gEmulator = nullptr;
extern "C" void StopEmulator(int) {
  if (gEmulator != nullptr) gEmulator->Stop();
}
}  // namespace

int RunEmulate(TEmulatorOptions options) {
  options.OnExchange = [](const TExchange& exchange) { PrintLine(FormatExchange(exchange)); };
  options.OnNotice = [](const std::string& notice) {
    std::fprintf(stderr, "%s\n", notice.c_str());
  };
  TEmulator emulator(options);
  emulator.Listen();
  std::fprintf(stderr, "Эмулятор ККТ слушает %s\n", emulator.LocalAddress().c_str());
  gEmulator = &emulator;
  std::signal(SIGINT, StopEmulator);
  std::signal(SIGTERM, StopEmulator);
  emulator.Run();
  gEmulator = nullptr;
  return 0;
}

}  // namespace quillon::cli
