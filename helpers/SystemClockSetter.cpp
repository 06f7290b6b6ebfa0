// SPDX-License-Identifier: MIT
#include <cerrno>
#include <ctime>

#include "ClockSetter.h"

int SetClock(std::int64_t instantMs) {
  timespec target{};
  target.tv_sec = static_cast<time_t>(instantMs / 1000);
  target.tv_nsec = static_cast<long>(instantMs % 1000) * 1000000;  // the range check keeps it positive
  return clock_settime(CLOCK_REALTIME, &target) == 0 ? 0 : errno;
}
