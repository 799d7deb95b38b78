#include "ui/LanguageButton.h"

#include <iterator>

#include "core/Translate.h"
#include "ui/UiText.h"

namespace quillon {

namespace {

// The position of code in kLanguageChoices; -1 for an unknown code.
int IndexOf(const QString& code) {
  for (std::size_t i = 0; i < std::size(kLanguageChoices); ++i)
    if (code == QLatin1String(kLanguageChoices[i].Code)) return static_cast<int>(i);
  return -1;
}

QString CodeAt(int index) {
  return QLatin1String(kLanguageChoices[static_cast<std::size_t>(index)].Code);
}

}  // namespace

QString LanguageChoiceName(const QString& code) {
  const int index = IndexOf(code);
  // Only the system's choice is a resource text; a language is named in its own words.
  if (index <= 0) return T(kLanguageChoices[0].Name);
  return QString::fromUtf8(kLanguageChoices[static_cast<std::size_t>(index)].Name);
}

TLanguageButton::TLanguageButton(QWidget* parent)
    : TChoiceButton(T("Язык"), QStringLiteral("pmLanguage"), parent) {
  for (std::size_t i = 0; i < std::size(kLanguageChoices); ++i) {
    const QString code = CodeAt(static_cast<int>(i));
    AddChoice(QStringLiteral("acLanguage_") + (code.isEmpty() ? QStringLiteral("system") : code),
              LanguageChoiceName(code));
  }
  connect(this, &TChoiceButton::Chosen, this,
          [this](int index) { emit LanguageChosen(CodeAt(index)); });
  SetCurrent(0);
}

QString TLanguageButton::Language() const {
  return CodeAt(Current());
}

QAction* TLanguageButton::Action(const QString& code) const {
  return ActionAt(IndexOf(code));
}

void TLanguageButton::SetLanguage(const QString& code) {
  SetCurrent(IndexOf(code) >= 0 ? IndexOf(code) : 0);
}

QString TLanguageButton::ToolTipFor(int index) const {
  return T("Язык программы: %1").arg(LanguageChoiceName(CodeAt(index)));
}

}  // namespace quillon
