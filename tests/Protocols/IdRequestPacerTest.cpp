// SPDX-License-Identifier: MIT
#include <atomic>
#include <future>

#include <gtest/gtest.h>

#include "Protocols/IdRequestPacer.h"
#include "Protocols/IdSNTP.h"
#include "Protocols/IdTimeUDP.h"
#include "Protocols/ProtocolTestSupport.h"
#include "System/IdException.h"

namespace KestrineTest {
namespace {

using IdRequestPacerTest = ProtocolTest;

// Process-wide and per address: any client's request to an address delays the next
// one to that address, whatever the port; another address is not held up.
TEST_F(IdRequestPacerTest, SpacesRequestsToOneAddressFromEveryClient) {
  TIdRequestPacer::Default().SetMinInterval(300ms);
  FakeUdpServer sntpServer("127.0.0.1", 0, SntpHandler());
  FakeUdpServer timeServer("127.0.0.1", 0, TimeProtocolHandler());
  TIdSNTP sntp;
  TIdTimeUDP time;
  sntp.ReceiveTimeout = time.ReceiveTimeout = 2000;
  sntp.SetHost("127.0.0.1");
  sntp.SetPort(sntpServer.Port());
  time.SetHost("127.0.0.1");
  time.SetPort(timeServer.Port());

  const auto start = SteadyClock::now();
  EXPECT_NE(sntp.QueryTime(), 0.0);
  EXPECT_NE(time.QueryTime(), 0.0);
  EXPECT_NE(sntp.QueryTime(), 0.0);
  const auto second = timeServer.Requests().at(0).Arrived;
  const auto third = sntpServer.Requests().at(1).Arrived;
  // Measured from before the first send, since a server thread that waits for a
  // core stamps an arrival late: each paced send is at least one interval after
  // the one before, and each arrival follows its send.
  EXPECT_GE(MsBetween(start, second), 300);
  EXPECT_GE(MsBetween(start, third), 600);

#ifndef _WIN32  // under Wine no answer from another 127/8 address arrives
  FakeUdpServer elsewhere("127.0.0.2", 0, TimeProtocolHandler());
  time.SetHost("127.0.0.2");
  time.SetPort(elsewhere.Port());
  EXPECT_NE(time.QueryTime(), 0.0);
  EXPECT_LT(MsBetween(third, elsewhere.Requests().at(0).Arrived), 200);
#endif
}

TEST_F(IdRequestPacerTest, ClientsCanHaveAPacerOfTheirOwn) {
  TIdRequestPacer own;
  own.SetMinInterval(300ms);
  FakeUdpServer server("127.0.0.1", 0, SntpHandler());
  TIdSNTP sntp;
  sntp.Pacer = &own;
  sntp.ReceiveTimeout = 2000;
  sntp.SetHost("127.0.0.1");
  sntp.SetPort(server.Port());
  const auto start = SteadyClock::now();
  EXPECT_NE(sntp.QueryTime(), 0.0);
  EXPECT_NE(sntp.QueryTime(), 0.0);
  EXPECT_GE(MsBetween(start, server.Requests().at(1).Arrived), 300);
}

// A late second answer to the last query can come in while the next one waits for
// its turn; it must not be taken for the next answer.
TEST_F(IdRequestPacerTest, DatagramsArrivingDuringTheWaitAreDiscardedToo) {
  TIdRequestPacer own;
  own.SetMinInterval(300ms);
  std::atomic<int> served{0};
  FakeUdpServer server("127.0.0.1", 0, [&](const Datagram&) {
    if (served++ > 0) return std::vector<Reply>{{BigEndian32(NewYear2024), 20ms}};
    return std::vector<Reply>{{BigEndian32(NewYear2024)}, {BigEndian32(NewYear2024 + 3600), 150ms}};
  });
  TIdTimeUDP time;
  time.Pacer = &own;
  time.ReceiveTimeout = 2000;
  time.SetHost("127.0.0.1");
  time.SetPort(server.Port());
  EXPECT_EQ(DateText(time.QueryTime()), "2024-01-01 00:00:00.000");
  EXPECT_EQ(DateText(time.QueryTime()), "2024-01-01 00:00:00.000");
}

// 192.0.2.1 cannot be reached in the private namespace: the send fails at once.
TEST_F(IdRequestPacerTest, SendThatFailedLocallyDoesNotCount) {
  TIdRequestPacer::Default().SetMinInterval(3s);
  TIdTimeUDP time;
  time.SetHost("192.0.2.1");
  time.ReceiveTimeout = 200;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto start = SteadyClock::now();
    try {
      time.QueryTime();
      ADD_FAILURE() << "the send went out";
    } catch (const EIdSocketError& error) {
      EXPECT_EQ(error.ErrorNumber(), 10051);
    }
    EXPECT_LT(MsSince(start), 1000) << "attempt " << attempt;
  }
}

TEST_F(IdRequestPacerTest, ShutdownEndsAWaitForTheTurn) {
  TIdRequestPacer own;  // the default one may remember this address from other tests
  own.SetMinInterval(30s);
  FakeUdpServer server("127.0.0.1", 0, SntpHandler());
  TIdSNTP sntp;
  sntp.Pacer = &own;
  sntp.ReceiveTimeout = 2000;
  sntp.SetHost("127.0.0.1");
  sntp.SetPort(server.Port());
  EXPECT_NE(sntp.QueryTime(), 0.0);
  auto second = std::async(std::launch::async, [&] { return sntp.QueryTime(); });
  // Whether the query is already waiting or not yet there, it must not send.
  EXPECT_EQ(second.wait_for(100ms), std::future_status::timeout);
  sntp.Shutdown();
  ASSERT_EQ(second.wait_for(2s), std::future_status::ready);
  EXPECT_THROW(second.get(), EIdConnClosedGracefully);
  EXPECT_EQ(server.RequestCount(), 1);
}

}  // namespace
}  // namespace KestrineTest
