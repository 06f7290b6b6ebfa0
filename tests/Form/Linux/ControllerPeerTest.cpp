// Controller cases that need Linux inside the test's network namespace: answering
// as a public server from an address put on the loopback interface, and a real
// chronyd as the custom server.
#include <gtest/gtest.h>

#include "Fakes/FakeUdpServer.h"
#include "Form/NistServers.h"
#include "Support/NetnsCheck.h"
#include "Support/Peers.h"
#include "Form/ControllerFixture.h"

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

TEST_F(ControllerTest, NistFallbackAsksEachEntryInTurnAndKeepsTheOneThatAnswered) {
  const std::string answering = NistServers[5];
  ScopedLoopbackAddress alias(answering);
  FakeUdpServer server(answering, 123, SntpHandler(-7.3));  // server 7.3 s behind
  Create();
  View().At(TControl::cbSeverType).ItemIndex = 1;  // NIST mode asks by SNTP whatever the list shows

  const auto labels = LabelsUntilDone();

  const std::vector<std::string> expected = {"Current Server: ",
                                             "Current Server: 129.6.15.29",
                                             "Current Server: 129.6.15.28",
                                             "Current Server: 129.6.15.29",
                                             "Current Server: 129.6.15.30",
                                             "Current Server: 129.6.15.27",
                                             "Current Server: 129.6.15.26",
                                             "Current Server: 132.163.97.1"};
  // The label may be read before the first step runs; drop that initial caption if seen.
  std::vector<std::string> seen = labels;
  if (!seen.empty() && seen.front() == "Current Server: ") seen.erase(seen.begin());
  EXPECT_EQ(seen, std::vector<std::string>(expected.begin() + 1, expected.end()));
  EXPECT_EQ(Form->FServer, answering);
  EXPECT_FALSE(Form->FQueryFailed);
  EXPECT_EQ(Form->FClockOffset, 7);
  EXPECT_EQ(server.RequestCount(), 1);
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

TEST_F(ControllerTest, CustomServerAgainstARealChronydEndsWithAnOffsetOfZero) {
  ChronyPeer chrony("127.0.0.31");
  CreateCustom("127.0.0.31", 0);
  ASSERT_TRUE(QueryDone());
  EXPECT_FALSE(Form->FQueryFailed) << chrony.Log();
  EXPECT_EQ(Form->FClockOffset, 0);
}

}  // namespace
