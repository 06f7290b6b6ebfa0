// SPDX-License-Identifier: MIT
// The check that decides whether a test may call a real clock setter. It never
// sets the clock itself: the maps are handed to its decision, and the one real
// namespace is made afresh by a child, so that the answer is the same wherever
// the suite runs.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Support/ClockShield.h"

namespace {

using KestrineTest::UidMapShieldsTheClock;

TEST(ClockShieldTest, OnlyANamespaceOfOurOwnShieldsTheClock) {
  struct Case {
    const char* Name;
    std::optional<std::string> Map;
    bool Shielded;
  };
  const Case cases[] = {
      {"the first namespace, as the kernel prints it", "         0          0 4294967295\n", false},
      {"no map to read", std::nullopt, false},
      {"unshare -r by a user", "         0       1000          1\n", true},
      {"unshare -r by root", "0 0 1\n", true},
      {"a new namespace whose map is not written yet", "", true},
      {"the whole range, but shifted", "0 1 4294967295\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string reason = "stale";
    EXPECT_EQ(UidMapShieldsTheClock(c.Map, reason), c.Shielded);
    EXPECT_EQ(reason.empty(), c.Shielded) << reason;
  }
}

// The map that `unshare -r` itself makes, read by a child inside it: whatever
// namespace the suite runs in, that one is shielded.
TEST(ClockShieldTest, TheMapOfUnshareRIsShielded) {
  FILE* child = popen("unshare -r cat /proc/self/uid_map", "r");
  ASSERT_NE(child, nullptr) << std::strerror(errno);
  std::string map;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, child) != nullptr) map += buffer;
  ASSERT_EQ(pclose(child), 0) << "unshare -r failed: " << map;
  ASSERT_FALSE(map.empty());
  std::string reason;
  EXPECT_TRUE(UidMapShieldsTheClock(map, reason)) << map;
}

}  // namespace
