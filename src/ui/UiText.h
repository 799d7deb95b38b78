// Texts of the window as Qt strings: resource texts through the translation layer, and
// UTF-8 texts of the core.
#pragma once

#include <QString>
#include <string>

#include "core/Translate.h"

namespace quillon {

// The translated resource text msgid.
inline QString T(const char* msgid) {
  return QString::fromStdString(Tr(msgid));
}

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace quillon
