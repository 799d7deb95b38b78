#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "core/BinUtils.h"
#include "core/DateUtils.h"
#include "core/Errors.h"

namespace quillon {
namespace {

TBytes AllByteValues() {
  TBytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
  return all;
}

TBytes RandomBytes(std::mt19937& rng, std::size_t size) {
  std::uniform_int_distribution<int> byte(0, 255);
  TBytes out;
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(byte(rng)));
  return out;
}

// ---------------------------------------------------------------------------------------
// Hex text

TEST(BytesToHex, UpperCasePairsSeparatedBySingleSpaces) {
  EXPECT_EQ(BytesToHex({}), "");
  EXPECT_EQ(BytesToHex(MakeBytes({0x0A})), "0A");
  EXPECT_EQ(BytesToHex(MakeBytes({0x02, 0x1C, 0x8F})), "02 1C 8F");
  EXPECT_EQ(BytesToHex(MakeBytes({0x00, 0x00})), "00 00");  // zero bytes are ordinary bytes

  const std::string all = BytesToHex(AllByteValues());
  ASSERT_EQ(all.size(), 256u * 3 - 1);
  for (int b = 0; b < 256; ++b) {
    const std::string pair = all.substr(static_cast<std::size_t>(b) * 3, 2);
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", b);
    EXPECT_EQ(pair, expected) << "byte " << b;
    if (b < 255) {
      EXPECT_EQ(all[static_cast<std::size_t>(b) * 3 + 2], ' ') << "after byte " << b;
    }
  }
}

TEST(BytesToHex, AppendSeparatesOnlyNonEmptyParts) {
  std::string out;
  AppendBytesHex(out, MakeBytes({0x01, 0xAB}));
  EXPECT_EQ(out, "01 AB");
  AppendBytesHex(out, MakeBytes({0xFF}));
  EXPECT_EQ(out, "01 AB FF");
  AppendBytesHex(out, {});
  EXPECT_EQ(out, "01 AB FF");

  std::string prefixed = "TX:";
  AppendBytesHex(prefixed, MakeBytes({0x8F, 0x00}));
  EXPECT_EQ(prefixed, "TX: 8F 00");
}

TEST(HexToBytes, ReadsSeparatedAndPackedPairs) {
  const TBytes expected = MakeBytes({0x02, 0x05, 0xFF});
  EXPECT_EQ(HexToBytes("02 05 FF"), expected);
  EXPECT_EQ(HexToBytes("0205FF"), expected);
  EXPECT_EQ(HexToBytes("2 5 FF"), expected);
  EXPECT_EQ(HexToBytes("02 05 ff"), expected);
  EXPECT_EQ(HexToBytes("0a 0B"), MakeBytes({0x0A, 0x0B}));
  EXPECT_EQ(HexToBytes("aBcD"), MakeBytes({0xAB, 0xCD}));
  // A group is complete at two digits, so an odd digit starts the next one.
  EXPECT_EQ(HexToBytes("ABC"), MakeBytes({0xAB, 0x0C}));
  EXPECT_EQ(HexToBytes("123"), MakeBytes({0x12, 0x03}));
  EXPECT_EQ(HexToBytes("1 23"), MakeBytes({0x01, 0x23}));
  EXPECT_EQ(HexToBytes("F"), MakeBytes({0x0F}));
  EXPECT_EQ(HexToBytes(""), TBytes());
  EXPECT_EQ(HexToBytes("   "), TBytes());
}

TEST(HexToBytes, OnlyASpaceEndsAOneDigitGroup) {
  EXPECT_EQ(HexToBytes(" 1"), MakeBytes({0x01}));
  EXPECT_EQ(HexToBytes("1 "), MakeBytes({0x01}));
  EXPECT_EQ(HexToBytes("  02   05  "), MakeBytes({0x02, 0x05}));
  // Tabs, line breaks and other control characters are dropped without ending a group.
  EXPECT_EQ(HexToBytes("1\t2"), MakeBytes({0x12}));
  EXPECT_EQ(HexToBytes("1\r\n2 3"), MakeBytes({0x12, 0x03}));
  EXPECT_EQ(HexToBytes("\x01"
                       "A\x1F"
                       "B"),
            MakeBytes({0xAB}));
  EXPECT_EQ(HexToBytes("01\r\n02\t03\n"), MakeBytes({0x01, 0x02, 0x03}));
  // A space after a tab still ends the pending digit.
  EXPECT_EQ(HexToBytes("1\t 2"), MakeBytes({0x01, 0x02}));
}

TEST(HexToBytes, StopsAtTheFirstGroupThatIsNotHex) {
  EXPECT_EQ(HexToBytes("12 G4 56"), MakeBytes({0x12}));
  EXPECT_EQ(HexToBytes("12 1G 56"), MakeBytes({0x12}));
  EXPECT_EQ(HexToBytes("G4 56"), TBytes());
  EXPECT_EQ(HexToBytes("12 34 Z"), MakeBytes({0x12, 0x34}));  // a bad last digit is dropped
  EXPECT_EQ(HexToBytes("12 x 34"), MakeBytes({0x12}));
  EXPECT_EQ(HexToBytes("0x12"), TBytes());
  EXPECT_EQ(HexToBytes("12 -1 34"), MakeBytes({0x12}));
  EXPECT_EQ(HexToBytes("12 \xD0\x96 34"), MakeBytes({0x12}));  // a Cyrillic letter
}

TEST(HexToBytes, MaxBytesStopsEarly) {
  EXPECT_EQ(HexToBytes("01 02 03", 2), MakeBytes({0x01, 0x02}));
  EXPECT_EQ(HexToBytes("010203", 1), MakeBytes({0x01}));
  EXPECT_EQ(HexToBytes("01 02 03", 0), TBytes());
  EXPECT_EQ(HexToBytes("01 02 03", 3), MakeBytes({0x01, 0x02, 0x03}));
  EXPECT_EQ(HexToBytes("01 02 03", 100), MakeBytes({0x01, 0x02, 0x03}));
  EXPECT_EQ(HexToBytes("1 2 3", 3), MakeBytes({0x01, 0x02, 0x03}));
  EXPECT_EQ(HexToBytes("1 2 3", 2), MakeBytes({0x01, 0x02}));
  EXPECT_EQ(HexToBytes("01 GG 03", 5), MakeBytes({0x01}));
  // The limit never changes what the bytes it lets through are.
  std::mt19937 rng(7);
  const TBytes data = RandomBytes(rng, 64);
  const std::string hex = BytesToHex(data);
  for (std::size_t n = 0; n <= data.size() + 1; ++n)
    EXPECT_EQ(HexToBytes(hex, n), data.substr(0, n)) << "limit " << n;
}

TEST(HexToBytes, RoundTripsRandomBytesInEveryLayout) {
  std::mt19937 rng(20240229);
  for (int round = 0; round < 200; ++round) {
    const TBytes data = RandomBytes(rng, static_cast<std::size_t>(rng() % 100));
    const std::string hex = BytesToHex(data);
    EXPECT_EQ(HexToBytes(hex), data);

    std::string lower = hex;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    EXPECT_EQ(HexToBytes(lower), data);

    std::string packed;
    for (char c : hex)
      if (c != ' ') packed.push_back(c);
    EXPECT_EQ(HexToBytes(packed), data);

    // Log lines wrap long dumps; the line breaks between pairs do not matter.
    std::string wrapped;
    for (std::size_t i = 0; i < data.size(); ++i) {
      wrapped += BytesToHex(data.substr(i, 1));
      wrapped += (i % 16 == 15) ? "\r\n" : " ";
    }
    EXPECT_EQ(HexToBytes(wrapped), data);
  }
  EXPECT_EQ(HexToBytes(BytesToHex(AllByteValues())), AllByteValues());
}

TEST(HexToBytes, ByteArrayFormsHoldTheSameBytes) {
  EXPECT_EQ(HexToByteArray("02 1c 8F"), (TByteArray{0x02, 0x1C, 0x8F}));
  EXPECT_EQ(HexToByteArray(""), TByteArray());
  EXPECT_EQ(BytesToByteArray(MakeBytes({0x00, 0xFF, 0x00})), (TByteArray{0x00, 0xFF, 0x00}));
  EXPECT_EQ(BytesToByteArray({}), TByteArray());
}

// ---------------------------------------------------------------------------------------
// Integers and bits

TEST(BytesToInt, ReadsLittleEndianOrAnswersZero) {
  const TBytes three = MakeBytes({0x01, 0x02, 0x03});
  EXPECT_EQ(BytesToInt(three, 1, 3), 0x01 + 0x02 * 256 + 0x03 * 65536);
  EXPECT_EQ(BytesToInt(three, 2, 2), 0x0302);
  EXPECT_EQ(BytesToInt(three, 3, 1), 0x03);
  EXPECT_EQ(BytesToInt(three, 1, 1), 0x01);
  // Out of range: only one byte left, position 0, past the end, more than 8 bytes.
  EXPECT_EQ(BytesToInt(three, 3, 2), 0);
  EXPECT_EQ(BytesToInt(three, 0, 1), 0);
  EXPECT_EQ(BytesToInt(three, -1, 1), 0);
  EXPECT_EQ(BytesToInt(three, 4, 1), 0);
  EXPECT_EQ(BytesToInt(three, 1, 4), 0);
  EXPECT_EQ(BytesToInt({}, 1, 1), 0);

  const TBytes nine(9, 0x11);
  EXPECT_EQ(BytesToInt(nine, 1, 9), 0);
  EXPECT_EQ(BytesToInt(nine, 2, 8), 0x1111111111111111);

  // Unsigned reading: the high bit of the last byte is not a sign.
  EXPECT_EQ(BytesToInt(MakeBytes({0xFF, 0xFF}), 1, 2), 0xFFFF);
  EXPECT_EQ(BytesToInt(MakeBytes({0x00, 0x80}), 1, 2), 0x8000);
  EXPECT_EQ(BytesToInt(MakeBytes({0xFF, 0xFF, 0xFF, 0xFF}), 1, 4), 0xFFFFFFFFLL);
  const TBytes eight = MakeBytes({0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01});
  EXPECT_EQ(BytesToInt(eight, 1, 8), 0x0102030405060708);
}

TEST(IntToBytes, LowBytesLittleEndian) {
  EXPECT_EQ(IntToBytes(-1, 2), MakeBytes({0xFF, 0xFF}));
  EXPECT_EQ(IntToBytes(5, 9), TBytes());
  EXPECT_EQ(IntToBytes(5, 0), TBytes());
  EXPECT_EQ(IntToBytes(5, -1), TBytes());
  EXPECT_EQ(IntToBytes(5, 1), MakeBytes({0x05}));
  EXPECT_EQ(IntToBytes(0x1234, 1), MakeBytes({0x34}));
  EXPECT_EQ(IntToBytes(0x1234, 3), MakeBytes({0x34, 0x12, 0x00}));
  EXPECT_EQ(IntToBytes(0x0102030405060708, 8),
            MakeBytes({0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(IntToBytes(-2, 3), MakeBytes({0xFE, 0xFF, 0xFF}));
  EXPECT_EQ(IntToBytes(std::numeric_limits<std::int64_t>::min(), 8),
            MakeBytes({0, 0, 0, 0, 0, 0, 0, 0x80}));
}

TEST(IntToBytes, RoundTripsThroughBytesToInt) {
  std::mt19937_64 rng(42);
  for (int round = 0; round < 500; ++round) {
    const auto value = static_cast<std::int64_t>(rng());
    for (int size = 1; size <= 8; ++size) {
      const TBytes bytes = IntToBytes(value, size);
      ASSERT_EQ(bytes.size(), static_cast<std::size_t>(size));
      const std::uint64_t mask = size == 8 ? ~0ULL : (1ULL << (8 * size)) - 1;
      EXPECT_EQ(static_cast<std::uint64_t>(BytesToInt(bytes, 1, size)),
                static_cast<std::uint64_t>(value) & mask)
          << "value " << value << " size " << size;
      // Embedded in a longer string at another position.
      const TBytes framed = MakeBytes({0xAA}) + bytes + MakeBytes({0xBB});
      EXPECT_EQ(BytesToInt(framed, 2, size), BytesToInt(bytes, 1, size));
    }
  }
}

TEST(TestBit, BitNumberIsTakenModulo32) {
  for (int set = 0; set < 32; ++set) {
    const std::uint32_t value = 1u << set;
    for (int bit = 0; bit < 256; ++bit) {
      EXPECT_EQ(TestBit(value, static_cast<std::uint8_t>(bit)), bit % 32 == set)
          << "value bit " << set << ", asked " << bit;
      EXPECT_EQ(TestBit(~value, static_cast<std::uint8_t>(bit)), bit % 32 != set)
          << "all but bit " << set << ", asked " << bit;
    }
  }
  EXPECT_TRUE(TestBit(0x80000000u, 31));
  EXPECT_TRUE(TestBit(0x80000000u, 63));
  EXPECT_FALSE(TestBit(0x80000000u, 32));
  EXPECT_FALSE(TestBit(0, 0));
}

// ---------------------------------------------------------------------------------------
// Dates and times stored as bytes

constexpr double kDayTolerance = 1e-9;

TEST(BytesToDate, DayMonthYearFrom2000) {
  EXPECT_DOUBLE_EQ(BytesToDate(MakeBytes({29, 2, 24}), 1), 45351.0);  // 29.02.2024
  EXPECT_DOUBLE_EQ(BytesToDate(MakeBytes({31, 12, 24}), 1), 45657.0);
  EXPECT_DOUBLE_EQ(BytesToDate(MakeBytes({1, 1, 0}), 1), 36526.0);         // 01.01.2000
  EXPECT_DOUBLE_EQ(BytesToDate(MakeBytes({0xEE, 1, 3, 18}), 2), 43160.0);  // 01.03.2018
  // Impossible dates give the zero date.
  EXPECT_EQ(BytesToDate(MakeBytes({31, 2, 18}), 1), 0.0);
  EXPECT_EQ(BytesToDate(MakeBytes({29, 2, 23}), 1), 0.0);
  EXPECT_EQ(BytesToDate(MakeBytes({0, 1, 24}), 1), 0.0);
  EXPECT_EQ(BytesToDate(MakeBytes({1, 0, 24}), 1), 0.0);
  EXPECT_EQ(BytesToDate(MakeBytes({1, 13, 24}), 1), 0.0);
  EXPECT_EQ(BytesToDate(MakeBytes({31, 4, 24}), 1), 0.0);
  // Bytes that are not there.
  EXPECT_EQ(BytesToDate(MakeBytes({1, 1}), 1), 0.0);
  EXPECT_EQ(BytesToDate(MakeBytes({1, 1, 24}), 2), 0.0);
  EXPECT_EQ(BytesToDate(MakeBytes({1, 1, 24}), 0), 0.0);
  EXPECT_EQ(BytesToDate({}, 1), 0.0);
}

TEST(BytesToDateTime, YearMonthDayHourMinuteWithPartsAddedSeparately) {
  EXPECT_NEAR(BytesToDateTime(MakeBytes({24, 12, 31, 23, 59}), 1), 45657.0 + 1439.0 / 1440.0,
              kDayTolerance);
  EXPECT_NEAR(BytesToDateTime(MakeBytes({0x00, 24, 2, 29, 12, 0}), 2), 45351.5, kDayTolerance);
  EXPECT_NEAR(BytesToDateTime(MakeBytes({0, 1, 1, 0, 0}), 1), 36526.0, kDayTolerance);
  // An impossible date leaves the time; an impossible time leaves the date.
  EXPECT_NEAR(BytesToDateTime(MakeBytes({24, 2, 30, 6, 0}), 1), 0.25, kDayTolerance);
  EXPECT_NEAR(BytesToDateTime(MakeBytes({24, 12, 31, 24, 0}), 1), 45657.0, kDayTolerance);
  EXPECT_NEAR(BytesToDateTime(MakeBytes({24, 12, 31, 10, 60}), 1), 45657.0, kDayTolerance);
  EXPECT_EQ(BytesToDateTime(MakeBytes({24, 13, 31, 24, 0}), 1), 0.0);
}

TEST(BytesToTime, HourMinuteSecond) {
  EXPECT_NEAR(BytesToTime(MakeBytes({12, 0, 0}), 1), 0.5, kDayTolerance);
  EXPECT_NEAR(BytesToTime(MakeBytes({23, 59, 59}), 1), 86399.0 / 86400.0, kDayTolerance);
  EXPECT_NEAR(BytesToTime(MakeBytes({0xFF, 0, 0, 1}), 2), 1.0 / 86400.0, kDayTolerance);
  EXPECT_EQ(BytesToTime(MakeBytes({0, 0, 0}), 1), 0.0);
  EXPECT_EQ(BytesToTime(MakeBytes({24, 0, 0}), 1), 0.0);
  EXPECT_EQ(BytesToTime(MakeBytes({0, 60, 0}), 1), 0.0);
  EXPECT_EQ(BytesToTime(MakeBytes({0, 0, 60}), 1), 0.0);
  EXPECT_EQ(BytesToTime(MakeBytes({12, 0}), 1), 0.0);
}

// ---------------------------------------------------------------------------------------
// Rounding

TEST(RoundToStep, HalvesAwayFromZero) {
  EXPECT_EQ(RoundToStep(2.5L, 1.0L), 3.0L);
  EXPECT_EQ(RoundToStep(-2.5L, 1.0L), -3.0L);
  EXPECT_EQ(RoundToStep(0.5L, 1.0L), 1.0L);
  EXPECT_EQ(RoundToStep(-0.5L, 1.0L), -1.0L);
  EXPECT_EQ(RoundToStep(2.4999L, 1.0L), 2.0L);
  EXPECT_EQ(RoundToStep(-2.4999L, 1.0L), -2.0L);
  EXPECT_EQ(RoundToStep(2.0L, 1.0L), 2.0L);
  EXPECT_EQ(RoundToStep(0.0L, 1.0L), 0.0L);
  EXPECT_EQ(RoundToStep(0.4L, 1.0L), 0.0L);
  EXPECT_EQ(RoundToStep(-0.4L, 1.0L), 0.0L);
  EXPECT_EQ(RoundToStep(15.0L, 10.0L), 20.0L);
  EXPECT_EQ(RoundToStep(14.9L, 10.0L), 10.0L);
  EXPECT_EQ(RoundToStep(-15.0L, 10.0L), -20.0L);
  EXPECT_EQ(RoundToStep(1.25L, 0.5L), 1.5L);
  EXPECT_EQ(RoundToStep(1.2L, 0.5L), 1.0L);
}

TEST(RoundToStep, ToleratesFloatingPointNoise) {
  EXPECT_EQ(RoundToStep(1.999999995L, 1.0L), 2.0L);
  EXPECT_EQ(RoundToStep(-1.999999995L, 1.0L), -2.0L);
  // Within 1e-8 of a half counts as the half.
  EXPECT_EQ(RoundToStep(2.4999999999L, 1.0L), 3.0L);
  EXPECT_EQ(RoundToStep(-2.4999999999L, 1.0L), -3.0L);
  EXPECT_EQ(RoundToStep(0.499999995L, 1.0L), 1.0L);
  EXPECT_EQ(RoundToStep(2.4999999L, 1.0L), 2.0L);
  // 1.005 and 2.675 are stored a hair below the half; readings scaled by 0.01 still round up.
  EXPECT_NEAR(RoundToStep(1.005, 0.01), 1.01L, 1e-12L);
  EXPECT_NEAR(RoundToStep(-1.005, 0.01), -1.01L, 1e-12L);
  EXPECT_NEAR(RoundToStep(2.675, 0.01), 2.68L, 1e-12L);
  EXPECT_NEAR(RoundToStep(0.1 * 3, 0.1), 0.3L, 1e-12L);
  EXPECT_NEAR(RoundToStep(123.456, 0.001), 123.456L, 1e-12L);
  EXPECT_NEAR(RoundToStep(123.4564, 0.001), 123.456L, 1e-12L);
  EXPECT_NEAR(RoundToStep(123.4565, 0.001), 123.457L, 1e-12L);
}

TEST(RoundToInt64, RoundsThenTruncates) {
  EXPECT_EQ(RoundToInt64(2.5L), 3);
  EXPECT_EQ(RoundToInt64(-2.5L), -3);
  EXPECT_EQ(RoundToInt64(-7.5L), -8);
  EXPECT_EQ(RoundToInt64(2.4999L), 2);
  EXPECT_EQ(RoundToInt64(1.999999995L), 2);
  EXPECT_EQ(RoundToInt64(0.4999999L), 0);
  EXPECT_EQ(RoundToInt64(0.0L), 0);
  EXPECT_EQ(RoundToInt64(-0.4L), 0);
  EXPECT_EQ(RoundToInt64(1e12L + 0.5L), 1000000000001LL);
  EXPECT_EQ(RoundToInt64(-1e12L - 0.5L), -1000000000001LL);
  // Exactly representable in the extended type, not in a double.
  EXPECT_EQ(RoundToInt64(9007199254740993.0L), 9007199254740993LL);
  // Every whole number and every half in a small range.
  for (int i = -1000; i <= 1000; ++i) {
    EXPECT_EQ(RoundToInt64(static_cast<long double>(i)), i);
    const long double half = i + 0.5L;
    EXPECT_EQ(RoundToInt64(half), half > 0 ? i + 1 : i) << "value " << i << ".5";
  }
}

TEST(Int64ToText, PlainDecimal) {
  EXPECT_EQ(Int64ToText(0), "0");
  EXPECT_EQ(Int64ToText(-5), "-5");
  EXPECT_EQ(Int64ToText(1234567890123LL), "1234567890123");
  EXPECT_EQ(Int64ToText(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
  EXPECT_EQ(Int64ToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

// ---------------------------------------------------------------------------------------
// Calendar

TEST(DateUtils, GregorianValidity) {
  TDateTime d = 0;
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, d));
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, d));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, d));
  EXPECT_FALSE(TryEncodeDate(2100, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2024, 4, 30, d));
  EXPECT_FALSE(TryEncodeDate(2024, 4, 31, d));
  EXPECT_FALSE(TryEncodeDate(2024, 1, 0, d));
  EXPECT_FALSE(TryEncodeDate(2024, 1, 32, d));
  EXPECT_FALSE(TryEncodeDate(2024, 0, 1, d));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, d));
  EXPECT_TRUE(TryEncodeDate(1, 1, 1, d));
  EXPECT_FALSE(TryEncodeDate(0, 12, 31, d));
  EXPECT_TRUE(TryEncodeDate(9999, 12, 31, d));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, d));

  EXPECT_THROW(EncodeDate(2024, 2, 30), EQuillonError);
  EXPECT_THROW(EncodeDate(2024, 13, 1), EQuillonError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EQuillonError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EQuillonError);
  EXPECT_THROW(EncodeTime(0, 0, 60, 0), EQuillonError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EQuillonError);
  EXPECT_TRUE(TryEncodeTime(23, 59, 59, 999, d));
  EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, d));
}

TEST(DateUtils, DayNumbersCountFrom30December1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1899, 12, 31), 1.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDays);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(2024, 12, 31), 45657.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);

  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_DOUBLE_EQ(EncodeTime(0, 0, 1, 0), 1.0 / 86400.0);
  EXPECT_DOUBLE_EQ(EncodeTime(0, 0, 0, 1), 1.0 / 86400000.0);
  EXPECT_DOUBLE_EQ(EncodeTime(0, 0, 0, 0), 0.0);
}

TEST(DateUtils, EveryDayFollowsTheLastAndDecodesBack) {
  // Years 1 to 9999, every valid day: consecutive day numbers, and decoding gives the parts.
  TDateTime previous = 0;
  bool first = true;
  int failures = 0;
  for (int year = 1; year <= 9999 && failures < 5; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        TDateTime value = 0;
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        static constexpr int kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const int length = month == 2 && leap ? 29 : kLength[month - 1];
        const bool valid = TryEncodeDate(year, month, day, value);
        if (valid != (day <= length)) {
          ADD_FAILURE() << year << "-" << month << "-" << day << " validity " << valid;
          ++failures;
          continue;
        }
        if (!valid) continue;
        if (!first && value != previous + 1) {
          ADD_FAILURE() << year << "-" << month << "-" << day << " is " << value
                        << ", previous day " << previous;
          ++failures;
        }
        const TDateTimeParts parts = DecodeDateTime(value);
        if (parts.Year != year || parts.Month != month || parts.Day != day || parts.Hour != 0 ||
            parts.Minute != 0 || parts.Second != 0 || parts.Millisecond != 0) {
          ADD_FAILURE() << year << "-" << month << "-" << day << " decodes as " << parts.Year << "-"
                        << parts.Month << "-" << parts.Day;
          ++failures;
        }
        previous = value;
        first = false;
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(DateUtils, DecodeSplitsTimeOfDay) {
  for (int second = 0; second < 86400; ++second) {
    const TDateTime value = 45657.0 + EncodeTime(second / 3600, second / 60 % 60, second % 60, 0);
    const TDateTimeParts parts = DecodeDateTime(value);
    ASSERT_EQ(parts.Year * 10000 + parts.Month * 100 + parts.Day, 20241231) << second;
    ASSERT_EQ(parts.Hour * 3600 + parts.Minute * 60 + parts.Second, second);
    ASSERT_EQ(parts.Millisecond, 0) << second;
  }
  TDateTimeParts p = DecodeDateTime(45657.0 + EncodeTime(10, 15, 30, 123));
  EXPECT_EQ(p.Hour, 10);
  EXPECT_EQ(p.Minute, 15);
  EXPECT_EQ(p.Second, 30);
  EXPECT_EQ(p.Millisecond, 123);

  // A fraction a hair below midnight rounds up to the next day.
  p = DecodeDateTime(kUnixEpochDays + 0.9999999999);
  EXPECT_EQ(p.Year, 1970);
  EXPECT_EQ(p.Month, 1);
  EXPECT_EQ(p.Day, 2);
  EXPECT_EQ(p.Hour, 0);
  EXPECT_EQ(p.Millisecond, 0);

  // Before day 0: the whole part is the day, the fraction's magnitude the time.
  p = DecodeDateTime(-1.25);
  EXPECT_EQ(p.Year, 1899);
  EXPECT_EQ(p.Month, 12);
  EXPECT_EQ(p.Day, 29);
  EXPECT_EQ(p.Hour, 6);
  p = DecodeDateTime(-0.5);
  EXPECT_EQ(p.Day, 30);
  EXPECT_EQ(p.Hour, 12);
  p = DecodeDateTime(0.0);
  EXPECT_EQ(p.Year, 1899);
  EXPECT_EQ(p.Month, 12);
  EXPECT_EQ(p.Day, 30);
}

}  // namespace
}  // namespace quillon
