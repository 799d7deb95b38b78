// Dates and times as one floating-point day count: whole days since 30 December 1899
// plus the time of day as a fraction. 1970-01-01 is 25569; 0 stands for "no date".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

using TDateTime = double;

inline constexpr TDateTime kUnixEpochDays = 25569.0;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Strict encoders: false for an impossible date (month 13, 30 February, year 0) or
// time (hour 24, minute 60, second 60, millisecond 1000).
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);

// The same, raising EQuillonError with a conversion message for impossible values.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Splits a day count into calendar parts (rounded to the millisecond). Negative
// values count back from 1899-12-30 the way the day-count convention does: the
// whole part is the day, the fraction's magnitude the time.
TDateTimeParts DecodeDateTime(TDateTime value);

// A driver log's time stamp, "dd.mm.yyyy hh:mm:ss.zzz" (the milliseconds may be left out),
// as milliseconds since 1899-12-30 00:00:00. Empty for any other text or an impossible date.
std::optional<std::int64_t> ParseLogTimeStamp(std::string_view text);
// Appends milliseconds since 1899-12-30 as "dd.mm.yyyy hh:mm:ss.zzz".
void AppendLogTimeStamp(std::string& out, std::int64_t ms);
inline constexpr std::int64_t kMsPerDay = 86400000;

}  // namespace quillon
