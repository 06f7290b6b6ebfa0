// SPDX-License-Identifier: MIT
#pragma once
#include <string>
#include <string_view>

// The system's date and time pictures in the display's pattern language
// (FormatDateTime.h). Texts are UTF-8.

// A date picture: runs of d and y stay, M becomes m, and the era's g stays where
// the system has one (Windows; Qt has none). Any other ASCII letter is text to
// the system though it may be a code to us, so it is quoted; 'quoted' text with
// '' for a quote character is kept as text.
std::string TranslateDatePicture(std::string_view picture, bool withEra);

// What the long time picture says about the hour.
struct TTimeTraits {
  bool LeadingZero = false;  // the hour padded to two digits
  bool TwelveHour = false;   // an AM/PM marker
  bool MarkerFirst = false;  // the marker stands before the hour
};

// From a picture in Qt's language: HH or hh pads, an a or A marks the 12-hour clock.
TTimeTraits ReadTimeTraits(std::string_view picture);

// Built rather than translated: our AMPM code is the only marker that shows the
// locale's own AM and PM strings. "h" or "hh", ":mm", ":ss" when asked for, and
// " AMPM" (or "AMPM " in front) on a 12-hour clock.
std::string TimePattern(const TTimeTraits& traits, bool withSeconds);
