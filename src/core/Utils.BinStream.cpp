#include "core/Utils.BinStream.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

std::uint64_t ByteSwap(std::uint64_t v) {
  std::uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r |= ((v >> (8 * i)) & 0xFF) << (8 * (7 - i));
  return r;
}

}  // namespace

std::size_t TBinStream::Read(std::uint8_t* out, std::size_t n) {
  std::size_t available = static_cast<std::size_t>(std::max<std::int64_t>(Remaining(), 0));
  std::size_t count = std::min(n, available);
  if (count > 0) std::memcpy(out, FData.data() + FPos, count);
  FPos += static_cast<std::int64_t>(count);
  FMissing += static_cast<std::int64_t>(n - count);
  return count;
}

void TBinStream::Write(const std::uint8_t* data, std::size_t n) {
  if (n == 0) return;
  auto end = static_cast<std::size_t>(FPos) + n;
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPos, data, n);
  FPos = static_cast<std::int64_t>(end);
}

TByteArray TBinStream::Data() {
  FPos = Size();
  return TByteArray(FData.begin(), FData.end());
}

void TBinStream::SetData(const TByteArray& data) {
  FData.assign(data.begin(), data.end());
  FPos = 0;
  FMissing = 0;
}

TBytes TBinStream::DataAsStr() {
  FPos = Size();
  return FData;
}

void TBinStream::SetDataAsStr(TBytesView data) {
  FData.assign(data);
  FPos = 0;
  FMissing = 0;
}

void TBinStream::SetPosition(std::int64_t position) {
  FPos = std::clamp<std::int64_t>(position, 0, Size());
}

std::uint8_t TBinStream::ReadByte() {
  std::uint8_t b = 0;
  Read(&b, 1);
  return b;
}

std::uint16_t TBinStream::ReadUInt16() {
  return static_cast<std::uint16_t>(ReadInt(2));
}

std::uint32_t TBinStream::ReadUInt32() {
  return static_cast<std::uint32_t>(ReadInt(4));
}

TDateTime TBinStream::ReadDate() {
  std::uint8_t b[3] = {0, 0, 0};
  Read(b, 3);
  return EncodeDate(2000 + b[2], b[1], b[0]);
}

TDateTime TBinStream::ReadTime() {
  std::uint8_t b[3] = {0, 0, 0};
  Read(b, 3);
  return EncodeTime(b[0], b[1], b[2], 0);
}

TBytes TBinStream::ReadString() {
  TBytes out;
  if (Remaining() > 0) {
    out.assign(FData, static_cast<std::size_t>(FPos));
    FPos = Size();
  }
  return out;
}

TBytes TBinStream::ReadString(std::int64_t size) {
  if (size <= 0) return {};
  if (FData.empty()) {
    FMissing += size;
    return {};
  }
  TBytes out(static_cast<std::size_t>(size), 0);  // bytes past the end read as 0
  Read(out.data(), out.size());
  return out;
}

std::uint64_t TBinStream::ReadInt(int size) {
  if (size < 1 || size > 8) return 0;
  std::uint8_t buf[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  Read(buf, static_cast<std::size_t>(size));
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | buf[i];
  return v;
}

std::uint64_t TBinStream::ReadIntRev(int size) {
  if (size < 1 || size > 8) return 0;
  return ByteSwap(ReadInt(size)) >> (64 - 8 * size);
}

TByteArray TBinStream::ReadBytes(std::int64_t size) {
  if (size <= 0) return {};
  TByteArray out(static_cast<std::size_t>(size), 0);
  Read(out.data(), out.size());
  return out;
}

void TBinStream::WriteByte(std::uint8_t value) {
  Write(&value, 1);
}

void TBinStream::WriteUInt16(std::uint16_t value) {
  WriteInt(value, 2);
}

void TBinStream::WriteUInt32(std::uint32_t value) {
  WriteInt(value, 4);
}

void TBinStream::WriteInt(std::int64_t value, int size) {
  if (size < 1 || size > 8) return;
  std::uint8_t buf[8];
  auto v = static_cast<std::uint64_t>(value);
  for (int i = 0; i < size; ++i) buf[i] = static_cast<std::uint8_t>(v >> (8 * i));
  Write(buf, static_cast<std::size_t>(size));
}

void TBinStream::WriteIntRev(std::int64_t value, int size) {
  if (size < 1 || size > 8) return;
  std::uint64_t v = ByteSwap(static_cast<std::uint64_t>(value)) >> (64 - 8 * size);
  WriteInt(static_cast<std::int64_t>(v), size);
}

void TBinStream::WriteString(TBytesView data) {
  Write(data.data(), data.size());
}

void TBinStream::WriteBytes(const TByteArray& data) {
  Write(data.data(), data.size());
}

void TBinStream::WriteDate(const TPrinterDate& date) {
  const std::uint8_t b[3] = {date.Day, date.Month, date.Year};
  Write(b, 3);
}

void TBinStream::WriteTime(const TPrinterTime& time) {
  const std::uint8_t b[3] = {time.Hour, time.Min, time.Sec};
  Write(b, 3);
}

void TBinStream::WriteStream(IBinStream& stream) {
  TBytes all = stream.DataAsStr();  // leaves the source at its end
  Write(all.data(), all.size());
}

void TBinStream::Clear() {
  FData.clear();
  FPos = 0;
  FMissing = 0;
}

}  // namespace quillon
