// quillon-cli commands that talk to a register: replay and status.
#pragma once

#include <string>
#include <vector>

#include "cli/Subcommand.h"

namespace quillon::cli {

struct TReplayOptions {
  std::string LogFile;
  std::string Device;  // tcp://HOST:PORT or serial:/dev/ttyUSB0?baud=115200
  int From = 1;        // first command, counted from 1
  int Count = 0;       // 0: up to the end
  bool Loop = false;   // endless play until Ctrl+C
  bool IgnoreDeviceErrors = false;
  std::string Except = "FF 0A";  // command codes not to send, separated by commas
  int Answer = 0;                // error question: 1 always go on, -1 always stop, 0 ask
};

// Adds "replay" and "status" to the application.
std::vector<TSubcommand> AddDeviceCommands(CLI::App& app);

int RunReplay(const TReplayOptions& options);
int RunStatus(const std::string& device);

}  // namespace quillon::cli
