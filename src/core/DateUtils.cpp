#include "core/DateUtils.h"

#include <cmath>

#include "core/Errors.h"
#include "core/Translate.h"

namespace quillon {

namespace {

// Days from 0001-01-01 to the given date (proleptic Gregorian), 0 for 0001-01-01.
std::int64_t DaysFromCivilStart(int year, int month, int day) {
  std::int64_t y = year - 1;
  std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

// 1899-12-30 counted the same way.
constexpr std::int64_t kDayZero = 693593;

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  result = static_cast<TDateTime>(DaysFromCivilStart(year, month, day) - kDayZero);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 ||
      millisecond < 0 || millisecond >= 1000)
    return false;
  result = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result)) throw EQuillonError(Tr("Недопустимая дата"));
  return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TDateTime result = 0;
  if (!TryEncodeTime(hour, minute, second, millisecond, result))
    throw EQuillonError(Tr("Недопустимое время"));
  return result;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  TDateTimeParts parts;
  if (!std::isfinite(value)) return parts;
  double whole = std::trunc(value);
  std::int64_t ms = std::llround(std::fabs(value - whole) * 86400000.0);
  std::int64_t days = static_cast<std::int64_t>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    days += value < 0 ? -1 : 1;
  }
  // Civil date from the day number (algorithm on a 400-year cycle, epoch 0000-03-01).
  std::int64_t z = days + kDayZero + 306;  // days since 0000-03-01
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  parts.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  parts.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.Year = static_cast<int>(yoe + era * 400 + (parts.Month <= 2 ? 1 : 0));
  parts.Hour = static_cast<int>(ms / 3600000);
  parts.Minute = static_cast<int>(ms / 60000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Millisecond = static_cast<int>(ms % 1000);
  return parts;
}

namespace {

// The number of `width` digits at text[pos], or -1.
int Digits(std::string_view text, std::size_t pos, std::size_t width) {
  if (pos + width > text.size()) return -1;
  int value = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

void AppendDigits(std::string& out, int value, int width) {
  char buffer[8];
  for (int i = width - 1; i >= 0; --i, value /= 10) buffer[i] = static_cast<char>('0' + value % 10);
  out.append(buffer, static_cast<std::size_t>(width));
}

}  // namespace

std::optional<std::int64_t> ParseLogTimeStamp(std::string_view text) {
  // dd.mm.yyyy hh:mm:ss[.zzz]
  if (text.size() != 19 && text.size() != 23) return std::nullopt;
  if (text[2] != '.' || text[5] != '.' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
    return std::nullopt;
  if (text.size() == 23 && text[19] != '.') return std::nullopt;
  int day = Digits(text, 0, 2), month = Digits(text, 3, 2), year = Digits(text, 6, 4);
  int hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
  int ms = text.size() == 23 ? Digits(text, 20, 3) : 0;
  if (day < 0 || month < 0 || year < 0 || hour < 0 || minute < 0 || second < 0 || ms < 0)
    return std::nullopt;
  TDateTime date = 0;
  if (!TryEncodeDate(year, month, day, date)) return std::nullopt;
  if (hour >= 24 || minute >= 60 || second >= 60) return std::nullopt;
  return static_cast<std::int64_t>(date) * kMsPerDay + hour * 3600000LL + minute * 60000LL +
         second * 1000LL + ms;
}

void AppendLogTimeStamp(std::string& out, std::int64_t ms) {
  std::int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  std::int64_t time = ms - days * kMsPerDay;
  TDateTimeParts parts = DecodeDateTime(static_cast<TDateTime>(days));
  AppendDigits(out, parts.Day, 2);
  out.push_back('.');
  AppendDigits(out, parts.Month, 2);
  out.push_back('.');
  AppendDigits(out, parts.Year, 4);
  out.push_back(' ');
  AppendDigits(out, static_cast<int>(time / 3600000), 2);
  out.push_back(':');
  AppendDigits(out, static_cast<int>(time / 60000 % 60), 2);
  out.push_back(':');
  AppendDigits(out, static_cast<int>(time / 1000 % 60), 2);
  out.push_back('.');
  AppendDigits(out, static_cast<int>(time % 1000), 3);
}

}  // namespace quillon
