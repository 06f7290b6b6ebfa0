// SPDX-License-Identifier: MIT
#include "Support/ClockShield.h"

#include <fstream>
#include <sstream>

namespace KestrineTest {

bool RealClockIsShielded(std::string& reason) {
  std::ifstream file("/proc/self/uid_map");
  if (!file) return UidMapShieldsTheClock(std::nullopt, reason);
  std::ostringstream contents;
  contents << file.rdbuf();
  return UidMapShieldsTheClock(contents.str(), reason);
}

// The first user namespace maps every id onto itself: "0 0 4294967295". Any
// other map means a namespace of our own, where CAP_SYS_TIME never reaches the
// real clock. A namespace whose map looks like the first one's is taken for it.
bool UidMapShieldsTheClock(const std::optional<std::string>& uidMap, std::string& reason) {
  if (!uidMap) {
    reason = "the user namespace cannot be told (no /proc/self/uid_map), so setting the real clock might succeed";
    return false;
  }
  std::istringstream lines(*uidMap);
  unsigned long long inside = 0, outside = 0, count = 0;
  std::string rest;
  const bool identity = static_cast<bool>(lines >> inside >> outside >> count) && inside == 0 && outside == 0 &&
                        count == 4294967295ULL && !(lines >> rest);
  if (identity) {
    reason =
        "this runs in the first user namespace, where setting the real clock might succeed: "
        "run it inside `unshare -rn` (scripts/test.sh does)";
    return false;
  }
  reason.clear();
  return true;
}

}  // namespace KestrineTest
