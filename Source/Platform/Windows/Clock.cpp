#include "Platform/Clock.h"

#include <windows.h>

#include "Platform/Windows/SystemMessage.h"

namespace Platform {
namespace {

class TSystemClock final : public TClockSource {
public:
  TLocalDateTime ReadLocal() override {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    TLocalDateTime result;
    result.Year = local.wYear;
    result.Month = local.wMonth;
    result.DayOfWeek = local.wDayOfWeek;
    result.Day = local.wDay;
    result.Hour = local.wHour;
    result.Minute = local.wMinute;
    result.Second = local.wSecond;
    result.Millisecond = local.wMilliseconds;
    return result;
  }

  // SetLocalTime enables the right to set the clock (SE_SYSTEMTIME_NAME) itself
  // when the process holds it, and applies the zone rules in force at the new time.
  TClockSetResult SetLocal(const TLocalDateTime& value) override {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(value.Year);
    local.wMonth = static_cast<WORD>(value.Month);
    local.wDayOfWeek = static_cast<WORD>(value.DayOfWeek);
    local.wDay = static_cast<WORD>(value.Day);
    local.wHour = static_cast<WORD>(value.Hour);
    local.wMinute = static_cast<WORD>(value.Minute);
    local.wSecond = static_cast<WORD>(value.Second);
    local.wMilliseconds = static_cast<WORD>(value.Millisecond);
    if (!SetLocalTime(&local)) {
      const DWORD error = GetLastError();
      return {static_cast<int>(error), SystemMessageText(error)};
    }
    return {};
  }
};

}  // namespace

TClockSource& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace Platform
