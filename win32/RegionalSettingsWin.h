// SPDX-License-Identifier: MIT
#pragma once
#include "TimeText/FormatDateTime.h"

// Regional settings from Windows' locale data, in our pattern language
// (PictureTranslation.h): the time patterns built from the hour settings, the
// date pictures translated.

// localeName: a name such as L"de-DE"; nullptr for the user's settings.
TFormatSettings FormatSettingsForLocale(const wchar_t* localeName);
TFormatSettings UserFormatSettings();
TFormatSettings UsEnglishFormatSettings();
