// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// One running program per user session (Windows) or per user and display
// (Linux). The first start holds the claim for its life and hears later
// starts; a later start calls the first, which brings its window back, and
// ends without touching anything.
class TInstanceClaim {
public:
  // scope tells sessions apart where the system does not (Linux: the display).
  explicit TInstanceClaim(const std::string& scope);
  ~TInstanceClaim();
  TInstanceClaim(const TInstanceClaim&) = delete;
  TInstanceClaim& operator=(const TInstanceClaim&) = delete;

  bool First() const { return FFirst; }
  // A later start: tells the first. False when no first of the same user
  // answered; the program then runs on its own.
  bool CallFirst();
  // The first: a descriptor that becomes readable when a later start called
  // (-1 on Windows, where the call is the window message CallMessageName).
  int CallHandle() const { return FListener; }
  // The first: takes the calls waiting; true when there was any.
  bool TakeCalls();

  // Windows: the registered window message a later start broadcasts.
  static constexpr const wchar_t* CallMessageName = L"Kestrine.AnotherStart";

private:
  bool FFirst = true;
  int FListener = -1;
  [[maybe_unused]] int FLock = -1;          // Linux only
  [[maybe_unused]] void* FMutex = nullptr;  // Windows only
  std::string FName;
};

}  // namespace Platform
