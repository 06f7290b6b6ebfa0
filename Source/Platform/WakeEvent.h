// SPDX-License-Identifier: MIT
#pragma once

namespace Platform {

// A pollable handle that any thread can make readable, to wake the window's thread
// without going through the GUI toolkit's own cross-thread machinery.
class TWakeEvent {
public:
  TWakeEvent();
  ~TWakeEvent();
  TWakeEvent(const TWakeEvent&) = delete;
  TWakeEvent& operator=(const TWakeEvent&) = delete;

  int Handle() const { return FHandle; }
  void Signal();  // any thread
  void Clear();   // the waiting thread, once woken
private:
  int FHandle = -1;
};

}  // namespace Platform
