// SPDX-License-Identifier: MIT
#include "Platform/TimeZone.h"

#include <windows.h>

#include "Platform/Windows/SystemMessage.h"

namespace Platform {

// The zone's biases are minutes of UTC minus local time; which one adds to the
// base depends on the regime in force now. A zone without daylight rules reports
// the regime as unknown and has the base alone.
bool ReadUtcBiasSeconds(std::int64_t& biasSeconds, std::string& errorText) {
  TIME_ZONE_INFORMATION zone{};
  const DWORD regime = GetTimeZoneInformation(&zone);
  long minutes = zone.Bias;
  switch (regime) {
    case TIME_ZONE_ID_STANDARD: minutes += zone.StandardBias; break;
    case TIME_ZONE_ID_DAYLIGHT: minutes += zone.DaylightBias; break;
    case TIME_ZONE_ID_UNKNOWN: break;
    default: errorText = SystemMessageText(GetLastError()); return false;
  }
  biasSeconds = static_cast<std::int64_t>(minutes) * 60;
  return true;
}

}  // namespace Platform
