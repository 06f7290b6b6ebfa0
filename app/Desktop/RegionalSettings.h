#pragma once
#include "FormatDateTime.h"

class QLocale;

// Regional settings from Qt's locale data, turned into our pattern language. The time
// patterns are built, not translated: "h" or "hh" (when the locale pads the hour),
// ":mm:ss", and " AMPM" (or "AMPM " in front) on a 12-hour locale; the short time
// pattern is the same without the seconds. The date patterns are Qt's, translated.
TFormatSettings FormatSettingsFromLocale(const QLocale& locale);

// US English.
TFormatSettings UsEnglishFormatSettings();
