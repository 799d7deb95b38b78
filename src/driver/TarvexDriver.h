// The fiscal-register driver: talks to the register over TCP or a serial port in protocol
// version 1, 2 or 3 (TLink1, TLink2, TLink3): the one its settings name, else the one the
// log to be played was recorded in.
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
// caller waits for the one in progress. Abort, from any thread, ends the calls pending at
// that moment; with a trace file set the traffic is written there as a log (TDriverTrace).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/Bytes.h"
#include "driver/Driver.h"
#include "driver/DriverSettings.h"
#include "driver/DriverTransport.h"

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

  // The protocol the link speaks: Settings().Protocol when it is 1 to 3, else the log's
  // (SetLogProtocol), 1 when none was set.
  int UsedProtocol() const;

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
  // A pending ExchangeBytes, WaitForPrinting or GetECRStatus returns deAborted within
  // about 50 ms; an exchange cut short closes the link. Calls made afterwards run as usual,
  // opening the link again. Without a pending call it does nothing.
  void Abort() override;
  void SetLogProtocol(int protocol) override;

 private:
  class TLinkThread;
  class TPending;

  // One command on the link: the answer's payload, checked to echo the command's code and
  // to carry a result byte. Answers the result byte or a driver error (with its text);
  // deAborted once `pending` was aborted.
  int Execute(TBytesView request, TBytes& answer, std::string& errorText, const TPending& pending);
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
  int FLogProtocol = 1;

  std::mutex FAbortLock;  // the fields below; taken after the other two, never before
  std::condition_variable FAbortWake;
  int FPendingCalls = 0;
  std::uint64_t FAborts = 0;  // Abort calls that found a pending call
  // Cuts the link thread's transport waits short; outlives the link thread.
  TInterrupt FInterrupt;

  std::mutex FLinkLock;  // one exchange at a time; taken before FStateLock, never after
  std::unique_ptr<TLinkThread> FLink;
};

}  // namespace quillon
