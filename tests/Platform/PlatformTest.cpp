// SPDX-License-Identifier: MIT
// The OS seams that can be tried for real inside the test namespace, where the
// system refuses every change of the clock, and the clock's conversions.
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Platform/Clock.h"
#include "Platform/ExePath.h"
#include "Platform/InstanceClaim.h"
#include "Platform/Linux/ExePathOf.h"
#include "Platform/Linux/Instant.h"
#include "Platform/TimeChange.h"
#include "Support/ClockShield.h"
#include "Support/FakeClock.h"
#include "Support/TestHelpers.h"

namespace {

using Platform::TInstantMs;

constexpr const char* Berlin = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* NewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr TInstantMs Minute = 60000;

std::string TimeOfDay(const Platform::TLocalDateTime& local) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.Hour, local.Minute, local.Second, local.Millisecond);
  return text;
}

TEST(ClockTest, TheClockIsSetToItsInstantMinusTheOffsetAcrossEveryChangeOfRegime) {
  struct Case {
    const char* Zone;
    TInstantMs Change;  // the first instant of the new regime
    std::int64_t Offset;
    const char* LocalNow;
    const char* LocalTarget;
  };
  // "Now" is ten minutes (and 250 ms) after each change. An offset of 1200 s
  // reaches back over the change: in autumn into the first pass of the hour
  // that repeats, which a local reading cannot tell from the second. The short
  // offsets, one each way, show the sign.
  const TInstantMs berlinSpring = 1711846800000, berlinAutumn = 1729990800000;
  const TInstantMs newYorkSpring = 1710054000000, newYorkAutumn = 1730613600000;
  const Case cases[] = {
      {Berlin, berlinSpring, 1200, "03:10:00.250", "01:50:00.250"},
      {Berlin, berlinAutumn, 1200, "02:10:00.250", "02:50:00.250"},
      {NewYork, newYorkSpring, -5, "03:10:00.250", "03:10:05.250"},
      {NewYork, newYorkAutumn, 5, "01:10:00.250", "01:09:55.250"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Zone) + " change " + std::to_string(c.Change) + " offset " + std::to_string(c.Offset));
    KestrineTest::ScopedTz zone(c.Zone);
    const TInstantMs now = c.Change + 10 * Minute + 250;
    KestrineTest::FakeClock fake(now);
    auto& clock = Platform::Clock();
    EXPECT_EQ(TimeOfDay(clock.ReadLocal()), c.LocalNow);

    // As the window adjusts the clock.
    const TInstantMs target = clock.ReadInstant() - c.Offset * 1000;
    ASSERT_EQ(clock.SetInstant(target).ErrorCode, 0);
    ASSERT_EQ(fake.Sets().size(), 1u);
    EXPECT_EQ(fake.Sets()[0], now - c.Offset * 1000);
    EXPECT_EQ(TimeOfDay(clock.ReadLocal()), c.LocalTarget);

    // What the system clock would be handed: the same instant, whatever the zone.
    const timespec set = Platform::TimespecOfInstant(target);
    EXPECT_EQ(set.tv_sec * 1000 + set.tv_nsec / 1000000, now - c.Offset * 1000);
  }
}

TEST(ClockTest, SettingTheClockToItsOwnReadingThroughTheRepeatedHourNeverMovesIt) {
  KestrineTest::ScopedTz zone(Berlin);
  // From 02:30 CEST to 02:30 CET, the second time round, every five minutes.
  const TInstantMs start = 1729990800000 - 30 * Minute + 123;
  KestrineTest::FakeClock fake(start);
  int twoOClockReadings = 0;
  for (TInstantMs now = start; now <= start + 60 * Minute; now += 5 * Minute) {
    fake.SetNow(now);
    auto& clock = Platform::Clock();
    if (clock.ReadLocal().Hour == 2) ++twoOClockReadings;
    const TInstantMs target = clock.ReadInstant() - 0;
    ASSERT_EQ(clock.SetInstant(target).ErrorCode, 0);
    EXPECT_EQ(clock.ReadInstant(), now);
    const timespec set = Platform::TimespecOfInstant(target);
    EXPECT_EQ(Platform::InstantOfTimespec(set), now);
  }
  EXPECT_EQ(twoOClockReadings, 13) << "every reading lies in the hour that repeats";
}

TEST(ClockTest, InstantsAndTheSystemsSecondsAndNanosecondsAgree) {
  struct Case {
    TInstantMs Instant;
    long long Seconds;
    long Nanoseconds;
  };
  for (const Case c : {Case{0, 0, 0}, Case{999, 0, 999000000}, Case{1000, 1, 0}, Case{-1, -1, 999000000},
                       Case{-1000, -1, 0}, Case{-1001, -2, 999000000}, Case{1729990800250, 1729990800, 250000000}}) {
    SCOPED_TRACE(c.Instant);
    const timespec value = Platform::TimespecOfInstant(c.Instant);
    EXPECT_EQ(value.tv_sec, c.Seconds);
    EXPECT_EQ(value.tv_nsec, c.Nanoseconds);
    EXPECT_EQ(Platform::InstantOfTimespec(value), c.Instant);
  }
  // What lies below a millisecond is dropped, also before 1970.
  EXPECT_EQ(Platform::InstantOfTimespec({5, 999999}), 5000);
  EXPECT_EQ(Platform::InstantOfTimespec({-2, 999999999}), -1001);
}

TEST(PlatformTest, SettingTheClockIsRefusedWithTheSystemsReason) {
  std::string reason;
  if (!KestrineTest::RealClockIsShielded(reason)) GTEST_SKIP() << reason;
  auto& clock = Platform::SystemClock();
  const auto result = clock.SetInstant(clock.ReadInstant());
  EXPECT_EQ(result.ErrorCode, EPERM);
  EXPECT_FALSE(result.ErrorText.empty());
}

// Arming fails while it lives.
struct ArmingFailure {
  ArmingFailure() { Platform::TTimeChangeWatch::FailArmingForTests(true); }
  ~ArmingFailure() { Platform::TTimeChangeWatch::FailArmingForTests(false); }
};

bool Readable(const Platform::TTimeChangeWatch& watch) {
  pollfd entry{watch.Handle(), POLLIN, 0};
  return poll(&entry, 1, 50) != 0;
}

TEST(PlatformTest, TheTimeChangeWatchIsArmedAndQuietWhileTheClockStays) {
  Platform::TTimeChangeWatch watch;
  ASSERT_GE(watch.Handle(), 0) << watch.ErrorText();
  EXPECT_TRUE(watch.IsArmed());
  EXPECT_FALSE(Readable(watch));
  EXPECT_FALSE(watch.Acknowledge());  // nothing changed; re-arming keeps it quiet
  EXPECT_TRUE(watch.IsArmed());
  EXPECT_FALSE(Readable(watch));
}

TEST(PlatformTest, AWatchThatCouldNotBeReArmedSaysSoAndArmsAgainLater) {
  Platform::TTimeChangeWatch watch;
  const int handle = watch.Handle();
  ASSERT_GE(handle, 0) << watch.ErrorText();
  {
    ArmingFailure failure;
    EXPECT_FALSE(watch.Acknowledge());
    EXPECT_FALSE(watch.IsArmed());
    EXPECT_FALSE(watch.ErrorText().empty());
    EXPECT_FALSE(watch.Rearm());
    EXPECT_FALSE(watch.IsArmed());
  }
  EXPECT_TRUE(watch.Rearm());
  EXPECT_TRUE(watch.IsArmed());
  EXPECT_EQ(watch.ErrorText(), "");
  EXPECT_EQ(watch.Handle(), handle);
  EXPECT_FALSE(Readable(watch));

  // Made while arming fails: the handle is there, to be armed at a later tick.
  std::optional<Platform::TTimeChangeWatch> late;
  {
    ArmingFailure failure;
    late.emplace();
  }
  EXPECT_GE(late->Handle(), 0);
  EXPECT_FALSE(late->IsArmed());
  EXPECT_TRUE(late->Rearm());
}

TEST(PlatformTest, TheExecutablePathNamesThisTest) {
  EXPECT_NE(Platform::ExecutablePath().find("PlatformTest"), std::string::npos);
}

// After an upgrade replaced the program while it ran, the path is the new
// file's, without the " (deleted)" the system adds; with no file there at all,
// the path is unknown rather than wrong.
TEST(PlatformTest, TheExecutablePathOfAProgramReplacedWhileItRuns) {
  const std::string folder = testing::TempDir() + "kestrine-replaced-" + std::to_string(getpid());
  std::filesystem::create_directories(folder);
  const std::string program = folder + "/kestrine";
  std::filesystem::copy_file("/bin/sleep", program);
  const pid_t child = fork();
  if (child == 0) {
    execl(program.c_str(), "kestrine", "10", static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string link = "/proc/" + std::to_string(child) + "/exe";
  for (int i = 0; i < 200 && Platform::ExecutablePathOf(link) != program; ++i) usleep(5000);
  EXPECT_EQ(Platform::ExecutablePathOf(link), program);
  std::filesystem::copy_file("/bin/sleep", program + ".new");
  std::filesystem::rename(program + ".new", program);  // as a package upgrade does
  EXPECT_EQ(Platform::ExecutablePathOf(link), program);
  std::filesystem::remove(program);
  EXPECT_EQ(Platform::ExecutablePathOf(link), "");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  std::filesystem::remove_all(folder);
}

}  // namespace

namespace {

// One program per user and display: a later start finds the first and calls
// it; another display has a first of its own; the claim ends with its holder.
TEST(InstanceClaimTest, TheFirstStartHearsTheLaterOnes) {
  const std::string scope = ":test-" + std::to_string(getpid());
  auto first = std::make_unique<Platform::TInstanceClaim>(scope);
  ASSERT_TRUE(first->First());
  ASSERT_GE(first->CallHandle(), 0);
  EXPECT_FALSE(first->TakeCalls());

  Platform::TInstanceClaim later(scope);
  EXPECT_FALSE(later.First());
  // The first takes the call while the later start waits for it to be taken.
  std::thread hearing([&first] {
    pollfd wait{first->CallHandle(), POLLIN, 0};
    poll(&wait, 1, 5000);
    EXPECT_TRUE(first->TakeCalls());
  });
  EXPECT_TRUE(later.CallFirst());
  hearing.join();
  EXPECT_FALSE(first->TakeCalls());

  EXPECT_TRUE(Platform::TInstanceClaim(scope + "-other").First());
  first.reset();
  EXPECT_TRUE(Platform::TInstanceClaim(scope).First());
  EXPECT_FALSE(later.CallFirst());  // no first any more: the later start runs on its own
}

}  // namespace

namespace {

// Runs step in a child process as the user uid with XDG_RUNTIME_DIR set;
// returns its exit code (the step's result, or 99 when the child could not
// become that user).
int AsUser(uid_t uid, const std::string& runtime, const std::function<int()>& step) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0) _exit(99);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    _exit(step());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

bool MapsAccounts(std::initializer_list<uid_t> uids) {
  std::ifstream map("/proc/self/uid_map");
  std::string text((std::istreambuf_iterator<char>(map)), std::istreambuf_iterator<char>());
  for (const uid_t uid : uids)
    if (text.find(" " + std::to_string(uid) + " ") == std::string::npos) return false;
  return true;
}

// Another user cannot take a user's claim first: where the claim once was an
// abstract socket name open to all, another user who bound it first made each
// of the user's starts run on its own.
TEST(InstanceClaimTest, AnotherUserCannotTakeTheClaimFirst) {
  constexpr uid_t User = 1000, Other = 1001;
  if (getuid() != 0 || !MapsAccounts({User, Other}))
    GTEST_SKIP() << "needs root and the test accounts (scripts/testns.sh run as root)";
  const std::string scope = ":squat-" + std::to_string(getpid());
  char folderTemplate[] = "/tmp/kestrine-runtime-XXXXXX";
  const std::string runtime = mkdtemp(folderTemplate);
  ASSERT_EQ(chown(runtime.c_str(), User, User), 0);
  // The squatter holds what it can: the claim's old name, an abstract socket.
  int squatting[2];
  ASSERT_EQ(pipe(squatting), 0);
  const pid_t squatter = fork();
  if (squatter == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(Other, Other, Other) != 0 || setresuid(Other, Other, Other) != 0)
      _exit(99);
    const int held = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "kestrine-" + std::to_string(User) + "-" + scope;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const char held_ = bind(held, reinterpret_cast<const sockaddr*>(&address), length) == 0 && listen(held, 8) == 0;
    if (write(squatting[1], &held_, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(squatting[1]);
  char held = 0;
  ASSERT_EQ(read(squatting[0], &held, 1), 1);
  ASSERT_EQ(held, 1) << "the squatter could not take the name";

  // The user's first start holds the claim; a second one finds it and is heard.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t first = fork();
  if (first == 0) {
    _exit(AsUser(User, runtime, [&] {
      Platform::TInstanceClaim claim(scope);
      if (!claim.First() || claim.CallHandle() < 0) return 1;
      const char ready = 'r';
      if (write(pipeEnds[1], &ready, 1) != 1) return 2;
      pollfd wait{claim.CallHandle(), POLLIN, 0};
      return poll(&wait, 1, 10000) == 1 && claim.TakeCalls() ? 0 : 3;
    }));
  }
  close(pipeEnds[1]);
  char ready = 0;
  const bool holds = read(pipeEnds[0], &ready, 1) == 1;
  if (!holds) {
    kill(squatter, SIGKILL);
    waitpid(squatter, nullptr, 0);
    waitpid(first, nullptr, 0);
  }
  ASSERT_TRUE(holds) << "the user's first start did not hold the claim";
  EXPECT_EQ(AsUser(User, runtime,
                   [&scope] {
                     Platform::TInstanceClaim later(scope);
                     return !later.First() && later.CallFirst() ? 0 : 1;
                   }),
            0);
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first start was not called";
  // The claim lives where only the user may write.
  struct stat folder {};
  ASSERT_EQ(stat(runtime.c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  kill(squatter, SIGKILL);
  waitpid(squatter, nullptr, 0);
  std::filesystem::remove_all(runtime);
}

}  // namespace
