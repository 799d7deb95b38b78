// What depends on the link protocol a register speaks (1, 2 or 3, as TProtocol numbers them).
#pragma once

#include <cstddef>

#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"
#include "core/untCommand.h"

namespace quillon {

// The longest payload one frame of the protocol carries; protocol 1's for any other value.
constexpr std::size_t MaxFrameData(int protocol) {
  switch (protocol) {
    case pProtocol2:
      return kProtocol2MaxData;
    case pProtocol3:
      return kProtocol3MaxData;
    default:
      return kProtocol1MaxData;
  }
}

}  // namespace quillon
