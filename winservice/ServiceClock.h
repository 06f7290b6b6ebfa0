#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// The clock the service sets: the real one in the shipped service, a record
// in a file in the tests' build, so that no test can move a clock.
class TServiceClock {
public:
  virtual ~TServiceClock() = default;
  virtual std::int64_t Now() = 0;  // ms since 1970 UTC
  // 0 or the Win32 error code of the refusal.
  virtual DWORD Set(std::int64_t instantMs) = 0;
};

// The service's clock for its start arguments (the tests' build reads
// "--record PATH"; the shipped service ignores them).
TServiceClock& MakeServiceClock(DWORD argc, wchar_t** argv);
