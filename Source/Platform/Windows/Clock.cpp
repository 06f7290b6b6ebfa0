#include "Platform/Clock.h"

#include <windows.h>

#include "Platform/Windows/Instant.h"
#include "Platform/Windows/SystemTime.h"
#include "Platform/Windows/SystemMessage.h"

namespace Platform {
namespace {

TClockSetResult LastError() {
  const DWORD error = GetLastError();
  return {static_cast<int>(error), SystemMessageText(error)};
}

// The right to set the clock (SE_SYSTEMTIME_NAME) is held but disabled even for administrators: it
// must be switched on in the process's token first. Not holding it at all gives
// ERROR_NOT_ALL_ASSIGNED, which is reported as ERROR_PRIVILEGE_NOT_HELD (1314),
// the refusal SetSystemTime itself would give.
TClockSetResult EnableSystemTimePrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return LastError();
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  TClockSetResult result;
  if (!LookupPrivilegeValueW(nullptr, L"SeSystemtimePrivilege", &privileges.Privileges[0].Luid) ||
      !AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
    result = LastError();
  else if (GetLastError() == ERROR_NOT_ALL_ASSIGNED)
    result = {ERROR_PRIVILEGE_NOT_HELD, SystemMessageText(ERROR_PRIVILEGE_NOT_HELD)};
  CloseHandle(token);
  return result;
}

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

  // In UTC, so the zone's rules play no part; Windows then sends WM_TIMECHANGE.
  TClockSetResult SetInstant(TInstantMs value) override {
    const FILETIME target = FileTimeOf(value);
    SYSTEMTIME utc{};
    if (FileTimeOfInstant(value) < 0 || !FileTimeToSystemTime(&target, &utc))
      return {ERROR_INVALID_PARAMETER, SystemMessageText(ERROR_INVALID_PARAMETER)};
    if (TClockSetResult enabled = EnableSystemTimePrivilege(); enabled.ErrorCode != 0) return enabled;
    if (!SetSystemTime(&utc)) return LastError();
    return {};
  }
};

}  // namespace

TClockSource& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace Platform
