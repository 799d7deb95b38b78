// Display names of the device commands and of the protocol versions.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/untCommand.h"

namespace quillon {

// The name of a command code ("Неизвестная команда" for codes the table lacks) in the
// language of the texts. The names are translated once per thread, on its first call (so
// the language is chosen before, see SetLanguage), and stay valid as long as the thread.
std::string_view GetCommandName(std::uint16_t code);
// "Protocol v1" ...; empty for pNone, pProtocolNg2 and unknown values.
std::string_view GetProtocolName(TProtocol protocol);
// Number of codes in the name table.
std::size_t CommandNameCount();

}  // namespace quillon
