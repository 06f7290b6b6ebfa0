// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// A handle that becomes readable after any discontinuous change of the system
// clock, the program's own included. Watch Handle() for readability on the
// window's thread and call Acknowledge() each time it is.
//
// The watch must be armed anew after each notice, and arming can fail; the
// watch then hears nothing until Rearm() succeeds, so the caller reports the
// failure once and calls Rearm() at its next tick.
class TTimeChangeWatch {
public:
  TTimeChangeWatch();
  ~TTimeChangeWatch();
  TTimeChangeWatch(const TTimeChangeWatch&) = delete;
  TTimeChangeWatch& operator=(const TTimeChangeWatch&) = delete;

  // -1 when the system offers no such notice (ErrorText says why); it stays the
  // same for the watch's life. On Windows it is always -1: the notice comes to
  // the top-level window as WM_TIMECHANGE, and the watch is always armed.
  int Handle() const { return FHandle; }
  // Why the watch is not armed, or has no handle.
  const std::string& ErrorText() const { return FErrorText; }
  bool IsArmed() const { return FArmed; }
  // True when the clock was changed since the last call; re-arms the watch either way.
  bool Acknowledge();
  // Tries to arm the watch again; true when it is armed.
  bool Rearm();

  // While set, every arming fails, so tests can reach the failure path.
  static void FailArmingForTests(bool fail);

private:
  bool Arm();

  int FHandle = -1;
  bool FArmed = false;
  std::string FErrorText;
};

}  // namespace Platform
