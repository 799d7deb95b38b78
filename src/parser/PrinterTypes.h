// Russian texts of the device's result codes, modes and submodes.
#pragma once

#include <string>

namespace quillon {

class TPrinterError {
 public:
  TPrinterError() = delete;
  // The text of a result code; with capFN the fiscal-storage texts replace the general ones
  // where a code has one. Unknown codes give "Неизвестный код ошибки".
  static std::string GetDescription(int code, bool capFN);
};

// The text of a mode byte (low seven bits; bit 7 marks a correction receipt).
std::string GetECRModeDescription(int mode);
// The text of a submode byte.
std::string GetECRAdvancedModeDescription(int mode);

}  // namespace quillon
