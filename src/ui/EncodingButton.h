// The encoding log files are read in when they have no byte-order mark: a tool button
// beside the open button, its menu the choices of the core's table (TLogEncoding).
#pragma once

#include <QToolButton>
#include <utility>
#include <vector>

#include "core/TextFile.h"

class QAction;

namespace quillon {

class TEncodingButton : public QToolButton {
  Q_OBJECT

 public:
  explicit TEncodingButton(QWidget* parent = nullptr);

  TLogEncoding Encoding() const { return FEncoding; }
  // Checks the choice in the menu; EncodingChosen does not come.
  void SetEncoding(TLogEncoding encoding);
  // The menu's item of a choice.
  QAction* Action(TLogEncoding encoding) const;

 signals:
  // The user picked another choice than the one checked before.
  void EncodingChosen(TLogEncoding encoding);

 private:
  void Show(TLogEncoding encoding);

  std::vector<std::pair<TLogEncoding, QAction*>> FActions;
  TLogEncoding FEncoding = TLogEncoding::Auto;
};

}  // namespace quillon
