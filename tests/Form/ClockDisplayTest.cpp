// Setting the clock, its schedules, the time-change notice and the status tick,
// on a fake window whose first query has already succeeded.
#include <gtest/gtest.h>

#include <regex>

#include "Form/ClockDisplayFixture.h"
#include "Form/GetTimeClientThread.h"
#include "Platform/HelperRequest.h"
#include "Platform/TimeChange.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

TEST_F(ClockDisplayTest, TheTickShowsTheDifferenceAndColoursTheLocalTime) {
  struct Case {
    std::int64_t Offset;
    const char* Difference;
    int LocalColour;
  };
  for (const Case c : {Case{5, "5 seconds ahead", 255}, Case{1, "1 seconds ahead", 255},
                       Case{-12, "-12 seconds behind", 255}, Case{0, "time synchronized", 0}}) {
    Form->FClockOffset = c.Offset;
    View().Tick();
    EXPECT_EQ(Text(TControl::TeSEdit3), c.Difference);
    EXPECT_EQ(Color(TControl::TeSEdit2), c.LocalColour) << c.Offset;
    EXPECT_EQ(Color(TControl::TeSEdit1), 0);
  }
}

TEST_F(ClockDisplayTest, TheServerTimeIsTheLocalTimeMinusTheOffsetInEitherFormat) {
  View().Click(TControl::ckUTCFormat);
  Form->FClockOffset = 3600;  // an hour ahead: the server's clock reads an hour earlier
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

TEST_F(ClockDisplayTest, WhileAQueryRunsOnlyTheLocalTimeChanges) {
  View().SetText(TControl::TeSEdit1, "Connecting time sever...");
  View().SetText(TControl::TeSEdit3, "last");
  Form->FQueryBusy = true;  // as if a worker were running
  View().Tick();
  Form->FQueryBusy = false;
  EXPECT_EQ(Text(TControl::TeSEdit1), "Connecting time sever...");
  EXPECT_EQ(Text(TControl::TeSEdit3), "last");
  EXPECT_FALSE(Text(TControl::TeSEdit2).empty());
}

TEST_F(ClockDisplayTest, AfterAFailureTheTickStartsTheNextQuery) {
  Form->FQueryFailed = true;
  View().SetText(TControl::TeSEdit3, "Unknown");
  View().Tick();
  EXPECT_TRUE(Form->FQueryBusy);
  EXPECT_EQ(Text(TControl::TeSEdit3), "Unknown");
  ASSERT_TRUE(PumpUntil([this] { return !Form->FQueryBusy; }, 5s));
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Server.RequestCount(), 2);
}

TEST_F(ClockDisplayTest, SynchroizeSetsTheClockBackByTheOffsetAndItsOwnNoticeStartsNoQuery) {
  Form->FClockOffset = 5;
  const Platform::TInstantMs before = Clock.ReadInstant();
  View().Click(TControl::TeButton1);
  ASSERT_EQ(Clock.Sets().size(), 1u);
  EXPECT_NEAR(static_cast<double>(Clock.Sets()[0] - before), -5000.0, 500.0);
  EXPECT_EQ(Form->FClockOffset, 0);
  Form->TimeChanged();  // the notice that follows our own change
  EXPECT_FALSE(Form->FQueryBusy);
  EXPECT_FALSE(Form->FSettingClock);
  Form->TimeChanged();  // someone else's change
  EXPECT_TRUE(Form->FQueryBusy);
}

TEST_F(ClockDisplayTest, NothingIsSetAfterAFailedQuery) {
  Form->FQueryFailed = true;
  Form->FClockOffset = 5;
  Form->AdjustClock();
  EXPECT_TRUE(Clock.Sets().empty());
  EXPECT_EQ(Form->FClockOffset, 5);
  Form->FQueryFailed = false;
}

TEST_F(ClockDisplayTest, SyncOnStartAdjustsOnceAtTheFirstTickAfterASuccessfulQuery) {
  Form->FSyncOnStartPending = true;
  Form->FClockOffset = -3;
  View().Tick();
  ASSERT_EQ(Clock.Sets().size(), 1u);
  EXPECT_FALSE(Form->FSyncOnStartPending);
  EXPECT_EQ(Text(TControl::TeSEdit3), "time synchronized");
  View().Tick();
  EXPECT_EQ(Clock.Sets().size(), 1u);
}

// Without the right to set the clock, each period would bring the same box back:
// a refusal is shown once, until a set succeeds or the user presses the button.
TEST_F(ClockDisplayTest, ARefusedChangeKeepsTheOffsetAndIsShownOnce) {
  Clock.Refuse(1, "Operation not permitted");
  Form->FClockOffset = 5;
  for (int period = 0; period < 3; ++period) Form->TimerFired(TTimerId::SyncTimer);
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_EQ(View().ErrorBoxes[0].rfind("The system clock could not be set: Operation not permitted", 0), 0u)
      << View().ErrorBoxes[0];
  EXPECT_EQ(Form->FClockOffset, 5);
  EXPECT_FALSE(Form->FSettingClock);

  View().Click(TControl::TeButton1);  // the user asks: always answered
  EXPECT_EQ(View().ErrorBoxes.size(), 2u);
  Form->TimerFired(TTimerId::SyncTimer);
  EXPECT_EQ(View().ErrorBoxes.size(), 2u);

  // While one box is open, the periods and the button add none.
  View().OnErrorBox = [&](const std::string&) {
    View().OnErrorBox = nullptr;
    Form->TimerFired(TTimerId::SyncTimer);
    View().Click(TControl::TeButton1);
  };
  View().Click(TControl::TeButton1);
  EXPECT_EQ(View().ErrorBoxes.size(), 3u);

  Clock.Accept();
  Form->TimerFired(TTimerId::SyncTimer);  // a set succeeds...
  Clock.Refuse(1, "Operation not permitted");
  Form->FClockOffset = 5;
  Form->TimerFired(TTimerId::SyncTimer);  // ...so the next refusal is news again
  EXPECT_EQ(View().ErrorBoxes.size(), 4u);
}

// Refused by the policy of whom the clock helper or service serves: the box
// says who may set the clock, once, with no advice about rights to grant.
TEST_F(ClockDisplayTest, APolicyRefusalSaysWhoMaySetTheClockOnce) {
  Clock.Refuse(HelperRequest::NotAuthorized, HelperRequest::RefusalText(HelperRequest::NotAuthorized));
  Form->FClockOffset = 5;
  for (int period = 0; period < 3; ++period) Form->TimerFired(TTimerId::SyncTimer);
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
  Form->ckSyncTimeClick();  // the same interval, the same state
  EXPECT_EQ(View().Timer(TTimerId::SyncTimer).Starts, starts);
}

TEST_F(ClockDisplayTest, APeriodThatIsNoIntegerKeepsTheTimerAsItWas) {
  View().Type(TControl::edtSyncTime, "5");
  Form->ckSyncTimeClick();
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
  Form->FClockOffset = 5;
  View().Type(TControl::edtSyncTime, "abc");
  View().OnErrorBox = [&](const std::string&) {
    View().OnErrorBox = nullptr;
    Form->TimerFired(TTimerId::SyncTimer);
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
  Form->FClockOffset = 2;
  Form->TimerFired(TTimerId::SyncTimer);
  EXPECT_EQ(Clock.Sets().size(), 1u);
  EXPECT_FALSE(Form->FQueryBusy);
}

// The watch on clock changes must be armed again after each notice; when that
// fails, the user hears of it once, and each tick tries again.
TEST_F(ClockDisplayTest, AWatchThatCannotBeArmedIsReportedOnceAndRetried) {
  if (Form->TimeChangeHandle() < 0) GTEST_SKIP() << "no clock-change handle on this system";
  Platform::TTimeChangeWatch::FailArmingForTests(true);
  Form->TimeChangeHandleReadable();
  View().Tick();
  View().Tick();
  ASSERT_EQ(View().ErrorBoxes.size(), 1u);
  EXPECT_EQ(View().ErrorBoxes[0].rfind("Changes of the system clock by other programs can no longer be noticed", 0),
            0u);
  EXPECT_FALSE(Text(TControl::TeSEdit2).empty()) << "the tick itself went on";
  Platform::TTimeChangeWatch::FailArmingForTests(false);
  View().Tick();
  Platform::TTimeChangeWatch::FailArmingForTests(true);
  Form->TimeChangeHandleReadable();
  View().Tick();
  Platform::TTimeChangeWatch::FailArmingForTests(false);
  EXPECT_EQ(View().ErrorBoxes.size(), 2u) << "once re-armed, a new failure is news again";
}

}  // namespace
