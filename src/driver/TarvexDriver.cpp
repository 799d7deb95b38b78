#include "driver/TarvexDriver.h"

#include <QThread>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>

#include "core/BinUtils.h"
#include "core/CommandCode.h"
#include "core/LinkProtocol.h"
#include "core/Translate.h"
#include "driver/DeviceAddress.h"
#include "driver/DriverLink.h"
#include "driver/DriverLink2.h"
#include "driver/DriverLink3.h"
#include "driver/DriverTrace.h"
#include "driver/DriverTransport.h"
#include "parser/PrinterTypes.h"
#include "parser/ShortValueFormat.h"

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
  explicit TLinkThread(const TInterrupt& interrupt) : FInterrupt(interrupt) { start(); }

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

  // The functions below run on the link thread only.

  // The open transport for `uri`, or dePortOpen with its text.
  int Open(const std::string& uri, int timeoutMs, std::string& errorText) {
    if (FTransport && FUri != uri) Drop();
    if (!FTransport) {
      TDeviceAddress address;
      std::string error;
      if (!TDeviceAddress::TryParse(uri, address, error)) {
        errorText = DriverErrorDescription(dePortOpen) + ": " + error;
        return dePortOpen;
      }
      FTransport = CreateTransport(address, &FInterrupt);
      FUri = uri;
      FBaudRate = address.Kind == tkSerial ? address.BaudRate : 0;
    }
    // Whatever is left from before goes; a link that went down while idle is opened anew.
    FTransport->Discard();
    if (FTransport->IsOpen()) return 0;
    // A link opened anew starts a new session.
    FState2.Synced = false;
    std::string error;
    if (!FTransport->Open(timeoutMs, error)) {
      errorText = DriverErrorDescription(dePortOpen) + ": " + uri + " (" + error + ")";
      return dePortOpen;
    }
    return 0;
  }

  // The serial line's speed of the open transport; 0 for TCP.
  int BaudRate() const { return FBaudRate; }

  // One exchange on the open transport in `protocol`.
  int Exchange(int protocol, TBytesView request, const TLinkTimeouts& timeouts, ILinkTrace* trace,
               TBytes& answer) {
    // The device learns nothing of a change of protocol but from a new session.
    if (protocol != FProtocol) FState2.Synced = false;
    FProtocol = protocol;
    switch (protocol) {
      case TLink2::kProtocol:
        return TLink2::Exchange(*FTransport, request, timeouts, FState2, answer, trace);
      case TLink3::kProtocol:
        return TLink3::Exchange(*FTransport, request, timeouts, FState3, answer, trace);
      default:
        return TLink1::Exchange(*FTransport, request, timeouts, answer, trace);
    }
  }

  // The trace to `path` for a command of `thread`; null for an empty path.
  ILinkTrace* Trace(const std::string& path, std::uint32_t thread) {
    if (FTrace && FTrace->Path() != path) FTrace.reset();
    if (path.empty()) return nullptr;
    if (!FTrace) FTrace = std::make_unique<TDriverTrace>(path);
    FTrace->SetThread(thread);
    return FTrace.get();
  }

  void Close() {
    if (FTransport) FTransport->Close();
  }
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
  const TInterrupt& FInterrupt;
  // Touched on the link thread only.
  std::unique_ptr<ITransport> FTransport;
  std::string FUri;
  int FBaudRate = 0;
  int FProtocol = 0;  // of the last exchange
  TLink2State FState2;
  TLink3State FState3;
  std::unique_ptr<TDriverTrace> FTrace;
};

// A call that Abort may end: it counts as pending from its start to its end, and is
// aborted once an Abort comes in between.
class TDriver::TPending {
 public:
  explicit TPending(TDriver& driver) : FDriver(driver) {
    std::lock_guard lock(FDriver.FAbortLock);
    ++FDriver.FPendingCalls;
    FAborts = FDriver.FAborts;
  }
  ~TPending() {
    std::lock_guard lock(FDriver.FAbortLock);
    --FDriver.FPendingCalls;
  }
  TPending(const TPending&) = delete;
  TPending& operator=(const TPending&) = delete;

  bool Aborted() const {
    std::lock_guard lock(FDriver.FAbortLock);
    return FDriver.FAborts != FAborts;
  }
  // Right before the link is used, with the link lock held: false when aborted; else the
  // transport's waits are freed of an abort that ended earlier calls.
  bool Arm() const {
    std::lock_guard lock(FDriver.FAbortLock);
    if (FDriver.FAborts != FAborts) return false;
    FDriver.FInterrupt.Clear();
    return true;
  }
  // Waits for `duration` or an abort; answers whether aborted.
  template <class TDuration>
  bool Sleep(TDuration duration) const {
    std::unique_lock lock(FDriver.FAbortLock);
    return FDriver.FAbortWake.wait_for(lock, duration,
                                       [this] { return FDriver.FAborts != FAborts; });
  }

 private:
  TDriver& FDriver;
  std::uint64_t FAborts = 0;
};

TDriver::TDriver() : TDriver(TDriverSettings()) {}

TDriver::TDriver(const TDriverSettings& settings)
    : FSettings(settings),
      FPassword(settings.Password),
      FLink(std::make_unique<TLinkThread>(FInterrupt)) {}

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
    case deAborted:
      return Tr("Обмен прерван");
    default:
      return Tr("Неизвестная ошибка драйвера");
  }
}

int TDriver::UsedProtocol() const {
  std::lock_guard lock(FStateLock);
  return UsedLinkProtocol(FSettings.Protocol, FLogProtocol);
}

void TDriver::SetLogProtocol(int protocol) {
  std::lock_guard lock(FStateLock);
  FLogProtocol = protocol == 2 || protocol == 3 ? protocol : 1;
}

void TDriver::Abort() {
  {
    std::lock_guard lock(FAbortLock);
    if (FPendingCalls == 0) return;
    ++FAborts;
    FInterrupt.Raise();
  }
  FAbortWake.notify_all();
}

int TDriver::Execute(TBytesView request, TBytes& answer, std::string& errorText,
                     const TPending& pending) {
  answer.clear();
  const int protocol = UsedProtocol();
  std::string uri;
  std::string traceFile;
  TLinkTimeouts timeouts;
  {
    std::lock_guard lock(FStateLock);
    uri = FSettings.Address;
    traceFile = FSettings.TraceFile;
    timeouts.ByteTimeout = FSettings.ByteTimeout;
    timeouts.AnswerTimeout = FSettings.AnswerTimeout;
  }
  if (const std::size_t longest = MaxFrameData(protocol); request.size() > longest) {
    // Protocol 1 keeps the error's own text, which names its 255 bytes.
    if (protocol != TLink1::kProtocol)
      errorText = FormatShortValue(Tr("Команда длиннее %s байт не помещается в кадр"),
                                   {std::to_string(longest)});
    return deRequestTooLong;
  }
  const std::uint32_t thread = CurrentThreadNumber();
  int result = 0;
  {
    std::lock_guard link(FLinkLock);
    if (!pending.Arm()) return deAborted;
    FLink->Call([&] {
      result = FLink->Open(uri, timeouts.AnswerTimeout, errorText);
      if (result == 0) {
        timeouts.BaudRate = FLink->BaudRate();
        result =
            FLink->Exchange(protocol, request, timeouts, FLink->Trace(traceFile, thread), answer);
      }
      // An answer that came in full stands; anything else an abort cut short, and the link
      // is closed so that nothing half read is taken for the next exchange.
      if (result != 0 && pending.Aborted()) {
        FLink->Close();
        result = deAborted;
      }
    });
  }
  if (result == deAborted) {
    errorText.clear();
    answer.clear();
  }
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
  TPending pending(*this);
  int result = request.empty() ? static_cast<int>(deBadRequest)
                               : Execute(request, answer, errorText, pending);
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
  TPending pending(*this);
  for (;;) {
    TBytes answer;
    std::string errorText;
    int result = Execute(PasswordCommand(kCmdShortStatus, Password()), answer, errorText, pending);
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
    if (pending.Sleep(std::min<std::chrono::steady_clock::duration>(
            deadline - now, std::chrono::milliseconds(kPrintPollInterval)))) {
      SetResult(deAborted, std::string());
      return deAborted;
    }
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
  TPending pending(*this);
  int result = Execute(PasswordCommand(kCmdStatus, Password()), answer, errorText, pending);
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
