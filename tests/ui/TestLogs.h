// Driver logs and commands for the window's tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/BinUtils.h"
#include "core/KorvanProtocol2.h"

namespace quillon::test {

using TExchanges = std::vector<std::pair<std::string, std::string>>;

// Protocol 2 exchanges one second apart: the request and answer lines of each exchange (no answer
// line for an empty answer), of one thread; frames and seconds numbered on from `first`.
inline std::string Protocol2Log(const TExchanges& exchanges, const std::string& thread = "00001234",
                                int first = 1) {
  std::string log;
  int number = first;
  for (const auto& [request, answer] : exchanges) {
    const std::string head =
        "[31.12.2024 10:15:" + std::to_string(10 + number % 50) + ".123] [" + thread + "] [DEBUG] ";
    for (const auto& [arrow, payload] : {std::pair("-> ", &request), std::pair("<- ", &answer)}) {
      if (payload->empty()) continue;
      TKorvanFrame2 frame;
      frame.Data = HexToBytes(*payload);
      frame.Number = number;
      log += head + "TPrinterProtocol2 " + arrow + BytesToHex(TKorvanProtocol2::Encode(frame)) +
             "\r\n";
    }
    ++number;
  }
  return log;
}

// A request with a TLV document (code FF0C): a cashier "Ivan"; an item (1059) holding its
// name "AB" and agent data (1223) with the agent's operation "OP"; an unknown tag. The TLV
// block starts at byte 6.
inline constexpr const char* kTlvDocument =
    "FF 0C 1E 00 00 00 FD 03 04 00 49 76 61 6E 23 04 10 00 06 04 02 00 41 42 C7 04 06 00 14 "
    "04 02 00 4F 50 60 EA 01 00 07";

// A request frame that does not check out.
inline std::string DamagedLine() {
  return "[31.12.2024 10:16:00.123] [00001234] [DEBUG] TPrinterProtocol2 -> 8F 07 00 01 00 9F 00 "
         "1E 00 00 00 12 34\r\n";
}

}  // namespace quillon::test
