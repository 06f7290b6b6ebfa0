// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
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

// A point in time: milliseconds since 1970-01-01 00:00 UTC (leap seconds not counted).
using TInstantMs = std::int64_t;

// Result of setting the clock: ErrorCode 0 on success, otherwise the system's
// error number with its text.
struct TClockSetResult {
  int ErrorCode = 0;
  std::string ErrorText;
};

// Reads and sets the system clock. The system's source is installed by default;
// tests install a double so that the real clock is never touched.
//
// The clock is set from an instant, never from a local date and time: in the
// hour that repeats when daylight saving ends a local reading names two
// instants, and a target across a change of regime would land an hour off.
class TClockSource {
public:
  virtual ~TClockSource() = default;
  virtual TLocalDateTime ReadLocal() = 0;  // for the display
  virtual TInstantMs ReadInstant() = 0;    // the clock's current instant
  // Steps the system clock to the instant given; a later instant moves it forwards.
  virtual TClockSetResult SetInstant(TInstantMs value) = 0;
};

TClockSource& Clock();
// Installs a replacement (nullptr restores the system's). Not thread-safe: install
// before threads that read the clock start.
void InstallClock(TClockSource* source);
TClockSource& SystemClock();

}  // namespace Platform
