// SPDX-License-Identifier: MIT
#include "TimeText/FormatClockTime.h"

namespace {

constexpr const char* FixedPattern = "dd-mmm -yyyy hh:mm:ss";

}  // namespace

std::string FormatClockTime(bool useLocalFormat, TDateTime value, const TFormatSettings& user,
                            const TFormatSettings& us) {
  if (useLocalFormat) return FormatDateTime(user.LongTimeFormat + ", dddd, " + user.LongDateFormat, value, user);
  return FormatDateTime(FixedPattern, value, us);
}
