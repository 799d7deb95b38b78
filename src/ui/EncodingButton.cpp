#include "ui/EncodingButton.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include "ui/UiText.h"

namespace quillon {

TEncodingButton::TEncodingButton(QWidget* parent) : QToolButton(parent) {
  setPopupMode(QToolButton::InstantPopup);
  setText(T("Кодировка"));
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("pmEncoding"));
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  for (const TLogEncodingName& name : LogEncodingNames()) {
    QAction* action = menu->addAction(T(name.MenuText));
    action->setObjectName(QStringLiteral("acEncoding_") + QLatin1String(name.CliName));
    action->setCheckable(true);
    group->addAction(action);
    const TLogEncoding encoding = name.Encoding;
    connect(action, &QAction::triggered, this, [this, encoding] {
      if (encoding == FEncoding) return;
      Show(encoding);
      emit EncodingChosen(encoding);
    });
    FActions.emplace_back(encoding, action);
  }
  setMenu(menu);
  Show(FEncoding);
}

QAction* TEncodingButton::Action(TLogEncoding encoding) const {
  for (const auto& [choice, action] : FActions)
    if (choice == encoding) return action;
  return nullptr;
}

void TEncodingButton::SetEncoding(TLogEncoding encoding) {
  Show(encoding);
}

void TEncodingButton::Show(TLogEncoding encoding) {
  FEncoding = encoding;
  if (QAction* action = Action(encoding)) action->setChecked(true);
  setToolTip(T("Кодировка файла лога без метки порядка байтов: %1")
                 .arg(T(LogEncodingName(encoding).MenuText)));
}

}  // namespace quillon
