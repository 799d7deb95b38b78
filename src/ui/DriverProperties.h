// The driver's properties dialog: connection (TCP or serial port), time limits, passwords,
// and a check of the connection.
#pragma once

#include <QDialog>
#include <functional>

#include "driver/DriverSettings.h"
#include "ui/PlaybackController.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
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

  // Starts a status request with these settings, on a worker, and answers false when it
  // cannot start; done is called on the dialog's thread with the reply.
  using TConnectionCheck = std::function<bool(const TDriverSettings& settings,
                                              std::function<void(const TStatusReply&)> done)>;
  // How the connection is checked, and how a check still running is ended when the dialog
  // closes. Without a check the button is hidden.
  void SetConnectionCheck(TConnectionCheck check, std::function<void()> abort);
  // The protocol the loaded log's commands were recorded in (1, 2, 3; 0: none known). While
  // "as the log" is chosen the dialog shows it as the one used (1 when none is known).
  void SetLogProtocol(int protocol);

  // Asks the device for its status with the settings of the dialog; the result is shown
  // when it comes, the dialog answering meanwhile.
  void CheckConnection();
  bool CheckPending() const { return FCheckPending; }

  void done(int result) override;

 private:
  void ShowCheckResult(const TStatusReply& reply);
  void ShowUsedProtocol();

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
  QComboBox* cbProtocol = nullptr;  // as the log, 1, 2, 3
  QLabel* lblUsedProtocol = nullptr;
  QLineEdit* edtTraceFile = nullptr;
  QLabel* lblError = nullptr;
  QPushButton* btnCheck = nullptr;
  QPushButton* btnOk = nullptr;
  TConnectionCheck FCheck;
  std::function<void()> FAbortCheck;
  bool FCheckPending = false;
  int FLogProtocol = 0;
};

}  // namespace quillon
