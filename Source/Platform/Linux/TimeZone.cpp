// SPDX-License-Identifier: MIT
#include "Platform/TimeZone.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace Platform {
namespace {

// tzset() reads the zone file's status on every call (a path walk and a stat):
// once per answered Time request that was a third of the window's thread under
// load. A changed TZ is still seen at once, a changed zone file within a tenth
// of a second, well inside the display's half-second tick.
void RefreshZone() {
  constexpr std::int64_t CheckEveryNs = 100'000'000;
  static std::mutex lock;
  static std::int64_t nextCheckNs = 0;
  static std::string lastTz;
  static bool hadTz = false;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  const std::int64_t nowNs = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  const std::lock_guard guard(lock);
  const char* tz = std::getenv("TZ");
  const bool tzChanged = (tz != nullptr) != hadTz || (tz != nullptr && lastTz != tz);
  if (!tzChanged && nowNs < nextCheckNs) return;
  tzset();
  hadTz = tz != nullptr;
  lastTz = tz != nullptr ? tz : "";
  nextCheckNs = nowNs + CheckEveryNs;
}

}  // namespace

bool ReadUtcBiasSeconds(std::int64_t& biasSeconds, std::string& errorText) {
  RefreshZone();
  const time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) {
    const int error = errno != 0 ? errno : EINVAL;
    errorText = std::strerror(error);
    return false;
  }
  biasSeconds = -static_cast<std::int64_t>(local.tm_gmtoff);  // tm_gmtoff is seconds east of UTC
  return true;
}

}  // namespace Platform
