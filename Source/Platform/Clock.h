#pragma once
#include <string>

namespace Platform {

// A local wall-clock date and time as the operating system shows it to the user.
struct TLocalDateTime {
  int Year = 0;
  int Month = 0;      // 1..12
  int DayOfWeek = 0;  // 0 = Sunday
  int Day = 0;        // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// Result of setting the clock: ErrorCode 0 on success, otherwise the system's
// error number with its text.
struct TClockSetResult {
  int ErrorCode = 0;
  std::string ErrorText;
};

// Reads and sets the local date and time. The system's source is installed by
// default; tests install a double so that the real clock is never touched.
class TClockSource {
public:
  virtual ~TClockSource() = default;
  virtual TLocalDateTime ReadLocal() = 0;
  // Steps the system clock to the given local time; positive differences move it forwards.
  virtual TClockSetResult SetLocal(const TLocalDateTime& value) = 0;
};

TClockSource& Clock();
// Installs a replacement (nullptr restores the system's). Not thread-safe: install
// before threads that read the clock start.
void InstallClock(TClockSource* source);
TClockSource& SystemClock();

}  // namespace Platform
