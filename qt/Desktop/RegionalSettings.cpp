// SPDX-License-Identifier: MIT
#include "RegionalSettings.h"

#include <QLocale>
#include <QString>

#include "TimeText/PictureTranslation.h"

namespace {

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
  const TTimeTraits traits = ReadTimeTraits(locale.timeFormat(QLocale::LongFormat).toStdString());
  settings.LongTimeFormat = TimePattern(traits, true);
  settings.ShortTimeFormat = TimePattern(traits, false);
  const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
  settings.ShortDateFormat = TranslateDatePicture(shortDate.toStdString(), false);
  settings.LongDateFormat = TranslateDatePicture(locale.dateFormat(QLocale::LongFormat).toStdString(), false);
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
