// SPDX-License-Identifier: MIT
// The system's date and time pictures in our pattern language.
#include <gtest/gtest.h>

#include "TimeText/PictureTranslation.h"

namespace {

// Letters that are no date code to the system are text, though they would be codes to us.
TEST(PictureTranslation, DatePictures) {
  const struct {
    const char* Picture;
    bool WithEra;
    const char* Pattern;
  } cases[] = {
      {"dddd, MMMM d, yyyy", false, "dddd, mmmm d, yyyy"},
      {"dddd, d' de 'MMMM' de 'yyyy", true, "dddd, d' de 'mmmm' de 'yyyy"},
      {"d. MMMM yyyy 'h'", true, "d. mmmm yyyy 'h'"},
      {"yyyy\xE5\xB9\xB4M\xE6\x9C\x88"
       "d\xE6\x97\xA5"
       "dddd",
       false,
       "yyyy\xE5\xB9\xB4m\xE6\x9C\x88"
       "d\xE6\x97\xA5"
       "dddd"},
      {"yyyy'\xE5\xB9\xB4'M'\xE6\x9C\x88'd'\xE6\x97\xA5'", true, "yyyy'\xE5\xB9\xB4'm'\xE6\x9C\x88'd'\xE6\x97\xA5'"},
      {"d 'o''clock' MMM", true, "d 'o'\"'\"'clock' mmm"},
      {"d ''MMM", false, "d \"'\"mmm"},
      {"dd hh", true, "dd 'hh'"},
      {"gg yy/M/d", true, "gg yy/m/d"},
      {"gg yy/M/d", false, "'gg' yy/m/d"},
      {"'unterminated", true, "'unterminated'"},
      {"d \"M\"", true, "d '\"'m'\"'"},
  };
  for (const auto& c : cases) EXPECT_EQ(TranslateDatePicture(c.Picture, c.WithEra), c.Pattern) << c.Picture;
}

// Qt 6.4's long time formats (en_US, de_DE, ja_JP, ko_KR) and quoted letters.
TEST(PictureTranslation, TimePatternsFromTheHour) {
  const struct {
    const char* Picture;
    const char* Long;
    const char* Short;
  } cases[] = {
      {"h:mm:ss AP t", "h:mm:ss AMPM", "h:mm AMPM"},
      {"HH:mm:ss t", "hh:mm:ss", "hh:mm"},
      {"H\xE6\x99\x82mm\xE5\x88\x86ss\xE7\xA7\x92 t", "h:mm:ss", "h:mm"},
      {"AP h:mm:ss t", "AMPM h:mm:ss", "AMPM h:mm"},
      {"H 'Uhr' mm 'am'", "h:mm:ss", "h:mm"},
  };
  for (const auto& c : cases) {
    const TTimeTraits traits = ReadTimeTraits(c.Picture);
    EXPECT_EQ(TimePattern(traits, true), c.Long) << c.Picture;
    EXPECT_EQ(TimePattern(traits, false), c.Short) << c.Picture;
  }
}

}  // namespace
