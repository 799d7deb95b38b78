// The fiscal-register driver: talks to the register over TCP or a serial port with
// protocol version 1 frames.
//
//   TDriverSettings settings;                  // or LoadDriverSettings(path, settings)
//   settings.Address = "serial:/dev/ttyUSB0?baud=115200";
//   TDriver driver(settings);
//   driver.SetTransferBytes("11 1E 00 00 00");
//   int result = driver.ExchangeBytes();        // 0, the device's result, or a TDriverError
//
// The link is opened on the first exchange and kept open; it is opened again after it was
// lost, and when the address changes. All device traffic runs on one thread of the driver's
// own, so the driver may be called from any thread; one exchange runs at a time, and a
// caller waits for the one in progress.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "core/Bytes.h"
#include "driver/Driver.h"
#include "driver/DriverSettings.h"

namespace quillon {

class TDriver final : public IDriver {
 public:
  // How often WaitForPrinting asks for the device's state.
  static constexpr int kPrintPollInterval = 100;  // ms

  TDriver();
  explicit TDriver(const TDriverSettings& settings);
  ~TDriver() override;
  TDriver(const TDriver&) = delete;
  TDriver& operator=(const TDriver&) = delete;

  // A driver with the settings kept in `path`; defaults where it is missing or damaged.
  static std::unique_ptr<TDriver> FromSettingsFile(
      const std::string& path = DefaultDriverSettingsPath());

  TDriverSettings Settings() const;
  // Takes new settings; Password becomes the settings' password. A new address closes the
  // link (after the exchange in progress).
  void SetSettings(const TDriverSettings& settings);
  // LoadDriverSettings into the current settings and take them; false when the file was
  // missing or damaged (the settings then stay as they were).
  bool LoadSettings(const std::string& path = DefaultDriverSettingsPath());
  bool SaveSettings(const std::string& path, std::string& error) const;
  // Closes the link; the next exchange opens it again.
  void Disconnect();

  // The Russian text of a driver error code (below 0).
  static std::string DriverErrorDescription(int code);

  // IDriver. BinaryConversion is kept as set; TransferBytes is always hex text.
  int BinaryConversion() const override;
  void SetBinaryConversion(int value) override;
  // After a result of 0: the answer; above 0: still the request (a retry sends it again);
  // below 0: empty (there is no answer).
  std::string TransferBytes() const override;
  void SetTransferBytes(const std::string& hex) override;
  int ExchangeBytes() override;
  int ResultCode() const override;
  std::string ResultCodeDescription() const override;
  int WaitForPrinting() override;
  int SysAdminPassword() const override;
  int Password() const override;
  void SetPassword(int value) override;
  int GetECRStatus() override;
  int ECRMode() const override;
  std::string ECRModeDescription() const override;
  int ECRAdvancedMode() const override;
  std::string ECRAdvancedModeDescription() const override;

 private:
  class TLinkThread;

  // One command on the link: the answer's payload, checked to echo the command's code and
  // to carry a result byte. Answers the result byte or a driver error (with its text).
  int Execute(TBytesView request, TBytes& answer, std::string& errorText);
  void SetResult(int code, std::string errorText);

  mutable std::mutex FStateLock;  // the fields below
  TDriverSettings FSettings;
  int FBinaryConversion = 1;
  std::string FTransferBytes;
  int FPassword = 0;
  int FResultCode = 0;
  std::string FResultText;  // the description of a driver error
  int FECRMode = 0;
  int FECRAdvancedMode = 0;

  std::mutex FLinkLock;  // one exchange at a time; taken before FStateLock, never after
  std::unique_ptr<TLinkThread> FLink;
};

}  // namespace quillon
