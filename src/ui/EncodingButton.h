// The encoding log files are read in when they have no byte-order mark: a tool button
// beside the open button, its menu the choices of the core's table (TLogEncoding).
#pragma once

#include "core/TextFile.h"
#include "ui/ChoiceButton.h"

namespace quillon {

class TEncodingButton : public TChoiceButton {
  Q_OBJECT

 public:
  explicit TEncodingButton(QWidget* parent = nullptr);

  TLogEncoding Encoding() const;
  // Checks the choice in the menu; EncodingChosen does not come.
  void SetEncoding(TLogEncoding encoding);
  // The menu's item of a choice.
  QAction* Action(TLogEncoding encoding) const;

 signals:
  // The user picked another choice than the one checked before.
  void EncodingChosen(TLogEncoding encoding);

 protected:
  QString ToolTipFor(int index) const override;
};

}  // namespace quillon
