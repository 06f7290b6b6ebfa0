// SPDX-License-Identifier: MIT
#include "TimeText/FormatDateTime.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

constexpr std::size_t MaxChars = 256;
// 0001-01-01 00:00:00.000 and 9999-12-31 23:59:59.999: keeps the calendar arithmetic
// far from overflow and every year at four digits or fewer.
constexpr TDateTime MinValue = -693593.0;
constexpr TDateTime MaxValue = 2958465.0 + 86399999.0 / MSecsPerDay;

// ASCII only: pattern letters are ASCII, and bytes of UTF-8 text must stay as they are.
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view word) {
  if (text.size() - pos < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (Upper(text[pos + i]) != word[i]) return false;
  return true;
}

bool IsMarkerAt(std::string_view pattern, std::size_t pos) {
  return StartsWithNoCase(pattern, pos, "AM/PM") || StartsWithNoCase(pattern, pos, "A/P") ||
         StartsWithNoCase(pattern, pos, "AMPM");
}

// An hour code uses the 12-hour clock when, scanning on from it, the first a outside
// quotes begins an AM/PM marker; the next hour code ends the search.
bool MarkerFollows(std::string_view pattern, std::size_t pos) {
  char quote = 0;
  for (; pos < pattern.size(); ++pos) {
    const char c = pattern[pos];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (Upper(c) == 'H') {
      return false;
    } else if (Upper(c) == 'A') {
      return IsMarkerAt(pattern, pos);
    }
  }
  return false;
}

std::size_t RunLength(std::string_view pattern, std::size_t pos) {
  const char letter = Upper(pattern[pos]);
  std::size_t end = pos + 1;
  while (end < pattern.size() && Upper(pattern[end]) == letter) ++end;
  return end - pos;
}

std::string Number(int value, std::size_t digits) {
  std::string text = std::to_string(value);
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return text;
}

TDateTime SafeValue(TDateTime value) {
  if (!std::isfinite(value)) return 0.0;
  return std::clamp(value, MinValue, MaxValue);
}

// Cuts after maxChars UTF-8 code points, never inside one.
std::string CutToChars(std::string text, std::size_t maxChars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++chars > maxChars) {
      text.resize(i);
      break;
    }
  }
  return text;
}

class TWriter {
public:
  TWriter(const Platform::TLocalDateTime& time, const TFormatSettings& settings) : FTime(time), FSettings(settings) {}

  // depth 0 is the caller's pattern; codes standing for whole patterns expand only there.
  void Append(std::string_view pattern, int depth);

  std::string Text;

private:
  struct TLevel {
    int Depth = 0;
    bool Use12Hour = false;  // an AM/PM marker has been written
    bool AfterHour = false;  // the last letter code was an hour: m means minutes
  };
  struct TCode {
    std::string_view Pattern;
    std::size_t End;  // just after the run of letters
    std::size_t Count;
    TLevel& Level;
  };
  using THandler = void (TWriter::*)(const TCode&);
  static THandler HandlerFor(char letter);

  std::size_t AppendCode(std::string_view pattern, std::size_t pos, TLevel& level);
  std::size_t AppendQuoted(std::string_view pattern, std::size_t pos);
  std::size_t AppendA(std::string_view pattern, std::size_t pos, TLevel& level);
  std::size_t AppendMarker(std::string_view pattern, std::size_t pos);
  void AppendOther(char c);
  void Expand(const std::string& pattern, const TLevel& level);

  void Day(const TCode& code);
  void Month(const TCode& code);
  void Year(const TCode& code);
  void Hour(const TCode& code);
  void Minute(const TCode& code) { Text += Number(FTime.Minute, std::min<std::size_t>(code.Count, 2)); }
  void Second(const TCode& code) { Text += Number(FTime.Second, std::min<std::size_t>(code.Count, 2)); }
  void Millisecond(const TCode& code) { Text += Number(FTime.Millisecond, std::min<std::size_t>(code.Count, 3)); }
  void Time(const TCode& code) {
    Expand(code.Count == 1 ? FSettings.ShortTimeFormat : FSettings.LongTimeFormat, code.Level);
  }
  void DateAndTime(const TCode& code);
  // The calendar is Gregorian: no era name, and the year of the era is the year.
  void EraName(const TCode&) {}
  void EraYear(const TCode& code) { Text += Number(FTime.Year, std::min<std::size_t>(code.Count, 2)); }

  const Platform::TLocalDateTime FTime;
  const TFormatSettings& FSettings;
};

TWriter::THandler TWriter::HandlerFor(char letter) {
  static constexpr struct {
    char Letter;
    THandler Handler;
  } codes[] = {{'C', &TWriter::DateAndTime}, {'D', &TWriter::Day},        {'E', &TWriter::EraYear},
               {'G', &TWriter::EraName},     {'H', &TWriter::Hour},       {'M', &TWriter::Month},
               {'N', &TWriter::Minute},      {'S', &TWriter::Second},     {'T', &TWriter::Time},
               {'Y', &TWriter::Year},        {'Z', &TWriter::Millisecond}};
  for (const auto& code : codes)
    if (code.Letter == letter) return code.Handler;
  return nullptr;
}

void TWriter::Append(std::string_view pattern, int depth) {
  TLevel level{depth};
  std::size_t pos = 0;
  while (pos < pattern.size()) {
    const char c = pattern[pos];
    if (c == '\'' || c == '"') {
      pos = AppendQuoted(pattern, pos);
    } else if (Upper(c) == 'A') {
      pos = AppendA(pattern, pos, level);
    } else if (HandlerFor(Upper(c)) != nullptr) {
      pos = AppendCode(pattern, pos, level);
    } else {
      AppendOther(c);
      ++pos;
    }
  }
}

std::size_t TWriter::AppendCode(std::string_view pattern, std::size_t pos, TLevel& level) {
  const std::size_t count = RunLength(pattern, pos);
  char letter = Upper(pattern[pos]);
  if (letter == 'M' && level.AfterHour) letter = 'N';
  level.AfterHour = letter == 'H';
  (this->*HandlerFor(letter))(TCode{pattern, pos + count, count, level});
  return pos + count;
}

// An unterminated quote runs to the end of the pattern.
std::size_t TWriter::AppendQuoted(std::string_view pattern, std::size_t pos) {
  const std::size_t close = pattern.find(pattern[pos], pos + 1);
  const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
  Text.append(pattern.substr(pos + 1, end - pos - 1));
  return std::min(end + 1, pattern.size());
}

std::size_t TWriter::AppendA(std::string_view pattern, std::size_t pos, TLevel& level) {
  if (const std::size_t length = AppendMarker(pattern, pos); length != 0) {
    level.Use12Hour = true;
    level.AfterHour = false;
    return pos + length;
  }
  const std::size_t length = StartsWithNoCase(pattern, pos, "AAAA") ? 4 : StartsWithNoCase(pattern, pos, "AAA") ? 3 : 0;
  if (length == 0) {
    Text += pattern[pos];  // any other a is an ordinary character
    return pos + 1;
  }
  Text += (length == 4 ? FSettings.LongDayNames : FSettings.ShortDayNames)[FTime.DayOfWeek];
  level.AfterHour = false;
  return pos + length;
}

// Writes the AM/PM marker standing at pos, if any; returns its length, 0 for none.
std::size_t TWriter::AppendMarker(std::string_view pattern, std::size_t pos) {
  const bool pm = FTime.Hour >= 12;
  if (StartsWithNoCase(pattern, pos, "AM/PM")) {
    Text.append(pattern.substr(pos + (pm ? 3 : 0), 2));
    return 5;
  }
  if (StartsWithNoCase(pattern, pos, "A/P")) {
    Text += pattern[pos + (pm ? 2 : 0)];
    return 3;
  }
  if (StartsWithNoCase(pattern, pos, "AMPM")) {
    Text += pm ? FSettings.TimePMString : FSettings.TimeAMString;
    return 4;
  }
  return 0;
}

void TWriter::AppendOther(char c) {
  if (c == '/')
    Text += FSettings.DateSeparator;
  else if (c == ':')
    Text += FSettings.TimeSeparator;
  else
    Text += c;
}

void TWriter::Expand(const std::string& pattern, const TLevel& level) {
  if (level.Depth == 0) Append(pattern, 1);
}

void TWriter::Day(const TCode& code) {
  switch (code.Count) {
    case 1:
    case 2: Text += Number(FTime.Day, code.Count); break;
    case 3: Text += FSettings.ShortDayNames[FTime.DayOfWeek]; break;
    case 4: Text += FSettings.LongDayNames[FTime.DayOfWeek]; break;
    case 5: Expand(FSettings.ShortDateFormat, code.Level); break;
    default: Expand(FSettings.LongDateFormat, code.Level); break;
  }
}

void TWriter::Month(const TCode& code) {
  if (code.Count <= 2)
    Text += Number(FTime.Month, code.Count);
  else
    Text += (code.Count == 3 ? FSettings.ShortMonthNames : FSettings.LongMonthNames)[FTime.Month - 1];
}

void TWriter::Year(const TCode& code) { Text += code.Count <= 2 ? Number(FTime.Year % 100, 2) : Number(FTime.Year, 4); }

void TWriter::Hour(const TCode& code) {
  int hour = FTime.Hour;
  if (code.Level.Use12Hour || MarkerFollows(code.Pattern, code.End)) {
    if (hour == 0) hour = 12;
    if (hour > 12) hour -= 12;
  }
  Text += Number(hour, std::min<std::size_t>(code.Count, 2));
}

void TWriter::DateAndTime(const TCode& code) {
  if (code.Level.Depth != 0) return;
  Append(FSettings.ShortDateFormat, 1);
  if (FTime.Hour == 0 && FTime.Minute == 0 && FTime.Second == 0) return;
  Text += ' ';
  Append(FSettings.LongTimeFormat, 1);
}

}  // namespace

std::string FormatDateTime(const std::string& pattern, TDateTime value, const TFormatSettings& settings) {
  TWriter writer(DecodeDateTime(SafeValue(value)), settings);
  writer.Append(pattern, 0);
  return CutToChars(std::move(writer.Text), MaxChars);
}
