// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <string>

#include "System/IdGlobal.h"

// Regional settings as the pattern language needs them. Patterns are in our own
// pattern language (not Qt's); texts are UTF-8.
struct TFormatSettings {
  std::string ShortDateFormat, LongDateFormat, ShortTimeFormat, LongTimeFormat;
  std::string TimeAMString, TimePMString;
  std::string DateSeparator, TimeSeparator;
  std::array<std::string, 12> ShortMonthNames, LongMonthNames;  // January first
  std::array<std::string, 7> ShortDayNames, LongDayNames;       // Sunday first
};

// Formats value by pattern; never fails. The value is rounded to the millisecond
// before it is split. Non-finite values count as 0 (1899-12-30 00:00) and values
// outside the years 1 to 9999 are clamped to that range. The era codes g/gg give an
// empty name and e/ee the plain year: the calendar is always Gregorian. The result
// is cut at 256 characters (UTF-8 code points).
std::string FormatDateTime(const std::string& pattern, TDateTime value, const TFormatSettings& settings);
