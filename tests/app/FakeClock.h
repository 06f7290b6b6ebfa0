#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "Platform/Clock.h"

namespace KestrineTest {

// The system clock for reading; setting is recorded (or refused) instead of
// done, as the local reading of the instant that would have been set.
// Installed for its lifetime.
class FakeClock : public Platform::TClockSource {
public:
  FakeClock() { Platform::InstallClock(this); }
  ~FakeClock() override { Platform::InstallClock(nullptr); }

  Platform::TLocalDateTime ReadLocal() override { return Platform::SystemClock().ReadLocal(); }
  Platform::TInstantMs ReadInstant() override { return Platform::SystemClock().ReadInstant(); }
  Platform::TClockSetResult SetInstant(Platform::TInstantMs value) override {
    if (Refuse) return {1, "Operation not permitted"};
    const std::time_t seconds = static_cast<std::time_t>(value / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    Sets.push_back({local.tm_year + 1900, local.tm_mon + 1, local.tm_wday, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec, static_cast<int>(value % 1000)});
    return {};
  }

  bool Refuse = false;
  std::vector<Platform::TLocalDateTime> Sets;
};

}  // namespace KestrineTest
