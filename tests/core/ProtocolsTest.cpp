#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/BinUtils.h"
#include "core/Errors.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"

namespace quillon {
namespace {

TBytes Hex(std::string_view text) {
  return HexToBytes(text);
}

// Plain bit-by-bit CRC-16, MSB first, initial 0xFFFF, no reflection, no final XOR.
std::uint16_t ReferenceCrc16(TBytesView data, std::uint16_t poly) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : data) {
    crc ^= static_cast<std::uint16_t>(b << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ poly : crc << 1);
  }
  return crc;
}

// Random payload in which the two special protocol 2 bytes are frequent.
TBytes RandomPayload(std::mt19937& rng, std::size_t size) {
  TBytes out;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint32_t r = rng();
    out.push_back(r % 8 == 0 ? 0x8F : r % 8 == 1 ? 0x9F : static_cast<std::uint8_t>(r >> 8));
  }
  return out;
}

// Flips every bit of bytes [from, to) of `good` in turn and expects `accepts` to refuse.
template <typename Accepts>
void ExpectEveryBitErrorRejected(const TBytes& good, std::size_t from, std::size_t to,
                                 Accepts accepts) {
  for (std::size_t i = from; i < to; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      TBytes bad = good;
      bad[i] ^= static_cast<std::uint8_t>(1 << bit);
      EXPECT_FALSE(accepts(bad)) << "byte " << i << " bit " << bit;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Checksums

TEST(Crc16, CheckValuesAndBitwiseReference) {
  const TBytes digits = RawBytes("123456789");
  EXPECT_EQ(Crc16Ccitt(digits), 0x29B1);
  EXPECT_EQ(TKorvanProtocol3::GetCRC(digits), 0xAEE7);
  std::mt19937 rng(1021);
  for (int round = 0; round < 300; ++round) {
    const TBytes data = RandomPayload(rng, rng() % 300);
    EXPECT_EQ(Crc16Ccitt(data), ReferenceCrc16(data, 0x1021));
    EXPECT_EQ(TKorvanProtocol3::GetCRC(data), ReferenceCrc16(data, 0x8005));
  }
}

// ---------------------------------------------------------------------------------------
// Protocol 1

TEST(Protocol1, CheckByteAndLayout) {
  EXPECT_EQ(TKorvanProtocol1::Encode({}), Hex("02 00 00"));
  EXPECT_EQ(TKorvanProtocol1::Encode(Hex("01 02 03")), Hex("02 03 01 02 03 03"));
  EXPECT_EQ(TKorvanProtocol1::Encode(Hex("3F")), Hex("02 01 3F 3E"));
}

TEST(Protocol1, IncompleteForeignOrCorruptFramesAreLeftAlone) {
  // Every proper prefix of a good frame whose check byte is 0 is incomplete.
  const TBytes full = Hex("02 01 01 00");
  std::vector<TBytes> cases = {
      Hex("03 00 00"),           // not a start byte
      Hex("00 02 00 00"),        // start byte not first
      Hex("02 03 01 02 03 04"),  // wrong check byte
      Hex("02 00 01"),           // empty payload, wrong check byte
  };
  for (std::size_t n = 0; n < full.size(); ++n) cases.push_back(full.substr(0, n));
  for (const TBytes& input : cases) {
    TBytes frame = input;
    TBytes data;
    EXPECT_FALSE(TKorvanProtocol1::Decode(frame, data)) << BytesToHex(input);
    EXPECT_EQ(frame, input) << BytesToHex(input);
  }
  const TBytes good = TKorvanProtocol1::Encode(Hex("11 00 FF 8F 9F 42"));
  ExpectEveryBitErrorRejected(good, 2, good.size(), [](TBytes frame) {
    TBytes data;
    return TKorvanProtocol1::Decode(frame, data);
  });
}

// Decoding takes one frame off the front and replaces the payload it held before.
TEST(Protocol1, RandomPayloadsRoundTrip) {
  std::mt19937 rng(1);
  TBytes data = Hex("EE");
  for (std::size_t size = 0; size <= 255; ++size) {
    const TBytes payload = RandomPayload(rng, size);
    const TBytes tail = RandomPayload(rng, rng() % 4);
    TBytes frame = TKorvanProtocol1::Encode(payload);
    ASSERT_EQ(frame.size(), size + 3);
    frame += tail;
    ASSERT_TRUE(TKorvanProtocol1::Decode(frame, data)) << "size " << size;
    EXPECT_EQ(data, payload);
    EXPECT_EQ(frame, tail);
  }
}

// ---------------------------------------------------------------------------------------
// Protocol 2

TEST(Protocol2Stuffing, EscapesStartAndEscapeBytesOnly) {
  EXPECT_EQ(TKorvanProtocol2::Stuffing(Hex("00 8F 9F 81 83 9F")),
            Hex("00 9F 81 9F 83 81 83 9F 83"));
  for (int b = 0; b < 256; ++b) {
    if (b == 0x8F || b == 0x9F) continue;
    const TBytes one(1, static_cast<std::uint8_t>(b));
    EXPECT_EQ(TKorvanProtocol2::Stuffing(one), one) << "byte " << b;
  }
  // Undoing it: a lone escape at the very end is dropped and reported; 9F 83 there is a
  // whole escape. Random payloads go both ways in the frame round trip below.
  struct Case {
    const char *stuffed, *raw;
    bool finalEsc;
  };
  for (const Case& c : {Case{"01 9F", "01", true}, Case{"9F 81 9F", "8F", true},
                        Case{"01 9F 83", "01 9F", false}, Case{"", "", false}}) {
    bool finalEsc = !c.finalEsc;
    EXPECT_EQ(TKorvanProtocol2::DeStuffing(Hex(c.stuffed), finalEsc), Hex(c.raw)) << c.stuffed;
    EXPECT_EQ(finalEsc, c.finalEsc) << c.stuffed;
  }
}

TEST(Protocol2Stuffing, BadEscapeRaises) {
  bool finalEsc = false;
  for (int b = 0; b < 256; ++b) {
    if (b == 0x81 || b == 0x83) continue;
    const TBytes input = MakeBytes({0x01, 0x9F, static_cast<std::uint8_t>(b), 0x02});
    EXPECT_THROW(TKorvanProtocol2::DeStuffing(input, finalEsc), EQuillonError) << b;
  }
  TKorvanFrame2 out;
  try {
    TKorvanProtocol2::Decode(Hex("8F 9F 85 00 00 00"), out);
    ADD_FAILURE() << "no error inside a frame";
  } catch (const EQuillonError& e) {
    EXPECT_STREQ(e.what(), "Некорректный формат пакета");
  }
}

TEST(Protocol2, EncodeLayoutWithTheCrcBytesEscapedToo) {
  struct Case {
    std::int32_t number;
    const char *payload, *wire;
  };
  const Case cases[] = {
      {5, "01 02", "8F 04 00 05 00 01 02 87 A7"},
      {1234, "", "8F 00 00 0F 1D"},  // the empty payload has no NUMBER field
      // NUMBER holds the low 16 bits; payload bytes 8F and 9F are escaped.
      {0x12345, "8F 9F 10", "8F 05 00 45 23 9F 81 9F 83 10 4B 1B"},
      {0, "06", "8F 03 00 00 00 06 18 9F 83"},      // CRC high byte 9F
      {0, "07", "8F 03 00 00 00 07 39 9F 81"},      // CRC high byte 8F
      {0, "67", "8F 03 00 00 00 67 9F 83 E3"},      // CRC low byte 9F
      {0, "76", "8F 03 00 00 00 76 9F 81 E1"},      // CRC low byte 8F
      {30, "47", "8F 03 00 1E 00 47 9F 83 9F 83"},  // both
  };
  for (const Case& c : cases) {
    TKorvanFrame2 frame;
    frame.Data = Hex(c.payload);
    frame.Number = c.number;
    const TBytes wire = TKorvanProtocol2::Encode(frame);
    EXPECT_EQ(wire, Hex(c.wire));
    TKorvanFrame2 back;
    back.Data = Hex("01");
    EXPECT_TRUE(TKorvanProtocol2::Decode(wire, back)) << c.wire;
    EXPECT_EQ(back.Data, frame.Data);
    if (!frame.Data.empty()) {
      EXPECT_EQ(back.Number, c.number & 0xFFFF);
    }
  }
}

TEST(Protocol2, RandomPayloadsRoundTrip) {
  std::mt19937 rng(3);
  for (int round = 0; round < 400; ++round) {
    TKorvanFrame2 frame;
    frame.Data = RandomPayload(rng, 1 + rng() % 600);
    frame.Number = static_cast<std::int32_t>(rng());
    const TBytes wire = TKorvanProtocol2::Encode(frame);
    ASSERT_EQ(wire[0], 0x8F);
    EXPECT_EQ(wire.find(0x8F, 1), TBytes::npos) << "start byte inside the frame";
    TKorvanFrame2 back;
    ASSERT_TRUE(TKorvanProtocol2::Decode(wire, back)) << BytesToHex(wire);
    EXPECT_EQ(back.Data, frame.Data);
    EXPECT_EQ(back.Number, frame.Number & 0xFFFF);
  }
}

// A reader of the wire learns from the tracker where a frame ends: at its last byte, for
// empty and stuffed payloads alike, and where it breaks off.
TEST(Protocol2, FrameTrackerEndsAtTheLastByteOrWhereTheFrameBreaks) {
  std::mt19937 rng(5);
  std::vector<TBytes> payloads = {TBytes(), Hex("8F 9F"), Hex("11 1E 00 00 00")};
  for (int i = 0; i < 50; ++i) payloads.push_back(RandomPayload(rng, 1 + rng() % 300));
  for (const TBytes& payload : payloads) {
    const TBytes wire = TKorvanProtocol2::Encode({payload, 0x9F8F});
    TProtocol2FrameTracker tracker;
    for (std::size_t i = 1; i < wire.size(); ++i) {
      const auto step = tracker.Feed(wire[i]);
      ASSERT_EQ(step, i + 1 == wire.size() ? TProtocol2FrameTracker::tsComplete
                                           : TProtocol2FrameTracker::tsMore)
          << BytesToHex(wire) << " at " << i;
    }
  }
  struct TCase {
    const char* Wire;  // after the start byte
    TProtocol2FrameTracker::TStep Last;
  };
  for (const TCase& c : {TCase{"07 00 8F", TProtocol2FrameTracker::tsNewStart},
                         TCase{"07 00 9F 85", TProtocol2FrameTracker::tsBadEscape},
                         TCase{"07 00 9F", TProtocol2FrameTracker::tsMore}}) {
    TProtocol2FrameTracker tracker;
    TProtocol2FrameTracker::TStep step = TProtocol2FrameTracker::tsMore;
    for (std::uint8_t b : Hex(c.Wire)) step = tracker.Feed(b);
    EXPECT_EQ(step, c.Last) << c.Wire;
  }
}

TEST(Protocol2, DecodeRejectsShortForeignTruncatedAndCorruptFrames) {
  TKorvanFrame2 frame;
  frame.Data = Hex("11 22 8F 33 9F 44 55");
  frame.Number = 0x0102;
  const TBytes wire = TKorvanProtocol2::Encode(frame);
  TKorvanFrame2 out;
  TBytes foreign = wire;
  foreign[0] = 0x02;
  EXPECT_FALSE(TKorvanProtocol2::Decode(foreign, out));
  // Every shorter piece of the frame is incomplete, and none of them raises.
  for (std::size_t n = 0; n < wire.size(); ++n) {
    bool ok = true;
    EXPECT_NO_THROW(ok = TKorvanProtocol2::Decode(wire.substr(0, n), out)) << "prefix " << n;
    EXPECT_FALSE(ok) << "prefix " << n;
  }
  // Bytes after the CRC mean the text does not hold exactly one frame, except a lone
  // escape, which is dropped.
  EXPECT_FALSE(TKorvanProtocol2::Decode(wire + Hex("00 00"), out));
  ASSERT_TRUE(TKorvanProtocol2::Decode(wire + Hex("9F"), out));
  EXPECT_EQ(out.Data, frame.Data);

  // The CRC is looked for where LEN puts it: a body whose last two bytes are the right CRC
  // of what precedes them is still rejected when LEN claims more or fewer bytes.
  for (std::int64_t len : {10, 3}) {
    TBytes body = IntToBytes(len, 2) + IntToBytes(1, 2) + Hex("01 02 03");
    body += IntToBytes(Crc16Ccitt(body), 2);
    const TBytes badLen = MakeBytes({0x8F}) + TKorvanProtocol2::Stuffing(body);
    EXPECT_FALSE(TKorvanProtocol2::Decode(badLen, out)) << "LEN " << len;
  }
  // Every single-bit error in the body before stuffing is caught by the CRC.
  bool finalEsc = false;
  const TBytes body = TKorvanProtocol2::DeStuffing(TBytesView(wire).substr(1), finalEsc);
  ExpectEveryBitErrorRejected(body, 2, body.size(), [&out](const TBytes& bad) {
    TBytes badWire = MakeBytes({0x8F});
    badWire += TKorvanProtocol2::Stuffing(bad);
    return TKorvanProtocol2::Decode(badWire, out);
  });
}

// ---------------------------------------------------------------------------------------
// Protocol 3

TEST(Protocol3, EncodeLayout) {
  TKorvanFrame3 frame;
  frame.Data = Hex("01 02 03");
  frame.Number = 7;
  EXPECT_EQ(TKorvanProtocol3::Encode(frame), Hex("82 00 07 03 00 01 02 03 90 BC"));
  frame.Data.clear();
  frame.Number = 0;
  EXPECT_EQ(TKorvanProtocol3::Encode(frame), Hex("82 00 00 00 00 24 00"));

  // NUMBER holds the low 8 bits, LEN is little-endian, no stuffing, CRC low byte first.
  frame.Data = TBytes(300, 0x8F);
  frame.Number = 0x1FE;
  const TBytes wire = TKorvanProtocol3::Encode(frame);
  ASSERT_EQ(wire.size(), 307u);
  EXPECT_EQ(wire.substr(0, 5), Hex("82 00 FE 2C 01"));
}

TEST(Protocol3, RandomPayloadsRoundTrip) {
  std::mt19937 rng(4);
  for (int round = 0; round < 300; ++round) {
    TKorvanFrame3 frame;
    frame.Data = RandomPayload(rng, round == 0 ? 65535 : rng() % 700);
    frame.Number = static_cast<std::int32_t>(rng());
    const TBytes wire = TKorvanProtocol3::Encode(frame);
    ASSERT_EQ(wire.size(), frame.Data.size() + 7);
    TKorvanFrame3 back;
    ASSERT_TRUE(TKorvanProtocol3::Decode(wire, back));
    EXPECT_EQ(back.Data, frame.Data);
    EXPECT_EQ(back.Number, frame.Number & 0xFF);
  }
}

TEST(Protocol3, FrameSizeFromTheHeader) {
  for (std::size_t len : {0u, 1u, 255u, 256u, 1000u}) {
    const TBytes wire = TKorvanProtocol3::Encode({TBytes(len, 0x5A), 7});
    EXPECT_EQ(TKorvanProtocol3::FrameSize(wire), wire.size());
    EXPECT_EQ(TKorvanProtocol3::FrameSize(TBytesView(wire).substr(0, 5)), wire.size());
    EXPECT_EQ(TKorvanProtocol3::FrameSize(TBytesView(wire).substr(0, 4)), 0u);
  }
}

TEST(Protocol3, DecodeRejectsIncompleteAndCorruptFramesAndIgnoresTrailingBytes) {
  TKorvanFrame3 out;
  // Byte 1 is not checked, but the CRC covers it.
  ASSERT_TRUE(TKorvanProtocol3::Decode(Hex("82 55 07 02 00 AA BB 70 CE"), out));
  EXPECT_EQ(out.Data, Hex("AA BB"));
  EXPECT_EQ(out.Number, 7);

  TKorvanFrame3 frame;
  frame.Data = Hex("10 82 00 FF 8F 9F");
  frame.Number = 200;
  const TBytes wire = TKorvanProtocol3::Encode(frame);
  for (std::size_t n = 0; n < wire.size(); ++n)
    EXPECT_FALSE(TKorvanProtocol3::Decode(wire.substr(0, n), out)) << "prefix " << n;
  ASSERT_TRUE(TKorvanProtocol3::Decode(wire + Hex("82 00 01"), out));
  EXPECT_EQ(out.Data, frame.Data);
  EXPECT_EQ(out.Number, 200);
  TBytes foreign = wire;
  foreign[0] = 0x8F;
  EXPECT_FALSE(TKorvanProtocol3::Decode(foreign, out));
  // The CRC catches every single-bit error outside the start byte and LEN.
  const auto accepts = [&out](const TBytes& bad) { return TKorvanProtocol3::Decode(bad, out); };
  ExpectEveryBitErrorRejected(wire, 1, 3, accepts);
  ExpectEveryBitErrorRejected(wire, 5, wire.size(), accepts);

  // One byte short is incomplete also when the missing byte is a zero CRC high byte.
  const TBytes zeroHigh = Hex("82 00 24 02 00 31 32 97 00");
  ASSERT_TRUE(TKorvanProtocol3::Decode(zeroHigh, out));
  EXPECT_FALSE(TKorvanProtocol3::Decode(zeroHigh.substr(0, 8), out));
}

}  // namespace
}  // namespace quillon
