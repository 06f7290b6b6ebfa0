// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ClockPolicy.h"
#include "EventLog.h"

// The clock the service sets: the real one in the shipped service, a record
// in a file in the tests' build, so that no test can move a clock.
class TServiceClock {
public:
  virtual ~TServiceClock() = default;
  virtual std::int64_t Now() = 0;  // ms since 1970 UTC
  // 0 or the Win32 error code of the refusal.
  virtual DWORD Set(std::int64_t instantMs) = 0;
};

// What the build gives the service: the shipped one sets the real clock and
// asks Windows about the machine; the tests' build records instead, and takes
// from its start arguments what Wine cannot show (there every process has the
// same all-powerful token, and a service gets no environment).
struct TServiceSetup {
  TServiceClock* Clock = nullptr;
  // Each entry for the event log.
  std::function<void(TEventKind, const std::wstring&)> Log = LogEvent;
  // The session at this computer's screen (ClockPolicy::NoSession: none).
  std::function<std::uint32_t()> ConsoleSession = [] {
    return static_cast<std::uint32_t>(WTSGetActiveConsoleSessionId());
  };
  // Applied to each caller as its token shows it; nothing in the shipped service.
  std::function<void(ClockPolicy::TCaller&)> AdjustCaller;
  // How many of the pipe's instances one user may hold at once.
  unsigned InstancesPerUser = 2;
};

// The setup for the service's start arguments (the shipped service ignores them).
TServiceSetup MakeServiceSetup(DWORD argc, wchar_t** argv);
