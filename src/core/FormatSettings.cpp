#include "core/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <ctime>
#include <memory>
#include <mutex>

namespace quillon {

namespace {

std::string FormatParts(const std::string& pattern, const TDateTimeParts& p) {
  std::tm tm{};
  tm.tm_year = p.Year - 1900;
  tm.tm_mon = p.Month - 1;
  tm.tm_mday = p.Day;
  tm.tm_hour = p.Hour;
  tm.tm_min = p.Minute;
  tm.tm_sec = p.Second;
  char buf[128];
  std::size_t n = std::strftime(buf, sizeof buf, pattern.c_str(), &tm);
  return std::string(buf, n);
}

std::mutex gMutex;
std::unique_ptr<TFormatSettings> gSettings;
std::atomic<const TFormatSettings*> gCurrent{nullptr};

}  // namespace

TFormatSettings TFormatSettings::FromEnvironment() {
  TFormatSettings result;
  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return result;
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') result.DecimalSeparator = radix[0];
  const char* date = nl_langinfo_l(D_FMT, loc);
  if (date != nullptr && *date != '\0') result.ShortDateFormat = date;
  const char* time = nl_langinfo_l(T_FMT, loc);
  if (time != nullptr && *time != '\0') result.LongTimeFormat = time;
  freelocale(loc);
  return result;
}

std::string TFormatSettings::FormatDate(TDateTime value) const {
  return FormatParts(ShortDateFormat, DecodeDateTime(value));
}

std::string TFormatSettings::FormatTime(TDateTime value) const {
  return FormatParts(LongTimeFormat, DecodeDateTime(value));
}

std::string TFormatSettings::FormatDateTime(TDateTime value) const {
  TDateTimeParts p = DecodeDateTime(value);
  std::string text = FormatParts(ShortDateFormat, p);
  if (p.Hour != 0 || p.Minute != 0 || p.Second != 0 || p.Millisecond != 0) {
    text += ' ';
    text += FormatParts(LongTimeFormat, p);
  }
  return text;
}

std::string TFormatSettings::FormatFixed(double value, int decimals) const {
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  std::string text(buf, res.ptr);
  if (DecimalSeparator != '.') {
    auto dot = text.find('.');
    if (dot != std::string::npos) text[dot] = DecimalSeparator;
  }
  return text;
}

const TFormatSettings& FormatSettings() {
  // Read for every formatted value: no lock once the settings exist.
  if (const TFormatSettings* settings = gCurrent.load(std::memory_order_acquire)) return *settings;
  std::unique_lock lock(gMutex);
  if (!gSettings) gSettings = std::make_unique<TFormatSettings>(TFormatSettings::FromEnvironment());
  gCurrent.store(gSettings.get(), std::memory_order_release);
  return *gSettings;
}

void SetFormatSettings(const TFormatSettings& settings) {
  std::unique_lock lock(gMutex);
  if (gSettings)
    *gSettings = settings;
  else
    gSettings = std::make_unique<TFormatSettings>(settings);
  gCurrent.store(gSettings.get(), std::memory_order_release);
}

}  // namespace quillon
