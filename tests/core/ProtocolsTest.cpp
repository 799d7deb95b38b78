#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "core/BinUtils.h"
#include "core/Errors.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"

namespace quillon {
namespace {

const char kBadPacket[] = "Некорректный формат пакета";

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
    if (r % 8 == 0)
      out.push_back(0x8F);
    else if (r % 8 == 1)
      out.push_back(0x9F);
    else
      out.push_back(static_cast<std::uint8_t>(r >> 8));
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Checksums

TEST(Crc16, CheckValues) {
  const TBytes digits = RawBytes("123456789");
  EXPECT_EQ(Crc16Ccitt(digits), 0x29B1);
  EXPECT_EQ(TKorvanProtocol3::GetCRC(digits), 0xAEE7);
  EXPECT_EQ(Crc16Ccitt({}), 0xFFFF);
  EXPECT_EQ(TKorvanProtocol3::GetCRC({}), 0xFFFF);
}

TEST(Crc16, AgreesWithBitwiseReference) {
  for (int b = 0; b < 256; ++b) {
    const TBytes one(1, static_cast<std::uint8_t>(b));
    EXPECT_EQ(Crc16Ccitt(one), ReferenceCrc16(one, 0x1021)) << "byte " << b;
    EXPECT_EQ(TKorvanProtocol3::GetCRC(one), ReferenceCrc16(one, 0x8005)) << "byte " << b;
  }
  std::mt19937 rng(1021);
  for (int round = 0; round < 300; ++round) {
    const TBytes data = RandomPayload(rng, rng() % 300);
    EXPECT_EQ(Crc16Ccitt(data), ReferenceCrc16(data, 0x1021));
    EXPECT_EQ(TKorvanProtocol3::GetCRC(data), ReferenceCrc16(data, 0x8005));
  }
  // Zero bytes are data like any other.
  EXPECT_NE(Crc16Ccitt(TBytes(1, 0)), Crc16Ccitt(TBytes(2, 0)));
  EXPECT_NE(TKorvanProtocol3::GetCRC(TBytes(1, 0)), TKorvanProtocol3::GetCRC(TBytes(2, 0)));
}

// ---------------------------------------------------------------------------------------
// Protocol 1

TEST(Protocol1, CheckByteAndLayout) {
  EXPECT_EQ(TKorvanProtocol1::GetCRC({}), 0);
  EXPECT_EQ(TKorvanProtocol1::GetCRC(Hex("01 02 03")), 0x00);
  EXPECT_EQ(TKorvanProtocol1::GetCRC(Hex("FF 0F")), 0xF0);

  EXPECT_EQ(TKorvanProtocol1::Encode({}), Hex("02 00 00"));
  EXPECT_EQ(TKorvanProtocol1::Encode(Hex("01 02 03")), Hex("02 03 01 02 03 03"));
  EXPECT_EQ(TKorvanProtocol1::Encode(Hex("3F")), Hex("02 01 3F 3E"));

  const TBytes longest(255, 0x01);
  const TBytes frame = TKorvanProtocol1::Encode(longest);
  ASSERT_EQ(frame.size(), 258u);
  EXPECT_EQ(frame[1], 0xFF);
  EXPECT_EQ(frame.back(), 0xFF ^ 0x01);  // LEN, then an odd number of 01 bytes
}

TEST(Protocol1, DecodeTakesOneFrameOffTheFront) {
  TBytes frame = Hex("02 00 00");
  TBytes data = Hex("EE");
  ASSERT_TRUE(TKorvanProtocol1::Decode(frame, data));
  EXPECT_EQ(data, TBytes());
  EXPECT_EQ(frame, TBytes());

  frame = Hex("02 03 01 02 03 03");
  ASSERT_TRUE(TKorvanProtocol1::Decode(frame, data));
  EXPECT_EQ(data, Hex("01 02 03"));
  EXPECT_EQ(frame, TBytes());

  // Two frames back to back come off one at a time.
  frame = Hex("02 03 01 02 03 03 02 02 0A 0B 03 FF");
  ASSERT_TRUE(TKorvanProtocol1::Decode(frame, data));
  EXPECT_EQ(data, Hex("01 02 03"));
  EXPECT_EQ(frame, Hex("02 02 0A 0B 03 FF"));
  ASSERT_TRUE(TKorvanProtocol1::Decode(frame, data));
  EXPECT_EQ(data, Hex("0A 0B"));
  EXPECT_EQ(frame, Hex("FF"));
  EXPECT_FALSE(TKorvanProtocol1::Decode(frame, data));
  EXPECT_EQ(frame, Hex("FF"));

  // The view form reports how long the frame was.
  std::size_t consumed = 0;
  const TBytes two = Hex("02 01 00 01 02 00 00");
  ASSERT_TRUE(TKorvanProtocol1::Decode(TBytesView(two), data, consumed));
  EXPECT_EQ(consumed, 4u);
  EXPECT_EQ(data, Hex("00"));
}

TEST(Protocol1, IncompleteForeignOrCorruptFramesAreLeftAlone) {
  const TBytes cases[] = {
      Hex("02 05 01 02"),        // not complete yet
      Hex("02"),                 // no LEN yet
      TBytes(),                  // nothing
      Hex("03 00 00"),           // not a start byte
      Hex("00 02 00 00"),        // start byte not first
      Hex("02 03 01 02 03 04"),  // wrong check byte
      Hex("02 00 01"),           // empty payload, wrong check byte
  };
  for (const TBytes& input : cases) {
    TBytes frame = input;
    TBytes data;
    EXPECT_FALSE(TKorvanProtocol1::Decode(frame, data)) << BytesToHex(input);
    EXPECT_EQ(frame, input) << BytesToHex(input);
  }

  // Every proper prefix of a good frame is incomplete.
  const TBytes full = TKorvanProtocol1::Encode(Hex("10 20 30 40 50 60 70 80"));
  for (std::size_t n = 0; n < full.size(); ++n) {
    TBytes frame = full.substr(0, n);
    TBytes data;
    EXPECT_FALSE(TKorvanProtocol1::Decode(frame, data)) << "prefix " << n;
    EXPECT_EQ(frame.size(), n);
  }
}

TEST(Protocol1, EverySingleBitErrorInPayloadOrCheckIsRejected) {
  const TBytes good = TKorvanProtocol1::Encode(Hex("11 00 FF 8F 9F 42"));
  for (std::size_t i = 2; i < good.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      TBytes frame = good;
      frame[i] ^= static_cast<std::uint8_t>(1 << bit);
      TBytes data;
      EXPECT_FALSE(TKorvanProtocol1::Decode(frame, data)) << "byte " << i << " bit " << bit;
    }
  }
}

TEST(Protocol1, RandomPayloadsRoundTrip) {
  std::mt19937 rng(1);
  for (std::size_t size = 0; size <= 255; ++size) {
    const TBytes payload = RandomPayload(rng, size);
    const TBytes tail = RandomPayload(rng, rng() % 4);
    TBytes frame = TKorvanProtocol1::Encode(payload);
    ASSERT_EQ(frame.size(), size + 3);
    frame += tail;
    TBytes data;
    ASSERT_TRUE(TKorvanProtocol1::Decode(frame, data)) << "size " << size;
    EXPECT_EQ(data, payload);
    EXPECT_EQ(frame, tail);
  }
}

// ---------------------------------------------------------------------------------------
// Protocol 2

TEST(Protocol2Stuffing, EscapesStartAndEscapeBytesOnly) {
  EXPECT_EQ(TKorvanProtocol2::Stuffing(Hex("8F")), Hex("9F 81"));
  EXPECT_EQ(TKorvanProtocol2::Stuffing(Hex("9F")), Hex("9F 83"));
  EXPECT_EQ(TKorvanProtocol2::Stuffing(Hex("00 8F 9F 81 83 9F")),
            Hex("00 9F 81 9F 83 81 83 9F 83"));
  EXPECT_EQ(TKorvanProtocol2::Stuffing({}), TBytes());
  for (int b = 0; b < 256; ++b) {
    if (b == 0x8F || b == 0x9F) continue;
    const TBytes one(1, static_cast<std::uint8_t>(b));
    EXPECT_EQ(TKorvanProtocol2::Stuffing(one), one) << "byte " << b;
  }
}

TEST(Protocol2Stuffing, DeStuffingUndoesStuffing) {
  bool finalEsc = true;
  EXPECT_EQ(TKorvanProtocol2::DeStuffing(Hex("9F 81 9F 83"), finalEsc), Hex("8F 9F"));
  EXPECT_FALSE(finalEsc);
  finalEsc = true;
  EXPECT_EQ(TKorvanProtocol2::DeStuffing({}, finalEsc), TBytes());
  EXPECT_FALSE(finalEsc);

  std::mt19937 rng(2);
  for (int round = 0; round < 300; ++round) {
    const TBytes raw = RandomPayload(rng, rng() % 200);
    const TBytes stuffed = TKorvanProtocol2::Stuffing(raw);
    for (std::size_t i = 0; i < stuffed.size(); ++i) {
      ASSERT_NE(stuffed[i], 0x8F) << BytesToHex(stuffed);
      if (stuffed[i] == 0x9F) {
        ASSERT_LT(i + 1, stuffed.size());
        ASSERT_TRUE(stuffed[i + 1] == 0x81 || stuffed[i + 1] == 0x83) << BytesToHex(stuffed);
        ++i;
      }
    }
    finalEsc = true;
    EXPECT_EQ(TKorvanProtocol2::DeStuffing(stuffed, finalEsc), raw);
    EXPECT_FALSE(finalEsc);
  }
}

TEST(Protocol2Stuffing, LoneFinalEscapeIsDroppedAndReported) {
  bool finalEsc = false;
  EXPECT_EQ(TKorvanProtocol2::DeStuffing(Hex("01 9F"), finalEsc), Hex("01"));
  EXPECT_TRUE(finalEsc);
  finalEsc = false;
  EXPECT_EQ(TKorvanProtocol2::DeStuffing(Hex("9F"), finalEsc), TBytes());
  EXPECT_TRUE(finalEsc);
  finalEsc = false;
  EXPECT_EQ(TKorvanProtocol2::DeStuffing(Hex("9F 81 9F"), finalEsc), Hex("8F"));
  EXPECT_TRUE(finalEsc);
  // 9F 83 at the end is a complete escape, not a lone one.
  finalEsc = true;
  EXPECT_EQ(TKorvanProtocol2::DeStuffing(Hex("01 9F 83"), finalEsc), Hex("01 9F"));
  EXPECT_FALSE(finalEsc);
}

TEST(Protocol2Stuffing, BadEscapeRaises) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x81 || b == 0x83) continue;
    bool finalEsc = false;
    const TBytes input = MakeBytes({0x01, 0x9F, static_cast<std::uint8_t>(b), 0x02});
    try {
      TKorvanProtocol2::DeStuffing(input, finalEsc);
      ADD_FAILURE() << "no error for " << BytesToHex(input);
    } catch (const EQuillonError& e) {
      EXPECT_STREQ(e.what(), kBadPacket);
    }
  }
}

TEST(Protocol2, EncodeLayout) {
  TKorvanFrame2 frame;
  frame.Data = Hex("01 02");
  frame.Number = 5;
  EXPECT_EQ(TKorvanProtocol2::Encode(frame), Hex("8F 04 00 05 00 01 02 87 A7"));

  // The empty payload has no NUMBER field.
  frame.Data.clear();
  frame.Number = 1234;
  EXPECT_EQ(TKorvanProtocol2::Encode(frame), Hex("8F 00 00 0F 1D"));

  // NUMBER holds the low 16 bits; payload bytes 8F and 9F are escaped.
  frame.Data = Hex("8F 9F 10");
  frame.Number = 0x12345;
  EXPECT_EQ(TKorvanProtocol2::Encode(frame), Hex("8F 05 00 45 23 9F 81 9F 83 10 4B 1B"));

  frame.Data = Hex("AA");
  frame.Number = -1;
  const TBytes negative = TKorvanProtocol2::Encode(frame);
  ASSERT_GE(negative.size(), 5u);
  EXPECT_EQ(negative.substr(0, 5), Hex("8F 03 00 FF FF"));
}

TEST(Protocol2, CrcBytesAreEscapedToo) {
  struct Case {
    std::int32_t number;
    std::uint8_t payload;
    const char* wire;
  };
  const Case cases[] = {
      {0, 0x06, "8F 03 00 00 00 06 18 9F 83"},      // CRC high byte 9F
      {0, 0x07, "8F 03 00 00 00 07 39 9F 81"},      // CRC high byte 8F
      {0, 0x67, "8F 03 00 00 00 67 9F 83 E3"},      // CRC low byte 9F
      {0, 0x76, "8F 03 00 00 00 76 9F 81 E1"},      // CRC low byte 8F
      {30, 0x47, "8F 03 00 1E 00 47 9F 83 9F 83"},  // both
  };
  for (const Case& c : cases) {
    TKorvanFrame2 frame;
    frame.Data = TBytes(1, c.payload);
    frame.Number = c.number;
    const TBytes wire = TKorvanProtocol2::Encode(frame);
    EXPECT_EQ(wire, Hex(c.wire));
    TKorvanFrame2 back;
    EXPECT_TRUE(TKorvanProtocol2::Decode(wire, back)) << c.wire;
    EXPECT_EQ(back.Data, frame.Data);
    EXPECT_EQ(back.Number, c.number);
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
  TKorvanFrame2 frame;
  frame.Number = 99;
  TKorvanFrame2 back;
  back.Data = Hex("01");
  ASSERT_TRUE(TKorvanProtocol2::Decode(TKorvanProtocol2::Encode(frame), back));
  EXPECT_EQ(back.Data, TBytes());
}

TEST(Protocol2, DecodeRejectsShortForeignTruncatedAndCorruptFrames) {
  TKorvanFrame2 frame;
  frame.Data = Hex("11 22 8F 33 9F 44 55");
  frame.Number = 0x0102;
  const TBytes wire = TKorvanProtocol2::Encode(frame);
  TKorvanFrame2 out;

  EXPECT_FALSE(TKorvanProtocol2::Decode(Hex("8F 00 00 0F"), out));  // under 5 bytes
  EXPECT_FALSE(TKorvanProtocol2::Decode({}, out));
  TBytes foreign = wire;
  foreign[0] = 0x02;
  EXPECT_FALSE(TKorvanProtocol2::Decode(foreign, out));

  // Every shorter piece of the frame is incomplete, and none of them raises.
  for (std::size_t n = 0; n < wire.size(); ++n) {
    bool ok = true;
    EXPECT_NO_THROW(ok = TKorvanProtocol2::Decode(wire.substr(0, n), out)) << "prefix " << n;
    EXPECT_FALSE(ok) << "prefix " << n;
  }

  // Bytes after the CRC mean the text does not hold exactly one frame.
  EXPECT_FALSE(TKorvanProtocol2::Decode(wire + Hex("00 00"), out));

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
  ASSERT_FALSE(finalEsc);
  for (std::size_t i = 2; i < body.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      TBytes bad = body;
      bad[i] ^= static_cast<std::uint8_t>(1 << bit);
      TBytes badWire = MakeBytes({0x8F});
      badWire += TKorvanProtocol2::Stuffing(bad);
      EXPECT_FALSE(TKorvanProtocol2::Decode(badWire, out)) << "byte " << i << " bit " << bit;
    }
  }
}

TEST(Protocol2, LoneEscapeAtTheEndIsDropped) {
  TKorvanFrame2 frame;
  frame.Data = Hex("01 02 03");
  frame.Number = 7;
  TKorvanFrame2 out;
  ASSERT_TRUE(TKorvanProtocol2::Decode(TKorvanProtocol2::Encode(frame) + Hex("9F"), out));
  EXPECT_EQ(out.Data, frame.Data);
  EXPECT_EQ(out.Number, 7);
}

TEST(Protocol2, BadEscapeInsideAFrameRaises) {
  TKorvanFrame2 out;
  try {
    TKorvanProtocol2::Decode(Hex("8F 9F 85 00 00 00"), out);
    ADD_FAILURE() << "no error";
  } catch (const EQuillonError& e) {
    EXPECT_STREQ(e.what(), kBadPacket);
  }
  // A good frame whose escape was damaged on the way.
  TKorvanFrame2 frame;
  frame.Data = Hex("9F 01");
  TBytes wire = TKorvanProtocol2::Encode(frame);
  const std::size_t esc = wire.find(0x9F);
  ASSERT_NE(esc, TBytes::npos);
  wire[esc + 1] = 0x84;
  EXPECT_THROW(TKorvanProtocol2::Decode(wire, out), EQuillonError);
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
  EXPECT_EQ(wire.substr(5, 300), frame.Data);
  const std::uint16_t crc = ReferenceCrc16(TBytesView(wire).substr(1, 304), 0x8005);
  EXPECT_EQ(wire[305], crc & 0xFF);
  EXPECT_EQ(wire[306], crc >> 8);
}

TEST(Protocol3, RandomPayloadsRoundTrip) {
  std::mt19937 rng(4);
  for (int round = 0; round < 300; ++round) {
    TKorvanFrame3 frame;
    frame.Data = RandomPayload(rng, rng() % 700);
    frame.Number = static_cast<std::int32_t>(rng());
    const TBytes wire = TKorvanProtocol3::Encode(frame);
    ASSERT_EQ(wire.size(), frame.Data.size() + 7);
    TKorvanFrame3 back;
    ASSERT_TRUE(TKorvanProtocol3::Decode(wire, back));
    EXPECT_EQ(back.Data, frame.Data);
    EXPECT_EQ(back.Number, frame.Number & 0xFF);
  }
  TKorvanFrame3 big;
  big.Data = RandomPayload(rng, 65535);
  big.Number = 1;
  const TBytes wire = TKorvanProtocol3::Encode(big);
  ASSERT_EQ(wire.size(), 65535u + 7);
  TKorvanFrame3 back;
  ASSERT_TRUE(TKorvanProtocol3::Decode(wire, back));
  EXPECT_EQ(back.Data, big.Data);
}

TEST(Protocol3, DecodeLeavesTheSecondByteUncheckedButCovered) {
  TKorvanFrame3 out;
  // Byte 1 is 55 and the CRC was computed over it.
  ASSERT_TRUE(TKorvanProtocol3::Decode(Hex("82 55 07 02 00 AA BB 70 CE"), out));
  EXPECT_EQ(out.Data, Hex("AA BB"));
  EXPECT_EQ(out.Number, 7);
  // The same frame with byte 1 changed but the old CRC fails.
  EXPECT_FALSE(TKorvanProtocol3::Decode(Hex("82 00 07 02 00 AA BB 70 CE"), out));
}

TEST(Protocol3, DecodeRejectsIncompleteAndCorruptFramesAndIgnoresTrailingBytes) {
  TKorvanFrame3 frame;
  frame.Data = Hex("10 82 00 FF 8F 9F");
  frame.Number = 200;
  const TBytes wire = TKorvanProtocol3::Encode(frame);
  TKorvanFrame3 out;

  for (std::size_t n = 0; n < wire.size(); ++n)
    EXPECT_FALSE(TKorvanProtocol3::Decode(wire.substr(0, n), out)) << "prefix " << n;

  // One byte short is incomplete also when the missing byte is a zero CRC high byte.
  TKorvanFrame3 zeroHigh;
  zeroHigh.Data = Hex("31 32");
  TBytes zeroWire;
  for (zeroHigh.Number = 0; zeroHigh.Number < 256; ++zeroHigh.Number) {
    zeroWire = TKorvanProtocol3::Encode(zeroHigh);
    if (zeroWire.back() == 0x00) break;
  }
  ASSERT_EQ(zeroWire.back(), 0x00);
  EXPECT_FALSE(TKorvanProtocol3::Decode(zeroWire.substr(0, zeroWire.size() - 1), out));
  EXPECT_TRUE(TKorvanProtocol3::Decode(zeroWire, out));

  ASSERT_TRUE(TKorvanProtocol3::Decode(wire + Hex("82 00 01"), out));
  EXPECT_EQ(out.Data, frame.Data);
  EXPECT_EQ(out.Number, 200);

  TBytes foreign = wire;
  foreign[0] = 0x8F;
  EXPECT_FALSE(TKorvanProtocol3::Decode(foreign, out));

  // The CRC catches every single-bit error outside the start byte and LEN.
  for (std::size_t i = 1; i < wire.size(); ++i) {
    if (i == 3 || i == 4) continue;
    for (int bit = 0; bit < 8; ++bit) {
      TBytes bad = wire;
      bad[i] ^= static_cast<std::uint8_t>(1 << bit);
      EXPECT_FALSE(TKorvanProtocol3::Decode(bad, out)) << "byte " << i << " bit " << bit;
    }
  }
  // A LEN that claims one byte more than is there makes the frame incomplete.
  TBytes longer = wire;
  longer[3] = static_cast<std::uint8_t>(longer[3] + 1);
  EXPECT_FALSE(TKorvanProtocol3::Decode(longer, out));
}

}  // namespace
}  // namespace quillon
