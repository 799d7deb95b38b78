// A quillon-cli subcommand that a module registers on the application itself.
#pragma once

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/TextFile.h"
#include "core/Translate.h"
#include "parser/ShortValueFormat.h"

namespace quillon::cli {

// Exit statuses besides 0 (done) and 2 (usage).
inline constexpr int kExitFailed = 1;         // a command or the status query failed
inline constexpr int kExitInterrupted = 130;  // stopped by Ctrl+C or a termination request

struct TSubcommand {
  CLI::App* App = nullptr;   // chosen on the command line when *App is true
  std::function<int()> Run;  // the exit status
};

// One line on stdout, out at once (a caller may be watching it live).
inline void PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// On stderr: the file could not be created, and why (errno, in the system's words).
inline void PrintCreateError(const std::string& fileName) {
  const int error = errno;
  const std::string message =
      FormatShortValue(Tr("Не удалось создать файл \"%s\": %s"), {fileName, std::strerror(error)});
  std::fprintf(stderr, "%s\n", message.c_str());
}

// On stderr: the file could not be written.
inline void PrintWriteError(const std::string& fileName) {
  const std::string message = FormatShortValue(Tr("Ошибка записи файла \"%s\""), {fileName});
  std::fprintf(stderr, "%s\n", message.c_str());
}

// --encoding of a command that reads a log: the encoding of a file without a byte-order
// mark, one of the names of LogEncodingNames (a bad one is a usage error).
inline CLI::Option* AddEncodingOption(CLI::App& command, TLogEncoding& encoding) {
  std::vector<std::string> names;
  for (const TLogEncodingName& name : LogEncodingNames()) names.emplace_back(name.CliName);
  return command
      .add_option_function<std::string>(
          "--encoding",
          [&encoding](const std::string& value) {
            encoding = LogEncodingByCliName(value).value_or(TLogEncoding::Auto);
          },
          Tr("Кодировка журнала без метки порядка байтов (по умолчанию auto: UTF-8 или "
             "Windows-1251 по тексту)"))
      ->check(CLI::IsMember(names));
}

}  // namespace quillon::cli
