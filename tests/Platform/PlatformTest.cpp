// The OS seams that can be tried for real inside the test namespace, where the
// system refuses every change of the clock.
#include <poll.h>

#include <gtest/gtest.h>

#include "Platform/Clock.h"
#include "Platform/ExePath.h"
#include "Platform/TimeChange.h"

TEST(PlatformTest, SettingTheClockIsRefusedWithTheSystemsReason) {
  auto& clock = Platform::SystemClock();
  const auto result = clock.SetLocal(clock.ReadLocal());
  EXPECT_NE(result.ErrorCode, 0);
  EXPECT_FALSE(result.ErrorText.empty());
}

TEST(PlatformTest, TheTimeChangeWatchIsArmedAndQuietWhileTheClockStays) {
  Platform::TTimeChangeWatch watch;
  ASSERT_GE(watch.Handle(), 0) << watch.ErrorText();
  pollfd entry{watch.Handle(), POLLIN, 0};
  EXPECT_EQ(poll(&entry, 1, 50), 0);
  EXPECT_FALSE(watch.Acknowledge());  // nothing changed; re-arming keeps it quiet
  EXPECT_EQ(poll(&entry, 1, 50), 0);
}

TEST(PlatformTest, TheExecutablePathNamesThisTest) {
  EXPECT_NE(Platform::ExecutablePath().find("PlatformTest"), std::string::npos);
}
