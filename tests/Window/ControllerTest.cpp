// The synchronization controller on a fake window, against fake
// servers on loopback addresses inside the test's private network namespace.
// Addresses that are not put on the loopback interface are unreachable there,
// so an exchange with them raises at once ("Network is unreachable").
#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <thread>

#include "Core/IdSync.h"
#include "Core/IdThreadStart.h"
#include "Fakes/FakeUdpServer.h"
#include "FakeFormView.h"
#include "Form1.h"
#include "GetTimeClientThread.h"
#include "NistServers.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/NetnsCheck.h"
#include "Support/FakeClock.h"
#include "Support/Peers.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

// An address on the loopback interface for the life of the object, so that a
// test can answer as a public server; without it that address is unreachable.
class ScopedLoopbackAddress {
public:
  explicit ScopedLoopbackAddress(std::string address) : FAddress(std::move(address)) { AddLoopbackAddress(FAddress); }
  ~ScopedLoopbackAddress() { RemoveLoopbackAddress(FAddress); }

private:
  std::string FAddress;
};

class ControllerTest : public ::testing::Test {
protected:
  void SetUp() override { TIdRequestPacer::Default().SetMinInterval(0ms); }
  void TearDown() override {
    Window.reset();
    TIdRequestPacer::Default().SetMinInterval(4000ms);
  }

  void Create() {
    Window = std::make_unique<FakeWindow>();
    Form = Window->Form.get();
  }
  FakeFormView& View() { return Window->View; }
  std::string Text(TControl control) { return View().Text(control); }

  // A window whose first query asks a custom server (set before the query's first step runs).
  void CreateCustom(const std::string& address, int protocol) {
    Create();
    View().Type(TControl::edtServer, address);
    View().At(TControl::cbSeverType).ItemIndex = protocol;
    View().Click(TControl::ckCustomServer);
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
      const std::string now = Text(TControl::labCurServer);
      if (labels.empty() || labels.back() != now) labels.push_back(now);
      std::this_thread::sleep_for(100us);
    }
    return labels;
  }

  std::unique_ptr<FakeWindow> Window;
  TForm1* Form = nullptr;
};

TEST_F(ControllerTest, NistFallbackAsksEachEntryInTurnAndKeepsTheOneThatAnswered) {
  const std::string answering = NistServers[5];
  ScopedLoopbackAddress alias(answering);
  FakeUdpServer server(answering, 123, SntpHandler(-7.3));  // server 7.3 s behind
  Create();
  View().At(TControl::cbSeverType).ItemIndex = 1;  // NIST mode asks by SNTP whatever the list shows

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
  Create();
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "no good nisd server"; }, 5s));
  const auto shown = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "Unknown"; }, 5s));
  const auto unknownAfter = std::chrono::steady_clock::now() - shown;
  EXPECT_GE(unknownAfter, 1900ms);
  EXPECT_EQ(Text(TControl::TeSEdit3), "Unknown");
  EXPECT_EQ(View().At(TControl::TeSEdit1).FontColor, 255);
  EXPECT_TRUE(PumpUntil([&] { return Form->FQueryFailed.load(); }, 1s));
  // The status tick starts the next attempt, which shows its own progress again.
  View().ForgetShown(TControl::TeSEdit1);
  EXPECT_TRUE(PumpUntil([&] { return View().HasShown(TControl::TeSEdit1, "Connecting time sever..."); }, 3s));
}

TEST_F(ControllerTest, NoAnswerFromTheDefaultServerIsAnInvalidTimeWithoutFallback) {
  ScopedLoopbackAddress alias(DefaultServer);
  FakeUdpServer silent(DefaultServer, 123, SilentHandler());
  Create();
  Form->IdSNTP1->ReceiveTimeout = 300;
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "invalid time error"; }, 5s));
  EXPECT_EQ(Text(TControl::labCurServer), std::string("Current Server: ") + DefaultServer);
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
  EXPECT_EQ(Text(TControl::labCurServer), "Current Server: 127.0.0.21");
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
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) != "" && Text(TControl::TeSEdit1).rfind("Socket", 0) == 0; }, 5s));
  EXPECT_EQ(Text(TControl::TeSEdit1), "Socket Error # 10051\r\nNetwork is unreachable.");
  EXPECT_EQ(Text(TControl::labCurServer), "Current Server: 192.0.2.1");
}

TEST_F(ControllerTest, EmptyCustomAddressKeepsThePreviousServerProtocolAndMode) {
  CreateCustom("   ", 1);
  ASSERT_TRUE(PumpUntil([&] { return View().HasShown(TControl::TeSEdit1, "no good nisd server"); }, 5s));
  // The previous choice is the loaded default: the NIST list by SNTP, so its fallback ran.
  EXPECT_TRUE(Form->FUseNistList);
  EXPECT_EQ(Form->FServerType, 0);
}

TEST_F(ControllerTest, RefreshWhileAQueryRunsStartsNothing) {
  FakeUdpServer silent("127.0.0.23", 123, SilentHandler());
  CreateCustom("127.0.0.23", 0);
  Form->IdSNTP1->ReceiveTimeout = 1500;
  ASSERT_TRUE(PumpUntil([&] { return silent.RequestCount() == 1; }, 5s));
  View().Click(TControl::TeButton2);
  View().Click(TControl::TeButton2);
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
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "invalid time error"; }, 5s));
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 2; }, 8s));
  EXPECT_GE(std::chrono::steady_clock::now() - first, 3900ms);
}

TEST_F(ControllerTest, ClosingTheWindowDuringAQueryEndsTheWorkerWithoutTouchingTheWindow) {
  FakeUdpServer silent("127.0.0.25", 123, SilentHandler());
  CreateCustom("127.0.0.25", 0);
  ASSERT_TRUE(PumpUntil([&] { return silent.RequestCount() == 1; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  Window->Form.reset();
  EXPECT_TRUE(PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
}

TEST_F(ControllerTest, ClosingTheWindowDuringTheFailureReportEndsTheWorker) {
  CreateCustom("192.0.2.1", 0);
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1).rfind("Socket", 0) == 0; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  Window->Form.reset();  // the worker is in its 2000 ms wait
  EXPECT_TRUE(PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
}

// The program set the clock while a query was measuring: that measurement was
// taken against the old clock and is dropped, and a new query measures at once.
TEST_F(ControllerTest, AMeasurementTakenBeforeTheProgramSetTheClockIsNotStored) {
  FakeUdpServer server("127.0.0.26", 123, SntpHandler(5.4));  // server 5.4 s ahead
  FakeClock clock;
  bool adjusted = false;
  TGetTimeClientThread::BeforeStoreHook = [&] {
    if (adjusted) return;
    adjusted = true;
    // "Synchroize" between the worker's reading of the clock and its store: the
    // last offset (100 s ahead) sets the clock 100 s back.
    IdSync::RunSynchronized([&] {
      Form->FClockOffset = 100;
      Form->AdjustClock();
    });
  };
  CreateCustom("127.0.0.26", 0);
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 2 && !Form->FQueryBusy; }, 5s));
  TGetTimeClientThread::BeforeStoreHook = nullptr;
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, -105) << "measured anew against the clock as the program set it";
  EXPECT_EQ(clock.Sets().size(), 1u);
}

// No thread can be started: the failure shows like a failed query's, and the tick
// tries again as after any failure, without a box piling up on another.
TEST_F(ControllerTest, AQueryThreadThatCannotStartIsReportedOnceAndRetriedByTheTick) {
  std::optional<IdThreadStart::TScopedRefusal> refusal(std::in_place);
  Create();
  EXPECT_TRUE(Form->FQueryFailed);
  EXPECT_FALSE(Form->FQueryBusy);
  EXPECT_EQ(Text(TControl::TeSEdit1).rfind("Cannot start a thread: ", 0), 0u) << Text(TControl::TeSEdit1);
  EXPECT_EQ(View().At(TControl::TeSEdit1).FontColor, 255);
  EXPECT_EQ(Text(TControl::TeSEdit3), "Unknown");
  for (int tick = 0; tick < 5; ++tick) View().Tick();
  View().Click(TControl::TeButton2);
  EXPECT_TRUE(View().ErrorBoxes.empty());
  EXPECT_EQ(TGetTimeClientThread::RunningCount(), 0);

  refusal.reset();
  View().Tick();
  EXPECT_TRUE(Form->FQueryBusy) << "the next tick starts the query";
  EXPECT_TRUE(PumpUntil([&] { return View().HasShown(TControl::TeSEdit1, "Connecting time sever..."); }, 5s));
}

// A failure outside the program's own family (here the memory running out) is a
// failed query with its message; the worker never ends the program.
TEST_F(ControllerTest, AnyExceptionInTheWorkerIsAFailedQuery) {
  TGetTimeClientThread::BeforeQueryHook = [] { throw std::bad_alloc(); };
  Create();
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "std::bad_alloc"; }, 5s));
  TGetTimeClientThread::BeforeQueryHook = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return Form->FQueryFailed.load(); }, 5s));
  EXPECT_EQ(Text(TControl::TeSEdit1), "Unknown");
}

}  // namespace
