#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <tuple>
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

TEST(BinStream, ReadsMoveThePositionAndPadPastTheEnd) {
  auto s = TBinStream::Create(Hex("78 56 34 12 AB CD EF 00 00"));
  EXPECT_EQ(s->Size(), 9);
  EXPECT_EQ(s->ReadUInt32(), 0x12345678u);
  EXPECT_EQ(s->ReadByte(), 0xAB);
  EXPECT_EQ(s->ReadChar(), 0xCD);
  EXPECT_EQ(s->Position(), 6);
  EXPECT_EQ(s->Remaining(), 3);
  EXPECT_EQ(s->ReadString(1), Hex("EF"));
  EXPECT_EQ(s->ReadString(), TBytes(2, 0));  // zero bytes are data
  EXPECT_EQ(s->ReadString(), TBytes());
  EXPECT_EQ(s->Remaining(), 0);

  // Past the end: integers and byte arrays are padded with zeros, so is a sized string of
  // a stream that holds bytes; an empty stream gives empty strings.
  // Missing counts the bytes asked for past the end; reading the rest never misses.
  TBinStream t(Hex("01 02 03"));
  t.ReadByte();
  EXPECT_EQ(t.ReadUInt32(), 0x0302u);
  EXPECT_EQ(t.Missing(), 2);
  EXPECT_EQ(t.Remaining(), 0);
  EXPECT_EQ(t.ReadByte(), 0);
  EXPECT_EQ(t.ReadString(), TBytes());
  EXPECT_EQ(t.Missing(), 3);
  t.SetPosition(2);
  EXPECT_EQ(t.ReadString(3), Hex("03 00 00"));
  EXPECT_EQ(t.Missing(), 5);
  t.SetPosition(1);
  EXPECT_EQ(t.ReadBytes(0), TByteArray());
  EXPECT_EQ(t.ReadBytes(-1), TByteArray());
  EXPECT_EQ(t.Position(), 1);
  EXPECT_EQ(t.ReadBytes(4), (TByteArray{2, 3, 0, 0}));
  EXPECT_EQ(t.Remaining(), 0);
  EXPECT_EQ(t.Missing(), 7);
  t.SetDataAsStr(Hex("01"));
  EXPECT_EQ(t.Missing(), 0);
  TBinStream empty;
  EXPECT_EQ(empty.ReadString(5), TBytes());
  EXPECT_EQ(empty.ReadBytes(3), TByteArray(3, 0));
  EXPECT_EQ(empty.Remaining(), 0);
  EXPECT_EQ(empty.Missing(), 8);
}

TEST(BinStream, LittleAndBigEndianIntegersOfEverySize) {
  const TBytes bytes = Hex("01 02 03 04 05 06 07 88");
  TBinStream s(bytes);
  for (int size = 1; size <= 8; ++size) {
    std::uint64_t le = 0, be = 0;
    for (int i = 0; i < size; ++i) {
      le |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
      be = (be << 8) | bytes[i];
    }
    s.SetPosition(0);
    EXPECT_EQ(s.ReadInt(size), le) << "size " << size;
    EXPECT_EQ(s.Position(), size);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadIntRev(size), be) << "size " << size;
    EXPECT_EQ(s.Position(), size);
  }
  // Missing bytes count as zeros: high positions little-endian, low positions big-endian.
  TBinStream lone(Hex("12"));
  EXPECT_EQ(lone.ReadInt(2), 0x12u);
  lone.SetPosition(0);
  EXPECT_EQ(lone.ReadIntRev(4), 0x12000000u);

  TBinStream w;
  w.WriteUInt16(0xABCD);
  w.WriteUInt32(0x01020304);
  w.WriteByte(0xFF);
  w.WriteInt(-1, 8);
  w.WriteIntRev(-2, 8);
  w.WriteIntRev(0x0102030405, 3);
  EXPECT_EQ(BytesToHex(w.DataAsStr()),
            "CD AB 04 03 02 01 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FE 03 04 05");
}

TEST(BinStream, TypedValuesRoundTrip) {
  // Each kind writes the low `size` bytes of a value and reads them back.
  struct Kind {
    int size;  // 0: any of 1..8
    void (*write)(TBinStream&, std::uint64_t, int);
    std::uint64_t (*read)(TBinStream&, int);
  };
  const Kind kinds[] = {
      {0, [](TBinStream& s, std::uint64_t v, int n) { s.WriteInt(v, n); },
       [](TBinStream& s, int n) { return s.ReadInt(n); }},
      {0, [](TBinStream& s, std::uint64_t v, int n) { s.WriteIntRev(v, n); },
       [](TBinStream& s, int n) { return s.ReadIntRev(n); }},
      {1, [](TBinStream& s, std::uint64_t v, int) { s.WriteByte(v); },
       [](TBinStream& s, int) -> std::uint64_t { return s.ReadByte(); }},
      {2, [](TBinStream& s, std::uint64_t v, int) { s.WriteUInt16(v); },
       [](TBinStream& s, int) -> std::uint64_t { return s.ReadUInt16(); }},
      {4, [](TBinStream& s, std::uint64_t v, int) { s.WriteUInt32(v); },
       [](TBinStream& s, int) -> std::uint64_t { return s.ReadUInt32(); }},
      {0, [](TBinStream& s, std::uint64_t v, int n) { s.WriteString(IntToBytes(v, n)); },
       [](TBinStream& s, int n) -> std::uint64_t { return BytesToInt(s.ReadString(n), 1, n); }},
  };
  std::mt19937_64 rng(5);
  std::vector<std::tuple<const Kind*, int, std::uint64_t>> items;
  TBinStream s;
  for (int i = 0; i < 2000; ++i) {
    const Kind& kind = kinds[rng() % std::size(kinds)];
    const int size = kind.size != 0 ? kind.size : static_cast<int>(1 + rng() % 8);
    const std::uint64_t value = rng();
    kind.write(s, value, size);
    items.emplace_back(&kind, size, size == 8 ? value : value & ((1ULL << (8 * size)) - 1));
  }
  s.SetPosition(0);
  for (const auto& [kind, size, low] : items) ASSERT_EQ(kind->read(s, size), low) << size;
  EXPECT_EQ(s.Remaining(), 0);
}

TEST(BinStream, WritesOverwriteAtThePositionAndExtendPastTheEnd) {
  // Made with data: the position is 0, so a write overwrites from the start.
  auto s = TBinStream::Create(Hex("01 02 03"));
  s->WriteByte(0xAA);
  EXPECT_EQ(s->Size(), 3);
  EXPECT_EQ(s->Remaining(), 2);
  s->WriteUInt32(0x44332211);
  EXPECT_EQ(s->Size(), 5);
  EXPECT_EQ(s->DataAsStr(), Hex("AA 11 22 33 44"));

  // Made empty: writes append; moving back writes inside.
  TBinStream empty;
  empty.WriteString(Hex("01"));
  empty.WriteBytes({});
  empty.WriteBytes({0x02, 0x03});
  empty.SetPosition(1);
  empty.WriteByte(0xBB);
  EXPECT_EQ(empty.Position(), 2);
  EXPECT_EQ(empty.DataAsStr(), Hex("01 BB 03"));

  // The whole source, from its start, whatever its own position; through the interface,
  // as decoders hold it.
  std::shared_ptr<IBinStream> source = TBinStream::Create(Hex("0A 0B 0C"));
  source->ReadUInt16();
  empty.SetPosition(1);
  empty.WriteStream(*source);
  EXPECT_EQ(empty.DataAsStr(), Hex("01 0A 0B 0C"));
  EXPECT_EQ(source->Remaining(), 0);
  EXPECT_EQ(source->Size(), 3);
}

TEST(BinStream, DataReplacementReadingAndClear) {
  TBinStream s(Hex("01 02 03 04"));
  s.ReadByte();
  // Reading all the data always gives it from the start and leaves the position at the end.
  EXPECT_EQ(s.Data(), (TByteArray{1, 2, 3, 4}));
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(s.Data(), (TByteArray{1, 2, 3, 4}));
  EXPECT_EQ(s.DataAsStr(), Hex("01 02 03 04"));
  EXPECT_EQ(s.Remaining(), 0);

  s.SetDataAsStr(Hex("AA BB"));
  EXPECT_EQ(s.Remaining(), 2);
  EXPECT_EQ(s.ReadByte(), 0xAA);
  s.SetData({0x10, 0x20, 0x30});
  EXPECT_EQ(s.Remaining(), 3);
  EXPECT_EQ(s.ReadByte(), 0x10);
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
  s.WriteByte(0x77);
  EXPECT_EQ(s.DataAsStr(), Hex("77"));
  EXPECT_EQ(TBinStream(TByteArray{0x05, 0x06}).ReadUInt16(), 0x0605);
}

TEST(BinStream, DatesAndTimes) {
  TBinStream s(Hex("1F 0C 18 17 3B 3B 1D 02 18 00 00 00"));
  EXPECT_EQ(s.ReadDate(), EncodeDate(2024, 12, 31));
  EXPECT_DOUBLE_EQ(s.ReadTime(), EncodeTime(23, 59, 59, 0));
  EXPECT_EQ(s.ReadDate(), EncodeDate(2024, 2, 29));
  EXPECT_EQ(s.ReadTime(), 0.0);
  EXPECT_THROW(TBinStream(Hex("1D 02 17")).ReadDate(), EQuillonError);
  EXPECT_THROW(TBinStream(Hex("00 3C 00")).ReadTime(), EQuillonError);

  TBinStream w;
  w.WriteDate(TPrinterDate{31, 12, 24});
  w.WriteTime(TPrinterTime{23, 59, 58});
  EXPECT_EQ(w.DataAsStr(), Hex("1F 0C 18 17 3B 3A"));
}

}  // namespace
}  // namespace quillon
