// The synchronization controller on a fake window, against fake servers on
// loopback inside the test's private network namespace. Addresses that are not
// on the loopback interface are unreachable there, so an exchange with them
// raises at once ("Network is unreachable"). The servers stand on 127.0.0.1,
// one at a time: under Wine, answers from other 127/8 addresses never reach
// the client.
#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Core/IdThreadStart.h"
#include "Fakes/FakeUdpServer.h"
#include "Form/GetTimeClientThread.h"
#include "Support/FakeClock.h"
#include "Form/ControllerFixture.h"

using namespace KestrineTest;
using namespace std::chrono_literals;

namespace {

TEST_F(ControllerTest, EveryNistEntryRaisingReportsNoGoodServerThenUnknownAndRetries) {
  Create();
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "no good nisd server"; }, 5s));
  const auto shown = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "Unknown"; }, 5s));
  const auto unknownAfter = std::chrono::steady_clock::now() - shown;
  EXPECT_GE(unknownAfter, 1900ms);
  EXPECT_EQ(Text(TControl::TeSEdit3), "Unknown");
  EXPECT_EQ(View().At(TControl::TeSEdit1).FontColor, 255);
  EXPECT_TRUE(PumpUntil([&] { return Form->FQueryFailed; }, 1s));
  // The status tick starts the next attempt, which shows its own progress again.
  View().ForgetShown(TControl::TeSEdit1);
  EXPECT_TRUE(PumpUntil([&] { return View().HasShown(TControl::TeSEdit1, "Connecting time sever..."); }, 3s));
}

TEST_F(ControllerTest, CustomServerOverSntpGivesTheOffsetInWholeSecondsTruncatedTowardZero) {
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(5.4));  // server 5.4 s ahead: local is behind
  CreateCustom("  127.0.0.1 ", 0);
  ASSERT_TRUE(QueryDone());
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, -5);
  EXPECT_EQ(Form->FServer, "127.0.0.1");
  EXPECT_FALSE(Form->FUseNistList);
  EXPECT_EQ(Text(TControl::labCurServer), "Current Server: 127.0.0.1");
}

TEST_F(ControllerTest, CustomServerOverTheTimeProtocol) {
  FakeUdpServer server("127.0.0.1", 37, TimeProtocolHandler(-10.0));
  CreateCustom("127.0.0.1", 1);
  ASSERT_TRUE(QueryDone());
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, 10);
  EXPECT_EQ(Form->FServerType, 1);
  EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(ControllerTest, CustomServerThatRaisesShowsItsMessageWithoutFallback) {
  CreateCustom("192.0.2.1", 0);
  ASSERT_TRUE(PumpUntil(
      [&] { return !Text(TControl::TeSEdit1).empty() && Text(TControl::TeSEdit1).rfind("Socket", 0) == 0; }, 5s));
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
  FakeUdpServer silent("127.0.0.1", 123, SilentHandler());
  CreateCustom("127.0.0.1", 0);
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
  FakeUdpServer server("127.0.0.1", 123, [](const Datagram& request) {
    return std::vector<Reply>{{SntpReply(request.Data, NtpNow(), 0), 0ms, false}};
  });
  CreateCustom("127.0.0.1", 0);
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 1; }, 5s));
  const auto first = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "invalid time error"; }, 5s));
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 2; }, 8s));
  EXPECT_GE(std::chrono::steady_clock::now() - first, 3900ms);
}

TEST_F(ControllerTest, ClosingTheWindowDuringAQueryEndsTheWorkerWithoutTouchingTheWindow) {
  FakeUdpServer silent("127.0.0.1", 123, SilentHandler());
  CreateCustom("127.0.0.1", 0);
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
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(5.4));  // server 5.4 s ahead
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
  CreateCustom("127.0.0.1", 0);
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 2 && !Form->FQueryBusy; }, 5s));
  TGetTimeClientThread::BeforeStoreHook = nullptr;
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, -105) << "measured anew against the clock as the program set it";
  EXPECT_EQ(clock.Sets().size(), 1u);
}

// Another program steps the clock between the worker's reading and its store:
// the notice makes the measurement stale too, or the next periodic set would
// move a right clock by the foreign step.
TEST_F(ControllerTest, AMeasurementTakenBeforeAForeignStepIsNotStored) {
  FakeUdpServer server("127.0.0.1", 123, SntpHandler(5.4));  // server 5.4 s ahead
  FakeClock clock;
  bool stepped = false;
  TGetTimeClientThread::BeforeStoreHook = [&] {
    if (stepped) return;
    stepped = true;
    IdSync::RunSynchronized([&] {
      clock.Advance(-5000);  // a foreign step back by 5 s, and the system's notice of it
      Form->TimeChanged();
    });
  };
  CreateCustom("127.0.0.1", 0);
  ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 2 && !Form->FQueryBusy; }, 5s));
  TGetTimeClientThread::BeforeStoreHook = nullptr;
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, -10) << "measured anew against the stepped clock";
  EXPECT_TRUE(clock.Sets().empty());
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
  ASSERT_TRUE(PumpUntil([&] { return Form->FQueryFailed; }, 5s));
  EXPECT_EQ(Text(TControl::TeSEdit1), "Unknown");
}

// Showing the failure fails too (the memory is still short): the query ends all
// the same, and the tick starts the next one.
TEST_F(ControllerTest, AFailedReportStillEndsTheQuery) {
  TGetTimeClientThread::BeforeQueryHook = [] { throw std::bad_alloc(); };
  TGetTimeClientThread::BeforeReportHook = [] { throw std::bad_alloc(); };
  Create();
  ASSERT_TRUE(PumpUntil([&] { return Form->FQueryFailed && !Form->FQueryBusy; }, 5s));
  TGetTimeClientThread::BeforeQueryHook = nullptr;
  TGetTimeClientThread::BeforeReportHook = nullptr;
  EXPECT_EQ(Text(TControl::TeSEdit1), "Unknown");
  View().Tick();
  EXPECT_TRUE(Form->FQueryBusy) << "the next tick starts the query";
}

// The worker alone, behind a fake of its door: no window exists. It takes the
// choice as given, and hands back what it measured under the choice's generation.
class RecordingDoor : public IQueryWindow {
public:
  explicit RecordingDoor(TServerChoice choice) : FChoice(std::move(choice)) {}
  std::vector<std::string> Steps;
  std::optional<TQueryOutcome> Outcome;

  TServerChoice ChooseServer() override {
    Steps.push_back("choose");
    return FChoice;
  }
  void FallbackServerAsked(const std::string& server) override { Steps.push_back("asking " + server); }
  void ShowQueryFailure(const std::string& message) override { Steps.push_back("failed: " + message); }
  void QueryFinished(const TQueryOutcome& outcome) override {
    Steps.push_back("finished");
    Outcome = outcome;
  }

private:
  TServerChoice FChoice;
};

using QueryWorkerTest = ControllerTest;  // for its pacing of the requests

TEST_F(QueryWorkerTest, TheWorkerGetsItsChoiceAndHandsBackItsOutcomeThroughTheDoorOnly) {
  FakeUdpServer server("127.0.0.1", 37, TimeProtocolHandler(-10.0));
  struct Case {
    const char* Server;
    std::int32_t ServerType;
    std::vector<std::string> Steps;
    bool Failed;
    std::int64_t Offset;
  };
  const Case cases[] = {
      {"127.0.0.1", 1, {"choose", "finished"}, false, 10},  // the Time server answers, 10 s behind us
      {"192.0.2.1", 0, {"choose", "failed: Socket Error # 10051\r\nNetwork is unreachable.", "finished"}, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Server);
    RecordingDoor door({c.Server, c.ServerType, false, 7});
    auto link = std::make_shared<TQueryLink>();
    link->Window = &door;
    link->SNTP = std::make_shared<TIdSNTP>();
    link->SNTP->ReceiveTimeout = 2000;
    link->TimeUDP = std::make_shared<TIdTimeUDP>();
    link->TimeUDP->BaseDate = 2.0;
    TGetTimeClientThread::Start(link);
    ASSERT_TRUE(PumpUntil([&] { return door.Outcome.has_value(); }, 8s));
    EXPECT_EQ(door.Steps, c.Steps);
    EXPECT_EQ(door.Outcome->Failed, c.Failed);
    EXPECT_EQ(door.Outcome->Generation, 7u);
    EXPECT_EQ(door.Outcome->ClockOffset, c.Offset);
    link->Detach();
    ASSERT_TRUE(PumpUntil([] { return TGetTimeClientThread::RunningCount() == 0; }, 5s));
  }
}

}  // namespace
