// An in-memory byte buffer with one read/write position and the typed reads and writes
// of register command data: bytes, little- and big-endian integers, byte strings,
// three-byte dates and times.
#pragma once

#include <cstdint>
#include <memory>

#include "core/Bytes.h"
#include "core/DateUtils.h"

namespace quillon {

struct TPrinterDate {
  std::uint8_t Day = 0, Month = 0, Year = 0;  // Year - 2000
};

struct TPrinterTime {
  std::uint8_t Hour = 0, Min = 0, Sec = 0;
};

class IBinStream {
 public:
  virtual ~IBinStream() = default;

  virtual TByteArray Data() = 0;  // every byte; the position is left at the end
  virtual void SetData(const TByteArray& data) = 0;
  virtual TBytes DataAsStr() = 0;
  virtual void SetDataAsStr(TBytesView data) = 0;
  virtual std::int64_t Size() const = 0;
  virtual std::int64_t Remaining() const = 0;
  virtual std::int64_t Position() const = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  // How many bytes reads have asked for past the end since the data was last set: they
  // read as zeros, and a value read while this grew was not all there.
  virtual std::int64_t Missing() const = 0;

  virtual std::uint8_t ReadByte() = 0;
  virtual std::uint16_t ReadUInt16() = 0;
  virtual std::uint32_t ReadUInt32() = 0;
  virtual std::uint8_t ReadChar() = 0;
  virtual TDateTime ReadDate() = 0;  // raises for an impossible date
  virtual TDateTime ReadTime() = 0;  // raises for an impossible time
  virtual TBytes ReadString() = 0;   // the rest
  virtual TBytes ReadString(std::int64_t size) = 0;
  virtual std::uint64_t ReadInt(int size) = 0;
  virtual std::uint64_t ReadIntRev(int size) = 0;
  virtual TByteArray ReadBytes(std::int64_t size) = 0;

  virtual void WriteByte(std::uint8_t value) = 0;
  virtual void WriteUInt16(std::uint16_t value) = 0;
  virtual void WriteUInt32(std::uint32_t value) = 0;
  virtual void WriteInt(std::int64_t value, int size) = 0;
  virtual void WriteIntRev(std::int64_t value, int size) = 0;
  virtual void WriteString(TBytesView data) = 0;
  virtual void WriteBytes(const TByteArray& data) = 0;
  virtual void WriteDate(const TPrinterDate& date) = 0;
  virtual void WriteTime(const TPrinterTime& time) = 0;
  virtual void WriteStream(IBinStream& stream) = 0;  // all of it, from its start
  virtual void Clear() = 0;
};

class TBinStream final : public IBinStream {
 public:
  TBinStream() = default;
  explicit TBinStream(TBytesView data) : FData(data) {}
  explicit TBinStream(const TByteArray& data) : FData(data.begin(), data.end()) {}

  static std::shared_ptr<IBinStream> Create(TBytesView data = {}) {
    return std::make_shared<TBinStream>(data);
  }

  TByteArray Data() override;
  void SetData(const TByteArray& data) override;
  TBytes DataAsStr() override;
  void SetDataAsStr(TBytesView data) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(FData.size()); }
  std::int64_t Remaining() const override { return Size() - FPos; }
  std::int64_t Position() const override { return FPos; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Missing() const override { return FMissing; }

  std::uint8_t ReadByte() override;
  std::uint16_t ReadUInt16() override;
  std::uint32_t ReadUInt32() override;
  std::uint8_t ReadChar() override { return ReadByte(); }
  TDateTime ReadDate() override;
  TDateTime ReadTime() override;
  TBytes ReadString() override;
  TBytes ReadString(std::int64_t size) override;
  std::uint64_t ReadInt(int size) override;
  std::uint64_t ReadIntRev(int size) override;
  TByteArray ReadBytes(std::int64_t size) override;

  void WriteByte(std::uint8_t value) override;
  void WriteUInt16(std::uint16_t value) override;
  void WriteUInt32(std::uint32_t value) override;
  void WriteInt(std::int64_t value, int size) override;
  void WriteIntRev(std::int64_t value, int size) override;
  void WriteString(TBytesView data) override;
  void WriteBytes(const TByteArray& data) override;
  void WriteDate(const TPrinterDate& date) override;
  void WriteTime(const TPrinterTime& time) override;
  void WriteStream(IBinStream& stream) override;
  void Clear() override;

 private:
  // Copies up to n bytes from the position into out (the rest of out left as it is).
  std::size_t Read(std::uint8_t* out, std::size_t n);
  void Write(const std::uint8_t* data, std::size_t n);

  TBytes FData;
  std::int64_t FPos = 0;
  std::int64_t FMissing = 0;
};

}  // namespace quillon
