#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/BinUtils.h"
#include "core/DateUtils.h"
#include "core/Errors.h"
#include "core/Utils.BinStream.h"

namespace quillon {
namespace {

TBytes Hex(std::string_view text) {
  return HexToBytes(text);
}

std::uint64_t LowBytes(std::uint64_t value, int size) {
  return size == 8 ? value : value & ((1ULL << (8 * size)) - 1);
}

TEST(BinStream, ReadsMoveThePositionAndRemainingCountsDown) {
  auto s = TBinStream::Create(Hex("01 02 03"));
  EXPECT_EQ(s->Size(), 3);
  EXPECT_EQ(s->Remaining(), 3);
  EXPECT_EQ(s->ReadUInt16(), 0x0201);
  EXPECT_EQ(s->Remaining(), 1);
  EXPECT_EQ(s->ReadString(), Hex("03"));
  EXPECT_EQ(s->Remaining(), 0);
  EXPECT_EQ(s->ReadString(), TBytes());
  EXPECT_EQ(s->Size(), 3);

  TBinStream t(Hex("78 56 34 12 AB CD EF"));
  EXPECT_EQ(t.ReadUInt32(), 0x12345678u);
  EXPECT_EQ(t.ReadByte(), 0xAB);
  EXPECT_EQ(t.ReadChar(), 0xCD);
  EXPECT_EQ(t.Position(), 6);
  EXPECT_EQ(t.ReadString(1), Hex("EF"));
  EXPECT_EQ(t.Remaining(), 0);

  // Zero bytes are data.
  TBinStream zeros(TBytes(4, 0));
  EXPECT_EQ(zeros.ReadString(2), TBytes(2, 0));
  EXPECT_EQ(zeros.ReadString(), TBytes(2, 0));
}

TEST(BinStream, LittleAndBigEndianIntegersOfEverySize) {
  TBinStream s(Hex("00 01 02"));
  EXPECT_EQ(s.ReadIntRev(3), 0x000102u);
  s.SetPosition(0);
  EXPECT_EQ(s.ReadInt(3), 0x020100u);

  TBinStream eight(Hex("01 02 03 04 05 06 07 88"));
  EXPECT_EQ(eight.ReadInt(8), 0x8807060504030201ULL);
  eight.SetPosition(0);
  EXPECT_EQ(eight.ReadIntRev(8), 0x0102030405060788ULL);
  for (int size = 1; size <= 8; ++size) {
    eight.SetPosition(0);
    std::uint64_t le = 0, be = 0;
    const TBytes bytes = Hex("01 02 03 04 05 06 07 88");
    for (int i = 0; i < size; ++i) {
      le |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
      be = (be << 8) | bytes[i];
    }
    EXPECT_EQ(eight.ReadInt(size), le) << "size " << size;
    EXPECT_EQ(eight.Position(), size);
    eight.SetPosition(0);
    EXPECT_EQ(eight.ReadIntRev(size), be) << "size " << size;
    EXPECT_EQ(eight.Position(), size);
  }

  // Missing bytes count as zeros: high positions little-endian, low positions big-endian.
  TBinStream lone(Hex("12"));
  EXPECT_EQ(lone.ReadInt(2), 0x12u);
  EXPECT_EQ(lone.Remaining(), 0);
  lone.SetPosition(0);
  EXPECT_EQ(lone.ReadIntRev(2), 0x1200u);
  lone.SetPosition(0);
  EXPECT_EQ(lone.ReadIntRev(4), 0x12000000u);
  TBinStream two(Hex("12 34"));
  EXPECT_EQ(two.ReadIntRev(3), 0x123400u);
}

TEST(BinStream, WritesOfIntegers) {
  TBinStream s;
  s.WriteInt(0x0102030405, 3);
  EXPECT_EQ(s.DataAsStr(), Hex("05 04 03"));
  s.Clear();
  s.WriteIntRev(0x0102030405, 3);
  EXPECT_EQ(s.DataAsStr(), Hex("03 04 05"));
  s.Clear();
  s.WriteIntRev(0x1234, 2);
  EXPECT_EQ(s.DataAsStr(), Hex("12 34"));
  s.Clear();
  s.WriteUInt16(0xABCD);
  s.WriteUInt32(0x01020304);
  s.WriteByte(0xFF);
  s.WriteInt(-1, 8);
  s.WriteIntRev(-2, 8);
  EXPECT_EQ(s.DataAsStr(), Hex("CD AB 04 03 02 01 FF FF FF FF FF FF FF FF FF "
                               "FF FF FF FF FF FF FF FE"));
}

TEST(BinStream, TypedValuesRoundTrip) {
  std::mt19937_64 rng(5);
  struct Item {
    int kind;  // 0 int, 1 reversed int, 2 byte, 3 uint16, 4 uint32, 5 bytes
    int size;
    std::uint64_t value;
    TBytes bytes;
  };
  std::vector<Item> items;
  TBinStream s;
  for (int i = 0; i < 2000; ++i) {
    Item item{static_cast<int>(rng() % 6), static_cast<int>(1 + rng() % 8), rng(), {}};
    switch (item.kind) {
      case 0:
        s.WriteInt(static_cast<std::int64_t>(item.value), item.size);
        break;
      case 1:
        s.WriteIntRev(static_cast<std::int64_t>(item.value), item.size);
        break;
      case 2:
        s.WriteByte(static_cast<std::uint8_t>(item.value));
        break;
      case 3:
        s.WriteUInt16(static_cast<std::uint16_t>(item.value));
        break;
      case 4:
        s.WriteUInt32(static_cast<std::uint32_t>(item.value));
        break;
      default:
        for (int k = 0; k < item.size; ++k) item.bytes.push_back(static_cast<std::uint8_t>(rng()));
        if (item.value % 2)
          s.WriteString(item.bytes);
        else
          s.WriteBytes(TByteArray(item.bytes.begin(), item.bytes.end()));
        break;
    }
    items.push_back(item);
  }
  EXPECT_EQ(s.Remaining(), 0);
  s.SetPosition(0);
  for (const Item& item : items) {
    switch (item.kind) {
      case 0:
        ASSERT_EQ(s.ReadInt(item.size), LowBytes(item.value, item.size));
        break;
      case 1:
        ASSERT_EQ(s.ReadIntRev(item.size), LowBytes(item.value, item.size));
        break;
      case 2:
        ASSERT_EQ(s.ReadByte(), static_cast<std::uint8_t>(item.value));
        break;
      case 3:
        ASSERT_EQ(s.ReadUInt16(), static_cast<std::uint16_t>(item.value));
        break;
      case 4:
        ASSERT_EQ(s.ReadUInt32(), static_cast<std::uint32_t>(item.value));
        break;
      default:
        if (item.value % 2)
          ASSERT_EQ(s.ReadString(item.size), item.bytes);
        else
          ASSERT_EQ(s.ReadBytes(item.size), TByteArray(item.bytes.begin(), item.bytes.end()));
        break;
    }
  }
  EXPECT_EQ(s.Remaining(), 0);

  // A reversed write read plainly gives the bytes in the opposite order, and vice versa.
  for (int size = 1; size <= 8; ++size) {
    const std::uint64_t value = rng();
    TBinStream r;
    r.WriteIntRev(static_cast<std::int64_t>(value), size);
    ASSERT_EQ(r.Size(), size);
    r.SetPosition(0);
    const TBytes written = r.ReadString(size);
    const TBytes le = IntToBytes(static_cast<std::int64_t>(value), size);
    EXPECT_EQ(written, TBytes(le.rbegin(), le.rend())) << "size " << size;
  }
}

TEST(BinStream, WritesOverwriteAtThePositionAndExtendPastTheEnd) {
  // Made with data: the position is 0, so a write overwrites from the start.
  auto s = TBinStream::Create(Hex("01 02 03"));
  s->WriteByte(0xAA);
  EXPECT_EQ(s->Size(), 3);
  EXPECT_EQ(s->Remaining(), 2);
  s->WriteUInt32(0x44332211);
  EXPECT_EQ(s->Size(), 5);
  EXPECT_EQ(s->Remaining(), 0);
  EXPECT_EQ(s->DataAsStr(), Hex("AA 11 22 33 44"));

  // Made empty: writes append.
  TBinStream empty;
  empty.WriteString(Hex("01"));
  empty.WriteString({});
  empty.WriteBytes({});
  empty.WriteBytes({0x02, 0x03});
  EXPECT_EQ(empty.Size(), 3);
  EXPECT_EQ(empty.DataAsStr(), Hex("01 02 03"));

  // Moving back and writing inside.
  empty.SetPosition(1);
  empty.WriteByte(0xBB);
  EXPECT_EQ(empty.Position(), 2);
  EXPECT_EQ(empty.DataAsStr(), Hex("01 BB 03"));
}

TEST(BinStream, DataReplacementReadingAndClear) {
  TBinStream s(Hex("01 02 03 04"));
  s.ReadByte();
  // Reading all the data always gives it from the start and leaves the position at the end.
  EXPECT_EQ(s.Data(), (TByteArray{1, 2, 3, 4}));
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(s.Data(), (TByteArray{1, 2, 3, 4}));
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(s.DataAsStr(), Hex("01 02 03 04"));
  EXPECT_EQ(s.Remaining(), 0);

  s.SetDataAsStr(Hex("AA BB"));
  EXPECT_EQ(s.Size(), 2);
  EXPECT_EQ(s.Remaining(), 2);
  EXPECT_EQ(s.ReadByte(), 0xAA);

  s.SetData({0x10, 0x20, 0x30});
  EXPECT_EQ(s.Remaining(), 3);
  EXPECT_EQ(s.ReadByte(), 0x10);

  s.SetData({});
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Remaining(), 0);

  s.SetDataAsStr(Hex("01 02"));
  s.ReadByte();
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
  s.WriteByte(0x77);
  EXPECT_EQ(s.DataAsStr(), Hex("77"));

  TBinStream fromArray(TByteArray{0x05, 0x06});
  EXPECT_EQ(fromArray.Position(), 0);
  EXPECT_EQ(fromArray.ReadUInt16(), 0x0605);
}

TEST(BinStream, ReadsPastTheEnd) {
  TBinStream empty;
  for (std::int64_t size : {0, 1, 5, 1000}) EXPECT_EQ(empty.ReadString(size), TBytes());
  EXPECT_EQ(empty.ReadString(), TBytes());
  EXPECT_EQ(empty.ReadBytes(3), TByteArray(3, 0));
  EXPECT_EQ(empty.ReadByte(), 0);
  EXPECT_EQ(empty.ReadUInt32(), 0u);
  EXPECT_EQ(empty.Remaining(), 0);

  TBinStream s(Hex("01 02"));
  EXPECT_EQ(s.ReadBytes(0), TByteArray());
  EXPECT_EQ(s.ReadBytes(-1), TByteArray());
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.ReadBytes(4), (TByteArray{1, 2, 0, 0}));
  EXPECT_EQ(s.Remaining(), 0);

  TBinStream t(Hex("01 02 03"));
  t.ReadByte();
  EXPECT_EQ(t.ReadUInt32(), 0x0302u);
  EXPECT_EQ(t.Remaining(), 0);
  EXPECT_EQ(t.ReadByte(), 0);

  // A stream that holds bytes pads a sized string with zeros.
  TBinStream u(Hex("01"));
  EXPECT_EQ(u.ReadString(3), Hex("01 00 00"));
  EXPECT_EQ(u.Remaining(), 0);
}

TEST(BinStream, DatesAndTimes) {
  TBinStream s(Hex("1F 0C 18 17 3B 3B 1D 02 18 00 00 00"));
  EXPECT_EQ(s.ReadDate(), EncodeDate(2024, 12, 31));
  EXPECT_DOUBLE_EQ(s.ReadTime(), EncodeTime(23, 59, 59, 0));
  EXPECT_EQ(s.ReadDate(), EncodeDate(2024, 2, 29));
  EXPECT_EQ(s.ReadTime(), 0.0);
  EXPECT_EQ(s.Remaining(), 0);

  const char* impossibleDates[] = {"1F 02 18", "01 0D 18", "00 01 18", "1D 02 17"};
  for (const char* hex : impossibleDates) {
    TBinStream d(Hex(hex));
    EXPECT_THROW(d.ReadDate(), EQuillonError) << hex;
  }
  const char* impossibleTimes[] = {"18 00 00", "00 3C 00", "00 00 3C"};
  for (const char* hex : impossibleTimes) {
    TBinStream t(Hex(hex));
    EXPECT_THROW(t.ReadTime(), EQuillonError) << hex;
  }

  TBinStream w;
  w.WriteDate(TPrinterDate{31, 12, 24});
  w.WriteTime(TPrinterTime{23, 59, 58});
  EXPECT_EQ(w.DataAsStr(), Hex("1F 0C 18 17 3B 3A"));
  w.SetPosition(0);
  EXPECT_EQ(w.ReadDate(), EncodeDate(2024, 12, 31));
  EXPECT_DOUBLE_EQ(w.ReadTime(), EncodeTime(23, 59, 58, 0));
}

TEST(BinStream, WriteStreamCopiesTheWholeSourceFromItsStart) {
  TBinStream source(Hex("0A 0B 0C 0D"));
  source.ReadUInt16();  // the source's own position does not matter
  TBinStream target(Hex("01"));
  target.SetPosition(1);
  target.WriteStream(source);
  EXPECT_EQ(target.Size(), 5);
  EXPECT_EQ(target.DataAsStr(), Hex("01 0A 0B 0C 0D"));
  EXPECT_EQ(source.Remaining(), 0);
  EXPECT_EQ(source.Size(), 4);

  TBinStream nothing;
  TBinStream same(Hex("01 02"));
  same.SetPosition(2);
  same.WriteStream(nothing);
  EXPECT_EQ(same.Size(), 2);
  EXPECT_EQ(same.Position(), 2);

  // Through the interface, as decoders hold it.
  std::shared_ptr<IBinStream> a = TBinStream::Create(Hex("01 02 03 04"));
  std::shared_ptr<IBinStream> b = TBinStream::Create();
  b->WriteStream(*a);
  EXPECT_EQ(b->DataAsStr(), Hex("01 02 03 04"));
}

}  // namespace
}  // namespace quillon
