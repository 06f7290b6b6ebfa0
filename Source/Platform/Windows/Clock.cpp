#include "Platform/Clock.h"

#include <windows.h>

#include "Platform/Windows/ClockService.h"
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

  // With the program's own token where it may (elevated, or given the right);
  // refused the privilege, through the clock service, which holds it. Without
  // a service the program's own refusal stands.
  TClockSetResult SetInstant(TInstantMs value) override {
    TClockSetResult own = ClockService::SetDirectly(value);
    if (own.ErrorCode != ERROR_PRIVILEGE_NOT_HELD) return own;
    ClockService::TAnswer service = ClockService::Ask(value - ReadInstant());
    return service.Reached ? service.Result : own;
  }
};

}  // namespace

TClockSource& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace Platform
