// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// A handle that becomes readable when the program is asked to end from outside
// (Linux: SIGTERM, SIGINT or SIGHUP), so that it can end through its normal path
// instead of dying on the spot. One watch per process; a signal that was ignored
// when the watch was made (nohup) stays ignored.
class TQuitSignalWatch {
public:
  TQuitSignalWatch();
  ~TQuitSignalWatch();
  TQuitSignalWatch(const TQuitSignalWatch&) = delete;
  TQuitSignalWatch& operator=(const TQuitSignalWatch&) = delete;

  // -1 when the watch could not be made (ErrorText says why).
  int Handle() const { return FReadHandle; }
  const std::string& ErrorText() const { return FErrorText; }
  // True when a request arrived since the last call. Once one has, the signals
  // act as before the watch again, so a second request ends a hung program at once.
  bool Acknowledge();

private:
  void Restore();

  int FReadHandle = -1;
  bool FInstalled = false;
  std::string FErrorText;
};

}  // namespace Platform
