#pragma once
#include <string>
#include <string_view>

#include "FormatDateTime.h"

// Regional settings from Windows' locale data, in our pattern language. The time
// patterns are built, not translated: "h" or "hh" (when the locale pads the hour),
// ":mm:ss", and " AMPM" (or "AMPM " in front) on a 12-hour locale; the short time
// pattern is the same without the seconds. The date pictures are translated.

// localeName: a name such as L"de-DE"; nullptr for the user's settings.
TFormatSettings FormatSettingsForLocale(const wchar_t* localeName);
TFormatSettings UserFormatSettings();
TFormatSettings UsEnglishFormatSettings();

// A Windows date picture (d, M, y, g codes, 'quoted' text) in our pattern language, UTF-8.
std::string TranslateWindowsDatePicture(std::wstring_view picture);
