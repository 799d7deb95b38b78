// quillon-loggen: writes a generated driver log of a given size or command count.
#include <CLI/CLI.hpp>
#include <clocale>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "LogGenerator.h"
#include "core/Translate.h"

int main(int argc, char** argv) {
  using quillon::Tr;
  std::setlocale(LC_ALL, "");
  quillon::SetLanguage("");
  CLI::App app{Tr("Пишет правдоподобный журнал драйвера ККТ для проверок и замеров")};
  quillon::loggen::TOptions options;
  std::string out;
  std::string expected;
  std::string size;
  app.add_option("-o,--out", out, Tr("Файл журнала"))->required();
  app.add_option("-n,--commands", options.Commands, Tr("Число команд"));
  app.add_option("-s,--size", size, Tr("Размер журнала: байты, или с K, M, G"));
  app.add_option("--seed", options.Seed, Tr("Начальное значение генератора"));
  app.add_option("--expected", expected, Tr("Файл JSON Lines с ожидаемыми командами"));
  CLI11_PARSE(app, argc, argv);
  if (!size.empty()) {
    std::uint64_t value = std::stoull(size);
    char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(size.back())));
    if (unit == 'K') value <<= 10;
    if (unit == 'M') value <<= 20;
    if (unit == 'G') value <<= 30;
    options.MaxBytes = value;
    if (app.count("--commands") == 0) options.Commands = UINT64_MAX;
  }
  std::ofstream file(out, std::ios::binary);
  if (!file) {
    std::cerr << Tr("Не удалось создать файл") << " \"" << out << "\"\n";
    return 1;
  }
  std::vector<quillon::loggen::TExpectedCommand> commands;
  auto stats = quillon::loggen::Generate(file, options, expected.empty() ? nullptr : &commands);
  if (!expected.empty()) {
    std::ofstream ex(expected, std::ios::binary);
    for (const auto& c : commands) {
      nlohmann::json j = {{"line", c.Line},
                          {"attributes", c.Attributes},
                          {"time", c.Time},
                          {"thread", c.Thread},
                          {"protocol", c.Protocol},
                          {"code", c.Code},
                          {"tx", c.Tx},
                          {"rx", c.Rx},
                          {"result", c.Result},
                          {"error", c.Error},
                          {"answer_time", c.AnswerTime},
                          {"response_ms", nullptr}};
      if (c.ResponseMs) j["response_ms"] = *c.ResponseMs;
      ex << j.dump() << '\n';
    }
  }
  std::cerr << stats.Commands << Tr(" команд, ") << stats.Lines << Tr(" строк, ") << stats.Bytes
            << Tr(" байт") << "\n";
  return file ? 0 : 1;
}
