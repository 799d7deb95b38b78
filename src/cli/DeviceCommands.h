// quillon-cli commands that talk to a register or play one: replay, status, emulate.
#pragma once

#include <string>

#include "emulator/Emulator.h"

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

int RunReplay(const TReplayOptions& options);
int RunStatus(const std::string& device);
int RunEmulate(TEmulatorOptions options);

}  // namespace quillon::cli
