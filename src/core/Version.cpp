#include "core/Version.h"

namespace quillon {

const std::string& QuillonVersion() {
  // A part the project's version leaves out counts as 0.
  static const std::string version = std::to_string(QUILLON_VERSION_MAJOR + 0) + "." +
                                     std::to_string(QUILLON_VERSION_MINOR + 0) + "." +
                                     std::to_string(QUILLON_VERSION_PATCH + 0) + "." +
                                     std::to_string(QUILLON_VERSION_TWEAK + 0);
  return version;
}

}  // namespace quillon
