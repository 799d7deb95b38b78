// The fiscal-register driver as the player and the window use it: a request is set as hex
// text, exchanged with the device, and the answer comes back as hex text. Results: 0
// success, above 0 the device's result code, below 0 an error of the driver itself.
#pragma once

#include <string>

namespace quillon {

// Errors of the driver itself (negative results).
enum TDriverError : int {
  deNoConnection = -1,    // "Нет связи"
  dePortOpen = -2,        // the port or host cannot be opened
  deTimeout = -3,         // the device did not answer in time
  deBadFrames = -4,       // frames stayed corrupt after the retries
  deRequestTooLong = -5,  // the request does not fit one frame
  deBadRequest = -6,      // TransferBytes holds no command
  deStillPrinting = -7,   // WaitForPrinting ran out of time
  deAborted = -8,         // Abort ended the exchange
};

class IDriver {
 public:
  virtual ~IDriver() = default;

  // 1: TransferBytes carries bytes as hex text ("11 1E 00 00 00").
  virtual int BinaryConversion() const = 0;
  virtual void SetBinaryConversion(int value) = 0;
  virtual std::string TransferBytes() const = 0;
  virtual void SetTransferBytes(const std::string& hex) = 0;

  // Sends TransferBytes as one command and waits for the answer; after a result of 0 or
  // less TransferBytes holds the answer (code, result byte, data).
  virtual int ExchangeBytes() = 0;
  virtual int ResultCode() const = 0;
  virtual std::string ResultCodeDescription() const = 0;

  // Returns when the device has finished printing (or the time limit ran out).
  virtual int WaitForPrinting() = 0;

  virtual int SysAdminPassword() const = 0;
  virtual int Password() const = 0;
  virtual void SetPassword(int value) = 0;

  // Status query (command 0x11 with Password); fills the mode properties.
  virtual int GetECRStatus() = 0;
  virtual int ECRMode() const = 0;
  virtual std::string ECRModeDescription() const = 0;
  virtual int ECRAdvancedMode() const = 0;
  virtual std::string ECRAdvancedModeDescription() const = 0;

  // Opens the settings dialog; the window provides it, elsewhere it does nothing.
  virtual void ShowProperties() {}

  // Ends a pending exchange, print wait or status query soon with deAborted. Any thread.
  virtual void Abort() {}
  // The protocol (1, 2, 3) the commands about to be played were recorded in; the driver
  // speaks it unless its settings name one.
  virtual void SetLogProtocol(int /*protocol*/) {}
};

}  // namespace quillon
