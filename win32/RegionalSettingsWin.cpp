// SPDX-License-Identifier: MIT
#include "RegionalSettingsWin.h"

#include <windows.h>

#include "Platform/Windows/Utf8.h"
#include "TimeText/PictureTranslation.h"

namespace {

std::wstring LocaleText(const wchar_t* locale, LCTYPE type) {
  wchar_t buffer[256] = {};
  const int length = GetLocaleInfoEx(locale, type, buffer, static_cast<int>(std::size(buffer)));
  return length > 0 ? std::wstring(buffer, static_cast<std::size_t>(length - 1)) : std::wstring();
}

std::string LocaleUtf8(const wchar_t* locale, LCTYPE type) { return Platform::Utf8FromWide(LocaleText(locale, type)); }

DWORD LocaleNumber(const wchar_t* locale, LCTYPE type) {
  DWORD value = 0;
  GetLocaleInfoEx(locale, type | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&value),
                  sizeof value / sizeof(wchar_t));
  return value;
}

std::string LocaleTimePattern(const wchar_t* locale, bool withSeconds) {
  TTimeTraits traits;
  traits.LeadingZero = LocaleNumber(locale, LOCALE_ITLZERO) != 0;
  traits.TwelveHour = LocaleNumber(locale, LOCALE_ITIME) == 0;
  traits.MarkerFirst = LocaleNumber(locale, LOCALE_ITIMEMARKPOSN) != 0;
  return TimePattern(traits, withSeconds);
}

std::string DatePattern(const wchar_t* locale, LCTYPE type) {
  return TranslateDatePicture(LocaleUtf8(locale, type), true);
}

void ReadNames(const wchar_t* locale, TFormatSettings& settings) {
  for (int month = 0; month < 12; ++month) {
    settings.LongMonthNames[month] = LocaleUtf8(locale, LOCALE_SMONTHNAME1 + month);
    settings.ShortMonthNames[month] = LocaleUtf8(locale, LOCALE_SABBREVMONTHNAME1 + month);
  }
  // Windows counts Monday (1) to Sunday (7); our names begin with Sunday.
  for (int day = 0; day < 7; ++day) {
    const int windowsDay = day == 0 ? 6 : day - 1;
    settings.LongDayNames[day] = LocaleUtf8(locale, LOCALE_SDAYNAME1 + windowsDay);
    settings.ShortDayNames[day] = LocaleUtf8(locale, LOCALE_SABBREVDAYNAME1 + windowsDay);
  }
}

std::string OrDefault(std::string text, const char* fallback) { return text.empty() ? fallback : text; }

}  // namespace

TFormatSettings FormatSettingsForLocale(const wchar_t* localeName) {
  TFormatSettings settings;
  settings.LongTimeFormat = LocaleTimePattern(localeName, true);
  settings.ShortTimeFormat = LocaleTimePattern(localeName, false);
  settings.LongDateFormat = DatePattern(localeName, LOCALE_SLONGDATE);
  settings.ShortDateFormat = DatePattern(localeName, LOCALE_SSHORTDATE);
  settings.TimeAMString = LocaleUtf8(localeName, LOCALE_S1159);
  settings.TimePMString = LocaleUtf8(localeName, LOCALE_S2359);
  settings.DateSeparator = OrDefault(LocaleUtf8(localeName, LOCALE_SDATE), "/");
  settings.TimeSeparator = OrDefault(LocaleUtf8(localeName, LOCALE_STIME), ":");
  ReadNames(localeName, settings);
  return settings;
}

TFormatSettings UserFormatSettings() { return FormatSettingsForLocale(LOCALE_NAME_USER_DEFAULT); }

TFormatSettings UsEnglishFormatSettings() { return FormatSettingsForLocale(L"en-US"); }
