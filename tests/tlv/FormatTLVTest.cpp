#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/DateUtils.h"
#include "core/Errors.h"
#include "tlv/FormatTLV.h"

namespace quillon {
namespace {

using F = TFormatTLV;

TAmount Raw(std::int64_t raw) {
  return TAmount::FromRaw(raw);
}

// Runs fn and returns the message of the EQuillonError it raised ("" when none was raised).
template <typename Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const EQuillonError& e) {
    return e.what();
  }
  return "";
}

TEST(FormatTLVIntegers, ValueTLV2IntReadsLittleEndianAndKeepsFirstEightBytes) {
  EXPECT_EQ(F::ValueTLV2Int(TBytes()), 0u);
  EXPECT_EQ(F::ValueTLV2Int(MakeBytes({0x01, 0x02})), 513u);
  EXPECT_EQ(F::ValueTLV2Int(MakeBytes({0x01, 0, 0, 0, 0, 0, 0, 0, 0xFF})), 1u);
  EXPECT_EQ(F::ValueTLV2Int(MakeBytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})),
            std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(F::ValueTLV2VLN(MakeBytes({0x00, 0x00, 0x01})), 65536u);
}

TEST(FormatTLVIntegers, VLN2ValueTLVUsesFewestBytes) {
  EXPECT_EQ(F::VLN2ValueTLV(0), MakeBytes({0x00}));
  EXPECT_EQ(F::VLN2ValueTLV(255), MakeBytes({0xFF}));
  EXPECT_EQ(F::VLN2ValueTLV(256), MakeBytes({0x00, 0x01}));
  EXPECT_EQ(F::VLN2ValueTLV(65536), MakeBytes({0x00, 0x00, 0x01}));
  EXPECT_EQ(F::VLN2ValueTLV(-1), TBytes(8, 0xFF));  // bit 63 set: all eight bytes
  for (std::int64_t v : {1LL, 0x7FLL, 0x1234567LL, 0x0102030405060708LL})
    EXPECT_EQ(static_cast<std::int64_t>(F::ValueTLV2VLN(F::VLN2ValueTLV(v))), v) << v;
}

TEST(FormatTLVIntegers, FixedLengthEncoders) {
  EXPECT_EQ(F::VLN2ValueTLVLen(0x0102, 4), MakeBytes({0x02, 0x01, 0x00, 0x00}));
  EXPECT_EQ(F::VLN2ValueTLVLen(0x0102, 1), MakeBytes({0x02}));
  EXPECT_EQ(F::VLN2ValueTLVLen(-1, 10),
            MakeBytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
  EXPECT_TRUE(F::VLN2ValueTLVLen(5, 0).empty());
  EXPECT_TRUE(F::VLN2ValueTLVLen(5, -3).empty());

  EXPECT_EQ(F::Int2ValueTLV(258, 1), MakeBytes({0x02}));
  EXPECT_EQ(F::Int2ValueTLV(258, 2), MakeBytes({0x02, 0x01}));
  EXPECT_EQ(F::Int2ValueTLV(-2, 3), MakeBytes({0xFE, 0xFF, 0xFF}));
  EXPECT_EQ(F::Int2ValueTLV(1, 8).size(), 8u);
  EXPECT_EQ(ErrorOf([] { F::Int2ValueTLV(1, 0); }), "to large data");
  EXPECT_EQ(ErrorOf([] { F::Int2ValueTLV(1, 9); }), "to large data");
  EXPECT_EQ(ErrorOf([] { F::Int2ValueTLV(1, -1); }), "to large data");
}

TEST(FormatTLVFvln, EncodersChooseFewestDecimals) {
  EXPECT_EQ(F::FVLN2ValueTLV(Raw(30000)), MakeBytes({0x00, 0x03}));        // 3
  EXPECT_EQ(F::FVLN2ValueTLV(Raw(10)), MakeBytes({0x03, 0x01}));           // 0.001
  EXPECT_EQ(F::FVLN2ValueTLV(Raw(125000)), MakeBytes({0x01, 0x7D}));       // 12.5
  EXPECT_EQ(F::FVLN2ValueTLV(Raw(12345)), MakeBytes({0x04, 0x39, 0x30}));  // 1.2345
  EXPECT_EQ(F::FVLN2ValueTLV(Raw(0)), MakeBytes({0x00, 0x00}));
  EXPECT_EQ(F::FVLN2ValueTLV(Raw(1000000)), MakeBytes({0x00, 0x64}));  // 100: no point
  EXPECT_EQ(F::FVLN2ValueTLV(TAmount::FromDouble(0.001)), MakeBytes({0x03, 0x01}));

  EXPECT_EQ(F::FVLN2ValueTLVLen(Raw(15000), 4), MakeBytes({0x01, 0x0F, 0x00, 0x00}));
  EXPECT_EQ(F::FVLN2ValueTLVLen(Raw(15000), 1), MakeBytes({0x01}));
  EXPECT_EQ(F::FVLN2ValueTLVLen(Raw(15000), 0), MakeBytes({0x01}));
}

TEST(FormatTLVFvln, DecodingRoundsEachDroppedDecimalToEven) {
  EXPECT_EQ(F::ValueTLV2FVLN(MakeBytes({0x02, 0x39, 0x30})), Raw(1234500));  // 123.45
  EXPECT_EQ(F::ValueTLV2FVLN(MakeBytes({0x00, 0x05})), Raw(50000));
  EXPECT_EQ(F::ValueTLV2FVLN(MakeBytes({0x05, 0x0F})), Raw(2));  // 0.00015: 1.5 -> 2
  EXPECT_EQ(F::ValueTLV2FVLN(MakeBytes({0x05, 0x19})), Raw(2));  // 0.00025: 2.5 -> 2
  // 0.000346 rounded one digit at a time: 3.46 -> 3.5 -> 4 (at once it would be 3).
  EXPECT_EQ(F::ValueTLV2FVLN(MakeBytes({0x06, 0x5A, 0x01})), Raw(4));
  for (std::int64_t raw : {0LL, 10LL, 15000LL, 12345LL, 987654321LL})
    EXPECT_EQ(F::ValueTLV2FVLN(F::FVLN2ValueTLV(Raw(raw))), Raw(raw)) << raw;
}

TEST(FormatTLVFvln, MalformedValuesFail) {
  const std::string msg = "Неверная длина FVLN";
  EXPECT_EQ(ErrorOf([] { F::ValueTLV2FVLN(TBytes()); }), msg);
  EXPECT_EQ(ErrorOf([] { F::ValueTLV2FVLN(MakeBytes({0x02})); }), msg);
  EXPECT_EQ(ErrorOf([] { F::ValueTLV2FVLN(MakeBytes({0x09, 0x01})); }), msg);
  EXPECT_EQ(ErrorOf([] { F::ValueTLV2FVLNstr(MakeBytes({0x09, 0x01})); }), msg);
  EXPECT_EQ(ErrorOf([] { F::ValueTLV2FVLNstr(MakeBytes({0x02})); }), msg);
}

TEST(FormatTLVFvln, TextHasExactlyPointDecimalsAndAFullStop) {
  EXPECT_EQ(F::ValueTLV2FVLNstr(TBytes()), "");
  EXPECT_EQ(F::ValueTLV2FVLNstr(MakeBytes({0x02, 0x39, 0x30})), "123.45");
  EXPECT_EQ(F::ValueTLV2FVLNstr(MakeBytes({0x00, 0x05})), "5");
  EXPECT_EQ(F::ValueTLV2FVLNstr(MakeBytes({0x03, 0xE8, 0x03})), "1.000");
  EXPECT_EQ(F::ValueTLV2FVLNstr(MakeBytes({0x08, 0x01})), "0.00000001");
  EXPECT_EQ(F::ValueTLV2FVLNstr(MakeBytes({0x02, 0x05})), "0.05");
}

TEST(FormatTLVUnixTime, DecodingIsSignedAndNeedsFourBytes) {
  EXPECT_DOUBLE_EQ(F::ValueTLV2UnixTime(MakeBytes({0, 0, 0, 0})), 25569.0);
  EXPECT_DOUBLE_EQ(F::ValueTLV2UnixTime(MakeBytes({0x80, 0x51, 0x01, 0x00})), 25570.0);
  EXPECT_DOUBLE_EQ(F::ValueTLV2UnixTime(MakeBytes({0, 0, 0})), 0.0);
  EXPECT_DOUBLE_EQ(F::ValueTLV2UnixTime(MakeBytes({0, 0, 0, 0, 0})), 0.0);
  const TDateTimeParts parts = DecodeDateTime(F::ValueTLV2UnixTime(MakeBytes({0, 0, 0, 0x80})));
  EXPECT_EQ(parts.Year, 1901);
  EXPECT_EQ(parts.Month, 12);
}

TEST(FormatTLVUnixTime, EncodingWritesLowThirtyTwoBitsOfRoundedSeconds) {
  EXPECT_EQ(F::UnixTime2ValueTLV(EncodeDate(1970, 1, 2)), MakeBytes({0x80, 0x51, 0x01, 0x00}));
  EXPECT_EQ(F::UnixTime2ValueTLV(EncodeDate(1969, 12, 31)), MakeBytes({0x80, 0xAE, 0xFE, 0xFF}));
  const TDateTime stamp = EncodeDate(2021, 3, 14) + EncodeTime(15, 9, 26, 0);
  EXPECT_NEAR(F::ValueTLV2UnixTime(F::UnixTime2ValueTLV(stamp)), stamp, 1e-9);
  // 400 ms rounds down, 600 ms up to the next second.
  EXPECT_EQ(F::UnixTime2ValueTLV(25569 + EncodeTime(0, 0, 1, 400)), MakeBytes({1, 0, 0, 0}));
  EXPECT_EQ(F::UnixTime2ValueTLV(25569 + EncodeTime(0, 0, 1, 600)), MakeBytes({2, 0, 0, 0}));
}

TEST(FormatTLVText, Cp866UpToFirstZeroByte) {
  EXPECT_EQ(F::ValueTLV2ASCII(MakeBytes({0x8F, 0xE0, 0xA8, 0x00, 0x41})), "При");
  EXPECT_EQ(F::ValueTLV2ASCII(MakeBytes({0x00, 0x41})), "");
  EXPECT_EQ(F::ValueTLV2ASCII(TBytes()), "");
  EXPECT_EQ(F::ValueTLV2ASCII(RawBytes("AB 1")), "AB 1");
  EXPECT_EQ(F::ValueTLV2ASCII(MakeBytes({0xF0, 0xF1})), "Ёё");
}

TEST(FormatTLVTypes, GetTypeTLVKnowsOnlyItsFewTags) {
  EXPECT_EQ(F::GetTypeTLV(7), tlvSTLV);
  EXPECT_EQ(F::GetTypeTLV(1068), tlvSTLV);
  EXPECT_EQ(F::GetTypeTLV(1039), tlvASCII);
  EXPECT_EQ(F::GetTypeTLV(1078), tlvInt32);
  EXPECT_EQ(F::GetTypeTLV(1022), tlvByte);
  for (int tag : {0, 1, 1030, 1059}) EXPECT_EQ(F::GetTypeTLV(tag), tlvUnknown) << tag;
}

}  // namespace
}  // namespace quillon
