#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

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
  TBytes out;
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
  return out;
}

// ---------------------------------------------------------------------------------------
// Hex text

TEST(BytesToHex, UpperCasePairsSeparatedBySingleSpaces) {
  EXPECT_EQ(BytesToHex({}), "");
  EXPECT_EQ(BytesToHex(MakeBytes({0x02, 0x1C, 0x8F, 0x00})), "02 1C 8F 00");
  std::string expected;
  for (int b = 0; b < 256; ++b) {
    char pair[4];
    std::snprintf(pair, sizeof pair, b == 0 ? "%02X" : " %02X", b);
    expected += pair;
  }
  EXPECT_EQ(BytesToHex(AllByteValues()), expected);

  // Appending puts a blank between non-empty parts only.
  std::string out = "TX:";
  AppendBytesHex(out, {});
  AppendBytesHex(out, MakeBytes({0xAB, 0xFF}));
  EXPECT_EQ(out, "TX: AB FF");
}

TEST(IntToHex, LikePrintfWithAMinimumOfDigits) {
  // printf's "%.*X" / "%.*x" is the reference, over values of every length.
  for (std::uint64_t value :
       {0ull, 0x7ull, 0x1Full, 0xABCull, 0xFF01ull, 0xDEADBEEFull, 0x123456789ABCDEFull, ~0ull}) {
    for (int digits : {0, 1, 2, 4, 8, 17}) {
      char upper[32], lower[32];
      std::snprintf(upper, sizeof upper, "%.*llX", digits, static_cast<unsigned long long>(value));
      std::snprintf(lower, sizeof lower, "%.*llx", digits, static_cast<unsigned long long>(value));
      // "%.0X" of 0 prints nothing; IntToHex always gives at least one digit.
      EXPECT_EQ(IntToHex(value, digits), value == 0 && digits == 0 ? "0" : upper) << value;
      EXPECT_EQ(IntToHex(value, digits, THexCase::Lower), value == 0 && digits == 0 ? "0" : lower);
    }
  }
}

TEST(HexDigitValue, DigitsOfBothCasesAndNothingElse) {
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const int expected = std::isdigit(c)    ? c - '0'
                         : std::isxdigit(c) ? std::toupper(c) - 'A' + 10
                                            : -1;
    EXPECT_EQ(HexDigitValue(ch), expected) << c;
    EXPECT_EQ(IsHexText(std::string("0a F") + ch), expected >= 0 || c <= 0x20) << c;
  }
}

TEST(HexToBytes, GroupsBlanksBadDigitsAndLimits) {
  // Text, the bytes read (as hex), and a limit where there is one. A group is complete at
  // two digits, so an odd digit starts the next one; only a space ends a one-digit group,
  // other control characters are dropped; the first group that is not hex ends the text,
  // and a bad last digit is dropped.
  struct Case {
    const char* text;
    const char* bytes;
    std::size_t max = 0;
  };
  const Case cases[] = {{"02 05 ff", "02 05 FF"}, {"0205FF", "02 05 FF"},   {"2 5 FF", "02 05 FF"},
                        {"ABC", "AB 0C"},         {"1 23", "01 23"},        {"   ", ""},
                        {"  02   05  ", "02 05"}, {"1\r\n2 3", "12 03"},    {"\001A\037B", "AB"},
                        {"1\t 2", "01 02"},       {"12 G4 56", "12"},       {"12 34 Z", "12 34"},
                        {"12 \xD0\x96 34", "12"}, {"01 02 03", "01 02", 2}, {"010203", "01", 1},
                        {"1 2 3", "01 02", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    if (c.max != 0) {
      EXPECT_EQ(BytesToHex(HexToBytes(c.text, c.max)), c.bytes);
      continue;
    }
    EXPECT_EQ(BytesToHex(HexToBytes(c.text)), c.bytes);
    TBytes reused = MakeBytes({0xEE, 0xEE});
    HexToBytes(c.text, reused);
    EXPECT_EQ(BytesToHex(reused), c.bytes);
  }
  EXPECT_EQ(HexToBytes("01 02", 0), TBytes());
  EXPECT_EQ(HexToByteArray("02 1c"), (TByteArray{0x02, 0x1C}));
  EXPECT_EQ(BytesToByteArray(MakeBytes({0x00, 0xFF})), (TByteArray{0x00, 0xFF}));
}

TEST(HexToBytes, RoundTripsRandomBytesInEveryLayout) {
  std::mt19937 rng(20240229);
  for (int round = 0; round < 200; ++round) {
    const TBytes data = RandomBytes(rng, rng() % 100);
    const std::string hex = BytesToHex(data);
    EXPECT_EQ(HexToBytes(hex), data);
    std::string lower = hex, packed, wrapped;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_EQ(HexToBytes(lower), data);
    for (char c : hex)
      if (c != ' ') packed.push_back(c);
    EXPECT_EQ(HexToBytes(packed), data);
    // Log lines wrap long dumps; the line breaks between pairs do not matter.
    for (std::size_t i = 0; i < data.size(); ++i)
      wrapped += BytesToHex(data.substr(i, 1)) + (i % 16 == 15 ? "\r\n" : " ");
    EXPECT_EQ(HexToBytes(wrapped), data);
    // The limit never changes the bytes it lets through.
    const std::size_t limit = rng() % (data.size() + 2);
    EXPECT_EQ(HexToBytes(hex, limit), data.substr(0, limit));
  }
  EXPECT_EQ(HexToBytes(BytesToHex(AllByteValues())), AllByteValues());
}

// ---------------------------------------------------------------------------------------
// Integers and bits

TEST(BytesToIntAndIntToBytes, LittleEndianWithinRangeAndRoundTrip) {
  const TBytes three = MakeBytes({0x01, 0x02, 0x03});
  EXPECT_EQ(BytesToInt(three, 1, 3), 0x030201);
  // Out of range: too few bytes left, position 0 or past the end, more than 8 bytes.
  EXPECT_EQ(BytesToInt(three, 3, 2), 0);
  EXPECT_EQ(BytesToInt(three, 0, 1), 0);
  EXPECT_EQ(BytesToInt(three, 4, 1), 0);
  EXPECT_EQ(BytesToInt(TBytes(9, 0x11), 1, 9), 0);
  EXPECT_EQ(IntToBytes(-1, 2), MakeBytes({0xFF, 0xFF}));
  EXPECT_EQ(IntToBytes(0x1234, 3), MakeBytes({0x34, 0x12, 0x00}));
  EXPECT_EQ(IntToBytes(5, 9), TBytes());
  EXPECT_EQ(IntToBytes(5, 0), TBytes());

  // Unsigned reading of the low bytes, also inside a longer string.
  std::mt19937_64 rng(42);
  for (int round = 0; round < 500; ++round) {
    const auto value = static_cast<std::int64_t>(rng());
    for (int size = 1; size <= 8; ++size) {
      const TBytes bytes = IntToBytes(value, size);
      ASSERT_EQ(bytes.size(), static_cast<std::size_t>(size));
      const std::uint64_t mask = size == 8 ? ~0ULL : (1ULL << (8 * size)) - 1;
      EXPECT_EQ(static_cast<std::uint64_t>(BytesToInt(bytes, 1, size)),
                static_cast<std::uint64_t>(value) & mask);
      const TBytes framed = MakeBytes({0xAA}) + bytes + MakeBytes({0xBB});
      EXPECT_EQ(BytesToInt(framed, 2, size), BytesToInt(bytes, 1, size));
    }
  }
}

TEST(TestBit, BitNumberIsTakenModulo32) {
  for (int set = 0; set < 32; ++set) {
    const std::uint32_t value = 1u << set;
    for (int bit = 0; bit < 256; ++bit) {
      EXPECT_EQ(TestBit(value, static_cast<std::uint8_t>(bit)), bit % 32 == set) << set << bit;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Dates and times stored as bytes

constexpr double kDayTolerance = 1e-9;

TEST(BytesToDateAndTime, ReadThePartsAtAPositionOrGiveZero) {
  using Reader = TDateTime (*)(TBytesView, std::int64_t);
  struct Case {
    Reader read;
    TBytes bytes;
    std::int64_t pos;
    double expected;
  };
  const Case cases[] = {
      // Day, month, year - 2000.
      {BytesToDate, MakeBytes({29, 2, 24}), 1, 45351.0},
      {BytesToDate, MakeBytes({0xEE, 1, 3, 18}), 2, 43160.0},
      {BytesToDate, MakeBytes({31, 2, 18}), 1, 0},
      {BytesToDate, MakeBytes({1, 13, 24}), 1, 0},
      {BytesToDate, MakeBytes({1, 1}), 1, 0},
      {BytesToDate, MakeBytes({1, 1, 24}), 0, 0},
      // Year - 2000, month, day, hour, minute; an impossible part counts 0 on its own.
      {BytesToDateTime, MakeBytes({0x00, 24, 12, 31, 23, 59}), 2, 45657.0 + 1439.0 / 1440.0},
      {BytesToDateTime, MakeBytes({24, 2, 30, 6, 0}), 1, 0.25},
      {BytesToDateTime, MakeBytes({24, 12, 31, 24, 0}), 1, 45657.0},
      // Hour, minute, second.
      {BytesToTime, MakeBytes({0xFF, 23, 59, 59}), 2, 86399.0 / 86400.0},
      {BytesToTime, MakeBytes({24, 0, 0}), 1, 0},
      {BytesToTime, MakeBytes({12, 0}), 1, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_NEAR(c.read(c.bytes, c.pos), c.expected, kDayTolerance) << "case " << i;
  }
}

// ---------------------------------------------------------------------------------------
// Rounding

TEST(RoundToStep, HalvesAwayFromZeroToleratingFloatingPointNoise) {
  struct Case {
    long double value, step, expected;
  };
  // Within 1e-8 of a half counts as the half; 1.005 is stored a hair below the half, and
  // readings scaled by 0.01 still round up.
  const Case cases[] = {{2.5L, 1, 3},           {-2.5L, 1, -3},
                        {15, 10, 20},           {14.9L, 10, 10},
                        {-15, 10, -20},         {1.25L, 0.5L, 1.5L},
                        {1.999999995L, 1, 2},   {-1.999999995L, 1, -2},
                        {2.4999999999L, 1, 3},  {-2.4999999999L, 1, -3},
                        {2.4999999L, 1, 2},     {1.005, 0.01, 1.01L},
                        {-1.005, 0.01, -1.01L}, {123.4565, 0.001, 123.457L}};
  for (const Case& c : cases)
    EXPECT_NEAR(RoundToStep(c.value, c.step), c.expected, 1e-12L) << c.value << " / " << c.step;
}

TEST(RoundToInt64, RoundsThenTruncates) {
  EXPECT_EQ(RoundToInt64(1.999999995L), 2);
  EXPECT_EQ(RoundToInt64(1e12L + 0.5L), 1000000000001LL);
  EXPECT_EQ(RoundToInt64(-1e12L - 0.5L), -1000000000001LL);
  // Exactly representable in the extended type, not in a double.
  EXPECT_EQ(RoundToInt64(9007199254740993.0L), 9007199254740993LL);
  for (int i = -1000; i <= 1000; ++i) {
    EXPECT_EQ(RoundToInt64(static_cast<long double>(i)), i);
    EXPECT_EQ(RoundToInt64(i + 0.5L), i >= 0 ? i + 1 : i) << i << ".5";
  }
  EXPECT_EQ(Int64ToText(-5), "-5");
  EXPECT_EQ(Int64ToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

// ---------------------------------------------------------------------------------------
// Calendar

std::string PartsText(TDateTime value) {
  const TDateTimeParts p = DecodeDateTime(value);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day,
                p.Hour, p.Minute, p.Second, p.Millisecond);
  return text;
}

TEST(DateUtils, EncodingAndImpossibleDatesAndTimes) {
  // The day lengths of every month are checked day by day below.
  TDateTime d = 0;
  EXPECT_FALSE(TryEncodeDate(2024, 1, 0, d));
  EXPECT_FALSE(TryEncodeDate(2024, 0, 1, d));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, d));
  EXPECT_FALSE(TryEncodeDate(0, 12, 31, d));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, d));
  EXPECT_TRUE(TryEncodeTime(23, 59, 59, 999, d));
  for (const auto& [h, m, s, ms] :
       {std::array{24, 0, 0, 0}, std::array{0, 60, 0, 0}, std::array{0, 0, 60, 0},
        std::array{0, 0, 0, 1000}, std::array{-1, 0, 0, 0}}) {
    EXPECT_FALSE(TryEncodeTime(h, m, s, ms, d)) << h << ":" << m << ":" << s << "." << ms;
  }
  EXPECT_THROW(EncodeDate(2024, 2, 30), EQuillonError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EQuillonError);
  // Day numbers count from 30 December 1899 (consecutive days are checked below).
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDays);
  EXPECT_EQ(EncodeDate(2024, 12, 31), 45657.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(EncodeTime(0, 0, 0, 1), 1.0 / 86400000.0);
}

TEST(DateUtils, EveryDayFollowsTheLastAndDecodesBack) {
  // Years 1 to 9999, every day 1..31 of every month: validity by the Gregorian rules,
  // consecutive day numbers, and decoding gives the parts back.
  static constexpr int kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  TDateTime previous = EncodeDate(1, 1, 1) - 1;
  int failures = 0;
  for (int year = 1; year <= 9999 && failures < 5; ++year) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        TDateTime value = 0;
        const bool valid = TryEncodeDate(year, month, day, value);
        if (valid != (day <= (month == 2 && leap ? 29 : kLength[month - 1]))) {
          ADD_FAILURE() << year << "-" << month << "-" << day << " validity " << valid;
          ++failures;
        }
        if (!valid) continue;
        char expected[40];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02d 00:00:00.000", year, month, day);
        if (value != previous + 1 || PartsText(value) != expected) {
          ADD_FAILURE() << expected << " is " << value << " (" << PartsText(value)
                        << "), previous day " << previous;
          ++failures;
        }
        previous = value;
      }
    }
  }
}

TEST(DateUtils, DecodeSplitsTimeOfDay) {
  for (int second = 0; second < 86400; ++second) {
    const int h = second / 3600, m = second / 60 % 60, s = second % 60;
    char expected[40];
    std::snprintf(expected, sizeof expected, "2024-12-31 %02d:%02d:%02d.000", h, m, s);
    ASSERT_EQ(PartsText(45657.0 + EncodeTime(h, m, s, 0)), expected);
  }
  EXPECT_EQ(PartsText(45657.0 + EncodeTime(10, 15, 30, 123)), "2024-12-31 10:15:30.123");
  // A fraction a hair below midnight rounds up to the next day.
  EXPECT_EQ(PartsText(kUnixEpochDays + 0.9999999999), "1970-01-02 00:00:00.000");
  // Before day 0: the whole part is the day, the fraction's magnitude the time.
  EXPECT_EQ(PartsText(-1.25), "1899-12-29 06:00:00.000");
  EXPECT_EQ(PartsText(-0.5), "1899-12-30 12:00:00.000");
}

// ---------------------------------------------------------------------------------------
// Log time stamps

TEST(LogTimeStamp, ReadsDayMonthYearAndTimeOrNothing) {
  struct TCase {
    const char* Text;
    std::optional<std::int64_t> Ms;  // since 30.12.1899 00:00:00.000
  };
  const TCase kCases[] = {
      // Day 45657 (31.12.2024, as EncodeDate gives it above) * 86400000 + 10 h 15 min 123 ms.
      {"31.12.2024 10:15:00.123", 3944801700123},
      {"31.12.2024 10:15:00", 3944801700000},
      {"30.12.1899 00:00:00.000", 0},
      {"29.12.1899 23:59:59.999", -1},               // one day back, one ms before midnight
      {"01.01.1970 00:00:00", 2209161600000},        // 25569 days
      {"01.01.0001 00:00:00.000", -59926435200000},  // 693593 days before day 0
      {"31.12.9999 23:59:59.999", 255611462399999},  // 2958465 days, 86399999 ms
      {"29.02.2024 00:00:00.000", 3918326400000},    // leap year: 45657 - 306 = 45351 days
      {"29.02.2000 12:00:00", 3160987200000},        // divisible by 400: 36585 days + 12 h
      {"01.03.2023 00:00:00", 3886790400000},        // after a 28-day February: 44986 days
      {"29.02.2023 00:00:00", std::nullopt},         // not a leap year
      {"29.02.1900 00:00:00", std::nullopt},         // divisible by 100, not by 400
      {"29.02.2100 00:00:00.000", std::nullopt},
      {"31.04.2024 00:00:00", std::nullopt},
      {"00.12.2024 10:15:00", std::nullopt},
      {"32.12.2024 10:15:00", std::nullopt},
      {"31.00.2024 10:15:00", std::nullopt},
      {"31.13.2024 10:15:00", std::nullopt},
      {"01.01.0000 00:00:00", std::nullopt},
      {"31.12.2024 24:00:00", std::nullopt},
      {"31.12.2024 23:60:00", std::nullopt},
      {"31.12.2024 23:59:60.000", std::nullopt},
      // Separators.
      {"31/12/2024 10:15:00", std::nullopt},
      {"31.12-2024 10:15:00", std::nullopt},
      {"31.12.2024T10:15:00", std::nullopt},
      {"31.12.2024 10.15.00", std::nullopt},
      {"31.12.2024 10:15:00,123", std::nullopt},
      {"31.12.2024 10:15:00 123", std::nullopt},
      // Letters, signs and blanks where digits belong.
      {"3l.12.2024 10:15:00", std::nullopt},
      {"31.12.2024 1a:15:00", std::nullopt},
      {"31.12.2024 10:15:0O.123", std::nullopt},
      {"31.12.2024 10:15:00.12x", std::nullopt},
      {"-1.12.2024 10:15:00", std::nullopt},
      {" 1.12.2024 10:15:00", std::nullopt},
      {"31.12.2024 10:15:00.-12", std::nullopt},
      // Lengths other than 19 and 23.
      {"", std::nullopt},
      {"31.12.2024", std::nullopt},
      {"1.12.2024 10:15:00", std::nullopt},
      {"31.12.24 10:15:00.123", std::nullopt},
      {"31.12.2024 10:15:00.", std::nullopt},
      {"31.12.2024 10:15:00.12", std::nullopt},
      {"31.12.2024 10:15:00.1234", std::nullopt},
      {"31.12.2024 10:15:00.123]", std::nullopt},
      {"31.12.2024 10:15:00.12З", std::nullopt},  // a Cyrillic letter: 24 bytes
  };
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.Text);
    const std::optional<std::int64_t> ms = ParseLogTimeStamp(c.Text);
    EXPECT_EQ(ms, c.Ms);
    if (!ms) continue;
    // Written back, a stamp is the same text, always with its milliseconds.
    std::string text = "[";
    AppendLogTimeStamp(text, *ms);
    std::string want = std::string("[") + c.Text;
    if (want.size() == 20) want += ".000";
    EXPECT_EQ(text, want);
  }
}

TEST(LogTimeStamp, EveryWrittenValueReadsBack) {
  const std::int64_t first = *ParseLogTimeStamp("01.01.0001 00:00:00.000");
  const std::int64_t last = *ParseLogTimeStamp("31.12.9999 23:59:59.999");
  std::vector<std::int64_t> values = {first, last, -kMsPerDay - 1, -kMsPerDay, -1,
                                      0,     1,    kMsPerDay - 1,  kMsPerDay};
  std::mt19937_64 rng(1899);
  std::uniform_int_distribution<std::int64_t> any(first, last);
  for (int i = 0; i < 20000; ++i) values.push_back(any(rng));
  for (std::int64_t value : values) {
    std::string text;
    AppendLogTimeStamp(text, value);
    ASSERT_EQ(text.size(), 23u) << value;
    ASSERT_EQ(ParseLogTimeStamp(text), value) << text;
  }
}

}  // namespace
}  // namespace quillon
