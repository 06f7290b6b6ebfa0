// SPDX-License-Identifier: MIT
#pragma once
#include "Platform/Clock.h"

// The clock service: the one part of Kestrine on Windows that holds the right to
// set the clock (it runs as LOCAL SERVICE, which Windows gives that right). The
// program, which runs with the user's rights, asks it over a named pipe only
// when its own token may not set the clock (SetSystemClock, ClockRight.h).
namespace Platform::ClockService {

constexpr const wchar_t* ServiceName = L"KestrineClock";
constexpr const wchar_t* DisplayName = L"Kestrine clock service";
constexpr const wchar_t* PipeName = L"\\\\.\\pipe\\KestrineClock";
// The clock policy, whom the service sets the clock for: the string value
// ClockPolicy ("console", "interactive" or "administrators") under the
// service's own key, which only administrators may write.
constexpr const wchar_t* ServiceKey = L"SYSTEM\\CurrentControlSet\\Services\\KestrineClock";
constexpr const wchar_t* ParametersKey = L"SYSTEM\\CurrentControlSet\\Services\\KestrineClock\\Parameters";
constexpr const wchar_t* PolicyValue = L"ClockPolicy";

// Sets the system clock with this process's own token: the privilege switched
// on, then SetSystemTime in UTC. The service and the program both use it.
TClockSetResult SetDirectly(TInstantMs value);

// Asks the service to step the clock by stepMs (ClockRight.h says how the step
// is made). Reached is false when there is no service to ask (none listening, a
// pipe served by another process than the service's, or no whole reply);
// otherwise the result is its answer, HelperRequest::NotAuthorized among them.
struct TAnswer {
  bool Reached = false;
  TClockSetResult Result;
};
TAnswer Ask(std::int64_t stepMs);

}  // namespace Platform::ClockService
