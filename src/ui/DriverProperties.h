// The driver's properties dialog: connection (TCP or serial port), time limits, passwords,
// and a check of the connection.
#pragma once

#include <QDialog>

#include "driver/DriverSettings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace quillon {

class TDriverPropertiesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TDriverPropertiesDialog(const TDriverSettings& settings, QWidget* parent = nullptr);

  // The values of the controls; the address is checked by accept().
  TDriverSettings Settings() const;

  // Refuses an address that is not a device URI, with the reason shown beside it.
  void accept() override;

  // Asks the device for its status with the settings of the dialog and shows the result.
  void CheckConnection();

 private:
  // Builds the address from the connection fields.
  void ComposeAddress();

  QComboBox* cbKind = nullptr;  // TCP/IP or serial port
  QLineEdit* edtHost = nullptr;
  QSpinBox* edtPort = nullptr;
  QComboBox* cbDevice = nullptr;  // serial ports found, or typed in
  QComboBox* cbBaud = nullptr;
  QLineEdit* edtAddress = nullptr;
  QSpinBox* edtByteTimeout = nullptr;
  QSpinBox* edtAnswerTimeout = nullptr;
  QSpinBox* edtPrintTimeout = nullptr;
  QSpinBox* edtPassword = nullptr;
  QSpinBox* edtSysAdminPassword = nullptr;
  QLabel* lblError = nullptr;
};

}  // namespace quillon
