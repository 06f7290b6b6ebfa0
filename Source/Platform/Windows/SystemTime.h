// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <cstdint>

#include "Platform/Clock.h"
#include "Platform/Windows/Instant.h"

namespace Platform {

inline FILETIME FileTimeOf(TInstantMs value) {
  const std::int64_t fileTime = FileTimeOfInstant(value);
  return {static_cast<DWORD>(fileTime), static_cast<DWORD>(static_cast<std::uint64_t>(fileTime) >> 32)};
}

inline TLocalDateTime LocalDateTimeOf(const SYSTEMTIME& local) {
  TLocalDateTime result;
  result.Year = local.wYear;
  result.Month = local.wMonth;
  result.DayOfWeek = local.wDayOfWeek;
  result.Day = local.wDay;
  result.Hour = local.wHour;
  result.Minute = local.wMinute;
  result.Second = local.wSecond;
  result.Millisecond = local.wMilliseconds;
  return result;
}

}  // namespace Platform
