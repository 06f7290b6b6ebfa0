// SPDX-License-Identifier: MIT
#pragma once
#include <ctime>

#include "Platform/Clock.h"

namespace Platform {

// Instants before 1970 count down: -1 ms is the second before the epoch plus 999 ms.
inline timespec TimespecOfInstant(TInstantMs value) {
  TInstantMs seconds = value / 1000;
  TInstantMs milliseconds = value % 1000;
  if (milliseconds < 0) {
    milliseconds += 1000;
    --seconds;
  }
  timespec result{};
  result.tv_sec = static_cast<time_t>(seconds);
  result.tv_nsec = static_cast<long>(milliseconds * 1000000);
  return result;
}

// Whole milliseconds: the part below one is dropped, as the clock's reading has no use for it.
inline TInstantMs InstantOfTimespec(const timespec& value) {
  return static_cast<TInstantMs>(value.tv_sec) * 1000 + value.tv_nsec / 1000000;
}

}  // namespace Platform
