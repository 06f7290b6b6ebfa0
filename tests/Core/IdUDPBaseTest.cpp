// SPDX-License-Identifier: MIT
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "Core/IdSocketHandle.h"
#include "Core/IdUDPBase.h"
#include "Fakes/FakeUdpServer.h"
#include "Fakes/UdpProbe.h"
#include "Support/TestHelpers.h"
#include "System/IdException.h"

namespace {

using namespace std::chrono_literals;
using KestrineTest::Bytes;
using KestrineTest::FakeUdpServer;
using KestrineTest::MsSince;
using KestrineTest::Reply;
using KestrineTest::SilentHandler;
using KestrineTest::UdpProbe;
using Clock = std::chrono::steady_clock;

class IdUDPBaseTest : public testing::Test {
protected:
  IdUDPBaseTest() {
    Client.SetHost("127.0.0.1");
    Client.SetPort(Peer.Port());
  }

  // Binds the client's socket on loopback so that the peer can send to it first.
  std::uint16_t ClientPort() {
    auto& binding = Client.AcquireBinding();
    if (binding.Port == 0) {
      binding.IP = "127.0.0.1";
      binding.BindLocal();
    }
    return static_cast<std::uint16_t>(binding.Port);
  }

  // One datagram as text, read into a buffer of size bytes; empty when nothing came.
  std::string Receive(std::string& peerIP, int& peerPort, int timeoutMs = IdTimeoutDefault, std::size_t size = 8192) {
    TIdBytes buffer(size);
    buffer.resize(Client.ReceiveFrom(buffer, peerIP, peerPort, timeoutMs));
    return {buffer.begin(), buffer.end()};
  }
  std::string Receive(int timeoutMs) {
    std::string peerIP;
    int peerPort = 0;
    return Receive(peerIP, peerPort, timeoutMs);
  }
  // To the client's own server, unless another port is named.
  void Send(const std::string& text, int port = 0) {
    Client.SendTo(port == 0 ? Client.GetHost() : "127.0.0.1", port == 0 ? Client.GetPort() : port,
                  TIdBytes(text.begin(), text.end()));
  }

  FakeUdpServer Peer{"127.0.0.1", 0, SilentHandler()};
  TIdUDPClient Client;
};

TEST_F(IdUDPBaseTest, ReceiveTimesOutWithNothingAndAnEmptySender) {
  ClientPort();
  const struct {
    int ReceiveTimeout;
    int Argument;
    long long MinMs, MaxMs;
  } cases[] = {
      {200, IdTimeoutDefault, 190, 2000}, {60000, 50, 45, 1000},  // an explicit time-out wins over the endpoint's
  };
  for (const auto& c : cases) {
    Client.ReceiveTimeout = c.ReceiveTimeout;
    std::string peerIP = "stale";
    int peerPort = 99;
    const auto start = Clock::now();
    EXPECT_EQ(Receive(peerIP, peerPort, c.Argument), "");
    const auto ms = MsSince(start);
    EXPECT_GE(ms, c.MinMs);
    EXPECT_LT(ms, c.MaxMs);
    EXPECT_EQ(peerIP, "");
    EXPECT_EQ(peerPort, 0);
  }
}

TEST_F(IdUDPBaseTest, ReceiveTimeoutZeroWaitsUntilADatagramArrives) {
  FakeUdpServer late("127.0.0.1", 0, [](const KestrineTest::Datagram&) {
    return std::vector<Reply>{{Bytes{'l', 'a', 't', 'e'}, 300ms}};
  });
  Client.ReceiveTimeout = 0;
  Send("?", late.Port());
  const auto start = Clock::now();
  std::string peerIP;
  int peerPort = 0;
  EXPECT_EQ(Receive(peerIP, peerPort), "late");
  EXPECT_GE(MsSince(start), 250);
  EXPECT_EQ(peerIP, "127.0.0.1");
  EXPECT_EQ(peerPort, late.Port());
}

TEST_F(IdUDPBaseTest, DatagramLongerThanTheBufferRaisesMessageTooLongAndIsLost) {
  const auto port = ClientPort();
  Peer.SendTo(Bytes(8193, 'x'), "127.0.0.1", port);
  Peer.SendTo(Bytes(8192, 'y'), "127.0.0.1", port);
  try {
    Receive(2000);
    FAIL() << "an 8193-byte datagram was read";
  } catch (const EIdSocketError& error) {
    EXPECT_EQ(error.ErrorNumber(), 10040);
    EXPECT_STREQ(error.what(), "Socket Error # 10040\r\nMessage too long.");
  }
  // The next datagram is the 8192-byte one, read whole; the long one is gone.
  EXPECT_EQ(Receive(2000), std::string(8192, 'y'));

  // Below the endpoint: the sender is reported with the failure.
  Peer.SendTo(Bytes(5, 'z'), "127.0.0.1", port);
  auto& binding = Client.AcquireBinding();
  ASSERT_TRUE(binding.WaitReadable(2000));
  TIdBytes small(4);
  std::string address;
  int from = 0;
  EXPECT_THROW(binding.ReceiveDatagram(small, address, from, Id_IPv4), EIdSocketError);
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(from, Peer.Port());
  EXPECT_EQ(Receive(50), "");
  EXPECT_TRUE(Client.Active());
}

TEST_F(IdUDPBaseTest, EmptyDatagramsTravelBothWays) {
  Client.SendTo("127.0.0.1", Peer.Port(), TIdBytes{});
  ASSERT_TRUE(Peer.WaitForRequests(1, 5s));
  const auto request = Peer.Requests().at(0);
  EXPECT_TRUE(request.Data.empty());

  Peer.SendTo({}, "127.0.0.1", request.FromPort);
  TIdBytes buffer(8, 0xEE);
  std::string peerIP;
  int peerPort = 0;
  // Zero bytes with a sender: a datagram, not a time-out.
  EXPECT_EQ(Client.ReceiveFrom(buffer, peerIP, peerPort, 2000), 0u);
  EXPECT_EQ(peerIP, "127.0.0.1");
  EXPECT_EQ(peerPort, Peer.Port());
  EXPECT_EQ(Peer.RequestCount(), 1);
}

TEST_F(IdUDPBaseTest, SendsLeaveFromOneLocalPortAcrossChangesOfServer) {
  FakeUdpServer other("127.0.0.1", 0, SilentHandler());
  Send("a");
  Send("b");
  Client.SetHost("localhost");
  Client.SetPort(other.Port());
  Send("c");
  ASSERT_TRUE(Peer.WaitForRequests(2, 5s));
  ASSERT_TRUE(other.WaitForRequests(1, 5s));
  const auto first = Peer.Requests();
  EXPECT_EQ(first[0].FromPort, first[1].FromPort);
  EXPECT_EQ(other.Requests()[0].FromPort, first[0].FromPort);
  EXPECT_EQ(other.Requests()[0].Data, (Bytes{'c'}));
}

TEST_F(IdUDPBaseTest, ActiveOpensAndClosesTheSocketAndASendReopensIt) {
  EXPECT_FALSE(Client.Active());
  Client.SetActive(true);
  EXPECT_TRUE(Client.Active());
  EXPECT_TRUE(Client.AcquireBinding().HasSocket());
  Client.SetActive(false);
  EXPECT_FALSE(Client.Active());
  Send("again");
  EXPECT_TRUE(Client.Active());
  EXPECT_TRUE(Peer.WaitForRequests(1, 5s));
}

TEST_F(IdUDPBaseTest, ActiveSetWhileLoadingTakesEffectWhenLoadingEnds) {
  Client.BeginLoading();
  Client.SetActive(true);
  EXPECT_TRUE(Client.Active());  // the recorded value
  Client.Loaded();
  EXPECT_TRUE(Client.Active());
  EXPECT_TRUE(Client.AcquireBinding().HasSocket());
}

// A receive blocked in another thread must end at once when the socket is closed,
// and always with an exception: a shut-down socket reads as an empty datagram.
enum class StopBy { CloseHandle, Shutdown };
enum class BlockedIn { EndpointReceive, HandleWaitThenReceive, HandleReceive, ListWait };

struct BlockedCase {
  StopBy Stop;
  BlockedIn Where;
};

class BlockedReceiveTest : public testing::TestWithParam<BlockedCase> {};

TEST_P(BlockedReceiveTest, EndsAtOnceWithAnException) {
  const auto [stop, where] = GetParam();
  // From closing before the receive starts to closing while it is surely blocked.
  for (const auto delay : {0ms, 2ms, 50ms}) {
    // An endpoint whose socket was closed opens a new one at its next receive, so
    // only Shutdown covers a close that comes first.
    if (stop == StopBy::CloseHandle && where == BlockedIn::EndpointReceive && delay < 50ms) continue;
    SCOPED_TRACE(delay.count());
    TIdUDPClient client;
    client.ReceiveTimeout = IdTimeoutInfinite;
    auto& binding = client.AcquireBinding();
    binding.IP = "127.0.0.1";
    binding.BindLocal();
    auto outcome = std::async(std::launch::async, [&, where = where]() -> std::string {
      try {
        TIdBytes buffer(64);
        std::string ip;
        int port = 0;
        switch (where) {
          case BlockedIn::EndpointReceive:
            return "received " + std::to_string(client.ReceiveFrom(buffer, ip, port, IdTimeoutDefault));
          case BlockedIn::HandleWaitThenReceive:
            if (!binding.WaitReadable(IdTimeoutInfinite)) return "wait timed out";
            return "received " + std::to_string(binding.ReceiveDatagram(buffer, ip, port, Id_IPv4));
          case BlockedIn::HandleReceive:
            return "received " + std::to_string(binding.ReceiveDatagram(buffer, ip, port, Id_IPv4));
          case BlockedIn::ListWait: TIdSocketHandle::WaitAnyReadable({&binding}, IdTimeoutInfinite); return "ended";
        }
      } catch (const EIdSocketError& error) {
        return error.ErrorNumber() == Id_WSAEINTR || error.ErrorNumber() == Id_WSAENOTSOCK
                   ? "exception"
                   : "socket error " + std::to_string(error.ErrorNumber());
      } catch (const EIdException&) {
        return where == BlockedIn::ListWait ? "ended" : "exception";
      }
      return "?";
    });
    std::this_thread::sleep_for(delay);
    if (stop == StopBy::Shutdown)
      client.Shutdown();
    else
      binding.CloseSocketHandle();
    const bool ended = outcome.wait_for(2s) == std::future_status::ready;
    if (!ended) UdpProbe().Send({'!'}, static_cast<std::uint16_t>(binding.Port));  // so that the thread can be joined
    EXPECT_TRUE(ended);
    EXPECT_EQ(outcome.get(), where == BlockedIn::ListWait ? "ended" : "exception");
    EXPECT_FALSE(binding.HasSocket());
  }
}

const BlockedCase BlockedCases[] = {
    {StopBy::CloseHandle, BlockedIn::EndpointReceive},
    {StopBy::CloseHandle, BlockedIn::HandleWaitThenReceive},
    {StopBy::CloseHandle, BlockedIn::HandleReceive},
    {StopBy::Shutdown, BlockedIn::EndpointReceive},
#ifdef _WIN32
    // On Windows a closed socket reads as readable to a wait, so a wait ends too.
    {StopBy::CloseHandle, BlockedIn::ListWait},
#endif
};

INSTANTIATE_TEST_SUITE_P(All, BlockedReceiveTest, testing::ValuesIn(BlockedCases),
                         [](const testing::TestParamInfo<BlockedCase>& info) {
                           const char* stop = info.param.Stop == StopBy::Shutdown ? "Shutdown" : "CloseHandle";
                           const char* where = info.param.Where == BlockedIn::EndpointReceive ? "EndpointReceive"
                                               : info.param.Where == BlockedIn::HandleReceive ? "HandleReceive"
                                               : info.param.Where == BlockedIn::ListWait      ? "ListWait"
                                                                                              : "HandleWaitThenReceive";
                           return std::string(stop) + "During" + where;
                         });

TEST_F(IdUDPBaseTest, AfterCloseTheEndpointOpensANewSocketButAfterShutdownItRefuses) {
  Send("1");
  Client.AcquireBinding().CloseSocketHandle();
  Send("2");
  ASSERT_TRUE(Peer.WaitForRequests(2, 5s));

  Client.Shutdown();
  EXPECT_TRUE(Client.IsShutdown());
  EXPECT_THROW(Send("3"), EIdConnClosedGracefully);
  EXPECT_THROW(Receive(0), EIdConnClosedGracefully);
}

}  // namespace
