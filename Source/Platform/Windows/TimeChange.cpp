#include "Platform/TimeChange.h"

namespace Platform {

// Windows has no handle for this: it sends WM_TIMECHANGE to every top-level
// window after each change of the clock, so the window's own message handling
// (a native event filter) is where the notice arrives.
TTimeChangeWatch::TTimeChangeWatch()
    : FErrorText("On Windows the notice of a clock change (WM_TIMECHANGE) comes to the top-level window") {}

TTimeChangeWatch::~TTimeChangeWatch() = default;

bool TTimeChangeWatch::Acknowledge() { return false; }

}  // namespace Platform
