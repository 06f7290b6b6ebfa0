#pragma once
#include "Platform/Clock.h"

// The clock service: the one part of Kestrine on Windows that holds the right to
// set the clock (it runs as LOCAL SERVICE, which Windows gives that right). The
// program, which runs with the user's rights, asks it over a named pipe only
// when its own token may not set the clock.
namespace Platform::ClockService {

constexpr const wchar_t* ServiceName = L"KestrineClock";
constexpr const wchar_t* DisplayName = L"Kestrine clock service";
constexpr const wchar_t* PipeName = L"\\\\.\\pipe\\KestrineClock";
// Who may connect: SYSTEM and Administrators fully, interactive users only to
// read and write a request (no right to create instances of the pipe); the
// service's own SID is added where it is known.
constexpr const wchar_t* PipeSecurity = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012018b;;;IU)";

// Sets the system clock with this process's own token: the privilege switched
// on, then SetSystemTime in UTC. The service and the program both use it.
TClockSetResult SetDirectly(TInstantMs value);

// Asks the service to step the clock (a positive step moves it forwards): a
// step stays right however long the request waits for a free instance of the
// pipe. Reached is false when there is no service to ask (none listening, or
// no whole reply); otherwise the result is its answer.
struct TAnswer {
  bool Reached = false;
  TClockSetResult Result;
};
TAnswer Ask(std::int64_t stepMs);

}  // namespace Platform::ClockService
