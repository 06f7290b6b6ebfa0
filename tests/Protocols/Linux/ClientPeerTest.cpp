// SPDX-License-Identifier: MIT
// The project's time clients against real servers: chronyd over SNTP and
// xinetd's internal RFC 868 service, both on loopback in the test's namespace.
#include <cmath>

#include <gtest/gtest.h>

#include "Protocols/IdSNTP.h"
#include "Protocols/IdTimeUDP.h"
#include "Support/Peers.h"

using namespace KestrineTest;

TEST(ClientPeerTest, SntpAgainstChronydGivesAnOffsetOfZero) {
  ChronyPeer chrony("127.0.0.1");
  TIdSNTP client;
  client.SetHost("127.0.0.1");
  client.ReceiveTimeout = 5000;
  const TDateTime serverTime = client.QueryTime();
  ASSERT_NE(serverTime, 0.0) << chrony.Log();
  EXPECT_EQ(ClockOffsetSeconds(Now(), serverTime), 0);
}

TEST(ClientPeerTest, TimeProtocolAgainstXinetdGivesNowWithinASecond) {
  XinetdPeer xinetd("127.0.0.1");
  TIdTimeUDP client;
  client.SetHost("127.0.0.1");
  client.ReceiveTimeout = 5000;
  const TDateTime serverTime = client.QueryTime();
  ASSERT_NE(serverTime, 0.0) << xinetd.Log();
  // The protocol counts whole seconds, so the server's answer lags by up to one.
  const double lagSeconds = (Now() - serverTime) * SecsPerDay;
  EXPECT_GE(lagSeconds, -0.1);
  EXPECT_LT(lagSeconds, 1.1);
}
