#include "ui/DriverProperties.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
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
  TDeviceAddress current;
  std::string ignored;
  if (!TDeviceAddress::TryParse(settings.Address, current, ignored)) current = TDeviceAddress();
  cbKind = new QComboBox(this);
  cbKind->setObjectName(QStringLiteral("cbKind"));
  cbKind->addItems({T("TCP/IP"), T("COM-порт")});
  cbKind->setCurrentIndex(current.Kind == tkSerial ? 1 : 0);
  edtHost = new QLineEdit(QString::fromStdString(current.Host.empty() ? "127.0.0.1" : current.Host),
                          this);
  edtHost->setObjectName(QStringLiteral("edtHost"));
  edtPort = MakeSpin(this, "edtPort", 65535, current.Port > 0 ? current.Port : 7778);
  cbDevice = new QComboBox(this);
  cbDevice->setObjectName(QStringLiteral("cbDevice"));
  cbDevice->setEditable(true);
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
    cbDevice->addItem(port.systemLocation());
  cbDevice->setCurrentText(QString::fromStdString(current.Device));
  cbBaud = new QComboBox(this);
  cbBaud->setObjectName(QStringLiteral("cbBaud"));
  for (int baud : {2400, 4800, 9600, 19200, 38400, 57600, 115200})
    cbBaud->addItem(QString::number(baud), baud);
  cbBaud->setCurrentText(QString::number(current.BaudRate > 0 ? current.BaudRate : 115200));
  form->addRow(T("Подключение:"), cbKind);
  form->addRow(T("Адрес (TCP):"), edtHost);
  form->addRow(T("Порт (TCP):"), edtPort);
  form->addRow(T("COM-порт:"), cbDevice);
  form->addRow(T("Скорость:"), cbBaud);
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
  cbProtocol = new QComboBox(this);
  cbProtocol->setObjectName(QStringLiteral("cbProtocol"));
  cbProtocol->addItem(T("Как в журнале"), 0);
  for (int protocol = 1; protocol <= 3; ++protocol)
    cbProtocol->addItem(QString::number(protocol), protocol);
  cbProtocol->setCurrentIndex(std::max(0, cbProtocol->findData(settings.Protocol)));
  lblUsedProtocol = new QLabel(this);
  lblUsedProtocol->setObjectName(QStringLiteral("lblUsedProtocol"));
  auto* protocolRow = new QHBoxLayout;
  protocolRow->addWidget(cbProtocol);
  protocolRow->addWidget(lblUsedProtocol, 1);
  form->addRow(T("Протокол:"), protocolRow);
  ShowUsedProtocol();
  edtTraceFile = new QLineEdit(QString::fromStdString(settings.TraceFile), this);
  edtTraceFile->setObjectName(QStringLiteral("edtTraceFile"));
  edtTraceFile->setToolTip(T("Пусто - обмен не записывается"));
  form->addRow(T("Файл трассировки обмена:"), edtTraceFile);
  lblError = new QLabel(this);
  lblError->setObjectName(QStringLiteral("lblError"));
  lblError->setStyleSheet(QStringLiteral("color: red"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  btnOk = buttons->button(QDialogButtonBox::Ok);
  btnCheck = buttons->addButton(T("Проверить связь"), QDialogButtonBox::ActionRole);
  btnCheck->setObjectName(QStringLiteral("btnCheck"));
  btnCheck->setVisible(false);
  connect(btnCheck, &QPushButton::clicked, this, &TDriverPropertiesDialog::CheckConnection);
  auto compose = [this] { ComposeAddress(); };
  connect(cbKind, &QComboBox::currentIndexChanged, this, compose);
  connect(edtHost, &QLineEdit::textEdited, this, compose);
  connect(edtPort, &QSpinBox::valueChanged, this, compose);
  connect(cbDevice, &QComboBox::currentTextChanged, this, compose);
  connect(cbBaud, &QComboBox::currentIndexChanged, this, compose);
  connect(cbProtocol, &QComboBox::currentIndexChanged, this, [this] { ShowUsedProtocol(); });
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
  settings.Protocol = cbProtocol->currentData().toInt();
  settings.TraceFile = edtTraceFile->text().trimmed().toStdString();
  return settings;
}

void TDriverPropertiesDialog::ComposeAddress() {
  TDeviceAddress address;
  address.Kind = cbKind->currentIndex() == 1 ? tkSerial : tkTcp;
  address.Host = edtHost->text().trimmed().toStdString();
  address.Port = edtPort->value();
  address.Device = cbDevice->currentText().trimmed().toStdString();
  address.BaudRate = cbBaud->currentData().toInt();
  edtAddress->setText(QString::fromStdString(address.ToUri()));
  edtHost->setEnabled(address.Kind == tkTcp);
  edtPort->setEnabled(address.Kind == tkTcp);
  cbDevice->setEnabled(address.Kind == tkSerial);
  cbBaud->setEnabled(address.Kind == tkSerial);
}

void TDriverPropertiesDialog::SetConnectionCheck(TConnectionCheck check,
                                                 std::function<void()> abort) {
  FCheck = std::move(check);
  FAbortCheck = std::move(abort);
  btnCheck->setVisible(static_cast<bool>(FCheck));
}

void TDriverPropertiesDialog::SetLogProtocol(int protocol) {
  FLogProtocol = protocol;
  ShowUsedProtocol();
}

void TDriverPropertiesDialog::ShowUsedProtocol() {
  const bool asLog = cbProtocol->currentData().toInt() == 0;
  lblUsedProtocol->setVisible(asLog);
  lblUsedProtocol->setText(T("используется: %1").arg(UsedLinkProtocol(0, FLogProtocol)));
}

void TDriverPropertiesDialog::CheckConnection() {
  if (!FCheck || FCheckPending) return;
  TDeviceAddress address;
  std::string error;
  if (!TDeviceAddress::TryParse(edtAddress->text().trimmed().toStdString(), address, error)) {
    lblError->setStyleSheet(QStringLiteral("color: red"));
    lblError->setText(QString::fromStdString(error));
    return;
  }
  QPointer<TDriverPropertiesDialog> self(this);
  auto done = [self](const TStatusReply& reply) {
    if (self) self->ShowCheckResult(reply);
  };
  if (!FCheck(Settings(), done)) return;
  FCheckPending = true;
  btnCheck->setEnabled(false);
  btnOk->setEnabled(false);
  lblError->setStyleSheet(QString());
  lblError->setText(T("Проверка связи..."));
}

void TDriverPropertiesDialog::ShowCheckResult(const TStatusReply& reply) {
  FCheckPending = false;
  btnCheck->setEnabled(true);
  btnOk->setEnabled(true);
  if (reply.Result == 0) {
    lblError->setStyleSheet(QStringLiteral("color: green"));
    lblError->setText(T("Связь есть: ") + QString::number(reply.Mode) + QStringLiteral(", ") +
                      reply.ModeDescription);
  } else {
    lblError->setStyleSheet(QStringLiteral("color: red"));
    lblError->setText(T("Ошибка: ") + QString::number(reply.Result) + QStringLiteral(", ") +
                      reply.ResultDescription);
  }
}

void TDriverPropertiesDialog::done(int result) {
  // A check still running ends soon; its reply then finds no dialog to show it in.
  if (FCheckPending && FAbortCheck) FAbortCheck();
  FCheckPending = false;
  QDialog::done(result);
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
