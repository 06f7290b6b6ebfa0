#include "Platform/Clock.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace Platform {
namespace {

class TSystemClock final : public TClockSource {
public:
  TLocalDateTime ReadLocal() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    TLocalDateTime result;
    result.Year = local.tm_year + 1900;
    result.Month = local.tm_mon + 1;
    result.DayOfWeek = local.tm_wday;
    result.Day = local.tm_mday;
    result.Hour = local.tm_hour;
    result.Minute = local.tm_min;
    result.Second = local.tm_sec;
    result.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return result;
  }

  TClockSetResult SetLocal(const TLocalDateTime& value) override {
    tm local{};
    local.tm_year = value.Year - 1900;
    local.tm_mon = value.Month - 1;
    local.tm_mday = value.Day;
    local.tm_hour = value.Hour;
    local.tm_min = value.Minute;
    local.tm_sec = value.Second;
    local.tm_isdst = -1;  // let the zone rules decide, as for a time typed by hand
    errno = 0;
    const time_t seconds = mktime(&local);
    if (seconds == static_cast<time_t>(-1) && errno != 0) return {errno, std::strerror(errno)};
    const timespec target{seconds, static_cast<long>(value.Millisecond) * 1000000L};
    if (clock_settime(CLOCK_REALTIME, &target) != 0) return {errno, std::strerror(errno)};
    return {};
  }
};

}  // namespace

TClockSource& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace Platform
