// SPDX-License-Identifier: MIT
#include "Platform/Clock.h"

#include <windows.h>

#include "Platform/ClockRight.h"
#include "Platform/Windows/Instant.h"
#include "Platform/Windows/SystemTime.h"

namespace Platform {
namespace {

class TSystemClock final : public TClockSource {
public:
  TLocalDateTime ReadLocal() override {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return LocalDateTimeOf(local);
  }

  TInstantMs ReadInstant() override {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return InstantOfFileTime(static_cast<std::int64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime);
  }

  TClockSetResult SetInstant(TInstantMs value) override { return SetSystemClock(value); }
};

}  // namespace

TClockSource& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace Platform
