#include "core/untCommand.h"

#include <algorithm>
#include <mutex>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/CommandCode.h"
#include "core/DateUtils.h"
#include "core/DriverCommands.h"

namespace quillon {

namespace {

constexpr std::int32_t kPrintCommands[] = {0xFF45, 0xFF76, 0xFF77, 0xFF78};

constexpr std::int32_t kRecRepCommands[] = {
    0x40,   0x41,   0x42,   0x43,   0x44,   0x45,   0x46,   0x50,   0x51,   0x80,
    0x81,   0x82,   0x83,   0x84,   0x85,   0x86,   0x87,   0x88,   0x89,   0x8A,
    0x8B,   0x8C,   0x8D,   0xE0,   0xFF34, 0xFF35, 0xFF36, 0xFF37, 0xFF38, 0xFF3D,
    0xFF3E, 0xFF41, 0xFF42, 0xFF45, 0xFF46, 0xFF47, 0xFF48, 0xFF49, 0xFF4A, 0xFF4B,
    0xFF4D, 0xFF50, 0xFF51, 0xFF61, 0xFF64, 0xFF67, 0xFF69, 0xFF76, 0xFF77, 0xFF78};

constexpr std::int32_t kStatusCommands[] = {0x10, 0x11};

template <std::size_t N>
bool InSet(const std::int32_t (&set)[N], std::int32_t code) {
  return std::find(std::begin(set), std::end(set), code) != std::end(set);
}

// The played answers of all commands share a small table of locks, picked by the command's
// address: a log can hold millions of commands, and a mutex each would double their size.
constexpr unsigned kAnswerLockBits = 6;

struct alignas(64) TAnswerLock {
  std::mutex Mutex;
};

TAnswerLock gAnswerLocks[1u << kAnswerLockBits];

std::mutex& AnswerLock(const TCommand* command) {
  // Fibonacci hashing spreads neighbouring allocations over the table.
  auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(command));
  return gAnswerLocks[(address * 0x9E3779B97F4A7C15ull) >> (64 - kAnswerLockBits)].Mutex;
}

}  // namespace

TCommand::TCommand(TCommand&& other) noexcept
    : Played(other.Played.exchange(false)),
      Selected(other.Selected.exchange(false)),
      FData(std::move(other.FData)) {
  std::lock_guard lock(AnswerLock(&other));
  FPlayedAnswerData = std::move(other.FPlayedAnswerData);
  other.FPlayedAnswerData.clear();
}

TCommand& TCommand::operator=(TCommand&& other) noexcept {
  if (this == &other) return *this;
  FData = std::move(other.FData);
  Played = other.Played.exchange(false);
  Selected = other.Selected.exchange(false);
  std::string answer;
  {
    std::lock_guard lock(AnswerLock(&other));
    answer = std::move(other.FPlayedAnswerData);
    other.FPlayedAnswerData.clear();
  }
  SetPlayedAnswerData(std::move(answer));
  return *this;
}

TCommand::TCommand(const TCommand& other)
    : Played(other.Played.load()),
      Selected(other.Selected.load()),
      FData(other.FData),
      FPlayedAnswerData(other.PlayedAnswerData()) {}

TCommand& TCommand::operator=(const TCommand& other) {
  if (this == &other) return *this;
  FData = other.FData;
  Played = other.Played.load();
  Selected = other.Selected.load();
  SetPlayedAnswerData(other.PlayedAnswerData());
  return *this;
}

std::string TCommand::PlayedAnswerData() const {
  std::lock_guard lock(AnswerLock(this));
  return FPlayedAnswerData;
}

void TCommand::SetPlayedAnswerData(std::string value) {
  std::lock_guard lock(AnswerLock(this));
  FPlayedAnswerData.swap(value);
  // The old text is freed after the lock is released.
}

std::string_view LineTimeStamp(std::string_view line) {
  std::size_t from = Utf8Offset(line, 1);
  return Utf8Left(line.substr(from), 23);
}

std::optional<std::int64_t> LineTimeMs(std::string_view line) {
  std::string_view stamp = LineTimeStamp(line);
  // Without milliseconds the stamp has 19 characters and the closing bracket follows.
  if (stamp.size() > 19 && stamp[19] != '.') stamp = stamp.substr(0, 19);
  return ParseLogTimeStamp(stamp);
}

std::string_view TCommand::TimeStampView() const {
  return LineTimeStamp(FData.Attributes);
}

std::optional<std::int64_t> TCommand::RequestTimeMs() const {
  return LineTimeMs(FData.Attributes);
}

std::optional<std::int64_t> TCommand::AnswerTimeMs() const {
  if (FData.AnswerTimeMs == TCommandRec::kNoTime || FData.AnswerData.empty()) return std::nullopt;
  return FData.AnswerTimeMs;
}

std::optional<std::int64_t> TCommand::ResponseMs() const {
  std::optional<std::int64_t> answer = AnswerTimeMs();
  if (!answer) return std::nullopt;
  std::optional<std::int64_t> request = RequestTimeMs();
  if (!request) return std::nullopt;
  return *answer - *request;
}

std::string_view TCommand::ThreadIDView() const {
  std::string_view attrs = FData.Attributes;
  std::size_t pos = attrs.find("] [");
  // Without the separator the text is taken from its third character on.
  std::size_t start = pos == std::string_view::npos ? Utf8Offset(attrs, 2) : pos + 3;
  std::string_view rest = attrs.substr(std::min(start, attrs.size()));
  std::size_t close = rest.find(']');
  if (close == std::string_view::npos) return {};
  return rest.substr(0, close);
}

std::int32_t TCommand::GetCode(std::string_view data) {
  return CommandCodeOf(HexToBytes(data, 2));
}

std::int32_t TCommand::GetResCode(std::string_view data) {
  return AnswerResultCode(HexToBytes(data, 3));
}

bool TCommand::HasError() const {
  return FData.ResCode != 0 || (FData.AnswerData.empty() && !FData.TxData.empty());
}

std::string TCommand::CommandName() const {
  std::string name;
  name.reserve(64);
  AppendCommandName(name);
  return name;
}

void TCommand::AppendCommandName(std::string& out) const {
  if (FData.Protocol == pProtocol2 && FData.TxData.empty()) {
    out += "Sync";
    return;
  }
  out += IntToHex(static_cast<std::uint32_t>(FData.Code), 2);
  out += ", ";
  out += GetCommandName(static_cast<std::uint16_t>(FData.Code & 0xFFFF));
}

bool TCommand::HasData(std::string_view text) const {
  return HasLowerData(Utf8ToLower(text));
}

bool TCommand::HasLowerData(std::string_view lowerText) const {
  if (Utf8ToLower(FData.Attributes).find(lowerText) != std::string::npos) return true;
  if (Utf8ToLower(TimeStamp()).find(lowerText) != std::string::npos) return true;
  return Utf8ToLower(CommandName()).find(lowerText) != std::string::npos;
}

bool TCommand::IsPrintCommand() const {
  return InSet(kPrintCommands, FData.Code);
}
bool TCommand::IsRecRepCommand() const {
  return InSet(kRecRepCommands, FData.Code);
}
bool TCommand::IsStatusCommand() const {
  return InSet(kStatusCommands, FData.Code);
}

TCommand& TCommandList::Add(TCommandRec data) {
  FItems.push_back(std::make_unique<TCommand>(std::move(data)));
  return *FItems.back();
}

TCommand* TCommandList::ItemByAttributes(std::string_view text) const {
  for (const auto& item : FItems)
    if (item->Attributes().find(text) != std::string::npos) return item.get();
  return nullptr;
}

TCommandRefs TCommandList::ItemsByAttributes(std::string_view text) const {
  TCommandRefs result;
  for (const auto& item : FItems)
    if (item->Attributes().find(text) != std::string::npos) result.push_back(item.get());
  return result;
}

}  // namespace quillon
