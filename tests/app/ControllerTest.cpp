// The synchronization controller in a real window (offscreen), against fake
// servers on loopback addresses inside the test's private network namespace.
// Addresses that are not put on the loopback interface are unreachable there,
// so an exchange with them raises at once ("Network is unreachable").
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <thread>

#include "AppTestSupport.h"
#include "Core/IdSync.h"
#include "Fakes/FakeUdpServer.h"
#include "Form1.h"
#include "GetTimeClientThread.h"
#include "NistServers.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/NetnsCheck.h"
#include "Support/Peers.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

class ControllerTest : public ::testing::Test {
protected:
  void SetUp() override { TIdRequestPacer::Default().SetMinInterval(0ms); }
  void TearDown() override {
    if (Form) CloseForm(Form);
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  // A window whose first query asks a custom server (set before the query's first step runs).
  void CreateCustom(const std::string& address, int protocol) {
    Form = std::make_unique<TForm1>();
    Form->edtServer->setText(QString::fromStdString(address));
    Form->cbSeverType->setCurrentIndex(protocol);
    Form->ckCustomServer->setChecked(true);
  }

  bool QueryDone(std::chrono::milliseconds timeout = 5s) {
    return PumpUntil([this] { return !Form->FQueryBusy; }, timeout);
  }

  // Every text the label shows while the query runs, in order.
  std::vector<std::string> LabelsUntilDone() {
    // One step of the worker at a time, so that no caption is missed.
    std::vector<std::string> labels;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Form->FQueryBusy && std::chrono::steady_clock::now() < deadline) {
      IdSync::RunQueued();
      const std::string now = Text(Form->labCurServer);
      if (labels.empty() || labels.back() != now) labels.push_back(now);
      std::this_thread::sleep_for(100us);
    }
    return labels;
  }

  std::unique_ptr<TForm1> Form;
};

TEST_F(ControllerTest, NistFallbackAsksEachEntryInTurnAndKeepsTheOneThatAnswered) {
  const std::string answering = NistServers[5];
  ScopedLoopbackAddress alias(answering);
  FakeUdpServer server(answering, 123, SntpHandler(-7.3));  // server 7.3 s behind
  Form = std::make_unique<TForm1>();
  Form->cbSeverType->setCurrentIndex(1);  // NIST mode asks by SNTP whatever the list shows

  const auto labels = LabelsUntilDone();

  const std::vector<std::string> expected = {"Current Server: ", "Current Server: 129.6.15.29",
                                             "Current Server: 129.6.15.28", "Current Server: 129.6.15.29",
                                             "Current Server: 129.6.15.30", "Current Server: 129.6.15.27",
                                             "Current Server: 129.6.15.26", "Current Server: 132.163.97.1"};
  // The label may be read before the first step runs; drop that initial caption if seen.
  std::vector<std::string> seen = labels;
  if (!seen.empty() && seen.front() == "Current Server: ") seen.erase(seen.begin());
  EXPECT_EQ(seen, std::vector<std::string>(expected.begin() + 1, expected.end()));
  EXPECT_EQ(Form->Server(), answering);
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, 7);
  EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(ControllerTest, EveryNistEntryRaisingReportsNoGoodServerThenUnknownAndRetries) {
  Form = std::make_unique<TForm1>();
  ASSERT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1) == "no good nisd server"; }, 5s));
  const auto shown = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1) == "Unknown"; }, 5s));
  const auto unknownAfter = std::chrono::steady_clock::now() - shown;
  EXPECT_GE(unknownAfter, 1900ms);
  EXPECT_EQ(Text(Form->TeSEdit3), "Unknown");
  EXPECT_EQ(TForm1::FontColor(Form->TeSEdit1), 255);
  EXPECT_TRUE(PumpUntil([&] { return Form->FQueryFailed.load(); }, 1s));
  // The status tick starts the next attempt, which shows its own progress again.
  EXPECT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1) == "Connecting time sever..."; }, 3s));
}

TEST_F(ControllerTest, NoAnswerFromTheDefaultServerIsAnInvalidTimeWithoutFallback) {
  ScopedLoopbackAddress alias(DefaultServer);
  FakeUdpServer silent(DefaultServer, 123, SilentHandler());
  Form = std::make_unique<TForm1>();
  Form->IdSNTP1->ReceiveTimeout = 300;
  ASSERT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1) == "invalid time error"; }, 5s));
  EXPECT_EQ(Text(Form->labCurServer), std::string("Current Server: ") + DefaultServer);
  EXPECT_EQ(silent.RequestCount(), 1);
  EXPECT_EQ(Form->FClockOffset, 0);
}

TEST_F(ControllerTest, CustomServerOverSntpGivesTheOffsetInWholeSecondsTruncatedTowardZero) {
  FakeUdpServer server("127.0.0.21", 123, SntpHandler(5.4));  // server 5.4 s ahead: local is behind
  CreateCustom("  127.0.0.21 ", 0);
  ASSERT_TRUE(QueryDone());
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, -5);
  EXPECT_EQ(Form->Server(), "127.0.0.21");
  EXPECT_FALSE(Form->FUseNistList);
  EXPECT_EQ(Text(Form->labCurServer), "Current Server: 127.0.0.21");
}

TEST_F(ControllerTest, CustomServerAgainstARealChronydEndsWithAnOffsetOfZero) {
  ChronyPeer chrony("127.0.0.31");
  CreateCustom("127.0.0.31", 0);
  ASSERT_TRUE(QueryDone());
  EXPECT_FALSE(Form->FQueryFailed) << chrony.Log();
  EXPECT_EQ(Form->FClockOffset, 0);
}

TEST_F(ControllerTest, CustomServerOverTheTimeProtocol) {
  FakeUdpServer server("127.0.0.22", 37, TimeProtocolHandler(-10.0));
  CreateCustom("127.0.0.22", 1);
  ASSERT_TRUE(QueryDone());
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, 10);
  EXPECT_EQ(Form->FServerType, 1);
  EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(ControllerTest, CustomServerThatRaisesShowsItsMessageWithoutFallback) {
  CreateCustom("192.0.2.1", 0);
  ASSERT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1) != "" && Text(Form->TeSEdit1).rfind("Socket", 0) == 0; }, 5s));
  EXPECT_EQ(Text(Form->TeSEdit1), "Socket Error # 10051\r\nNetwork is unreachable.");
  EXPECT_EQ(Text(Form->labCurServer), "Current Server: 192.0.2.1");
}

TEST_F(ControllerTest, EmptyCustomAddressKeepsThePreviousServerProtocolAndMode) {
  CreateCustom("   ", 1);
  ASSERT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1) == "no good nisd server"; }, 5s));
  // The previous choice is the loaded default: the NIST list by SNTP, so its fallback ran.
  EXPECT_TRUE(Form->FUseNistList);
  EXPECT_EQ(Form->FServerType, 0);
}

TEST_F(ControllerTest, RefreshWhileAQueryRunsStartsNothing) {
  FakeUdpServer silent("127.0.0.23", 123, SilentHandler());
  CreateCustom("127.0.0.23", 0);
  Form->IdSNTP1->ReceiveTimeout = 1500;
  ASSERT_TRUE(PumpUntil([&] { return silent.RequestCount() == 1; }, 5s));
  Form->TeButton2->click();
  Form->TeButton2->click();
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 1);
  PumpFor(200ms);
  EXPECT_EQ(silent.RequestCount(), 1);
}

TEST_F(ControllerTest, RepeatedQueriesToOneServerStayFourSecondsApart) {
  TIdRequestPacer::Default().SetMinInterval(4000ms);
  // Stratum 0: every answer is refused, so the query fails and is retried at once.
  FakeUdpServer server("127.0.0.24", 123, [](const Datagram& request) {
    return std::vector<Reply>{{SntpReply(request.Data, NtpNow(), 0), 0ms, false}};
  });
  CreateCustom("127.0.0.24", 0);
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 1; }, 5s));
  const auto first = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1) == "invalid time error"; }, 5s));
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 2; }, 8s));
  EXPECT_GE(std::chrono::steady_clock::now() - first, 3900ms);
}

TEST_F(ControllerTest, ClosingTheWindowDuringAQueryEndsTheWorkerWithoutTouchingTheWindow) {
  FakeUdpServer silent("127.0.0.25", 123, SilentHandler());
  CreateCustom("127.0.0.25", 0);
  ASSERT_TRUE(PumpUntil([&] { return silent.RequestCount() == 1; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  Form.reset();
  EXPECT_TRUE(PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
}

TEST_F(ControllerTest, ClosingTheWindowDuringTheFailureReportEndsTheWorker) {
  CreateCustom("192.0.2.1", 0);
  ASSERT_TRUE(PumpUntil([&] { return Text(Form->TeSEdit1).rfind("Socket", 0) == 0; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  Form.reset();  // the worker is in its 2000 ms wait
  EXPECT_TRUE(PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
}

}  // namespace
