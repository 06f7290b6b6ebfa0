// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

#include "Platform/Clock.h"

// A point in time as days since 1899-12-30 00:00; the fraction is the time of day.
using TDateTime = double;

constexpr double SecsPerDay = 86400.0;
constexpr double MSecsPerDay = 86400000.0;
// 1900-01-01 00:00, the epoch of NTP time stamps and of the Time protocol.
constexpr TDateTime NtpEpoch = 2.0;

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);
// Splits a value into calendar fields after rounding it to the nearest millisecond.
Platform::TLocalDateTime DecodeDateTime(TDateTime value);

// The local clock with millisecond resolution.
TDateTime Now();

// t plus a signed count of whole seconds, in extended precision.
TDateTime AddSeconds(TDateTime t, std::int64_t seconds);

// UTC minus local time, in days (positive west of Greenwich): local = UTC - UtcBias().
// Read afresh at every call; raises EIdException with the system's text on failure.
TDateTime UtcBias();

// Whole seconds since 1900-01-01 00:00 UTC of a 32-bit count of them, as NTP
// stamps and the Time protocol carry it. The count wrapped at 2036-02-07 06:28:16
// UTC: one whose highest bit is clear lies after that instant (the next era).
std::int64_t EraSeconds(std::uint32_t seconds);

std::uint32_t TickCountMs();
// Milliseconds from oldTick to newTick across one wrap of the counter.
std::uint32_t TickSpan(std::uint32_t oldTick, std::uint32_t newTick);

// Whole seconds by which local is ahead of server, truncated toward zero.
std::int64_t ClockOffsetSeconds(TDateTime local, TDateTime server);
