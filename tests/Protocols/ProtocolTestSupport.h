// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Fakes/FakeUdpServer.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/TestHelpers.h"
#include "System/IdGlobal.h"

namespace KestrineTest {

using namespace std::chrono_literals;

// Every test starts unpaced, and in UTC where the zone can be set; the pacer's own tests set an interval.
class ProtocolTest : public testing::Test {
protected:
  void SetUp() override { TIdRequestPacer::Default().SetMinInterval(0ms); }
  void TearDown() override { TIdRequestPacer::Default().SetMinInterval(0ms); }

#ifndef _WIN32
  ScopedTz Zone{"UTC0"};
#endif
};

// "YYYY-MM-DD hh:mm:ss.mmm", or "0.0" for no time at all.
inline std::string DateText(TDateTime value) {
  if (value == 0.0) return "0.0";
  const auto t = DecodeDateTime(value);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second, t.Millisecond);
  return text;
}

inline Bytes BigEndian32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// Seconds of 2024-01-01 00:00:00 UTC since 1900.
constexpr std::uint32_t NewYear2024 = 0xE93C7F00;

}  // namespace KestrineTest
