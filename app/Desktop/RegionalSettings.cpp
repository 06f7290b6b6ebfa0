#include "RegionalSettings.h"

#include <QLocale>
#include <QString>

namespace {

struct TTimeTraits {
  bool LeadingZero = false;  // HH or hh
  bool TwelveHour = false;   // an AP/ap/A/a marker
  bool MarkerFirst = false;  // the marker stands before the hour
};

TTimeTraits ReadTimeTraits(const QString& format) {
  TTimeTraits traits;
  qsizetype hourAt = -1, markerAt = -1;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == u'\'') {
      quoted = !quoted;  // Qt's '' (a quote character) toggles twice
    } else if (quoted) {
      continue;
    } else if (c == u'h' || c == u'H') {
      if (hourAt < 0) hourAt = i;
      if (i + 1 < format.size() && format[i + 1] == c) traits.LeadingZero = true;
    } else if ((c == u'a' || c == u'A') && markerAt < 0) {
      markerAt = i;
    }
  }
  traits.TwelveHour = markerAt >= 0;
  traits.MarkerFirst = traits.TwelveHour && (hourAt < 0 || markerAt < hourAt);
  return traits;
}

// Built rather than translated: our AMPM code is the only marker that shows the
// locale's own AM and PM strings.
std::string TimePattern(const TTimeTraits& traits, bool withSeconds) {
  std::string pattern = traits.LeadingZero ? "hh:mm" : "h:mm";
  if (withSeconds) pattern += ":ss";
  if (traits.TwelveHour) pattern = traits.MarkerFirst ? "AMPM " + pattern : pattern + " AMPM";
  return pattern;
}

// Our single-quoted text cannot hold a single quote, so that one goes in double quotes.
void AppendLiteral(QString& out, const QString& text) {
  QString run;
  const auto flush = [&] {
    if (!run.isEmpty()) out += u'\'' + run + u'\'';
    run.clear();
  };
  for (const QChar c : text) {
    if (c == u'\'') {
      flush();
      out += QStringLiteral("\"'\"");
    } else {
      run += c;
    }
  }
  flush();
}

// Qt's quoted text from the quote at pos: '' inside is a quote character, and an
// unterminated quote runs to the end. Returns the position after it.
qsizetype ReadQtQuoted(const QString& format, qsizetype pos, QString& text) {
  for (++pos; pos < format.size(); ++pos) {
    if (format[pos] != u'\'') {
      text += format[pos];
    } else if (pos + 1 < format.size() && format[pos + 1] == u'\'') {
      text += u'\'';
      ++pos;
    } else {
      return pos + 1;
    }
  }
  return pos;
}

// Qt's d, M and y runs; any other ASCII letter is text to us but might be a code.
void AppendQtRun(QString& out, QChar letter, qsizetype count) {
  if (letter == u'd' || letter == u'y')
    out += QString(count, letter);
  else if (letter == u'M')
    out += QString(count, u'm');
  else
    AppendLiteral(out, QString(count, letter));
}

bool IsAsciiLetter(QChar c) { return c.unicode() < 128 && c.isLetter(); }

std::string TranslateQtDateFormat(const QString& format) {
  QString out;
  qsizetype pos = 0;
  while (pos < format.size()) {
    const QChar c = format[pos];
    if (c == u'\'') {
      QString text;
      pos = ReadQtQuoted(format, pos, text);
      AppendLiteral(out, text.isEmpty() ? QStringLiteral("'") : text);  // a bare '' is a quote character
    } else if (IsAsciiLetter(c)) {
      qsizetype end = pos + 1;
      while (end < format.size() && format[end] == c) ++end;
      AppendQtRun(out, c, end - pos);
      pos = end;
    } else {
      if (c == u'"')
        AppendLiteral(out, QStringLiteral("\""));
      else
        out += c;
      ++pos;
    }
  }
  return out.toStdString();
}

// The first character that is no letter, quote or invisible mark (Arabic formats carry
// right-to-left marks), or "/".
std::string DateSeparatorOf(const QString& shortDate) {
  for (qsizetype i = 0; i < shortDate.size(); ++i) {
    const QChar c = shortDate[i];
    if (c.isLetter() || c == u'\'' || c.category() == QChar::Other_Format) continue;
    const qsizetype length = c.isHighSurrogate() && i + 1 < shortDate.size() ? 2 : 1;
    return shortDate.mid(i, length).toStdString();
  }
  return "/";
}

// The character right after the first hour code, when it is a visible separator.
QString SeparatorAfterHour(const QString& timeFormat) {
  qsizetype pos = timeFormat.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
  if (pos < 0) return {};
  while (pos < timeFormat.size() && (timeFormat[pos] == u'h' || timeFormat[pos] == u'H')) ++pos;
  if (pos >= timeFormat.size()) return {};
  const QChar c = timeFormat[pos];
  if (c.isLetterOrNumber() || c.isSpace() || c == u'\'' || c.isSurrogate()) return {};
  return QString(c);
}

std::string TimeSeparatorOf(const QLocale& locale) {
  for (const auto format : {QLocale::LongFormat, QLocale::ShortFormat}) {
    const QString separator = SeparatorAfterHour(locale.timeFormat(format));
    if (!separator.isEmpty()) return separator.toStdString();
  }
  return ":";
}

void ReadNames(const QLocale& locale, TFormatSettings& settings) {
  for (int month = 1; month <= 12; ++month) {
    settings.ShortMonthNames[month - 1] = locale.monthName(month, QLocale::ShortFormat).toStdString();
    settings.LongMonthNames[month - 1] = locale.monthName(month, QLocale::LongFormat).toStdString();
  }
  for (int day = 0; day < 7; ++day) {
    const int qtDay = day == 0 ? 7 : day;  // Qt counts Monday 1 to Sunday 7
    settings.ShortDayNames[day] = locale.dayName(qtDay, QLocale::ShortFormat).toStdString();
    settings.LongDayNames[day] = locale.dayName(qtDay, QLocale::LongFormat).toStdString();
  }
}

}  // namespace

TFormatSettings FormatSettingsFromLocale(const QLocale& locale) {
  TFormatSettings settings;
  const TTimeTraits traits = ReadTimeTraits(locale.timeFormat(QLocale::LongFormat));
  settings.LongTimeFormat = TimePattern(traits, true);
  settings.ShortTimeFormat = TimePattern(traits, false);
  const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
  settings.ShortDateFormat = TranslateQtDateFormat(shortDate);
  settings.LongDateFormat = TranslateQtDateFormat(locale.dateFormat(QLocale::LongFormat));
  settings.TimeAMString = locale.amText().toStdString();
  settings.TimePMString = locale.pmText().toStdString();
  settings.DateSeparator = DateSeparatorOf(shortDate);
  settings.TimeSeparator = TimeSeparatorOf(locale);
  ReadNames(locale, settings);
  return settings;
}

TFormatSettings UsEnglishFormatSettings() {
  return FormatSettingsFromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
}
