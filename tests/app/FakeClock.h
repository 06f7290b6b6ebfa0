#pragma once
#include <optional>
#include <string>
#include <vector>

#include "Platform/Clock.h"

namespace KestrineTest {

// The system clock for reading; setting is recorded (or refused) instead of done.
// Installed for its lifetime.
class FakeClock : public Platform::TClockSource {
public:
  FakeClock() { Platform::InstallClock(this); }
  ~FakeClock() override { Platform::InstallClock(nullptr); }

  Platform::TLocalDateTime ReadLocal() override { return Platform::SystemClock().ReadLocal(); }
  Platform::TClockSetResult SetLocal(const Platform::TLocalDateTime& value) override {
    if (Refuse) return {1, "Operation not permitted"};
    Sets.push_back(value);
    return {};
  }

  bool Refuse = false;
  std::vector<Platform::TLocalDateTime> Sets;
};

}  // namespace KestrineTest
