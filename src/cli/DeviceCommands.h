// quillon-cli commands that talk to a register: replay and status.
#pragma once

#include <string>
#include <vector>

#include "cli/Subcommand.h"

namespace quillon::cli {

struct TReplayOptions {
  std::string LogFile;
  // The encoding of the log when it has no byte-order mark.
  TLogEncoding LogEncoding = TLogEncoding::Auto;
  std::string Device;  // tcp://HOST:PORT or serial:/dev/ttyUSB0?baud=115200
  int From = 1;        // first command, counted from 1
  int Count = 0;       // 0: up to the end
  bool Loop = false;   // endless play until Ctrl+C
  bool IgnoreDeviceErrors = false;
  std::string Except = "FF 0A";  // command codes not to send, separated by commas
  int Answer = 0;                // error question: 1 always go on, -1 always stop, 0 ask
  int Protocol = 0;              // link protocol 1, 2, 3; 0: the driver's setting
  std::string TraceFile;         // the traffic written here as a log; empty: the setting
  bool DryRun = false;           // only say what would be sent; no device
  // The played answers compared with the logged ones: a JSON Lines report here (empty:
  // none), differences as a failure, field names volatile besides the built-in ones.
  std::string ReportFile;
  bool FailOnDiff = false;
  std::vector<std::string> IgnoreFields;
};

// Adds "replay" and "status" to the application.
std::vector<TSubcommand> AddDeviceCommands(CLI::App& app);

int RunReplay(const TReplayOptions& options);
// protocol: 1, 2, 3, or 0 for the driver's setting.
int RunStatus(const std::string& device, int protocol = 0);

}  // namespace quillon::cli
