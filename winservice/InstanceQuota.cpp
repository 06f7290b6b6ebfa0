// SPDX-License-Identifier: MIT
#include "InstanceQuota.h"

bool TInstanceQuota::Enter(const std::wstring& user) {
  const std::lock_guard guard(FLock);
  unsigned& held = FHeld[user];
  if (held >= FPerUser) return false;
  ++held;
  return true;
}

void TInstanceQuota::Leave(const std::wstring& user) {
  const std::lock_guard guard(FLock);
  const auto it = FHeld.find(user);
  if (it == FHeld.end()) return;
  if (--it->second == 0) FHeld.erase(it);
}
