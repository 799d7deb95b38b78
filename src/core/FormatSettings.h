// Regional settings used to show command field values: decimal separator, short date
// and long time. They come from the C library locale of the environment; tests set
// them explicitly.
#pragma once

#include <string>

#include "core/DateUtils.h"

namespace quillon {

struct TFormatSettings {
  char DecimalSeparator = '.';
  std::string ShortDateFormat = "%m/%d/%y";  // strftime pattern
  std::string LongTimeFormat = "%H:%M:%S";   // strftime pattern

  // The settings of the environment's locale (LC_NUMERIC and LC_TIME as the
  // environment variables name them); the process-wide locale is not changed.
  static TFormatSettings FromEnvironment();

  std::string FormatDate(TDateTime value) const;
  std::string FormatTime(TDateTime value) const;
  // Short date, one blank, long time; the time is left out when it is midnight.
  std::string FormatDateTime(TDateTime value) const;
  // A number with the given count of decimals and this decimal separator.
  std::string FormatFixed(double value, int decimals) const;
};

// The settings every formatter uses unless it is given others. Initialised from the
// environment on first use. Changing them while other threads format is not supported
// (tests and start-up only).
const TFormatSettings& FormatSettings();
void SetFormatSettings(const TFormatSettings& settings);

}  // namespace quillon
