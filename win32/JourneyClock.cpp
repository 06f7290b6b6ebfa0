// SPDX-License-Identifier: MIT
// The journeys' program: Kestrine with a clock double, since under Wine (and on
// a test machine) the real clock must not and cannot be set. The double reads the
// system clock shifted by what was set, accepts every setting, and appends each
// value set (milliseconds since 1970 UTC, one a line) to the file named by
// KESTRINE_CLOCK_LOG. Then, as Windows does after a change of the clock, the
// window gets WM_TIMECHANGE. KESTRINE_TRAY_REFUSALS makes the first adds of
// the notification-area icon fail.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "Form/ControlTable.h"
#include "Platform/Clock.h"
#include "Platform/Windows/SystemTime.h"
#include "RunKestrine.h"
#include "TrayIcon.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

void AppendToLog(Platform::TInstantMs value) {
  const std::wstring path = Environment(L"KESTRINE_CLOCK_LOG");
  if (path.empty()) return;
  if (FILE* log = _wfopen(path.c_str(), L"ab")) {
    std::fprintf(log, "%lld\n", static_cast<long long>(value));
    std::fclose(log);
  }
}

// This process's own main window.
HWND OwnWindow() {
  for (HWND window = FindWindowA(FormSpec().Name, nullptr); window != nullptr;
       window = FindWindowExA(nullptr, window, FormSpec().Name, nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) return window;
  }
  return nullptr;
}

class TJourneyClock final : public Platform::TClockSource {
public:
  Platform::TLocalDateTime ReadLocal() override {
    const FILETIME utcFile = Platform::FileTimeOf(ReadInstant());
    SYSTEMTIME utc{}, local{};
    FileTimeToSystemTime(&utcFile, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    return Platform::LocalDateTimeOf(local);
  }

  Platform::TInstantMs ReadInstant() override { return Platform::SystemClock().ReadInstant() + FShiftMs; }

  Platform::TClockSetResult SetInstant(Platform::TInstantMs value) override {
    FShiftMs = value - Platform::SystemClock().ReadInstant();
    AppendToLog(value);
    if (HWND window = OwnWindow()) PostMessageW(window, WM_TIMECHANGE, 0, 0);
    return {};
  }

private:
  std::atomic<std::int64_t> FShiftMs{0};
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  static TJourneyClock clock;
  Platform::InstallClock(&clock);
  // A shell that refuses the notification-area icon this many times.
  TTrayIcon::Refusals = _wtoi(Environment(L"KESTRINE_TRAY_REFUSALS").c_str());
  return RunKestrine(instance, show);
}
