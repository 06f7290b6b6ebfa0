// SPDX-License-Identifier: MIT
// The synchronizer's rules without a window: the server choice, what a set does
// to the offset and to a measurement under way, the refusal shown once, and the
// synchronization on start-up. Queries go to a fake server on loopback.
#include <atomic>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "Core/IdThreadStart.h"
#include "Fakes/FakeUdpServer.h"
#include "Sync/NistServers.h"
#include "Sync/SynchronizerFixture.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

// Through the door, as the worker's first step asks it.
TEST_F(SynchronizerTest, TheChoiceFollowsTheUsersRequestAndAnEmptyAddressKeepsThePrevious) {
  struct Case {
    TServerRequest Request;
    std::string Server;
    std::int32_t Type;
    bool Nist;
  };
  const Case cases[] = {
      {{true, false, "192.0.2.9", 1}, DefaultServer, 0, true},  // the NIST list asks by SNTP
      {{false, true, " \t192.0.2.9\r\n", 1}, "192.0.2.9", 1, false},
      {{false, true, "   ", 0}, "192.0.2.9", 1, false},  // nothing typed: the previous choice
      {{true, false, "", 1}, DefaultServer, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Request.Address);
    Window.Request = c.Request;
    Window.Shown.clear();
    const TServerChoice choice = Sync->ChooseServer();
    EXPECT_EQ(choice.Server, c.Server);
    EXPECT_EQ(choice.ServerType, c.Type);
    EXPECT_EQ(choice.UseNistList, c.Nist);
    EXPECT_EQ(Window.Shown, (std::vector<std::string>{"query: Connecting time sever...", "server: " + c.Server}));
  }
}

TEST_F(SynchronizerTest, ASetAppliesTheOffsetClearsItAndItsOwnNoticeStartsNoQuery) {
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(-5.4));  // the clock is 5.4 s ahead
  Measure();
  ASSERT_EQ(Sync->StatusTick(), 5);
  const Platform::TInstantMs before = Clock.ReadInstant();
  Sync->AdjustClock();
  ASSERT_EQ(Clock.Sets().size(), 1u);
  EXPECT_NEAR(static_cast<double>(Clock.Sets()[0] - before), -5000.0, 500.0);
  EXPECT_EQ(Sync->StatusTick(), 0);
  Sync->ClockChanged();  // the notice of our own set
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 0);
  Sync->ClockChanged();  // another program's
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 1);
}

TEST_F(SynchronizerTest, ARefusedSetKeepsTheOffsetAndAwaitsNoNoticeOfItsOwn) {
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(-5.4));
  Measure();
  Clock.Refuse(1, "Operation not permitted");
  try {
    Sync->AdjustClock();
    ADD_FAILURE() << "the refusal was not raised";
  } catch (const EClockNotSet& refusal) {
    EXPECT_EQ(refusal.Message().rfind("The system clock could not be set: Operation not permitted", 0), 0u)
        << refusal.Message();
  }
  EXPECT_EQ(Sync->StatusTick(), 5);
  Sync->ClockChanged();  // no set of ours came before it: another program's
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 1);
}

// Without the right to set the clock, each period would bring the same box back.
TEST_F(SynchronizerTest, ARefusalIsNewsOnceUntilASetSucceedsOrTheUserAsks) {
  struct Step {
    const char* Message;
    bool UserAsked;
    bool News;
  };
  for (const Step s : {Step{"A", false, true}, Step{"A", false, false}, Step{"A", true, true}, Step{"A", false, false},
                       Step{"B", false, true}, Step{"B", false, false}})
    EXPECT_EQ(Sync->RefusalIsNews(s.Message, s.UserAsked), s.News) << s.Message << s.UserAsked;
  Sync->AdjustClock();
  EXPECT_TRUE(Sync->RefusalIsNews("B", false)) << "after a set that succeeded";
}

// A measurement taken before the clock was set, by us or by another program,
// was taken against the old clock: applying it would move the clock a second
// time, so it is dropped and a new query measures at once.
TEST_F(SynchronizerTest, AMeasurementAcrossASetIsDroppedAndTakenAgain) {
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(5.4));  // the clock is 5.4 s behind
  Measure();
  ASSERT_EQ(Sync->StatusTick(), -5);
  struct Case {
    const char* What;
    std::function<void()> Set;
    std::int64_t Offset;  // as measured anew
  };
  const Case cases[] = {
      {"our own set, 5 s forward, and its notice",
       [&] {
         Sync->AdjustClock();
         Sync->ClockChanged();
       },
       0},
      {"another program's step, 5 s back",
       [&] {
         Clock.Advance(-5000);
         Sync->ClockChanged();
       },
       -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    std::atomic<bool> set{false};
    // Between the worker's reading of the clock and its handing back the result.
    TGetTimeClientThread::BeforeStoreHook = [&] {
      if (!set.exchange(true)) IdSync::RunSynchronized(c.Set);
    };
    const int requests = server.RequestCount();
    Measure();
    TGetTimeClientThread::BeforeStoreHook = nullptr;
    EXPECT_EQ(server.RequestCount(), requests + 2);
    EXPECT_EQ(Sync->StatusTick(), c.Offset);
  }
}

// The clock is set at the first tick after the first successful query: not
// while queries fail, nor while the first one runs.
TEST_F(SynchronizerTest, SyncOnStartWaitsForTheFirstSuccessAndSetsOnce) {
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(-3.4));
  Sync->SetSyncOnStart(true);
  {
    const IdThreadStart::TScopedRefusal refusal;
    Sync->StartQuery();
    EXPECT_EQ(Sync->StatusTick(), std::nullopt);
  }
  std::atomic<bool> held{true}, asking{false};
  TGetTimeClientThread::BeforeQueryHook = [&] {
    asking = true;
    while (held) std::this_thread::sleep_for(1ms);
  };
  EXPECT_EQ(Sync->StatusTick(), std::nullopt);  // starts the next query
  ASSERT_TRUE(Pump([&] { return asking.load(); }));
  EXPECT_EQ(Sync->StatusTick(), std::nullopt);
  EXPECT_TRUE(Clock.Sets().empty());
  held = false;
  ASSERT_TRUE(WorkersEnded());
  TGetTimeClientThread::BeforeQueryHook = nullptr;
  EXPECT_EQ(Sync->StatusTick(), 0) << "set at this tick";
  EXPECT_EQ(Sync->StatusTick(), 0);
  EXPECT_EQ(Clock.Sets().size(), 1u);
}

TEST(DifferenceTextTest, TheOffsetWithItsSignAndNoSingular) {
  EXPECT_EQ(DifferenceText(5), "5 seconds ahead");
  EXPECT_EQ(DifferenceText(1), "1 seconds ahead");
  EXPECT_EQ(DifferenceText(-12), "-12 seconds behind");
  EXPECT_EQ(DifferenceText(0), "time synchronized");
}

}  // namespace
