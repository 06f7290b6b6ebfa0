#include "FormatClockTime.h"

#include "RegionalSettings.h"

namespace {

constexpr const char* FixedPattern = "dd-mmm -yyyy hh:mm:ss";

std::string LocalClockText(TDateTime value, const TFormatSettings& user) {
  return FormatDateTime(user.LongTimeFormat + ", dddd, " + user.LongDateFormat, value, user);
}

}  // namespace

std::string FormatClockTime(bool useLocalFormat, TDateTime value) {
  if (useLocalFormat) return LocalClockText(value, UserFormatSettings());
  return FormatDateTime(FixedPattern, value, UsEnglishFormatSettings());
}

std::string FormatClockTime(bool useLocalFormat, TDateTime value, const TFormatSettings& user,
                            const TFormatSettings& us) {
  return useLocalFormat ? LocalClockText(value, user) : FormatDateTime(FixedPattern, value, us);
}
