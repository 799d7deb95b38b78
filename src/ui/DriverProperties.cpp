#include "ui/DriverProperties.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>
#include <string>

#include "core/Translate.h"
#include "driver/DeviceAddress.h"

namespace quillon {

namespace {

QString T(const char* msgid) {
  return QString::fromStdString(Tr(msgid));
}

QSpinBox* MakeSpin(QWidget* parent, const char* name, int maximum, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QLatin1String(name));
  spin->setRange(0, maximum);
  spin->setValue(value);
  return spin;
}

}  // namespace

TDriverPropertiesDialog::TDriverPropertiesDialog(const TDriverSettings& settings, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("dlgDriverProperties"));
  setWindowTitle(T("Свойства драйвера"));
  auto* form = new QFormLayout;
  edtAddress = new QLineEdit(QString::fromStdString(settings.Address), this);
  edtAddress->setObjectName(QStringLiteral("edtAddress"));
  edtAddress->setToolTip(QStringLiteral("tcp://host:port, serial:///dev/ttyUSB0?baud=115200"));
  edtByteTimeout = MakeSpin(this, "edtByteTimeout", 60000, settings.ByteTimeout);
  edtAnswerTimeout = MakeSpin(this, "edtAnswerTimeout", 600000, settings.AnswerTimeout);
  edtPrintTimeout = MakeSpin(this, "edtPrintTimeout", 3600000, settings.PrintTimeout);
  edtPassword = MakeSpin(this, "edtPassword", 999999, settings.Password);
  edtSysAdminPassword = MakeSpin(this, "edtSysAdminPassword", 999999, settings.SysAdminPassword);
  form->addRow(T("Адрес устройства:"), edtAddress);
  form->addRow(T("Таймаут байта, мс:"), edtByteTimeout);
  form->addRow(T("Таймаут ответа, мс:"), edtAnswerTimeout);
  form->addRow(T("Таймаут печати, мс:"), edtPrintTimeout);
  form->addRow(T("Пароль оператора:"), edtPassword);
  form->addRow(T("Пароль администратора:"), edtSysAdminPassword);
  lblError = new QLabel(this);
  lblError->setObjectName(QStringLiteral("lblError"));
  lblError->setStyleSheet(QStringLiteral("color: red"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TDriverPropertiesDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TDriverPropertiesDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(lblError);
  layout->addWidget(buttons);
}

TDriverSettings TDriverPropertiesDialog::Settings() const {
  TDriverSettings settings;
  settings.Address = edtAddress->text().trimmed().toStdString();
  settings.ByteTimeout = edtByteTimeout->value();
  settings.AnswerTimeout = edtAnswerTimeout->value();
  settings.PrintTimeout = edtPrintTimeout->value();
  settings.Password = edtPassword->value();
  settings.SysAdminPassword = edtSysAdminPassword->value();
  return settings;
}

void TDriverPropertiesDialog::accept() {
  TDeviceAddress address;
  std::string error;
  if (!TDeviceAddress::TryParse(edtAddress->text().trimmed().toStdString(), address, error)) {
    lblError->setText(QString::fromStdString(error));
    return;
  }
  lblError->clear();
  QDialog::accept();
}

}  // namespace quillon
