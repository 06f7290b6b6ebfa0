// SPDX-License-Identifier: MIT
#include "System/IdGlobal.h"

#include <cmath>
#include <string>

#include "Platform/Ticks.h"
#include "Platform/TimeZone.h"
#include "System/IdException.h"

namespace {

constexpr std::int64_t UnixEpochDays = 25569;  // 1970-01-01 as a day count from 1899-12-30

// Proleptic Gregorian calendar, days relative to 1970-01-01.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

std::string TrimSystemMessage(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const auto days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + UnixEpochDays;
  const double time = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / MSecsPerDay;
  return static_cast<double>(days) + time;
}

Platform::TLocalDateTime DecodeDateTime(TDateTime value) {
  const auto totalMs = static_cast<std::int64_t>(std::llround(static_cast<long double>(value) * MSecsPerDay));
  std::int64_t days = totalMs / 86400000;
  std::int64_t msOfDay = totalMs % 86400000;
  if (msOfDay < 0) {
    msOfDay += 86400000;
    --days;
  }
  Platform::TLocalDateTime result;
  CivilFromDays(days - UnixEpochDays, result.Year, result.Month, result.Day);
  result.DayOfWeek = static_cast<int>(((days - UnixEpochDays) % 7 + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  result.Hour = static_cast<int>(msOfDay / 3600000);
  result.Minute = static_cast<int>(msOfDay / 60000 % 60);
  result.Second = static_cast<int>(msOfDay / 1000 % 60);
  result.Millisecond = static_cast<int>(msOfDay % 1000);
  return result;
}

TDateTime Now() {
  const auto now = Platform::Clock().ReadLocal();
  return EncodeDateTime(now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second, now.Millisecond);
}

TDateTime AddSeconds(TDateTime t, std::int64_t seconds) {
  const long double sum = static_cast<long double>(t) * 86400.0L + static_cast<long double>(seconds);
  return static_cast<double>(sum / 86400.0L);
}

TDateTime UtcBias() {
  std::int64_t biasSeconds = 0;
  std::string errorText;
  if (!Platform::ReadUtcBiasSeconds(biasSeconds, errorText)) throw EIdException(TrimSystemMessage(errorText));
  return static_cast<double>(biasSeconds) / SecsPerDay;
}

std::int64_t EraSeconds(std::uint32_t seconds) {
  return (seconds & 0x80000000u) ? seconds : static_cast<std::int64_t>(seconds) + 4294967296LL;
}

std::uint32_t TickCountMs() { return Platform::ReadTickCountMs(); }

std::uint32_t TickSpan(std::uint32_t oldTick, std::uint32_t newTick) {
  return newTick >= oldTick ? newTick - oldTick : (0xFFFFFFFFu - oldTick) + newTick;
}

std::int64_t ClockOffsetSeconds(TDateTime local, TDateTime server) {
  long double seconds = (static_cast<long double>(local) - static_cast<long double>(server)) * 86400.0L;
  if (!std::isfinite(seconds) || std::fabs(seconds) >= 9.2e18L) return 0;
  // A day count in a double holds a millisecond reading only to about a microsecond:
  // without this, two readings exactly 2 s apart would truncate to 1.
  seconds = std::round(seconds * 1e6L) / 1e6L;
  return static_cast<std::int64_t>(seconds);  // truncates toward zero
}
