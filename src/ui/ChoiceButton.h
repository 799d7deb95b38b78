// A tool button whose menu offers one choice out of several (radio items), the checked one
// named in its tool tip: the base of the window's encoding and language buttons.
#pragma once

#include <QString>
#include <QToolButton>
#include <vector>

class QAction;
class QActionGroup;

namespace quillon {

class TChoiceButton : public QToolButton {
  Q_OBJECT

 public:
  // caption: the button's text; menuName: the object name of its menu.
  TChoiceButton(const QString& caption, const QString& menuName, QWidget* parent);

  // The choice checked (its index in the order added).
  int Current() const { return FCurrent; }
  // Checks a choice; Chosen does not come.
  void SetCurrent(int index);
  QAction* ActionAt(int index) const;

 signals:
  // The user picked another choice than the one checked before.
  void Chosen(int index);

 protected:
  // Adds a choice: its item's object name and text. Call SetCurrent when all are added.
  void AddChoice(const QString& objectName, const QString& text);
  // The tool tip while choice index is checked.
  virtual QString ToolTipFor(int index) const = 0;

 private:
  QActionGroup* FGroup;
  std::vector<QAction*> FActions;
  int FCurrent = -1;
};

}  // namespace quillon
