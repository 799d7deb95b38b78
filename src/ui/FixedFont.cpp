#include "ui/FixedFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace quillon {

QFont FixedFont() {
  // Made once, on the window's thread: the list paints its cells with it.
  static const QFont font = [] {
    QFont first(QStringLiteral("Courier New"));
    QStringList families = first.families();
    const QString system = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    if (!system.isEmpty() && !families.contains(system)) families << system;
    if (!families.contains(QStringLiteral("monospace"))) families << QStringLiteral("monospace");
    first.setFamilies(families);
    first.setStyleHint(QFont::TypeWriter);
    first.setFixedPitch(true);
    return first;
  }();
  return font;
}

}  // namespace quillon
