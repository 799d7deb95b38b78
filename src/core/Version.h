// The version the build stamps into the programs: the window's caption and --version.
#pragma once

#include <string>

namespace quillon {

// "major.minor.patch.tweak", e.g. "0.1.0.0".
const std::string& QuillonVersion();

}  // namespace quillon
