// SPDX-License-Identifier: MIT
#include "Protocols/IdRequestPacer.h"

TIdRequestPacer& TIdRequestPacer::Default() {
  static auto* pacer = new TIdRequestPacer;  // never destroyed: a late worker may still ask
  return *pacer;
}

void TIdRequestPacer::SetMinInterval(std::chrono::milliseconds interval) {
  {
    std::lock_guard guard(FLock);
    FMinInterval = interval;
  }
  FChanged.notify_all();
}

std::chrono::milliseconds TIdRequestPacer::MinInterval() const {
  std::lock_guard guard(FLock);
  return FMinInterval;
}

bool TIdRequestPacer::WaitTurn(const std::string& address, const std::function<bool()>& cancelled) {
  std::unique_lock lock(FLock);
  for (;;) {
    if (cancelled && cancelled()) return false;
    const auto found = FLastSent.find(address);
    if (found == FLastSent.end()) return true;
    const auto allowed = found->second + FMinInterval;
    if (TClock::now() >= allowed) return true;
    FChanged.wait_until(lock, allowed);
  }
}

void TIdRequestPacer::Sent(const std::string& address) {
  std::lock_guard guard(FLock);
  const auto now = TClock::now();
  // Forget servers whose interval is over, so the table stays small.
  for (auto it = FLastSent.begin(); it != FLastSent.end();) {
    if (now - it->second >= FMinInterval)
      it = FLastSent.erase(it);
    else
      ++it;
  }
  FLastSent[address] = now;
}

void TIdRequestPacer::Wake() {
  { std::lock_guard guard(FLock); }
  FChanged.notify_all();
}
