// The window's font for bytes and codes, where columns of characters must line up.
#pragma once

#include <QFont>

namespace quillon {

// "Courier New" where there is one, else the system's fixed-pitch family, else whatever
// fixed-pitch font the font matching finds.
QFont FixedFont();

}  // namespace quillon
