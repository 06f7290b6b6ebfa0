#pragma once
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "ServiceClock.h"

// The clock service's named pipe: a few instances, each served by a thread of
// its own, so that a slow or hostile client holds one instance for a few
// seconds at most while the others serve. Each connection carries one request
// (the instant to set) and gets one reply (the Win32 result); anything else
// closes the connection with nothing set. Every change and refusal goes to the
// event log with the client's user name.
class TPipeServer {
public:
  static constexpr DWORD Instances = 4;
  static constexpr DWORD RequestTimeoutMs = 2000;  // for the request, and for the client to take the reply

  TPipeServer(TServiceClock& clock, HANDLE stop) : FClock(clock), FStop(stop) {}
  // Opens the pipe and starts serving; false (with the error) when the pipe
  // could not be made, for example because another process holds its name.
  bool Start(DWORD& error);
  // Serves until `stop` is signalled, then waits for every connection to end.
  void Wait();

  // The pipe's security descriptor in SDDL: the fixed one plus the service's own SID.
  static std::wstring Security();

private:
  void Serve(HANDLE pipe);
  void Worker(HANDLE pipe);
  HANDLE NewInstance(bool first, DWORD& error);

  TServiceClock& FClock;
  HANDLE FStop;
  std::vector<std::thread> FWorkers;
};
