#include "FormatClockTime.h"

#include <cstdio>

namespace {

constexpr const char* UsShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string FormatClockTime(bool /*useLocalFormat*/, TDateTime value) {
  const auto t = DecodeDateTime(value);
  char text[64];
  std::snprintf(text, sizeof text, "%02d-%s -%04d %02d:%02d:%02d", t.Day, UsShortMonths[(t.Month + 11) % 12], t.Year,
                t.Hour, t.Minute, t.Second);
  return text;
}
