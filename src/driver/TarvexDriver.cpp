#include "driver/TarvexDriver.h"

#include <QThread>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <thread>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/KorvanProtocol1.h"
#include "core/Translate.h"
#include "driver/DeviceAddress.h"
#include "driver/DriverLink.h"
#include "driver/DriverTransport.h"
#include "parser/PrinterTypes.h"

namespace quillon {

namespace {

constexpr std::uint8_t kCmdShortStatus = 0x10;
constexpr std::uint8_t kCmdStatus = 0x11;
constexpr std::size_t kStatusModeOffset = 15;
constexpr std::size_t kShortStatusSubmodeOffset = 6;
constexpr int kSubmodePrinting = 4;
constexpr int kSubmodePrintingReports = 5;

TBytes PasswordCommand(std::uint8_t code, int password) {
  TBytes request(1, code);
  request += IntToBytes(static_cast<std::uint32_t>(password), 4);
  return request;
}

}  // namespace

// The thread that owns the transport: Qt's sockets and ports belong to the thread that made
// them, and the driver's callers come from several threads.
class TDriver::TLinkThread final : public QThread {
 public:
  TLinkThread() { start(); }

  ~TLinkThread() override {
    Call([this] { FTransport.reset(); });
    {
      std::lock_guard lock(FMutex);
      FStop = true;
    }
    FWake.notify_all();
    wait();
  }

  // Runs `task` on the link thread and returns when it is done.
  void Call(const std::function<void()>& task) {
    std::unique_lock lock(FMutex);
    FTask = &task;
    FError = nullptr;
    FDone = false;
    FWake.notify_all();
    FWake.wait(lock, [this] { return FDone; });
    if (FError) std::rethrow_exception(FError);
  }

  // On the link thread only: the open transport for `uri`, or dePortOpen with its text.
  int Open(const std::string& uri, int timeoutMs, std::string& errorText) {
    if (FTransport && FUri != uri) FTransport.reset();
    if (!FTransport) {
      TDeviceAddress address;
      std::string error;
      if (!TDeviceAddress::TryParse(uri, address, error)) {
        errorText = DriverErrorDescription(dePortOpen) + ": " + error;
        return dePortOpen;
      }
      FTransport = CreateTransport(address);
      FUri = uri;
    }
    // Whatever is left from before goes; a link that went down while idle is opened anew.
    FTransport->Discard();
    if (FTransport->IsOpen()) return 0;
    std::string error;
    if (!FTransport->Open(timeoutMs, error)) {
      errorText = DriverErrorDescription(dePortOpen) + ": " + uri + " (" + error + ")";
      return dePortOpen;
    }
    return 0;
  }

  ITransport& Transport() { return *FTransport; }
  void Drop() { FTransport.reset(); }

 protected:
  void run() override {
    std::unique_lock lock(FMutex);
    for (;;) {
      FWake.wait(lock, [this] { return FTask != nullptr || FStop; });
      if (FTask == nullptr) break;
      const std::function<void()>* task = FTask;
      lock.unlock();
      std::exception_ptr error;
      try {
        (*task)();
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      FTask = nullptr;
      FError = error;
      FDone = true;
      FWake.notify_all();
    }
  }

 private:
  std::mutex FMutex;
  std::condition_variable FWake;
  const std::function<void()>* FTask = nullptr;
  std::exception_ptr FError;
  bool FDone = false;
  bool FStop = false;
  // Touched on the link thread only.
  std::unique_ptr<ITransport> FTransport;
  std::string FUri;
};

TDriver::TDriver() : TDriver(TDriverSettings()) {}

TDriver::TDriver(const TDriverSettings& settings)
    : FSettings(settings), FPassword(settings.Password), FLink(std::make_unique<TLinkThread>()) {}

TDriver::~TDriver() {
  std::lock_guard link(FLinkLock);
  FLink.reset();
}

std::unique_ptr<TDriver> TDriver::FromSettingsFile(const std::string& path) {
  TDriverSettings settings;
  LoadDriverSettings(path, settings);
  return std::make_unique<TDriver>(settings);
}

TDriverSettings TDriver::Settings() const {
  std::lock_guard lock(FStateLock);
  return FSettings;
}

void TDriver::SetSettings(const TDriverSettings& settings) {
  std::lock_guard lock(FStateLock);
  FSettings = settings;
  FPassword = settings.Password;
}

bool TDriver::LoadSettings(const std::string& path) {
  TDriverSettings settings = Settings();
  if (!LoadDriverSettings(path, settings)) return false;
  SetSettings(settings);
  return true;
}

bool TDriver::SaveSettings(const std::string& path, std::string& error) const {
  return SaveDriverSettings(path, Settings(), error);
}

void TDriver::Disconnect() {
  std::lock_guard link(FLinkLock);
  FLink->Call([this] { FLink->Drop(); });
}

std::string TDriver::DriverErrorDescription(int code) {
  switch (code) {
    case deNoConnection:
      return Tr("Нет связи");
    case dePortOpen:
      return Tr("Не удалось открыть порт");
    case deTimeout:
      return Tr("Истекло время ожидания ответа устройства");
    case deBadFrames:
      return Tr("Искаженные кадры: обмен не удался после повторных попыток");
    case deRequestTooLong:
      return Tr("Команда длиннее 255 байт не помещается в кадр");
    case deBadRequest:
      return Tr("Не задана команда для отправки");
    case deStillPrinting:
      return Tr("Устройство не завершило печать за отведенное время");
    default:
      return Tr("Неизвестная ошибка драйвера");
  }
}

int TDriver::Execute(TBytesView request, TBytes& answer, std::string& errorText) {
  answer.clear();
  if (request.size() > kProtocol1MaxData) return deRequestTooLong;
  std::string uri;
  TLinkTimeouts timeouts;
  {
    std::lock_guard lock(FStateLock);
    uri = FSettings.Address;
    timeouts.ByteTimeout = FSettings.ByteTimeout;
    timeouts.AnswerTimeout = FSettings.AnswerTimeout;
  }
  int result = 0;
  std::lock_guard link(FLinkLock);
  FLink->Call([&] {
    result = FLink->Open(uri, timeouts.AnswerTimeout, errorText);
    if (result == 0) result = TLink1::Exchange(FLink->Transport(), request, timeouts, answer);
  });
  if (result != 0) return result;
  const std::size_t codeLength = CommandCodeLength(request);
  if (answer.size() < codeLength + 1 ||
      answer.compare(0, codeLength, request, 0, codeLength) != 0) {
    errorText = Tr("Ответ устройства не соответствует команде: ") + BytesToHex(answer);
    answer.clear();
    return deBadFrames;
  }
  return answer[codeLength];
}

void TDriver::SetResult(int code, std::string errorText) {
  std::lock_guard lock(FStateLock);
  FResultCode = code;
  FResultText = code < 0 && errorText.empty() ? DriverErrorDescription(code) : std::move(errorText);
}

int TDriver::BinaryConversion() const {
  std::lock_guard lock(FStateLock);
  return FBinaryConversion;
}

void TDriver::SetBinaryConversion(int value) {
  std::lock_guard lock(FStateLock);
  FBinaryConversion = value;
}

std::string TDriver::TransferBytes() const {
  std::lock_guard lock(FStateLock);
  return FTransferBytes;
}

void TDriver::SetTransferBytes(const std::string& hex) {
  std::lock_guard lock(FStateLock);
  FTransferBytes = hex;
}

int TDriver::ExchangeBytes() {
  const std::string text = TransferBytes();
  // A partly readable text would send a shortened command: refuse it whole.
  if (!IsHexText(text)) {
    SetResult(deBadRequest, Tr("Неверный шестнадцатеричный текст команды: ") + text);
    SetTransferBytes(std::string());
    return deBadRequest;
  }
  const TBytes request = HexToBytes(text);
  TBytes answer;
  std::string errorText;
  int result =
      request.empty() ? static_cast<int>(deBadRequest) : Execute(request, answer, errorText);
  SetResult(result, std::move(errorText));
  if (result <= 0) SetTransferBytes(result == 0 ? BytesToHex(answer) : std::string());
  return result;
}

int TDriver::ResultCode() const {
  std::lock_guard lock(FStateLock);
  return FResultCode;
}

std::string TDriver::ResultCodeDescription() const {
  std::lock_guard lock(FStateLock);
  if (FResultCode < 0) return FResultText;
  return TPrinterError::GetDescription(FResultCode, true);
}

int TDriver::WaitForPrinting() {
  int printTimeout = 0;
  {
    std::lock_guard lock(FStateLock);
    printTimeout = FSettings.PrintTimeout;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(printTimeout);
  for (;;) {
    TBytes answer;
    std::string errorText;
    int result = Execute(PasswordCommand(kCmdShortStatus, Password()), answer, errorText);
    bool printing = result == kResultPrinting;
    if (result == 0) {
      if (answer.size() <= kShortStatusSubmodeOffset) {
        SetResult(deBadFrames, Tr("Ответ устройства короче ожидаемого: ") + BytesToHex(answer));
        return deBadFrames;
      }
      const int submode = answer[kShortStatusSubmodeOffset];
      printing = submode == kSubmodePrinting || submode == kSubmodePrintingReports;
    }
    if (!printing) {
      SetResult(result, std::move(errorText));
      return result;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      SetResult(deStillPrinting, std::string());
      return deStillPrinting;
    }
    // Between two polls the link is free for other callers.
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(kPrintPollInterval)));
  }
}

int TDriver::SysAdminPassword() const {
  std::lock_guard lock(FStateLock);
  return FSettings.SysAdminPassword;
}

int TDriver::Password() const {
  std::lock_guard lock(FStateLock);
  return FPassword;
}

void TDriver::SetPassword(int value) {
  std::lock_guard lock(FStateLock);
  FPassword = value;
}

int TDriver::GetECRStatus() {
  TBytes answer;
  std::string errorText;
  int result = Execute(PasswordCommand(kCmdStatus, Password()), answer, errorText);
  if (result == 0) {
    if (answer.size() <= kStatusModeOffset + 1) {
      SetResult(deBadFrames, Tr("Ответ устройства короче ожидаемого: ") + BytesToHex(answer));
      return deBadFrames;
    }
    std::lock_guard lock(FStateLock);
    FECRMode = answer[kStatusModeOffset];
    FECRAdvancedMode = answer[kStatusModeOffset + 1];
  }
  SetResult(result, std::move(errorText));
  return result;
}

int TDriver::ECRMode() const {
  std::lock_guard lock(FStateLock);
  return FECRMode;
}

std::string TDriver::ECRModeDescription() const {
  return GetECRModeDescription(ECRMode());
}

int TDriver::ECRAdvancedMode() const {
  std::lock_guard lock(FStateLock);
  return FECRAdvancedMode;
}

std::string TDriver::ECRAdvancedModeDescription() const {
  return GetECRAdvancedModeDescription(ECRAdvancedMode());
}

}  // namespace quillon
