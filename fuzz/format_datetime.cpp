// SPDX-License-Identifier: MIT
// Arbitrary patterns, values and regional patterns through the pattern language
// and the window's clock texts: never more than 256 characters, never a broken
// UTF-8 sequence out of valid ones in, never a crash.
//
// Input: the value (the 8 bytes of a double), then texts separated by NUL bytes:
// the pattern, then the short and long date and time patterns, the AM and PM
// strings and the date and time separators; the ones missing are US English.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "FuzzCheck.h"
#include "TimeText/FormatClockTime.h"

using namespace KestrineFuzz;

namespace {

TFormatSettings UsEnglish() {
  TFormatSettings s;
  s.ShortDateFormat = "M/d/yyyy";
  s.LongDateFormat = "dddd, MMMM d, yyyy";
  s.ShortTimeFormat = "h:mm AMPM";
  s.LongTimeFormat = "h:mm:ss AMPM";
  s.TimeAMString = "AM";
  s.TimePMString = "PM";
  s.DateSeparator = "/";
  s.TimeSeparator = ":";
  s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  s.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                      "July",    "August",   "September", "October", "November", "December"};
  s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TReader in(data, size);
  std::uint8_t bytes[sizeof(double)];
  for (auto& b : bytes) b = in.Byte();
  double value = 0;
  std::memcpy(&value, bytes, sizeof value);

  std::vector<std::string> texts(1);
  for (std::size_t i = 0; i < in.RestSize(); ++i) {
    const char c = static_cast<char>(in.Rest()[i]);
    if (c == '\0')
      texts.emplace_back();
    else
      texts.back() += c;
  }
  texts.resize(std::max<std::size_t>(texts.size(), 9));
  const TFormatSettings us = UsEnglish();
  TFormatSettings user = us;
  std::string* fields[] = {&user.ShortDateFormat, &user.LongDateFormat, &user.ShortTimeFormat, &user.LongTimeFormat,
                           &user.TimeAMString,    &user.TimePMString,   &user.DateSeparator,   &user.TimeSeparator};
  bool utf8 = IsUtf8(texts[0]);
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    if (i + 1 < texts.size() && !texts[i + 1].empty()) *fields[i] = texts[i + 1];
    utf8 = utf8 && IsUtf8(*fields[i]);
  }

  const std::string text = FormatDateTime(texts[0], value, user);
  FUZZ_CHECK(CodePoints(text) <= 256);
  if (utf8) FUZZ_CHECK(IsUtf8(text));

  const std::string local = FormatClockTime(true, value, user, us);
  FUZZ_CHECK(CodePoints(local) <= 256);
  if (utf8) FUZZ_CHECK(IsUtf8(local));

  // The fixed format keeps its width for every value: the window's layout needs it.
  const std::string fixed = FormatClockTime(false, value, user, us);
  FUZZ_CHECK(fixed.size() == 21);

  if (std::isfinite(value) && value >= -693593.0 && value < 2958466.0) {
    const auto parts = DecodeDateTime(value);
    FUZZ_CHECK(parts.Year >= 1 && parts.Year <= 10000 && parts.Month >= 1 && parts.Month <= 12);
    FUZZ_CHECK(parts.Day >= 1 && parts.Day <= 31 && parts.DayOfWeek >= 0 && parts.DayOfWeek <= 6);
    FUZZ_CHECK(parts.Hour >= 0 && parts.Hour < 24 && parts.Minute >= 0 && parts.Minute < 60);
    FUZZ_CHECK(parts.Second >= 0 && parts.Second < 60 && parts.Millisecond >= 0 && parts.Millisecond < 1000);
  }
  return 0;
}
