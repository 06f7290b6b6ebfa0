// SPDX-License-Identifier: MIT
#pragma once
#include <optional>
#include <string>

namespace KestrineTest {

// True only where the kernel refuses every change of the real clock: inside a
// user namespace other than the first one (as `unshare -r` makes), since the
// right to set the clock counts only in the first. A network namespace alone
// (`sudo unshare -n`) shields nothing. Otherwise `reason` says why a test must
// not call a real clock setter; such a test skips with it.
bool RealClockIsShielded(std::string& reason);

// The decision itself, on the text of /proc/self/uid_map (nullopt: unreadable).
bool UidMapShieldsTheClock(const std::optional<std::string>& uidMap, std::string& reason);

}  // namespace KestrineTest
