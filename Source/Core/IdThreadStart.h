// SPDX-License-Identifier: MIT
#pragma once
#include <functional>
#include <thread>

namespace IdThreadStart {

// Starts a thread running body. When the system cannot start one, raises
// Exception("Cannot start a thread: " + the system's reason) and body never runs.
std::thread Start(std::function<void()> body);

// Test seam: while one of these lives, Start refuses as the system would.
class TScopedRefusal {
public:
  TScopedRefusal();
  ~TScopedRefusal();
  TScopedRefusal(const TScopedRefusal&) = delete;
  TScopedRefusal& operator=(const TScopedRefusal&) = delete;
};

}  // namespace IdThreadStart
