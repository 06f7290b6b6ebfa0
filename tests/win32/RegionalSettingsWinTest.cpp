// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "RegionalSettingsWin.h"
#include "TimeText/FormatDateTime.h"

namespace {

// 2024-12-08 (a Sunday) 21:30:05 as days since 1899-12-30.
constexpr TDateTime SundayEvening = 45634.0 + (21 * 3600 + 30 * 60 + 5) / 86400.0;

// The local display format: long time, weekday, long date.
std::string LocalDisplay(const TFormatSettings& settings) {
  return FormatDateTime(settings.LongTimeFormat + ", dddd, " + settings.LongDateFormat, SundayEvening, settings);
}

TEST(RegionalSettingsWinTest, UsEnglishHasATwelveHourClockAndEnglishNames) {
  const TFormatSettings us = FormatSettingsForLocale(L"en-US");
  EXPECT_EQ(us.LongTimeFormat, "h:mm:ss AMPM");
  EXPECT_EQ(us.ShortTimeFormat, "h:mm AMPM");
  EXPECT_EQ(us.LongDateFormat, "dddd, mmmm d, yyyy");
  EXPECT_EQ(us.ShortMonthNames[11], "Dec");
  EXPECT_EQ(us.LongDayNames[0], "Sunday");
  EXPECT_EQ(us.ShortDayNames[1], "Mon");
  EXPECT_EQ(LocalDisplay(us), "9:30:05 PM, Sunday, Sunday, December 8, 2024");
  EXPECT_EQ(FormatDateTime("dd-mmm -yyyy hh:mm:ss", SundayEvening, UsEnglishFormatSettings()), "08-Dec -2024 21:30:05");
}

TEST(RegionalSettingsWinTest, GermanPadsTheHourAndNamesInGerman) {
  const TFormatSettings de = FormatSettingsForLocale(L"de-DE");
  EXPECT_EQ(de.LongTimeFormat, "hh:mm:ss");
  EXPECT_EQ(de.DateSeparator, ".");
  EXPECT_EQ(de.TimeSeparator, ":");
  EXPECT_EQ(de.LongDayNames[0], "Sonntag");
  EXPECT_EQ(de.LongMonthNames[2], "M\xC3\xA4rz");  // UTF-8 inside the program
  EXPECT_EQ(LocalDisplay(de), "21:30:05, Sonntag, Sonntag, 8. Dezember 2024");
}

}  // namespace
