#include "ui/EncodingButton.h"

#include <QAction>

#include "ui/UiText.h"

namespace quillon {

namespace {

int IndexOf(TLogEncoding encoding) {
  const auto names = LogEncodingNames();
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i].Encoding == encoding) return static_cast<int>(i);
  return 0;
}

}  // namespace

TEncodingButton::TEncodingButton(QWidget* parent)
    : TChoiceButton(T("Кодировка"), QStringLiteral("pmEncoding"), parent) {
  for (const TLogEncodingName& name : LogEncodingNames())
    AddChoice(QStringLiteral("acEncoding_") + QLatin1String(name.CliName), T(name.MenuText));
  connect(this, &TChoiceButton::Chosen, this,
          [this](int index) { emit EncodingChosen(LogEncodingNames()[index].Encoding); });
  SetCurrent(IndexOf(TLogEncoding::Auto));
}

TLogEncoding TEncodingButton::Encoding() const {
  return LogEncodingNames()[static_cast<std::size_t>(Current())].Encoding;
}

QAction* TEncodingButton::Action(TLogEncoding encoding) const {
  return ActionAt(IndexOf(encoding));
}

void TEncodingButton::SetEncoding(TLogEncoding encoding) {
  SetCurrent(IndexOf(encoding));
}

QString TEncodingButton::ToolTipFor(int index) const {
  return T("Кодировка файла лога без метки порядка байтов: %1")
      .arg(T(LogEncodingNames()[static_cast<std::size_t>(index)].MenuText));
}

}  // namespace quillon
