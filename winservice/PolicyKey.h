// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <optional>
#include <string>

// The clock policy's value in the registry (Platform::ClockService::PolicyValue):
// nullopt when there is none; a value of another type than a string reads as
// a text that is no policy's name.
std::optional<std::wstring> ReadPolicyValue();

// A watch on the service's key and its subkeys: its event is signalled after
// any change there, until Arm() is called again. Arm before reading, so that
// no change between the two is missed.
class TPolicyWatch {
public:
  TPolicyWatch();
  ~TPolicyWatch();
  TPolicyWatch(const TPolicyWatch&) = delete;
  TPolicyWatch& operator=(const TPolicyWatch&) = delete;
  // False when the key cannot be watched: changes then take effect at the next start.
  bool Arm();
  HANDLE Changed() const { return FChanged; }

private:
  HKEY FKey = nullptr;
  HANDLE FChanged = nullptr;
};
