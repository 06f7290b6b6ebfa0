// SPDX-License-Identifier: MIT
#pragma once
// Regional settings for tests: what the front-ends build for the C.UTF-8 locale
// and for US English.
#include "TimeText/FormatDateTime.h"

namespace KestrineTest {

inline TFormatSettings EnglishNames() {
  TFormatSettings s;
  s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  s.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                      "July",    "August",   "September", "October", "November", "December"};
  s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  s.TimeSeparator = ":";
  s.DateSeparator = "/";
  s.TimeAMString = "AM";
  s.TimePMString = "PM";
  return s;
}

inline TFormatSettings CFormatSettings() {
  TFormatSettings s = EnglishNames();
  s.LongTimeFormat = "hh:mm:ss";
  s.ShortTimeFormat = "hh:mm";
  s.LongDateFormat = "dddd, d mmmm yyyy";
  s.ShortDateFormat = "dd/mm/yyyy";
  return s;
}

inline TFormatSettings UsFormatSettings() {
  TFormatSettings s = EnglishNames();
  s.LongTimeFormat = "h:mm:ss AMPM";
  s.ShortTimeFormat = "h:mm AMPM";
  s.LongDateFormat = "dddd, mmmm d, yyyy";
  s.ShortDateFormat = "m/d/yy";
  return s;
}

}  // namespace KestrineTest
