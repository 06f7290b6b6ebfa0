#include "RegionalSettingsWin.h"

#include <windows.h>

#include "Platform/Windows/Utf8.h"

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

// Built rather than translated: our AMPM code is the only marker that shows the
// locale's own AM and PM strings.
std::string TimePattern(const wchar_t* locale, bool withSeconds) {
  std::string pattern = LocaleNumber(locale, LOCALE_ITLZERO) != 0 ? "hh:mm" : "h:mm";
  if (withSeconds) pattern += ":ss";
  if (LocaleNumber(locale, LOCALE_ITIME) == 0)
    pattern = LocaleNumber(locale, LOCALE_ITIMEMARKPOSN) != 0 ? "AMPM " + pattern : pattern + " AMPM";
  return pattern;
}

// Our single-quoted text cannot hold a single quote, so that one goes in double quotes.
void AppendLiteral(std::wstring& out, std::wstring_view text) {
  std::wstring run;
  const auto flush = [&] {
    if (!run.empty()) out += L'\'' + run + L'\'';
    run.clear();
  };
  for (const wchar_t c : text) {
    if (c == L'\'') {
      flush();
      out += L"\"'\"";
    } else {
      run += c;
    }
  }
  flush();
}

// Quoted text from the quote at pos: '' inside is a quote character, and an
// unterminated quote runs to the end. Returns the position after it.
std::size_t ReadQuoted(std::wstring_view picture, std::size_t pos, std::wstring& text) {
  for (++pos; pos < picture.size(); ++pos) {
    if (picture[pos] != L'\'') {
      text += picture[pos];
    } else if (pos + 1 < picture.size() && picture[pos + 1] == L'\'') {
      text += L'\'';
      ++pos;
    } else {
      return pos + 1;
    }
  }
  return pos;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// Windows' d, M, y and g runs; any other letter is text to Windows but may be a code to us.
void AppendRun(std::wstring& out, wchar_t letter, std::size_t count) {
  if (letter == L'd' || letter == L'y' || letter == L'g')
    out.append(count, letter);
  else if (letter == L'M')
    out.append(count, L'm');
  else
    AppendLiteral(out, std::wstring(count, letter));
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

std::string TranslateWindowsDatePicture(std::wstring_view picture) {
  std::wstring out;
  std::size_t pos = 0;
  while (pos < picture.size()) {
    const wchar_t c = picture[pos];
    if (c == L'\'') {
      std::wstring text;
      pos = ReadQuoted(picture, pos, text);
      AppendLiteral(out, text.empty() ? L"'" : text);  // a bare '' is a quote character
    } else if (IsAsciiLetter(c)) {
      std::size_t end = pos + 1;
      while (end < picture.size() && picture[end] == c) ++end;
      AppendRun(out, c, end - pos);
      pos = end;
    } else {
      if (c == L'"')
        AppendLiteral(out, L"\"");
      else
        out += c;
      ++pos;
    }
  }
  return Platform::Utf8FromWide(out);
}

TFormatSettings FormatSettingsForLocale(const wchar_t* localeName) {
  TFormatSettings settings;
  settings.LongTimeFormat = TimePattern(localeName, true);
  settings.ShortTimeFormat = TimePattern(localeName, false);
  settings.LongDateFormat = TranslateWindowsDatePicture(LocaleText(localeName, LOCALE_SLONGDATE));
  settings.ShortDateFormat = TranslateWindowsDatePicture(LocaleText(localeName, LOCALE_SSHORTDATE));
  settings.TimeAMString = LocaleUtf8(localeName, LOCALE_S1159);
  settings.TimePMString = LocaleUtf8(localeName, LOCALE_S2359);
  settings.DateSeparator = OrDefault(LocaleUtf8(localeName, LOCALE_SDATE), "/");
  settings.TimeSeparator = OrDefault(LocaleUtf8(localeName, LOCALE_STIME), ":");
  ReadNames(localeName, settings);
  return settings;
}

TFormatSettings UserFormatSettings() { return FormatSettingsForLocale(LOCALE_NAME_USER_DEFAULT); }

TFormatSettings UsEnglishFormatSettings() { return FormatSettingsForLocale(L"en-US"); }
