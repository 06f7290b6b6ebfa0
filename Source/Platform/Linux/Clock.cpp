// SPDX-License-Identifier: MIT
#include "Platform/Clock.h"

#include <ctime>

#include "Platform/ClockRight.h"
#include "Platform/Linux/Instant.h"

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

  TInstantMs ReadInstant() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return InstantOfTimespec(now);
  }

  TClockSetResult SetInstant(TInstantMs value) override { return SetSystemClock(value); }
};

}  // namespace

TClockSource& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace Platform
