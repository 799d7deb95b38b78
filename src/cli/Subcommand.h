// A quillon-cli subcommand that a module registers on the application itself.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace quillon::cli {

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

}  // namespace quillon::cli
