// Setting the clock, its schedules, the time-change notice and the status tick,
// on a real window (offscreen) whose first query has already succeeded.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "Fakes/FakeUdpServer.h"
#include "FakeClock.h"
#include "Form1.h"
#include "GetTimeClientThread.h"
#include "Platform/ExePath.h"
#include "Protocols/IdRequestPacer.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

class ClockDisplayTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIdRequestPacer::Default().SetMinInterval(0ms);
    Form = std::make_unique<TForm1>();
    Form->Timer1->stop();  // the tests run the tick themselves
    Form->edtServer->setText(QStringLiteral("127.0.0.41"));
    Form->ckCustomServer->setChecked(true);
    ASSERT_TRUE(PumpUntil([this] { return !Form->FQueryBusy; }, 5s));
    ASSERT_FALSE(Form->FQueryFailed);
  }
  void TearDown() override {
    CloseForm(Form);
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  static double SecondsBetween(const Platform::TLocalDateTime& a, TDateTime b) {
    return (EncodeDateTime(a.Year, a.Month, a.Day, a.Hour, a.Minute, a.Second, a.Millisecond) - b) * SecsPerDay;
  }

  FakeUdpServer Server{"127.0.0.41", 123, SntpHandler(0.0)};
  FakeClock Clock;
  std::unique_ptr<TForm1> Form;
};

TEST_F(ClockDisplayTest, TheTickShowsTheDifferenceAndColoursTheLocalTime) {
  struct Case {
    std::int64_t Offset;
    const char* Difference;
    int LocalColour;
  };
  for (const Case c : {Case{5, "5 seconds ahead", 255}, Case{1, "1 seconds ahead", 255},
                       Case{-12, "-12 seconds behind", 255}, Case{0, "time synchronized", 0}}) {
    Form->FClockOffset = c.Offset;
    Form->Timer1Timer();
    EXPECT_EQ(Text(Form->TeSEdit3), c.Difference);
    EXPECT_EQ(TForm1::FontColor(Form->TeSEdit2), c.LocalColour) << c.Offset;
    EXPECT_EQ(TForm1::FontColor(Form->TeSEdit1), 0);
  }
}

TEST_F(ClockDisplayTest, TheServerTimeIsTheLocalTimeMinusTheOffsetInEitherFormat) {
  Form->ckUTCFormat->setChecked(true);
  Form->FClockOffset = 3600;  // an hour ahead: the server's clock reads an hour earlier
  Form->Timer1Timer();
  const QRegularExpression fixed(QStringLiteral("^\\d\\d-[A-Z][a-z][a-z] -\\d{4} (\\d\\d):\\d\\d:\\d\\d$"));
  const auto server = fixed.match(Form->TeSEdit1->text());
  const auto local = fixed.match(Form->TeSEdit2->text());
  ASSERT_TRUE(server.hasMatch()) << Text(Form->TeSEdit1);
  ASSERT_TRUE(local.hasMatch()) << Text(Form->TeSEdit2);
  EXPECT_EQ((server.captured(1).toInt() + 1) % 24, local.captured(1).toInt());
  Form->ckTimeLocaFormat->setChecked(true);
  Form->Timer1Timer();
  EXPECT_FALSE(fixed.match(Form->TeSEdit2->text()).hasMatch()) << "the local format shows at the next tick";
}

TEST_F(ClockDisplayTest, WhileAQueryRunsOnlyTheLocalTimeChanges) {
  Form->TeSEdit1->setText(QStringLiteral("Connecting time sever..."));
  Form->TeSEdit3->setText(QStringLiteral("last"));
  Form->FQueryBusy = true;  // as if a worker were running
  Form->Timer1Timer();
  Form->FQueryBusy = false;
  EXPECT_EQ(Text(Form->TeSEdit1), "Connecting time sever...");
  EXPECT_EQ(Text(Form->TeSEdit3), "last");
  EXPECT_FALSE(Text(Form->TeSEdit2).empty());
}

TEST_F(ClockDisplayTest, AfterAFailureTheTickStartsTheNextQuery) {
  Form->FQueryFailed = true;
  Form->TeSEdit3->setText(QStringLiteral("Unknown"));
  Form->Timer1Timer();
  EXPECT_TRUE(Form->FQueryBusy);
  EXPECT_EQ(Text(Form->TeSEdit3), "Unknown");
  ASSERT_TRUE(PumpUntil([this] { return !Form->FQueryBusy; }, 5s));
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Server.RequestCount(), 2);
}

TEST_F(ClockDisplayTest, SynchroizeSetsTheClockBackByTheOffsetAndItsOwnNoticeStartsNoQuery) {
  Form->FClockOffset = 5;
  const TDateTime before = Now();
  Form->TeButton1->click();
  ASSERT_EQ(Clock.Sets.size(), 1u);
  EXPECT_NEAR(SecondsBetween(Clock.Sets[0], before), -5.0, 0.5);
  EXPECT_EQ(Form->FClockOffset, 0);
  Form->WMTimeChange();  // the notice that follows our own change
  EXPECT_FALSE(Form->FQueryBusy);
  EXPECT_FALSE(Form->FSettingClock);
  Form->WMTimeChange();  // someone else's change
  EXPECT_TRUE(Form->FQueryBusy);
}

TEST_F(ClockDisplayTest, NothingIsSetAfterAFailedQuery) {
  Form->FQueryFailed = true;
  Form->FClockOffset = 5;
  Form->AdjustClock();
  EXPECT_TRUE(Clock.Sets.empty());
  EXPECT_EQ(Form->FClockOffset, 5);
  Form->FQueryFailed = false;
}

TEST_F(ClockDisplayTest, SyncOnStartAdjustsOnceAtTheFirstTickAfterASuccessfulQuery) {
  Form->FSyncOnStartPending = true;
  Form->FClockOffset = -3;
  Form->Timer1Timer();
  ASSERT_EQ(Clock.Sets.size(), 1u);
  EXPECT_FALSE(Form->FSyncOnStartPending);
  EXPECT_EQ(Text(Form->TeSEdit3), "time synchronized");
  Form->Timer1Timer();
  EXPECT_EQ(Clock.Sets.size(), 1u);
}

TEST_F(ClockDisplayTest, ARefusedChangeKeepsTheOffsetAndIsReportedOnceAtATime) {
  Platform::InstallClock(nullptr);  // the real clock: the namespace refuses every change
  Form->FClockOffset = 5;
  try {
    Form->AdjustClock();
    FAIL() << "the system accepted a change of the clock";
  } catch (const EClockNotSet& error) {
    EXPECT_NE(error.Message().find("not permitted"), std::string::npos) << error.Message();
    // Refused for want of the right: the message says how to grant it.
    EXPECT_NE(error.Message().find("setcap cap_sys_time,cap_net_bind_service+ep " + Platform::ExecutablePath()),
              std::string::npos)
        << error.Message();
  }
  EXPECT_EQ(Form->FClockOffset, 5);
  EXPECT_FALSE(Form->FSettingClock);

  // Through the button: one box; a second refusal while it is open shows none.
  int boxes = 0;
  QTimer::singleShot(50ms, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(widget) && widget->isVisible()) ++boxes;
    Form->TeButton1->click();
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Kestrine"));
        EXPECT_TRUE(box->text().startsWith(QStringLiteral("The system clock could not be set")));
        box->accept();
      }
  });
  Form->TeButton1->click();
  EXPECT_EQ(boxes, 1);
  Platform::InstallClock(&Clock);
}

TEST_F(ClockDisplayTest, ThePeriodNeverWraps) {
  struct Case {
    const char* Text;
    int Interval;
  };
  for (const Case c : {Case{"0", 60000}, Case{"1", 60000}, Case{"5", 300000}, Case{"-1", 60000},
                       Case{"99999999", 35791 * 60000}, Case{" 7", 420000}}) {
    Form->edtSyncTime->setText(QString::fromLatin1(c.Text));
    Form->ckSyncTime->setChecked(!Form->ckSyncTime->isChecked());
    EXPECT_EQ(Form->SyncTimer->interval(), c.Interval) << c.Text;
    EXPECT_EQ(Form->SyncTimer->isActive(), Form->ckSyncTime->isChecked()) << c.Text;
  }
}

TEST_F(ClockDisplayTest, APeriodThatIsNoIntegerKeepsTheTimerAsItWas) {
  Form->edtSyncTime->setText(QStringLiteral("5"));
  Form->ckSyncTimeClick();
  Form->edtSyncTime->setText(QStringLiteral("abc"));
  try {
    Form->ckSyncTimeClick();
    FAIL() << "no conversion error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "'abc' is not a valid integer value");
  }
  EXPECT_EQ(Form->SyncTimer->interval(), 300000);
  EXPECT_FALSE(Form->SyncTimer->isActive());
}

TEST_F(ClockDisplayTest, ThePeriodicTimerAdjustsWithoutAQuery) {
  Form->FClockOffset = 2;
  Form->SyncTimerTimer();
  EXPECT_EQ(Clock.Sets.size(), 1u);
  EXPECT_FALSE(Form->FQueryBusy);
}

}  // namespace
