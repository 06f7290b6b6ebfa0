// SPDX-License-Identifier: MIT
// The pattern language and the two formats of the clock boxes, with given settings.
#include <cmath>
#include <limits>
#include <ostream>
#include <random>

#include <gtest/gtest.h>

#include "TimeText/FormatClockTime.h"
#include "TimeText/FormatDateTime.h"
#include "TimeText/TestFormats.h"

namespace {

// Separators and AM/PM strings differ from the pattern characters, so the table shows
// where the settings were used.
TFormatSettings TestSettings() {
  TFormatSettings s = KestrineTest::UsFormatSettings();  // its English names
  s.ShortDateFormat = "d/m/yy";
  s.LongDateFormat = "dddd d mmmm yyyy";
  s.ShortTimeFormat = "h:mm";
  s.LongTimeFormat = "hh:mm:ss";
  s.TimeAMString = "vorm";
  s.TimePMString = "nachm";
  s.DateSeparator = "-";
  s.TimeSeparator = ".";
  return s;
}

const TDateTime Evening = EncodeDateTime(2024, 12, 8, 21, 30, 5, 123);  // a Sunday
const TDateTime Morning = EncodeDateTime(2024, 3, 4, 9, 5, 7, 5);       // a Monday
const TDateTime Midnight = EncodeDateTime(2024, 1, 1, 0, 0, 0, 0);
const TDateTime Noon = EncodeDateTime(2024, 1, 1, 12, 0, 0, 0);
const TDateTime AlmostNextSecond = EncodeDateTime(2024, 12, 8, 21, 30, 5, 0) + 0.9996 / SecsPerDay;
const TDateTime AlmostNextYear = EncodeDateTime(2024, 12, 31, 23, 59, 59, 0) + 0.9996 / SecsPerDay;
const TDateTime JustBelowRounding = EncodeDateTime(2024, 12, 8, 21, 30, 5, 0) + 0.9994 / SecsPerDay;

struct TPatternCase {
  const char* Pattern;
  TDateTime Value;
  std::string Expected;
};

const TPatternCase PatternCases[] = {
    // Day, month, year; letters case-insensitive, a run of one letter is one code.
    {"d dd ddd dddd", Morning, "4 04 Mon Monday"},
    {"m mm mmm mmmm mmmmmmm", Morning, "3 03 Mar March March"},
    {"y yy yyy yyyy yyyyy", Morning, "24 24 2024 2024 2024"},
    {"y yy yyyy", EncodeDateTime(5, 6, 7, 0, 0, 0, 0), "05 05 0005"},
    {"DD MMM YYYY|dD", Morning, "04 Mar 2024|04"},
    // Time of day; longer runs count as the longest code.
    {"h hh hhh n nn nnn s ss sss z zz zzz zzzz", Morning, "9 09 09 5 05 05 7 07 07 5 05 005 005"},
    // m after an hour code is minutes; quotes and other characters between do not
    // count, another letter code does.
    {"h:m|hh:mmmm", Morning, "9.5|09.05"},
    {"h 'mm' \"d\" m", Morning, "9 mm d 5"},
    {"h,-x m", Morning, "9,-x 5"},
    {"h d m|h:n:m|m h", Morning, "9 4 3|9.5.3|3 9"},
    {"h AAA m|h am/pm m", Morning, "9 Mon 3|9 am 3"},
    // Markers: AMPM from the settings, AM/PM and A/P as written.
    {"h:nn AMPM|h:nn ampm", Evening, "9.30 nachm|9.30 nachm"},
    {"hh ampm", Morning, "09 vorm"},
    {"h AM/PM|h Am/pM|h A/P|h a/p", Evening, "9 PM|9 pM|9 P|9 p"},
    {"h am/pm|h A/p", Morning, "9 am|9 A"},
    {"h AMPM", Midnight, "12 vorm"},
    {"h AMPM", Noon, "12 nachm"},
    // 12-hour detection: an earlier marker, or the first a outside quotes after the
    // hour; the search ends at the next hour code.
    {"AMPM h", Evening, "nachm 9"},
    {"h 'am/pm'", Evening, "21 am/pm"},
    {"h x a/p", Evening, "9 x p"},
    {"h Xa a/p", Evening, "21 Xa p"},
    {"h h a/p", Evening, "21 9 p"},
    {"AAA AAAA aaaa|A Aa", Morning, "Mon Monday Monday|A Aa"},
    // Separators and quoting; an unterminated quote runs to the end.
    {"hh:nn d/m", Evening, "21.30 8-12"},
    {"'d m y' \"h:n\" ''x", Evening, "d m y h:n x"},
    {"'say \"hi\"' \"it's\"", Evening, "say \"hi\" it's"},
    {"d 'mmm", Evening, "8 mmm"},
    // Whole patterns.
    {"ddddd|dddddd|ddddddddd", Evening, "8-12-24|Sunday 8 December 2024|Sunday 8 December 2024"},
    {"t|tt|ttt", Evening, "21.30|21.30.05|21.30.05"},
    {"c", Evening, "8-12-24 21.30.05"},
    {"c", Midnight + 0.5 / SecsPerDay, "1-1-24"},
    // The calendar is Gregorian: no era name, the plain year.
    {"[g][gg][e][ee]", Morning, "[][][2024][2024]"},
    // Rounded to the millisecond before splitting.
    {"hh:nn:ss.zzz", AlmostNextSecond, "21.30.06.000"},
    {"hh:nn:ss.zzz", JustBelowRounding, "21.30.05.999"},
    {"dd/mm/yyyy hh:nn:ss", AlmostNextYear, "01-01-2025 00.00.00"},
    // Values that are no date: non-finite counts as 0, the rest is clamped.
    {"yyyy/mm/dd hh:nn:ss.zzz", std::numeric_limits<double>::quiet_NaN(), "1899-12-30 00.00.00.000"},
    {"yyyy/mm/dd hh:nn:ss.zzz", std::numeric_limits<double>::infinity(), "1899-12-30 00.00.00.000"},
    {"yyyy/mm/dd hh:nn:ss.zzz", 1e300, "9999-12-31 23.59.59.999"},
    {"yyyy/mm/dd hh:nn:ss.zzz", -1e300, "0001-01-01 00.00.00.000"},
};

void PrintTo(const TPatternCase& c, std::ostream* os) { *os << '"' << c.Pattern << '"'; }

class PatternLanguage : public testing::TestWithParam<TPatternCase> {};

TEST_P(PatternLanguage, Formats) {
  const auto& c = GetParam();
  EXPECT_EQ(FormatDateTime(c.Pattern, c.Value, TestSettings()), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, PatternLanguage, testing::ValuesIn(PatternCases));

TEST(FormatDateTime, WholePatternsExpandOneLevelOnly) {
  TFormatSettings s = TestSettings();
  s.ShortDateFormat = s.LongDateFormat = s.ShortTimeFormat = s.LongTimeFormat = "<c|t|tt|ddddd|dddddd|d>";
  EXPECT_EQ(FormatDateTime("c", Evening, s), "<|||||8> <|||||8>");
  EXPECT_EQ(FormatDateTime("t tt ddddd dddddd", Evening, s), "<|||||8> <|||||8> <|||||8> <|||||8>");
}

TEST(FormatDateTime, CutsAt256CharactersNeverInsideOne) {
  const TFormatSettings s = TestSettings();
  EXPECT_EQ(FormatDateTime(std::string(300, 'x'), Evening, s), std::string(256, 'x'));
  EXPECT_EQ(FormatDateTime(std::string(255, 'x') + "üx", Evening, s), std::string(255, 'x') + "ü");
  // The cut applies to the expanded text.
  EXPECT_EQ(FormatDateTime(std::string(250, 'x') + "dddd", Evening, s), std::string(250, 'x') + "Sunday");
  EXPECT_EQ(FormatDateTime(std::string(252, 'x') + "dddd", Evening, s), std::string(252, 'x') + "Sund");
}

TEST(FormatDateTime, SurvivesArbitraryPatterns) {
  const std::string alphabet = "acdeghmnstyzACDHMNP/:'\" xü";
  std::mt19937 random(1234);
  const TFormatSettings s = TestSettings();
  for (int i = 0; i < 2000; ++i) {
    std::string pattern(random() % 40, ' ');
    for (char& c : pattern) c = alphabet[random() % alphabet.size()];
    const TDateTime value =
        std::ldexp(static_cast<double>(random()) - 2147483648.0, static_cast<int>(random() % 40) - 20);
    EXPECT_LE(FormatDateTime(pattern, value, s).size(), 256u * 4) << pattern;
  }
}

TEST(FormatClockTime, LocalFormatUsesTheUsersSettingsAndTheFixedOneUsEnglish) {
  const TFormatSettings user = TestSettings();
  const TFormatSettings us = KestrineTest::UsFormatSettings();
  EXPECT_EQ(FormatClockTime(true, Evening, user, us), "21.30.05, Sunday, Sunday 8 December 2024");
  EXPECT_EQ(FormatClockTime(false, EncodeDateTime(2024, 12, 8, 21, 30, 5, 0), user, us), "08-Dec -2024 21:30:05");
  EXPECT_EQ(FormatClockTime(false, AlmostNextSecond, user, us), "08-Dec -2024 21:30:06");
  EXPECT_EQ(FormatClockTime(false, Morning, user, us), "04-Mar -2024 09:05:07");
}

}  // namespace
