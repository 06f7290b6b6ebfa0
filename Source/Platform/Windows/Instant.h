// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

#include "Platform/Clock.h"

namespace Platform {

// Windows counts 100-ns intervals since 1601-01-01 00:00 UTC (FILETIME).
constexpr std::int64_t FileTimeOfUnixEpoch = 116444736000000000;
constexpr std::int64_t FileTimeUnitsPerMs = 10000;

constexpr std::int64_t FileTimeOfInstant(TInstantMs value) { return FileTimeOfUnixEpoch + value * FileTimeUnitsPerMs; }

// Whole milliseconds, rounded down, also before 1970.
constexpr TInstantMs InstantOfFileTime(std::int64_t fileTime) {
  const std::int64_t units = fileTime - FileTimeOfUnixEpoch;
  return units / FileTimeUnitsPerMs - (units % FileTimeUnitsPerMs < 0 ? 1 : 0);
}

}  // namespace Platform
