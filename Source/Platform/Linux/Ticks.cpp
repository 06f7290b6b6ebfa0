// SPDX-License-Identifier: MIT
#include "Platform/Ticks.h"

#include <ctime>

namespace Platform {

std::uint32_t ReadTickCountMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);  // wraps like the system tick count
}

}  // namespace Platform
