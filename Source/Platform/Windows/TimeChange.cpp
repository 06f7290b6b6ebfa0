// SPDX-License-Identifier: MIT
#include "Platform/TimeChange.h"

#include <atomic>

namespace Platform {
namespace {

std::atomic<bool> GFailArming{false};

constexpr const char* NoticeText =
    "On Windows the notice of a clock change (WM_TIMECHANGE) comes to the top-level window";

}  // namespace

// Windows has no handle for this: it sends WM_TIMECHANGE to every top-level
// window after each change of the clock, so the window's own message handling
// is where the notice arrives, and nothing needs arming. Only the test switch
// makes it fail, so that callers' reports can be tried on either system.
TTimeChangeWatch::TTimeChangeWatch() { Arm(); }

TTimeChangeWatch::~TTimeChangeWatch() = default;

void TTimeChangeWatch::FailArmingForTests(bool fail) { GFailArming = fail; }

bool TTimeChangeWatch::Arm() {
  FArmed = !GFailArming;
  FErrorText = FArmed ? NoticeText : "Arming failed (a test asked for it)";
  return FArmed;
}

bool TTimeChangeWatch::Acknowledge() {
  Arm();
  return false;
}

bool TTimeChangeWatch::Rearm() { return Arm(); }

}  // namespace Platform
