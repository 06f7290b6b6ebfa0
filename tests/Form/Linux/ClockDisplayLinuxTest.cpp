// SPDX-License-Identifier: MIT
// Clock cases that need Linux: time zones given as POSIX TZ strings, the
// advice that names setcap, and the real clock inside a user namespace.
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "Form/ClockDisplayFixture.h"
#include "Platform/ClockRight.h"
#include "Support/ClockShield.h"
#include "Support/TestHelpers.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

TEST_F(ClockDisplayTest, APeriodicSynchronizationThroughTheRepeatedHourNeverMovesTheClock) {
  const ScopedTz zone("CET-1CEST,M3.5.0,M10.5.0/3");
  Platform::TInstantMs now = 1729987200000;                        // 2024-10-27 02:00 CEST
  for (int minute = 0; minute < 4 * 60; ++minute, now += 60000) {  // through 02:00 CET and beyond
    Clock.SetNow(now);
    Form().TimerFired(TTimerId::SyncTimer);
    ASSERT_EQ(Clock.ReadInstant(), now) << "minute " << minute;
  }
  EXPECT_TRUE(View().ErrorBoxes.empty());
}

TEST_F(ClockDisplayTest, ARefusalSaysWhereTheClockHelperBelongs) {
  Clock.Refuse(EPERM, "Operation not permitted");
  View().Click(TControl::TeButton1);
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_EQ(View().ErrorBoxes[0],
            "The system clock could not be set: Operation not permitted. To let Kestrine set the clock, install its "
            "clock helper as /opt/libexec/kestrine/kestrine-clock-helper and run \"sudo setcap cap_sys_time+ep "
            "/opt/libexec/kestrine/kestrine-clock-helper\".");
}

// The right belongs to the helper beside the program: the advice names it, as
// a shell takes it, and only for the refusal that a right would cure.
TEST(ClockRightAdviceTest, NamesTheHelperBesideTheProgram) {
  const auto root = std::filesystem::temp_directory_path() / ("kestrine advice " + std::to_string(getpid()));
  const auto helper = root / "libexec/kestrine/kestrine-clock-helper";
  std::filesystem::create_directories(helper.parent_path());
  WriteFile(helper.string(), "");
  chmod(helper.c_str(), 0755);
  const std::string quoted = "'" + helper.string() + "'";
  struct Case {
    int Error;
    std::string Program;
    std::string Advice;
  };
  const Case cases[] = {
      {EPERM, (root / "bin/kestrine").string(),
       ". To let Kestrine set the clock, run \"sudo setcap cap_sys_time+ep " + quoted + "\" and try again."},
      {EPERM, "/usr/bin/kestrine",
       ". To let Kestrine set the clock, install its clock helper as /usr/libexec/kestrine/kestrine-clock-helper and "
       "run \"sudo setcap cap_sys_time+ep /usr/libexec/kestrine/kestrine-clock-helper\"."},
      {EPERM, "",
       ". To let Kestrine set the clock, install its clock helper as /usr/libexec/kestrine/kestrine-clock-helper "
       "and run \"sudo setcap cap_sys_time+ep /usr/libexec/kestrine/kestrine-clock-helper\"."},
      {EINVAL, (root / "bin/kestrine").string(), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Platform::ClockRightAdvice(c.Error, c.Program), c.Advice) << c.Program;
  std::filesystem::remove_all(root);
}

TEST_F(ClockDisplayTest, ARealRefusalSaysHowToGrantTheRight) {
  std::string reason;
  if (!RealClockIsShielded(reason)) GTEST_SKIP() << reason;
  Platform::InstallClock(nullptr);  // the real clock: the namespace refuses every change
  View().Click(TControl::TeButton1);
  Platform::InstallClock(&Clock);
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_NE(View().ErrorBoxes[0].find("not permitted"), std::string::npos) << View().ErrorBoxes[0];
  EXPECT_NE(View().ErrorBoxes[0].find("setcap cap_sys_time+ep /opt/libexec/kestrine/kestrine-clock-helper"),
            std::string::npos);
}

}  // namespace
