// Settings and helpers shared by the driver tests.
#pragma once

#include <string>
#include <string_view>

#include "core/BinUtils.h"
#include "core/KorvanProtocol1.h"
#include "driver/DriverSettings.h"

namespace quillon::test {

// The link's control bytes as the scripts send and expect them.
inline const TBytes kENQ = MakeBytes({quillon::kENQ});
inline const TBytes kACK = MakeBytes({quillon::kACK});
inline const TBytes kNAK = MakeBytes({quillon::kNAK});

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
