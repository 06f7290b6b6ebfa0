// SPDX-License-Identifier: MIT
#pragma once
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace KestrineTest {

using SteadyClock = std::chrono::steady_clock;

inline long long MsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

inline long long MsSince(SteadyClock::time_point start) { return MsBetween(start, SteadyClock::now()); }

// Asks done until it holds or the time-out passes, with a pause between. done may
// do a round of the caller's work first (run the window's queue, fire timers).
inline bool PollUntil(
    const std::function<bool()>& done, std::chrono::milliseconds timeout,
    const std::function<void()>& pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }) {
  const auto deadline = SteadyClock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (SteadyClock::now() >= deadline) return false;
    pause();
  }
}

#ifndef _WIN32
// Sets TZ (a POSIX zone string, so no zone database is needed) and puts the old one back.
class ScopedTz {
public:
  explicit ScopedTz(const char* zone) {
    if (const char* old = std::getenv("TZ")) FOld = old;
    Set(zone);
  }
  ~ScopedTz() {
    if (FOld)
      setenv("TZ", FOld->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedTz(const ScopedTz&) = delete;
  ScopedTz& operator=(const ScopedTz&) = delete;
  static void Set(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

private:
  std::optional<std::string> FOld;
};
#endif

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

// Writes the whole file, making its folder first.
inline void WriteFile(const std::string& path, const std::string& contents) {
  const auto folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  std::ofstream(path, std::ios::binary) << contents;
}

}  // namespace KestrineTest
