// Settings and helpers shared by the driver tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
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

// The same, speaking `protocol`.
inline TDriverSettings ProtocolSettings(const std::string& uri, int protocol) {
  TDriverSettings settings = FastSettings(uri);
  settings.Protocol = protocol;
  return settings;
}

// Names the cases of a test run once per protocol: "Protocol1" ...
inline std::string ProtocolName(const ::testing::TestParamInfo<int>& info) {
  return "Protocol" + std::to_string(info.param);
}

// A device's answer to any request: its code, result 00, bytes that protocol 2 must stuff
// and protocols 1 and 3 use as control bytes, then the request's parameters.
inline TBytes EchoAnswer(const TBytes& request) {
  const std::size_t code = CommandCodeLength(request);
  TBytes answer = request.substr(0, code);
  answer += MakeBytes({0x00, 0x8F, 0x9F, 0x06, 0x15, 0x05, 0x02, 0x82});
  answer += request.substr(code);
  return answer;
}

}  // namespace quillon::test
