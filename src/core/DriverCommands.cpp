#include "core/DriverCommands.h"

#include <array>

namespace quillon {

namespace {

struct TNameEntry {
  std::uint16_t Code;
  std::string_view Name;
};

constexpr TNameEntry kCommandNames[] = {
#include "core/DriverCommandsTable.inc"
};

constexpr std::string_view kUnknownCommand = "Неизвестная команда";

// Direct index: one-byte codes at 0..255, FExx at 256..511, FFxx at 512..767.
class TNameIndex {
 public:
  TNameIndex() {
    FNames.fill(kUnknownCommand);
    for (const auto& e : kCommandNames) FNames[Slot(e.Code)] = e.Name;
  }
  std::string_view Find(std::uint16_t code) const {
    int slot = Slot(code);
    return slot < 0 ? kUnknownCommand : FNames[slot];
  }

 private:
  static int Slot(std::uint16_t code) {
    if (code < 0x100) return code;
    if ((code >> 8) == 0xFE) return 256 + (code & 0xFF);
    if ((code >> 8) == 0xFF) return 512 + (code & 0xFF);
    return -1;
  }
  std::array<std::string_view, 768> FNames;
};

const TNameIndex& NameIndex() {
  static const TNameIndex index;
  return index;
}

}  // namespace

std::string_view GetCommandName(std::uint16_t code) {
  return NameIndex().Find(code);
}

std::size_t CommandNameCount() {
  return std::size(kCommandNames);
}

std::string_view GetProtocolName(TProtocol protocol) {
  switch (protocol) {
    case pProtocol1:
      return "Protocol v1";
    case pProtocol2:
      return "Protocol v2";
    case pProtocol3:
      return "Protocol v3";
    case pPlain:
      return "Protocol v1 (plain)";
    case pProtocolNg1:
      return "Protocol v1 (NG)";
    case pProtocolNg1Plain:
      return "Protocol v1 (plain) (NG)";
    default:
      return "";
  }
}

}  // namespace quillon
