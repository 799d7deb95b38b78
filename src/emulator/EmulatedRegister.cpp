#include "emulator/EmulatedRegister.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string_view>
#include <utility>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/CommandCode.h"
#include "core/Errors.h"
#include "core/LogLoader.h"
#include "core/untCommand.h"

namespace quillon {

namespace {

// The register's fixed identity.
constexpr std::uint8_t kOperator = 0x1E;
constexpr std::uint16_t kEcrFlags = 0x0002;  // receipt roll present
constexpr std::uint8_t kEcrMode = 0x02;      // session open, under 24 hours
constexpr std::uint8_t kEcrSubmode = 0x00;   // paper present, not printing
constexpr char kSoftVersion[] = "10";        // shown as 1.0
constexpr std::uint16_t kSoftBuild = 1000;
constexpr std::uint8_t kSoftDate[] = {15, 3, 24};  // day, month, year - 2000
constexpr std::uint8_t kLogicalNumber = 1;
constexpr std::uint16_t kDocumentNumber = 100;
constexpr std::uint8_t kPortTcp = 2;
constexpr std::uint8_t kFmFlags = 0x01;
constexpr std::uint32_t kSerial = 12345678;
constexpr std::uint16_t kSession = 5;
constexpr std::uint8_t kRegistrationNumber = 1;
constexpr std::uint8_t kFreeRegistrations = 29;
constexpr std::int64_t kTaxpayerNumber = 123456789012;
constexpr std::uint8_t kModel = 0x10;
constexpr char kDescription[] = "ККТ-ЭМУЛЯТОР";
constexpr char kStorageSerial[] = "9999000000000001";  // 16 characters
constexpr std::uint8_t kStorageLifeState = 0x03;       // set up, fiscal mode
constexpr std::uint8_t kStorageSessionOpen = 0x01;

void Put(TBytes& out, std::int64_t value, int size) {
  out += IntToBytes(value, size);
}

void PutDate(TBytes& out, const TDateTimeParts& t) {
  out += MakeBytes({static_cast<std::uint8_t>(t.Day), static_cast<std::uint8_t>(t.Month),
                    static_cast<std::uint8_t>(t.Year - 2000)});
}

void PutTime(TBytes& out, const TDateTimeParts& t) {
  out += MakeBytes({static_cast<std::uint8_t>(t.Hour), static_cast<std::uint8_t>(t.Minute),
                    static_cast<std::uint8_t>(t.Second)});
}

TBytes ShortStatus(TBytesView request) {
  TBytes out = ResultAnswer(request, kResultOk);
  Put(out, kOperator, 1);
  Put(out, kEcrFlags, 2);
  Put(out, kEcrMode, 1);
  Put(out, kEcrSubmode, 1);
  // Operations in the receipt, battery and supply voltage, two reserved result bytes,
  // key update result, print head temperature.
  out += MakeBytes({0x00, 0xC8, 0xBE, 0x00, 0x00, 0x00, 0x19});
  return out;
}

TBytes Status(TBytesView request, const TDateTimeParts& now) {
  TBytes out = ResultAnswer(request, kResultOk);
  Put(out, kOperator, 1);
  out += RawBytes(kSoftVersion);
  Put(out, kSoftBuild, 2);
  out += TBytes(kSoftDate, sizeof kSoftDate);
  Put(out, kLogicalNumber, 1);
  Put(out, kDocumentNumber, 2);
  Put(out, kEcrFlags, 2);
  Put(out, kEcrMode, 1);
  Put(out, kEcrSubmode, 1);
  Put(out, kPortTcp, 1);
  // The fiscal memory's version, build and date are the firmware's own.
  out += RawBytes(kSoftVersion);
  Put(out, kSoftBuild, 2);
  out += TBytes(kSoftDate, sizeof kSoftDate);
  PutDate(out, now);
  PutTime(out, now);
  Put(out, kFmFlags, 1);
  Put(out, kSerial, 4);
  Put(out, kSession, 2);
  Put(out, 0, 2);  // free fiscal memory records: the fiscal storage keeps the documents
  Put(out, kRegistrationNumber, 1);
  Put(out, kFreeRegistrations, 1);
  Put(out, kTaxpayerNumber, 6);
  return out;
}

TBytes DeviceType(TBytesView request) {
  TBytes out = ResultAnswer(request, kResultOk);
  out += MakeBytes({0x00, 0x00, 0x01, 0x00, kModel, 0x00});  // code page 0: 1251
  out += RawBytes(Utf8ToCp1251(kDescription));
  return out;
}

TBytes StorageStatus(TBytesView request, const TDateTimeParts& now) {
  TBytes out = ResultAnswer(request, kResultOk);
  Put(out, kStorageLifeState, 1);
  Put(out, 0, 1);  // no document open
  Put(out, 0, 1);  // no document data received
  Put(out, kStorageSessionOpen, 1);
  Put(out, 0, 1);  // no warnings
  out += MakeBytes({static_cast<std::uint8_t>(now.Year - 2000),
                    static_cast<std::uint8_t>(now.Month), static_cast<std::uint8_t>(now.Day),
                    static_cast<std::uint8_t>(now.Hour), static_cast<std::uint8_t>(now.Minute)});
  out += RawBytes(kStorageSerial);
  Put(out, kDocumentNumber, 4);
  return out;
}

}  // namespace

TBytes ResultAnswer(TBytesView request, std::uint8_t result) {
  TBytes out = CommandCodeBytes(request);
  out.push_back(result);
  return out;
}

TDateTimeParts LocalNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  TDateTimeParts parts;
  parts.Year = local.tm_year + 1900;
  parts.Month = local.tm_mon + 1;
  parts.Day = local.tm_mday;
  parts.Hour = local.tm_hour;
  parts.Minute = local.tm_min;
  parts.Second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  return parts;
}

TBytes TEmulatedRegister::Answer(TBytesView request, const TDateTimeParts& now) const {
  const TBytes code = CommandCodeBytes(request);
  if (code.size() == 1) {
    switch (code[0]) {
      case 0x10:
        return ShortStatus(request);
      case 0x11:
        return Status(request, now);
      case 0xFC:
        return DeviceType(request);
    }
  } else if (code[1] == 0x01) {
    return StorageStatus(request, now);
  }
  return ResultAnswer(request, kResultUnknownCommand);
}

TRecordedAnswers::TRecordedAnswers(std::vector<TRecordedCommand> commands, int protocol)
    : FCommands(std::make_shared<const std::vector<TRecordedCommand>>(std::move(commands))),
      FProtocol(protocol) {}

TRecordedAnswers TRecordedAnswers::FromLogFile(const std::string& fileName, TLogEncoding encoding) {
  std::vector<TRecordedCommand> commands;
  int protocol = 0;  // of the first command of protocol 1, 2 or 3
  TLogLoadResult loaded =
      LoadLog(TLogSource::File(fileName, encoding), [&](TCommand& command, std::uint64_t) {
        const TProtocol logged = command.Protocol();
        if (protocol == 0 && (logged == pProtocol1 || logged == pProtocol2 || logged == pProtocol3))
          protocol = logged;
        TRecordedCommand recorded;
        recorded.Request = HexToBytes(command.TxData());
        if (recorded.Request.empty()) return;
        recorded.Answer = HexToBytes(command.AnswerData());
        recorded.LineNumber = command.LineNumber();
        commands.push_back(std::move(recorded));
      });
  if (!loaded.ReadError.empty()) throw EQuillonError(loaded.ReadError);
  return TRecordedAnswers(std::move(commands), protocol);
}

namespace {

// Whether a recorded answer says the device was busy (the caller asks again).
bool IsBusyAnswer(const TBytes& answer) {
  return IsBusyResult(AnswerResultCode(answer));
}

}  // namespace

const TRecordedCommand* TRecordedAnswers::TakeAt(std::size_t index) {
  FNext = index + 1;
  FLast = &(*FCommands)[index];
  return FLast;
}

const TRecordedCommand* TRecordedAnswers::Take(TBytesView request) {
  const std::size_t size = Count();
  // A caller asks again after a busy answer, and the log holds that second request as a
  // command of its own. The repeat gets the next recorded answer without taking it, so
  // that the recorded repeat still finds it when it is played in its turn.
  if (FLast != nullptr && IsBusyAnswer(FLast->Answer) && FLast->Request == request) {
    for (std::size_t i = std::max(FPeekFrom, FNext); i < size; ++i) {
      if ((*FCommands)[i].Request == request) {
        FPeekFrom = i + 1;
        FLast = &(*FCommands)[i];
        return FLast;
      }
    }
  }
  FPeekFrom = 0;
  if (size == 0) return FLast = nullptr;
  if (request.size() >= 1 && request[0] == 0x10) {
    const std::size_t next = FNext < size ? FNext : 0;
    if ((*FCommands)[next].Request == request) return TakeAt(next);
    return FLast = nullptr;
  }
  for (std::size_t i = FNext; i < size; ++i)
    if ((*FCommands)[i].Request == request) return TakeAt(i);
  for (std::size_t i = 0; i < FNext && i < size; ++i)  // none ahead: from the start again
    if ((*FCommands)[i].Request == request) return TakeAt(i);
  return FLast = nullptr;
}

}  // namespace quillon
