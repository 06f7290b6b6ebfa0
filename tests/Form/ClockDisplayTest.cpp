// SPDX-License-Identifier: MIT
// Setting the clock, its schedules, the time-change notice and the status tick,
// on a fake window whose first query has already succeeded.
#include <atomic>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "Core/IdThreadStart.h"
#include "Form/ClockDisplayFixture.h"
#include "Platform/HelperRequest.h"
#include "Platform/TimeChange.h"
#include "Support/TestHelpers.h"
#include "Sync/GetTimeClientThread.h"
#include "TimeText/TestFormats.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

TEST_F(ClockDisplayTest, TheTickShowsTheDifferenceAndColoursTheLocalTime) {
  struct Case {
    std::int64_t AheadMs;
    const char* Difference;
    int LocalColour;
  };
  for (const Case c :
       {Case{5500, "5 seconds ahead", 255}, Case{-12500, "-12 seconds behind", 255}, Case{0, "time synchronized", 0}}) {
    Measure(c.AheadMs);
    View().Tick();
    EXPECT_EQ(Text(TControl::TeSEdit3), c.Difference);
    EXPECT_EQ(Color(TControl::TeSEdit2), c.LocalColour) << c.AheadMs;
    EXPECT_EQ(Color(TControl::TeSEdit1), 0);
  }
}

TEST_F(ClockDisplayTest, TheServerTimeIsTheLocalTimeMinusTheOffsetInEitherFormat) {
  View().Click(TControl::ckUTCFormat);
  Measure(3600500);  // an hour ahead: the server's clock reads an hour earlier
  View().Tick();
  const std::regex fixed(R"(^\d\d-[A-Z][a-z][a-z] -\d{4} (\d\d):\d\d:\d\d$)");
  std::smatch server, local;
  const std::string serverText = Text(TControl::TeSEdit1), localText = Text(TControl::TeSEdit2);
  ASSERT_TRUE(std::regex_match(serverText, server, fixed)) << serverText;
  ASSERT_TRUE(std::regex_match(localText, local, fixed)) << localText;
  EXPECT_EQ((std::stoi(server[1]) + 1) % 24, std::stoi(local[1]));
  View().Click(TControl::ckTimeLocaFormat);
  View().Tick();
  EXPECT_FALSE(std::regex_match(Text(TControl::TeSEdit2), fixed)) << "the local format shows at the next tick";
}

// The window formats with the settings it was given, and with the user's new
// ones once the regional settings change; the fixed format stays US English.
TEST(ClockFormatTest, TheWindowFollowsTheUsersSettings) {
  const TDateTime evening = EncodeDateTime(2024, 12, 8, 21, 30, 5, 123);  // a Sunday
  FakeWindow window;
  EXPECT_EQ(window.Form->FormatClockTime(true, evening), "21:30:05, Sunday, Sunday, 8 December 2024");
  TFormatSettings user = UsFormatSettings();
  user.LongTimeFormat = "hh.mm.ss";
  user.LongDateFormat = "dddd d mmmm yyyy";
  window.Form->SetUserFormat(user);
  EXPECT_EQ(window.Form->FormatClockTime(true, evening), "21.30.05, Sunday, Sunday 8 December 2024");
  EXPECT_EQ(window.Form->FormatClockTime(false, evening), "08-Dec -2024 21:30:05");
}

// A query under way owns the Server Time and Difference boxes.
TEST_F(ClockDisplayTest, WhileAQueryRunsOnlyTheLocalTimeChanges) {
  std::atomic<bool> held{true}, asking{false};
  TGetTimeClientThread::BeforeQueryHook = [&] {
    asking = true;
    while (held) std::this_thread::sleep_for(1ms);
  };
  View().Click(TControl::TeButton2);
  ASSERT_TRUE(PumpUntil([&] { return asking.load(); }, 5s));
  EXPECT_EQ(Text(TControl::TeSEdit1), "Connecting time sever...");
  View().ForgetShown(TControl::TeSEdit1);
  View().ForgetShown(TControl::TeSEdit2);
  View().ForgetShown(TControl::TeSEdit3);
  View().Tick();
  EXPECT_TRUE(View().At(TControl::TeSEdit1).Shown.empty());
  EXPECT_TRUE(View().At(TControl::TeSEdit3).Shown.empty());
  EXPECT_FALSE(View().At(TControl::TeSEdit2).Shown.empty());
  held = false;
  ASSERT_TRUE(QueriesEnded());
  TGetTimeClientThread::BeforeQueryHook = nullptr;
}

// No thread can be started: the failure shows like a failed query's, nothing is
// set, and each tick tries again as after any failure, without a box piling up
// on another, until a query succeeds.
TEST_F(ClockDisplayTest, AfterAFailureNothingIsSetAndTheTickStartsTheNextQuery) {
  Measure(5500);
  std::optional<IdThreadStart::TScopedRefusal> refusal(std::in_place);
  View().Click(TControl::TeButton2);
  EXPECT_EQ(Text(TControl::TeSEdit1).rfind("Cannot start a thread: ", 0), 0u) << Text(TControl::TeSEdit1);
  EXPECT_EQ(Color(TControl::TeSEdit1), 255);
  EXPECT_EQ(Text(TControl::TeSEdit3), "Unknown");
  View().Click(TControl::TeButton1);
  Window->Form->TimerFired(TTimerId::SyncTimer);
  EXPECT_TRUE(Clock.Sets().empty());
  for (int tick = 0; tick < 5; ++tick) View().Tick();
  View().Click(TControl::TeButton2);
  EXPECT_TRUE(View().ErrorBoxes.empty());
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 0);

  refusal.reset();
  View().Tick();
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 1) << "the next tick starts the query";
  EXPECT_EQ(Text(TControl::TeSEdit3), "Unknown");
  ASSERT_TRUE(QueriesEnded());
  View().Tick();
  EXPECT_EQ(Text(TControl::TeSEdit3), "5 seconds ahead");
  EXPECT_EQ(Color(TControl::TeSEdit1), 0);
  EXPECT_EQ(Server.RequestCount(), 3);
}

TEST_F(ClockDisplayTest, SynchroizeSetsTheClockBackByTheOffsetAndItsOwnNoticeStartsNoQuery) {
  Measure(5500);
  const Platform::TInstantMs before = Clock.ReadInstant();
  View().Click(TControl::TeButton1);
  ASSERT_EQ(Clock.Sets().size(), 1u);
  EXPECT_NEAR(static_cast<double>(Clock.Sets()[0] - before), -5000.0, 500.0);
  View().Tick();
  EXPECT_EQ(Text(TControl::TeSEdit3), "time synchronized");
  Form().TimeChanged();  // the notice that follows our own change
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 0);
  Form().TimeChanged();  // someone else's change
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 1);
  ASSERT_TRUE(QueriesEnded());
  EXPECT_EQ(Server.RequestCount(), 3);
}

// Synchronization on start-up, as the settings ask for it: the first tick after
// the first successful query sets the clock, and already shows it synchronized.
TEST(SyncOnStartTest, TheFirstTickAfterTheFirstSuccessSetsTheClockOnce) {
  TIdRequestPacer::Default().SetMinInterval(0ms);
  const auto folder = std::filesystem::temp_directory_path() / "kestrine-sync-on-start";
  const std::string settings = (folder / "settings.ini").string();
  WriteFile(settings, "[Common]\nbNISTServer=0\nTimeServer=127.0.0.1\nckSyncOnStart=1\n");
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(0.0));
  FakeClock clock;
  clock.Advance(-3500);
  {
    FakeWindow window(TSettingsPaths{settings, settings});
    ASSERT_TRUE(PumpUntil([&] { return !clock.Sets().empty(); }, 5s)) << "the pump runs the ticks";
    EXPECT_EQ(window.View.Text(TControl::TeSEdit3), "time synchronized");
    window.View.Tick();
    window.View.Tick();
    EXPECT_EQ(clock.Sets().size(), 1u);
  }
  std::filesystem::remove_all(folder);
  TIdRequestPacer::Default().SetMinInterval(4000ms);
}

// Without the right to set the clock, each period would bring the same box back:
// a refusal is shown once, until a set succeeds or the user presses the button.
TEST_F(ClockDisplayTest, ARefusedChangeKeepsTheOffsetAndIsShownOnce) {
  Measure(5500);
  Clock.Refuse(1, "Operation not permitted");
  for (int period = 0; period < 3; ++period) Form().TimerFired(TTimerId::SyncTimer);
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_EQ(View().ErrorBoxes[0].rfind("The system clock could not be set: Operation not permitted", 0), 0u)
      << View().ErrorBoxes[0];
  View().Tick();
  EXPECT_EQ(Text(TControl::TeSEdit3), "5 seconds ahead");

  View().Click(TControl::TeButton1);  // the user asks: always answered
  EXPECT_EQ(View().ErrorBoxes.size(), 2u);
  Form().TimerFired(TTimerId::SyncTimer);
  EXPECT_EQ(View().ErrorBoxes.size(), 2u);

  // While one box is open, the periods and the button add none.
  View().OnErrorBox = [&](const std::string&) {
    View().OnErrorBox = nullptr;
    Form().TimerFired(TTimerId::SyncTimer);
    View().Click(TControl::TeButton1);
  };
  View().Click(TControl::TeButton1);
  EXPECT_EQ(View().ErrorBoxes.size(), 3u);

  Clock.Accept();
  Form().TimerFired(TTimerId::SyncTimer);  // a set succeeds...
  Clock.Refuse(1, "Operation not permitted");
  Form().TimerFired(TTimerId::SyncTimer);  // ...so the next refusal is news again
  EXPECT_EQ(View().ErrorBoxes.size(), 4u);
}

// Refused by the policy of whom the clock helper or service serves: the box
// says who may set the clock, once, with no advice about rights to grant.
TEST_F(ClockDisplayTest, APolicyRefusalSaysWhoMaySetTheClockOnce) {
  Clock.Refuse(HelperRequest::NotAuthorized, HelperRequest::RefusalText(HelperRequest::NotAuthorized));
  for (int period = 0; period < 3; ++period) Form().TimerFired(TTimerId::SyncTimer);
  EXPECT_EQ(View().ErrorBoxes, std::vector<std::string>{
                                   "The system clock could not be set: Kestrine may set the clock only for the user at "
                                   "this computer's screen; an administrator can allow more, as its README says."});
}

TEST_F(ClockDisplayTest, ThePeriodNeverWraps) {
  struct Case {
    const char* Text;
    std::uint32_t Interval;
  };
  for (const Case c : {Case{"0", 60000}, Case{"1", 60000}, Case{"5", 300000}, Case{"-1", 60000},
                       Case{"99999999", 35791u * 60000}, Case{" 7", 420000}}) {
    View().Type(TControl::edtSyncTime, c.Text);
    View().Click(TControl::ckSyncTime);
    EXPECT_EQ(View().Timer(TTimerId::SyncTimer).Interval, c.Interval) << c.Text;
    EXPECT_EQ(View().Timer(TTimerId::SyncTimer).Enabled, View().Checked(TControl::ckSyncTime)) << c.Text;
  }
}

TEST_F(ClockDisplayTest, ThePeriodRestartsOnlyWhenItChanges) {
  View().Type(TControl::edtSyncTime, "5");
  View().Click(TControl::ckSyncTime);
  const int starts = View().Timer(TTimerId::SyncTimer).Starts;
  Form().ckSyncTimeClick();  // the same interval, the same state
  EXPECT_EQ(View().Timer(TTimerId::SyncTimer).Starts, starts);
}

TEST_F(ClockDisplayTest, APeriodThatIsNoIntegerKeepsTheTimerAsItWas) {
  View().Type(TControl::edtSyncTime, "5");
  Form().ckSyncTimeClick();
  View().Type(TControl::edtSyncTime, "abc");
  View().Click(TControl::ckSyncTime);
  EXPECT_EQ(View().ErrorBoxes, std::vector<std::string>{"'abc' is not a valid integer value."});
  EXPECT_TRUE(View().Checked(TControl::ckSyncTime)) << "the box shows its new state";
  EXPECT_EQ(View().Timer(TTimerId::SyncTimer).Interval, 300000u);
  EXPECT_FALSE(View().Timer(TTimerId::SyncTimer).Enabled);
}

// One box at a time, whatever the reasons: while one is open, a refusal of the
// period inside its loop adds none, nor does a wrong number inside a refusal's.
TEST_F(ClockDisplayTest, OneBoxAtATimeWhateverItsReason) {
  Clock.Refuse(1, "Operation not permitted");
  View().Type(TControl::edtSyncTime, "abc");
  View().OnErrorBox = [&](const std::string&) {
    View().OnErrorBox = nullptr;
    Form().TimerFired(TTimerId::SyncTimer);
  };
  View().Click(TControl::ckSyncTime);
  EXPECT_EQ(View().ErrorBoxes, std::vector<std::string>{"'abc' is not a valid integer value."});

  View().OnErrorBox = [&](const std::string&) {
    View().OnErrorBox = nullptr;
    View().Click(TControl::ckSyncTime);
  };
  View().Click(TControl::TeButton1);
  ASSERT_EQ(View().ErrorBoxes.size(), 2u);
  EXPECT_EQ(View().ErrorBoxes[1].rfind("The system clock could not be set", 0), 0u) << View().ErrorBoxes[1];
  View().Click(TControl::ckSyncTime);  // closed, the next box opens again
  EXPECT_EQ(View().ErrorBoxes.size(), 3u);
}

TEST_F(ClockDisplayTest, ThePeriodicTimerAdjustsWithoutAQuery) {
  Measure(2500);
  Form().TimerFired(TTimerId::SyncTimer);
  EXPECT_EQ(Clock.Sets().size(), 1u);
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 0);
  View().Tick();
  EXPECT_EQ(Text(TControl::TeSEdit3), "time synchronized");
}

// The watch on clock changes must be armed again after each notice; when that
// fails, the user hears of it once, and each tick tries again.
TEST_F(ClockDisplayTest, AWatchThatCannotBeArmedIsReportedOnceAndRetried) {
  if (Form().TimeChangeHandle() < 0) GTEST_SKIP() << "no clock-change handle on this system";
  Platform::TTimeChangeWatch::FailArmingForTests(true);
  Form().TimeChangeHandleReadable();
  View().Tick();
  View().Tick();
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_EQ(View().ErrorBoxes[0].rfind("Changes of the system clock by other programs can no longer be noticed", 0),
            0u);
  EXPECT_FALSE(Text(TControl::TeSEdit2).empty()) << "the tick itself went on";
  Platform::TTimeChangeWatch::FailArmingForTests(false);
  View().Tick();
  Platform::TTimeChangeWatch::FailArmingForTests(true);
  Form().TimeChangeHandleReadable();
  View().Tick();
  Platform::TTimeChangeWatch::FailArmingForTests(false);
  EXPECT_EQ(View().ErrorBoxes.size(), 2u) << "once re-armed, a new failure is news again";
}

}  // namespace
