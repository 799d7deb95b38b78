#include "ui/ChoiceButton.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace quillon {

TChoiceButton::TChoiceButton(const QString& caption, const QString& menuName, QWidget* parent)
    : QToolButton(parent) {
  setPopupMode(QToolButton::InstantPopup);
  setText(caption);
  auto* menu = new QMenu(this);
  menu->setObjectName(menuName);
  FGroup = new QActionGroup(menu);
  FGroup->setExclusive(true);
  setMenu(menu);
}

void TChoiceButton::AddChoice(const QString& objectName, const QString& text) {
  QAction* action = menu()->addAction(text);
  action->setObjectName(objectName);
  action->setCheckable(true);
  FGroup->addAction(action);
  const int index = static_cast<int>(FActions.size());
  connect(action, &QAction::triggered, this, [this, index] {
    if (index == FCurrent) return;
    SetCurrent(index);
    emit Chosen(index);
  });
  FActions.push_back(action);
}

QAction* TChoiceButton::ActionAt(int index) const {
  if (index < 0 || index >= static_cast<int>(FActions.size())) return nullptr;
  return FActions[static_cast<std::size_t>(index)];
}

void TChoiceButton::SetCurrent(int index) {
  FCurrent = index;
  if (QAction* action = ActionAt(index)) action->setChecked(true);
  setToolTip(ToolTipFor(index));
}

}  // namespace quillon
