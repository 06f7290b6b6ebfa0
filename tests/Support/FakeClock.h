// SPDX-License-Identifier: MIT
#pragma once
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Clock.h"

namespace KestrineTest {

// A clock double, installed with Platform::InstallClock for its lifetime.
//
// It either follows the system clock or holds an instant of its own, given by
// the test; its local reading is then that instant in the test's zone (TZ), so
// a test can stand anywhere, say in the hour that repeats when daylight saving
// ends. Every SetInstant call is recorded. An accepted one moves the fake as a
// real clock would: a held instant becomes the value, and a followed system
// clock is read shifted by the step. A refusal changes nothing.
// Safe to use from several threads.
class FakeClock final : public Platform::TClockSource {
public:
  FakeClock() { Platform::InstallClock(this); }
  explicit FakeClock(Platform::TInstantMs now) : FNow(now) { Platform::InstallClock(this); }
  ~FakeClock() override { Platform::InstallClock(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  // Holds this instant from now on.
  void SetNow(Platform::TInstantMs now) {
    std::lock_guard guard(FLock);
    FNow = now;
  }
  // Moves a held instant on; a followed system clock is shifted.
  void Advance(std::int64_t milliseconds) {
    std::lock_guard guard(FLock);
    if (FNow)
      *FNow += milliseconds;
    else
      FShift += milliseconds;
  }
  void FollowSystem() {
    std::lock_guard guard(FLock);
    FNow.reset();
    FShift = 0;
  }

  // Every later SetInstant fails with this error, until Accept().
  void Refuse(int errorCode, std::string errorText) {
    std::lock_guard guard(FLock);
    FRefusal = Platform::TClockSetResult{errorCode, std::move(errorText)};
  }
  void Accept() {
    std::lock_guard guard(FLock);
    FRefusal.reset();
  }

  // The values of all SetInstant calls so far, refused ones included.
  std::vector<Platform::TInstantMs> Sets() const {
    std::lock_guard guard(FLock);
    return FSets;
  }

  Platform::TInstantMs ReadInstant() override {
    std::lock_guard guard(FLock);
    return Current();
  }

  Platform::TLocalDateTime ReadLocal() override {
    std::lock_guard guard(FLock);
    if (!FNow && FShift == 0) return Platform::SystemClock().ReadLocal();
    return LocalOf(Current());
  }

  Platform::TClockSetResult SetInstant(Platform::TInstantMs value) override {
    std::lock_guard guard(FLock);
    FSets.push_back(value);
    if (FRefusal) return *FRefusal;
    if (FNow)
      FNow = value;
    else
      FShift += value - Current();
    return {};
  }

  // The local reading of an instant in the zone TZ names, as the system clock shows it.
  static Platform::TLocalDateTime LocalOf(Platform::TInstantMs instant) {
    std::int64_t seconds = instant / 1000;
    std::int64_t milliseconds = instant % 1000;
    if (milliseconds < 0) {
      milliseconds += 1000;
      --seconds;
    }
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    {
      // std::localtime shares one result between callers; it also reads TZ afresh.
      static std::mutex lock;
      std::lock_guard guard(lock);
      local = *std::localtime(&time);
    }
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_wday, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec,  static_cast<int>(milliseconds)};
  }

private:
  Platform::TInstantMs Current() const { return FNow ? *FNow : Platform::SystemClock().ReadInstant() + FShift; }

  mutable std::mutex FLock;
  std::optional<Platform::TInstantMs> FNow;
  std::int64_t FShift = 0;
  std::optional<Platform::TClockSetResult> FRefusal;
  std::vector<Platform::TInstantMs> FSets;
};

}  // namespace KestrineTest
