// The driver's properties dialog: device address, time limits and passwords.
#pragma once

#include <QDialog>

#include "driver/DriverSettings.h"

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

 private:
  QLineEdit* edtAddress = nullptr;
  QSpinBox* edtByteTimeout = nullptr;
  QSpinBox* edtAnswerTimeout = nullptr;
  QSpinBox* edtPrintTimeout = nullptr;
  QSpinBox* edtPassword = nullptr;
  QSpinBox* edtSysAdminPassword = nullptr;
  QLabel* lblError = nullptr;
};

}  // namespace quillon
