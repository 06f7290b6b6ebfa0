// SPDX-License-Identifier: MIT
// Controller cases that need Linux inside the test's network namespace: answering
// as a public server from an address put on the loopback interface, and a real
// chronyd as the custom server.
#include <gtest/gtest.h>

#include "Fakes/FakeUdpServer.h"
#include "Form/ControllerFixture.h"
#include "Support/NetnsCheck.h"
#include "Support/Peers.h"
#include "Sync/NistServers.h"

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
  EXPECT_EQ(DifferenceShown(), "7 seconds ahead");
  EXPECT_EQ(server.RequestCount(), 1);
}

// A reply that the client refuses (stratum 0) is no answer: no fallback follows.
TEST_F(ControllerTest, NoUsableAnswerFromTheDefaultServerIsAnInvalidTimeWithoutFallback) {
  ScopedLoopbackAddress alias(DefaultServer);
  FakeUdpServer refusing(DefaultServer, 123, [](const Datagram& request) {
    return std::vector<Reply>{{SntpReply(request.Data, NtpNow(), 0), 0ms, false}};
  });
  Create();
  ASSERT_TRUE(PumpUntil([&] { return Text(TControl::TeSEdit1) == "invalid time error"; }, 5s));
  EXPECT_EQ(Text(TControl::labCurServer), std::string("Current Server: ") + DefaultServer);
  EXPECT_EQ(refusing.RequestCount(), 1);
}

TEST_F(ControllerTest, CustomServerAgainstARealChronydEndsWithAnOffsetOfZero) {
  ChronyPeer chrony("127.0.0.31");
  CreateCustom("127.0.0.31", 0);
  EXPECT_EQ(DifferenceShown(), "time synchronized") << chrony.Log();
}

}  // namespace
