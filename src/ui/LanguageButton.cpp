#include "ui/LanguageButton.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include "ui/UiText.h"

namespace quillon {

namespace {

const TLanguageChoice* ChoiceOf(const QString& code) {
  for (const TLanguageChoice& choice : kLanguageChoices)
    if (code == QLatin1String(choice.Code)) return &choice;
  return nullptr;
}

}  // namespace

QString LanguageChoiceName(const QString& code) {
  const TLanguageChoice* choice = ChoiceOf(code);
  if (choice == nullptr) choice = &kLanguageChoices[0];
  // Only the system's choice is a resource text; a language is named in its own words.
  return choice == &kLanguageChoices[0] ? T(choice->Name) : QString::fromUtf8(choice->Name);
}

TLanguageButton::TLanguageButton(QWidget* parent) : QToolButton(parent) {
  setPopupMode(QToolButton::InstantPopup);
  setText(T("Язык"));
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("pmLanguage"));
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  for (const TLanguageChoice& choice : kLanguageChoices) {
    const QString code = QLatin1String(choice.Code);
    QAction* action = menu->addAction(LanguageChoiceName(code));
    action->setObjectName(QStringLiteral("acLanguage_") +
                          (code.isEmpty() ? QStringLiteral("system") : code));
    action->setCheckable(true);
    group->addAction(action);
    connect(action, &QAction::triggered, this, [this, code] {
      if (code == FLanguage) return;
      Show(code);
      emit LanguageChosen(code);
    });
    FActions.emplace_back(code, action);
  }
  setMenu(menu);
  Show(FLanguage);
}

QAction* TLanguageButton::Action(const QString& code) const {
  for (const auto& [choice, action] : FActions)
    if (choice == code) return action;
  return nullptr;
}

void TLanguageButton::SetLanguage(const QString& code) {
  Show(ChoiceOf(code) != nullptr ? code : QString());
}

void TLanguageButton::Show(const QString& code) {
  FLanguage = code;
  if (QAction* action = Action(code)) action->setChecked(true);
  setToolTip(T("Язык программы: %1").arg(LanguageChoiceName(code)));
}

}  // namespace quillon
