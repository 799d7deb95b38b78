#include "core/DriverCommands.h"

#include <array>
#include <string>

#include "core/Translate.h"

namespace quillon {

namespace {

struct TNameEntry {
  std::uint16_t Code;
  const char* Name;  // a catalogue id
};

constexpr TNameEntry kCommandNames[] = {
#include "core/DriverCommandsTable.inc"
};

constexpr const char* kUnknownCommand = N_("Неизвестная команда");

// Direct index: one-byte codes at 0..255, FExx at 256..511, FFxx at 512..767. A slot holds
// the position of its name in kCommandNames, or kUnknownSlot.
constexpr std::size_t kSlotCount = 768;
constexpr std::uint8_t kUnknownSlot = 0xFF;
static_assert(std::size(kCommandNames) < kUnknownSlot);

int Slot(std::uint16_t code) {
  if (code < 0x100) return code;
  if ((code >> 8) == 0xFE) return 256 + (code & 0xFF);
  if ((code >> 8) == 0xFF) return 512 + (code & 0xFF);
  return -1;
}

// The names as this thread shows them. The list asks for the name of every command, so
// the catalogue is read once per thread (and again after the language changed), rather
// than for each command.
class TNameIndex {
 public:
  TNameIndex() {
    FSlots.fill(kUnknownSlot);
    for (std::size_t i = 0; i < std::size(kCommandNames); ++i)
      FSlots[static_cast<std::size_t>(Slot(kCommandNames[i].Code))] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0; i < std::size(kCommandNames); ++i)
      FNames[i] = Tr(kCommandNames[i].Name);
    FUnknown = Tr(kUnknownCommand);
  }
  std::string_view Find(std::uint16_t code) const {
    const int slot = Slot(code);
    if (slot < 0) return FUnknown;
    const std::uint8_t at = FSlots[static_cast<std::size_t>(slot)];
    return at == kUnknownSlot ? std::string_view(FUnknown) : std::string_view(FNames[at]);
  }

 private:
  std::array<std::uint8_t, kSlotCount> FSlots;
  std::array<std::string, std::size(kCommandNames)> FNames;
  std::string FUnknown;
};

const TNameIndex& NameIndex() {
  return PerThreadTexts([] { return TNameIndex(); });
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
