// SPDX-License-Identifier: MIT
#include "Platform/Ticks.h"

#include <windows.h>

namespace Platform {

// The high-resolution counter when the system has one, else the tick count.
std::uint32_t ReadTickCountMs() {
  LARGE_INTEGER frequency{}, count{};
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 && QueryPerformanceCounter(&count)) {
    const auto f = static_cast<std::uint64_t>(frequency.QuadPart);
    const auto c = static_cast<std::uint64_t>(count.QuadPart);
    // count / frequency x 1000, truncated, without the product overflowing.
    return static_cast<std::uint32_t>(c / f * 1000u + c % f * 1000u / f);
  }
  return GetTickCount();
}

}  // namespace Platform
