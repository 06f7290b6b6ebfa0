// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

// Keeps requests to one server address at least MinInterval apart, process-wide.
// Public time servers refuse clients that ask more often than every 4 seconds,
// and a retry loop or a user pressing "Refresh" must not get us refused.
class TIdRequestPacer {
public:
  using TClock = std::chrono::steady_clock;

  static TIdRequestPacer& Default();

  void SetMinInterval(std::chrono::milliseconds interval);
  std::chrono::milliseconds MinInterval() const;
  // Blocks until a request to address may be sent; false if cancelled() turned true first.
  bool WaitTurn(const std::string& address, const std::function<bool()>& cancelled);
  // Records a request that left the machine.
  void Sent(const std::string& address);
  // Makes waiters test their cancel condition again.
  void Wake();

private:
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::chrono::milliseconds FMinInterval{4000};
  std::unordered_map<std::string, TClock::time_point> FLastSent;
};
