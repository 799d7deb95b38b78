// The language of the window's texts: a tool button beside the settings button, its menu
// the choices of the core's table (kLanguageChoices). A choice takes effect at the next
// start of the program, when main() hands it to the translation layer.
#pragma once

#include <QString>

#include "ui/ChoiceButton.h"

namespace quillon {

class TLanguageButton : public TChoiceButton {
  Q_OBJECT

 public:
  explicit TLanguageButton(QWidget* parent = nullptr);

  // The code of the choice checked ("" as the system).
  QString Language() const;
  // Checks the choice of code (an unknown code checks the system's); LanguageChosen does
  // not come.
  void SetLanguage(const QString& code);
  // The menu's item of a code.
  QAction* Action(const QString& code) const;

 signals:
  // The user picked another choice than the one checked before.
  void LanguageChosen(const QString& code);

 protected:
  QString ToolTipFor(int index) const override;
};

// The name a choice is shown by: the system's in the texts' language, the others in their
// own words.
QString LanguageChoiceName(const QString& code);

}  // namespace quillon
