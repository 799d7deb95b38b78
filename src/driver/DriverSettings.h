// The driver's own settings, kept in driver.xml beside the window's settings file.
#pragma once

#include <string>

namespace quillon {

struct TDriverSettings {
  static constexpr const char* kDefaultAddress = "tcp://127.0.0.1:7778";

  std::string Address = kDefaultAddress;  // device URI, see TDeviceAddress
  int ByteTimeout = 50;                   // ms: the longest pause inside a frame
  int AnswerTimeout = 10000;              // ms: the longest wait for an answer frame
  int PrintTimeout = 60000;               // ms: how long WaitForPrinting polls at most
  int Password = 30;                      // operator password sent with commands
  int SysAdminPassword = 30;              // system administrator password
  int Protocol = 0;                       // link protocol 1, 2, 3; 0: as the log
  std::string TraceFile;                  // the traffic written here as a log; empty: none

  friend bool operator==(const TDriverSettings&, const TDriverSettings&) = default;
};

// The protocol the driver speaks: the setting when it names one (1, 2, 3), else the one the
// log was recorded in (2 or 3), else 1.
constexpr int UsedLinkProtocol(int setting, int logProtocol) {
  if (setting >= 1 && setting <= 3) return setting;
  return logProtocol == 2 || logProtocol == 3 ? logProtocol : 1;
}

// "$XDG_CONFIG_HOME/KORVANIX/Quillon/driver.xml", ~/.config standing in for an unset or
// relative XDG_CONFIG_HOME.
std::string DefaultDriverSettingsPath();

// Reads the file into `settings`. A missing, unreadable or malformed file answers false and
// leaves `settings` untouched; a single value that is missing, not a number, out of range or
// (for the address) not a valid URI keeps the value that `settings` had.
bool LoadDriverSettings(const std::string& path, TDriverSettings& settings);

// Writes the file atomically (a temporary file renamed over the old one), creating its
// folder when needed. On failure answers false with a Russian message in `error`.
bool SaveDriverSettings(const std::string& path, const TDriverSettings& settings,
                        std::string& error);

}  // namespace quillon
