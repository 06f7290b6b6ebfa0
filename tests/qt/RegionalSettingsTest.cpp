// SPDX-License-Identifier: MIT
// Regional settings built from Qt's locale data, as the clock boxes show them.
#include <ostream>

#include <QLocale>
#include <gtest/gtest.h>

#include "RegionalSettings.h"
#include "TimeText/FormatClockTime.h"
#include "TimeText/FormatDateTime.h"

namespace {

const TDateTime Evening = EncodeDateTime(2024, 12, 8, 21, 30, 5, 123);  // a Sunday
const TDateTime Morning = EncodeDateTime(2024, 3, 4, 9, 5, 7, 5);       // a Monday
const TDateTime AlmostNextSecond = EncodeDateTime(2024, 12, 8, 21, 30, 5, 0) + 0.9996 / SecsPerDay;

TEST(RegionalSettings, FixedFormatUsesUsEnglishWhateverTheUsersLocale) {
  const TFormatSettings user = FormatSettingsFromLocale(QLocale(QLocale::German, QLocale::Germany));
  const TFormatSettings us = UsEnglishFormatSettings();
  EXPECT_EQ(FormatClockTime(false, EncodeDateTime(2024, 12, 8, 21, 30, 5, 0), user, us), "08-Dec -2024 21:30:05");
  EXPECT_EQ(FormatClockTime(false, AlmostNextSecond, user, us), "08-Dec -2024 21:30:06");
  EXPECT_EQ(FormatClockTime(false, Morning, user, us), "04-Mar -2024 09:05:07");
}

struct TLocaleCase {
  QLocale::Language Language;
  QLocale::Territory Territory;
  TDateTime Value;
  std::string LocalText;   // the local display format
  std::string ShortTexts;  // "ddddd t": the short patterns and the date separator
};

// en_US and de_DE long dates begin with the weekday, which therefore shows twice.
const TLocaleCase LocaleCases[] = {
    {QLocale::English, QLocale::UnitedStates, Evening, "9:30:05 PM, Sunday, Sunday, December 8, 2024",
     "12/8/24 9:30 PM"},
    {QLocale::German, QLocale::Germany, Morning, "09:05:07, Montag, Montag, 4. März 2024", "04.03.24 09:05"},
    // The marker before the hour.
    {QLocale::Korean, QLocale::SouthKorea, Evening, "오후 9:30:05, 일요일, 2024년 12월 8일 일요일",
     "24. 12. 8. 오후 9:30"},
    // A time separator other than the colon.
    {QLocale::Finnish, QLocale::Finland, Evening, "21.30.05, sunnuntaina, sunnuntaina 8. joulukuuta 2024",
     "8.12.2024 21.30"},
    // Quoted text in the date picture.
    {QLocale::Spanish, QLocale::Spain, Evening, "21:30:05, domingo, domingo, 8 de diciembre de 2024", "8/12/24 21:30"},
};

void PrintTo(const TLocaleCase& c, std::ostream* os) { *os << QLocale(c.Language, c.Territory).name().toStdString(); }

class LocaleFormats : public testing::TestWithParam<TLocaleCase> {};

TEST_P(LocaleFormats, LocalFormatAndShortPatterns) {
  const auto& c = GetParam();
  const QLocale locale(c.Language, c.Territory);
  const TFormatSettings user = FormatSettingsFromLocale(locale);
  EXPECT_EQ(FormatClockTime(true, c.Value, user, UsEnglishFormatSettings()), c.LocalText);
  EXPECT_EQ(FormatDateTime("ddddd t", c.Value, user), c.ShortTexts);
}

INSTANTIATE_TEST_SUITE_P(Table, LocaleFormats, testing::ValuesIn(LocaleCases));

}  // namespace
