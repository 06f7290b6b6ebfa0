// SPDX-License-Identifier: MIT
#pragma once
#include <string>

#include "System/IdGlobal.h"
#include "TimeText/FormatDateTime.h"

// A DateTime value as the window shows it. The local format is the user's long time
// pattern, ", dddd, " and the user's long date pattern, with the user's settings; the
// fixed format is "dd-mmm -yyyy hh:mm:ss" with US English settings. Neither converts
// between time zones.
std::string FormatClockTime(bool useLocalFormat, TDateTime value, const TFormatSettings& user,
                            const TFormatSettings& us);
