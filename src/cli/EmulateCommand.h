// quillon-cli emulate: the emulated register on a TCP port.
#pragma once

#include <vector>

#include "cli/Subcommand.h"
#include "emulator/Emulator.h"

namespace quillon::cli {

// Adds "emulate" to the application.
std::vector<TSubcommand> AddEmulateCommand(CLI::App& app);

int RunEmulate(TEmulatorOptions options);

}  // namespace quillon::cli
