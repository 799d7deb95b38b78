// Sets the regional settings a test expects and puts the previous ones back afterwards.
#pragma once

#include "core/FormatSettings.h"

namespace quillon::test {

class TFormatSettingsGuard {
 public:
  // Russian-style settings by default: decimal comma, 31.12.2024, 23:59:00.
  explicit TFormatSettingsGuard(TFormatSettings settings = {',', "%d.%m.%Y", "%H:%M:%S"})
      : FSaved(FormatSettings()) {
    SetFormatSettings(settings);
  }
  ~TFormatSettingsGuard() { SetFormatSettings(FSaved); }
  TFormatSettingsGuard(const TFormatSettingsGuard&) = delete;
  TFormatSettingsGuard& operator=(const TFormatSettingsGuard&) = delete;

 private:
  TFormatSettings FSaved;
};

}  // namespace quillon::test
