// SPDX-License-Identifier: MIT
#pragma once
#include "TimeText/FormatDateTime.h"

class QLocale;

// Regional settings from Qt's locale data, in our pattern language
// (PictureTranslation.h): the time patterns built from the long time format, the
// date patterns translated from Qt's.
TFormatSettings FormatSettingsFromLocale(const QLocale& locale);

// US English.
TFormatSettings UsEnglishFormatSettings();
