// SPDX-License-Identifier: MIT
// The synchronization controller on a fake window, against fake servers on
// loopback inside the test's private network namespace: what the window shows
// of each query. Addresses that are not on the loopback interface are
// unreachable there, so an exchange with them raises at once ("Network is
// unreachable"). The servers stand on 127.0.0.1, one at a time: under Wine,
// answers from other 127/8 addresses never reach the client.
#include <atomic>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Fakes/FakeUdpServer.h"
#include "Form/ControllerFixture.h"
#include "Sync/GetTimeClientThread.h"

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
  // The status tick starts the next attempt, which shows its own progress again.
  View().ForgetShown(TControl::TeSEdit1);
  EXPECT_TRUE(PumpUntil([&] { return View().HasShown(TControl::TeSEdit1, "Connecting time sever..."); }, 3s));
}

// The server 5.4 s ahead: the local clock is behind, in whole seconds truncated toward zero.
TEST_F(ControllerTest, ACustomServerIsAskedByTheProtocolTheListShows) {
  struct Case {
    const char* Address;
    int Protocol;
    std::uint16_t Port;
    FakeUdpServer::Handler Handler;
    const char* Difference;
  };
  const Case cases[] = {
      {"  127.0.0.1 ", 0, 123, SntpHandler(5.4), "-5 seconds behind"},
      {"127.0.0.1", 1, 37, TimeProtocolHandler(-10.0), "10 seconds ahead"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Difference);
    FakeUdpServer server("127.0.0.1", c.Port, c.Handler);
    CreateCustom(c.Address, c.Protocol);
    EXPECT_EQ(DifferenceShown(), c.Difference);
    EXPECT_EQ(Text(TControl::labCurServer), "Current Server: 127.0.0.1");
    EXPECT_EQ(server.RequestCount(), 1);
    Window.reset();
  }
}

TEST_F(ControllerTest, CustomServerThatRaisesShowsItsMessageWithoutFallback) {
  CreateCustom("192.0.2.1", 0);
  ASSERT_TRUE(PumpUntil(
      [&] { return !Text(TControl::TeSEdit1).empty() && Text(TControl::TeSEdit1).rfind("Socket", 0) == 0; }, 5s));
  EXPECT_EQ(Text(TControl::TeSEdit1), "Socket Error # 10051\r\nNetwork is unreachable.");
  EXPECT_EQ(Text(TControl::labCurServer), "Current Server: 192.0.2.1");
}

// The previous choice is the loaded default: the NIST list by SNTP, so its
// fallback runs whatever protocol the list shows.
TEST_F(ControllerTest, EmptyCustomAddressKeepsThePreviousServerProtocolAndMode) {
  CreateCustom("   ", 1);
  EXPECT_TRUE(PumpUntil([&] { return View().HasShown(TControl::TeSEdit1, "no good nisd server"); }, 5s));
}

TEST_F(ControllerTest, RefreshWhileAQueryRunsStartsNothing) {
  FakeUdpServer silent("127.0.0.1", 123, SilentHandler());
  CreateCustom("127.0.0.1", 0);
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
  EXPECT_TRUE(QueriesEnded());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
}

TEST_F(ControllerTest, ClosingTheWindowDuringTheFailureReportEndsTheWorker) {
  CreateCustom("192.0.2.1", 0);
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1).rfind("Socket", 0) == 0; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  Window->Form.reset();  // the worker is in its 2000 ms wait
  EXPECT_TRUE(QueriesEnded());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
}

// A failure outside the program's own family (here the memory running out) is a
// failed query with its message; the worker never ends the program. When
// showing the failure fails too (the memory is still short), the query ends all
// the same. Either way the tick starts the next query.
TEST_F(ControllerTest, AnyExceptionInTheWorkerIsAFailedQueryEvenWhenItsReportFails) {
  for (const bool reportFails : {false, true}) {
    SCOPED_TRACE(reportFails ? "the report fails" : "the report is shown");
    std::atomic<int> queryFailures{1};
    std::atomic<int> reportFailures{reportFails ? 1 : 0};
    TGetTimeClientThread::BeforeQueryHook = [&] {
      if (queryFailures.fetch_sub(1) > 0) throw std::bad_alloc();
    };
    TGetTimeClientThread::BeforeReportHook = [&] {
      if (reportFailures.fetch_sub(1) > 0) throw std::bad_alloc();
    };
    Create();
    if (!reportFails) {
      EXPECT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "std::bad_alloc"; }, 5s));
    }
    EXPECT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "Unknown"; }, 5s));
    View().ForgetShown(TControl::TeSEdit1);
    EXPECT_TRUE(PumpUntil([&] { return View().HasShown(TControl::TeSEdit1, "Connecting time sever..."); }, 3s));
    Window.reset();  // no worker runs after this
    TGetTimeClientThread::BeforeQueryHook = nullptr;
    TGetTimeClientThread::BeforeReportHook = nullptr;
  }
}

}  // namespace
