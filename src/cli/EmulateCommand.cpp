#include "cli/EmulateCommand.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "parser/ShortValueFormat.h"

namespace quillon::cli {

std::vector<TSubcommand> AddEmulateCommand(CLI::App& app) {
  auto options = std::make_shared<TEmulatorOptions>();
  TEmulatorOptions& o = *options;
  auto* emulate = app.add_subcommand("emulate", Tr("Эмулятор ККТ по TCP"));
  emulate->add_option("--listen", o.Listen, Tr("Адрес HOST:PORT (по умолчанию 127.0.0.1:7778)"));
  emulate->add_option("--log", o.LogFile, Tr("Отвечать ответами из журнала"));
  AddEncodingOption(*emulate, o.LogEncoding);
  emulate->add_option("--busy", o.Busy, Tr("Ответ 0x50 N раз перед каждым успешным"));
  emulate->add_option("--delay-ms", o.DelayMs, Tr("Задержка перед каждым ответом, мс"));
  emulate->add_option("--nak-every", o.NakEvery, Tr("NAK на каждый K-й запрос"));
  emulate->add_option("--drop-every", o.DropEvery, Tr("Без ответа на каждый K-й запрос"));
  emulate->add_option("--garbage-every", o.GarbageEvery,
                      Tr("Испорченный кадр ответа каждый K-й раз"));
  emulate->add_option("--disconnect-after", o.DisconnectAfter,
                      Tr("Разорвать соединение после K обменов"));
  emulate->add_option("--byte-timeout-ms", o.ByteTimeoutMs, Tr("Пауза перед каждой реакцией, мс"));
  emulate
      ->add_option("--protocol", o.Protocol,
                   Tr("Протокол 1, 2 или 3 (по умолчанию как в журнале, без журнала 1)"))
      ->check(CLI::Range(1, 3));
  emulate->add_flag("--pty", o.Pty, Tr("Псевдотерминал вместо TCP (путь выводится при запуске)"));
  emulate->add_option("--baud", o.Baud, Tr("Передавать со скоростью линии N бод"))
      ->check(CLI::Range(1, 10000000));
  emulate->add_option("--idle-timeout-s", o.IdleTimeoutS,
                      Tr("Разорвать соединение без обмена N с (0: никогда, по умолчанию 300)"));
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
  const std::string where =
      options.Pty ? FormatShortValue(Tr("Эмулятор ККТ на терминале %s"), {emulator.TerminalPath()})
                  : FormatShortValue(Tr("Эмулятор ККТ слушает %s"), {emulator.LocalAddress()});
  std::fprintf(stderr, "%s\n", where.c_str());
  gEmulator = &emulator;
  std::signal(SIGINT, StopEmulator);
  std::signal(SIGTERM, StopEmulator);
  emulator.Run();
  gEmulator = nullptr;
  return 0;
}

}  // namespace quillon::cli
