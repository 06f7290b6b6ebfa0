// SPDX-License-Identifier: MIT
#include "Platform/TimeChange.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace Platform {
namespace {

std::atomic<bool> GFailArming{false};

}  // namespace

// A timer on CLOCK_REALTIME far in the future that the kernel cancels whenever
// the clock is set: reading it then fails with ECANCELED.
TTimeChangeWatch::TTimeChangeWatch() {
  FHandle = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (FHandle < 0) {
    FErrorText = std::strerror(errno);
    return;
  }
  Arm();
}

TTimeChangeWatch::~TTimeChangeWatch() {
  if (FHandle >= 0) close(FHandle);
}

void TTimeChangeWatch::FailArmingForTests(bool fail) { GFailArming = fail; }

bool TTimeChangeWatch::Arm() {
  itimerspec farFuture{};
  farFuture.it_value.tv_sec = 9000000000;  // the year 2255: never reached while armed
  int error = ENOMEM;
  // Setting can itself be cancelled by a change racing with it: try again.
  for (int attempt = 0; attempt < 16 && !GFailArming; ++attempt) {
    if (timerfd_settime(FHandle, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &farFuture, nullptr) == 0) {
      FArmed = true;
      FErrorText.clear();
      return true;
    }
    error = errno;
    if (error != ECANCELED) break;
  }
  FArmed = false;
  FErrorText = std::strerror(error);
  return false;
}

bool TTimeChangeWatch::Acknowledge() {
  if (FHandle < 0) return false;
  std::uint64_t expirations = 0;
  const bool changed = read(FHandle, &expirations, sizeof expirations) < 0 && errno == ECANCELED;
  Arm();
  return changed;
}

bool TTimeChangeWatch::Rearm() { return FHandle >= 0 && Arm(); }

}  // namespace Platform
