// Settings and helpers shared by the driver tests.
#pragma once

#include <string>
#include <string_view>

#include "core/BinUtils.h"
#include "driver/DriverSettings.h"

namespace quillon::test {

inline const TBytes kENQ = MakeBytes({0x05});
inline const TBytes kACK = MakeBytes({0x06});
inline const TBytes kNAK = MakeBytes({0x15});

inline TBytes Hex(std::string_view text) {
  return HexToBytes(text);
}

// Short timeouts keep the failure cases quick.
inline TDriverSettings FastSettings(const std::string& uri) {
  TDriverSettings settings;
  settings.Address = uri;
  settings.ByteTimeout = 20;
  settings.AnswerTimeout = 400;
  settings.PrintTimeout = 2000;
  return settings;
}

}  // namespace quillon::test
