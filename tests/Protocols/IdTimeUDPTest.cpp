// SPDX-License-Identifier: MIT
#include <atomic>
#include <functional>
#include <future>
#include <vector>

#include <gtest/gtest.h>

#include "Fakes/UdpProbe.h"
#include "Protocols/IdSNTP.h"
#include "Protocols/IdTimeUDP.h"
#include "Protocols/ProtocolTestSupport.h"
#include "System/IdException.h"

namespace KestrineTest {
namespace {

class IdTimeUDPTest : public ProtocolTest {
protected:
  void Aim(const FakeUdpServer& server, int receiveTimeout = 2000) {
    Client.SetHost(server.IP());
    Client.SetPort(server.Port());
    Client.ReceiveTimeout = receiveTimeout;
  }

  TIdTimeUDP Client;
};

FakeUdpServer::Handler Answer(Bytes reply) {
  return [reply](const Datagram&) { return std::vector<Reply>{{reply}}; };
}

#ifndef _WIN32
// Zones set through TZ: the Windows side reads its zone once, at start.
TEST_F(IdTimeUDPTest, SendsOneEmptyDatagramAndReadsTheSecondsBigEndian) {
  const struct {
    const char* Name;
    const char* Zone;
    double BaseDate;
    Bytes Reply;
    const char* Result;
  } cases[] = {
      {"2024", "UTC0", 2.0, {0xE9, 0x3C, 0x7F, 0x00}, "2024-01-01 00:00:00.000"},
      {"twelve hours east", "<+12>-12", 2.0, {0xE9, 0x3C, 0x7F, 0x00}, "2024-01-01 12:00:00.000"},
      {"time of day in BaseDate ignored", "UTC0", 2.75, {0xE9, 0x3C, 0x7F, 0x00}, "2024-01-01 00:00:00.000"},
      {"short reply: missing bytes are zero", "UTC0", 2.0, {0xE9, 0x3C}, "2023-12-31 14:58:08.000"},
      {"four zero bytes", "UTC0", 2.0, {0, 0, 0, 0}, "0.0"},
      {"empty reply", "UTC0", 2.0, {}, "0.0"},
      {"highest bit set: before 2036", "UTC0", 2.0, {0x80, 0, 0, 0}, "1968-01-20 03:14:08.000"},
      {"highest bit clear: after 2036", "UTC0", 2.0, {0, 0, 0, 1}, "2036-02-07 06:28:17.000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ScopedTz::Set(c.Zone);
    FakeUdpServer server("127.0.0.1", 0, Answer(c.Reply));
    Aim(server);
    Client.BaseDate = c.BaseDate;
    EXPECT_EQ(DateText(Client.QueryTime()), c.Result);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].Data.empty());
  }
}
#endif

TEST_F(IdTimeUDPTest, ReplyLongerThanFourBytesIsMessageTooLongAndTheClientStaysUsable) {
  std::atomic<int> served{0};
  FakeUdpServer server("127.0.0.1", 0, [&](const Datagram&) {
    return std::vector<Reply>{{served++ == 0 ? Bytes{0xE9, 0x3C, 0x7F, 0x00, 0x00} : BigEndian32(NewYear2024)}};
  });
  Aim(server);
  try {
    Client.QueryTime();
    FAIL() << "a 5-byte reply was accepted";
  } catch (const EIdSocketError& error) {
    EXPECT_EQ(error.ErrorNumber(), 10040);
    EXPECT_STREQ(error.what(), "Socket Error # 10040\r\nMessage too long.");
  }
  EXPECT_EQ(DateText(Client.QueryTime()), "2024-01-01 00:00:00.000");
}

TEST_F(IdTimeUDPTest, NoReplyGivesZeroAndStillMeasuresTheTrip) {
  FakeUdpServer server("127.0.0.1", 0, SilentHandler());
  Aim(server, 200);
  Client.HalfTripMs = 12345;
  const auto start = SteadyClock::now();
  EXPECT_EQ(Client.QueryTime(), 0.0);
  EXPECT_GE(MsSince(start), 190);
  EXPECT_GE(Client.HalfTripMs, 95u);
  EXPECT_LT(Client.HalfTripMs, 750u);
}

TEST_F(IdTimeUDPTest, ReplyFromAnotherPortOrLeftOverFromBeforeIsPassedOver) {
  FakeUdpServer server("127.0.0.1", 0, [](const Datagram&) {
    return std::vector<Reply>{{BigEndian32(NewYear2024 + 3600), 0ms, true},
                              {Bytes(5, 0xEE), 0ms, true},  // too long, but not the server's: no failure
                              {BigEndian32(NewYear2024), 40ms}};
  });
  Aim(server);
  EXPECT_EQ(DateText(Client.QueryTime()), "2024-01-01 00:00:00.000");

  // A late reply from the server's own port, already waiting when the next query starts.
  server.SendTo(BigEndian32(NewYear2024 + 7200), "127.0.0.1", server.Requests().at(0).FromPort);
  ASSERT_TRUE(Client.AcquireBinding().WaitReadable(2000));
  EXPECT_EQ(DateText(Client.QueryTime()), "2024-01-01 00:00:00.000");
}

// The trip correction adds half the exchange in whole seconds.
TEST_F(IdTimeUDPTest, SlowExchangeAddsHalfTheTripInWholeSeconds) {
  FakeUdpServer server("127.0.0.1", 0, [](const Datagram&) {
    return std::vector<Reply>{{BigEndian32(NewYear2024), 2500ms}};
  });
  Aim(server, 5000);
  EXPECT_EQ(DateText(Client.QueryTime()), "2024-01-01 00:00:01.000");
  EXPECT_GE(Client.HalfTripMs, 1250u);
  EXPECT_LT(Client.HalfTripMs, 2000u);
}

// Replies name their sender in plain dotted-decimal form, whatever form the host was given in.
TEST_F(IdTimeUDPTest, HostMayBeAnyFormOfDottedQuad) {
  FakeUdpServer server("127.0.0.1", 0, Answer(BigEndian32(NewYear2024)));
  Aim(server, 300);
  for (const char* host : {"127.0.0.1", " 127 . 0 . 0 . 1 ", "127.000.000.001", "localhost", "LocalHost"}) {
    Client.SetHost(host);
    EXPECT_EQ(DateText(Client.QueryTime()), "2024-01-01 00:00:00.000") << '"' << host << '"';
  }
}

TEST_F(IdTimeUDPTest, HostThatDoesNotResolveIsASocketError) {
  TIdSNTP sntp;
  Client.SetHost("no-such-host.invalid");
  sntp.SetHost("no-such-host.invalid");
  const std::function<void()> queries[] = {[&] { Client.QueryTime(); }, [&] { sntp.QueryTime(); }};
  for (const auto& query : queries) {
    try {
      query();
      ADD_FAILURE() << "resolved";
    } catch (const EIdSocketError& error) {
      // No resolver can be reached in the private namespace: "not found" or "no answer".
      EXPECT_GE(error.ErrorNumber(), 11001);
      EXPECT_LE(error.ErrorNumber(), 11004);
    }
  }
}

// The window going away closes the clients from its own thread; a query blocked on
// a silent server must end at once, with an exception.
TEST_F(IdTimeUDPTest, ShutdownEndsAQueryBlockedOnASilentServer) {
  FakeUdpServer server("127.0.0.1", 0, SilentHandler());
  TIdSNTP sntp;
  for (TIdUDPClient* client : {static_cast<TIdUDPClient*>(&Client), static_cast<TIdUDPClient*>(&sntp)}) {
    client->SetHost("127.0.0.1");
    client->SetPort(server.Port());
    client->ReceiveTimeout = 10000;  // as the window sets it
  }
  auto timeQuery = std::async(std::launch::async, [&] { return Client.QueryTime(); });
  auto sntpQuery = std::async(std::launch::async, [&] { return sntp.QueryTime(); });
  const bool bothAsked = server.WaitForRequests(2, 5s);
  Client.Shutdown();
  sntp.Shutdown();
  EXPECT_TRUE(bothAsked);
  ASSERT_EQ(timeQuery.wait_for(2s), std::future_status::ready);
  ASSERT_EQ(sntpQuery.wait_for(2s), std::future_status::ready);
  EXPECT_THROW(timeQuery.get(), EIdException);
  EXPECT_THROW(sntpQuery.get(), EIdException);
}

// A client whose every read is matched by one more datagram from another source,
// queued before the read: its socket never runs dry while the flood lasts.
template <class TClient>
class Flooded : public TClient {
public:
  explicit Flooded(std::chrono::milliseconds length) : FLength(length) {}

  using TClient::ReceiveFrom;
  std::size_t ReceiveFrom(TIdBytes& buffer, std::string& peerIP, int& peerPort, int timeoutMs) override {
    if (FSent == 0) FEnd = SteadyClock::now() + FLength;  // from the first read on
    if (SteadyClock::now() < FEnd) {
      std::string ip;
      int port = 0;
      TIdStack::Instance().GetSocketName(this->AcquireBinding().SocketHandle(), ip, port);
      const Bytes data = BigEndian32(NewYear2024);
      for (int i = FSent == 0 ? 16 : 1; i > 0; --i, ++FSent) FSource.Send(data, static_cast<std::uint16_t>(port));
    }
    return TClient::ReceiveFrom(buffer, peerIP, peerPort, timeoutMs);
  }

  int FSent = 0;

private:
  std::chrono::milliseconds FLength;
  SteadyClock::time_point FEnd;
  UdpProbe FSource;
};

// Datagrams from other sources, coming faster than the client reads them, must
// not keep a query alive past its time-out.
TEST_F(IdTimeUDPTest, AFloodFromOtherSourcesDoesNotOutlastTheTimeout) {
  FakeUdpServer server("127.0.0.1", 0, SilentHandler());
  Flooded<TIdTimeUDP> time(5s);
  Flooded<TIdSNTP> sntp(5s);
  const std::function<TDateTime()> queries[] = {[&] { return time.QueryTime(); }, [&] { return sntp.QueryTime(); }};
  for (TIdUDPClient* client : {static_cast<TIdUDPClient*>(&time), static_cast<TIdUDPClient*>(&sntp)}) {
    client->SetHost("127.0.0.1");
    client->SetPort(server.Port());
    client->ReceiveTimeout = 300;
  }
  for (const auto& query : queries) {
    const auto start = SteadyClock::now();
    EXPECT_EQ(query(), 0.0);
    EXPECT_LT(MsSince(start), 1300) << "the query outlasted its time-out";
  }
  EXPECT_GT(time.FSent, 16);
  EXPECT_GT(sntp.FSent, 16);
}
}  // namespace
}  // namespace KestrineTest
