#pragma once
#include <string>

namespace Platform {

// A handle that becomes readable after any discontinuous change of the system
// clock, the program's own included. Watch Handle() for readability on the
// window's thread and call Acknowledge() each time it is.
class TTimeChangeWatch {
public:
  TTimeChangeWatch();
  ~TTimeChangeWatch();
  TTimeChangeWatch(const TTimeChangeWatch&) = delete;
  TTimeChangeWatch& operator=(const TTimeChangeWatch&) = delete;

  // -1 when the system offers no such notice (ErrorText says why).
  int Handle() const { return FHandle; }
  const std::string& ErrorText() const { return FErrorText; }
  // True when the clock was changed since the last call; re-arms the watch either way.
  bool Acknowledge();

private:
  bool Arm();

  int FHandle = -1;
  std::string FErrorText;
};

}  // namespace Platform
