// The socket layer on Windows Sockets, over loopback: what the Linux suites show
// with POSIX peers, shown here with Windows peers, plus the Windows-only paths
// (a cut datagram reported by the system as 10040, closing that wakes by event).
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "Core/IdSocketHandle.h"
#include "Core/IdSocketList.h"
#include "Core/IdSync.h"
#include "Core/IdUDPBase.h"
#include "Protocols/IdTimeUDP.h"
#include "Protocols/IdTimeUDPServer.h"
#include "System/IdException.h"
#include "System/IdGlobal.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

long long MsSince(SteadyClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A plain Windows Sockets datagram socket on 127.0.0.1 standing for the other side.
class Peer {
public:
  Peer() {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    FSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    if (bind(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      ADD_FAILURE() << "peer socket: " << WSAGetLastError();
    FPort = ntohs(address.sin_port);
  }
  ~Peer() {
    closesocket(FSocket);
    WSACleanup();
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int Port() const { return FPort; }

  void Send(const Bytes& data, int port) {
    const sockaddr_in to = Loopback(port);
    sendto(FSocket, reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

  // One datagram and its sender's port, or nothing within the time-out.
  std::optional<Bytes> Receive(int timeoutMs, int* fromPort = nullptr) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(FSocket, &set);
    timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    if (select(0, &set, nullptr, nullptr, &limit) != 1) return std::nullopt;
    Bytes data(65536);
    sockaddr_in from{};
    int length = sizeof from;
    const int n = recvfrom(FSocket, reinterpret_cast<char*>(data.data()), static_cast<int>(data.size()), 0,
                           reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return std::nullopt;
    data.resize(static_cast<std::size_t>(n));
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return data;
  }

private:
  SOCKET FSocket = INVALID_SOCKET;
  int FPort = 0;
};

class WindowsSocketTest : public testing::Test {
protected:
  WindowsSocketTest() {
    Client.SetHost("127.0.0.1");
    Client.SetPort(Other.Port());
  }

  // Binds the client's socket on loopback so that the peer can send to it first.
  int ClientPort() {
    auto& binding = Client.AcquireBinding();
    if (binding.Port == 0) {
      binding.IP = "127.0.0.1";
      binding.BindLocal();
    }
    return binding.Port;
  }

  Peer Other;
  TIdUDPClient Client;
};

TEST_F(WindowsSocketTest, FailedCallsCarryTheWindowsNumbersAndTexts) {
  auto& stack = TIdStack::Instance();
  const auto closed = stack.NewSocketHandle(Id_SOCK_DGRAM, 0, Id_IPv4);
  stack.Close(closed);
  const struct {
    const char* Name;
    std::function<void(TIdStackSocketHandle)> Call;
    int Number;
    const char* Message;
  } cases[] = {
      {"bind of a bound socket",
       [&](TIdStackSocketHandle s) {
         stack.Bind(s, "127.0.0.1", 0, Id_IPv4);
         stack.Bind(s, "127.0.0.1", 0, Id_IPv4);
       },
       10022, "Socket Error # 10022\r\nInvalid argument."},
      {"bind to a port in use", [&](TIdStackSocketHandle s) { stack.Bind(s, "127.0.0.1", Other.Port(), Id_IPv4); },
       10048, "Socket Error # 10048\r\nAddress already in use."},
      {"send on a closed socket",
       [&](TIdStackSocketHandle) {
         const std::uint8_t byte = 1;
         stack.SendTo(closed, &byte, 1, "127.0.0.1", Other.Port(), Id_IPv4);
       },
       10038, "Socket Error # 10038\r\nSocket operation on non-socket."},
      {"datagram too long to send",
       [&](TIdStackSocketHandle s) {
         const Bytes huge(70000, 'x');
         stack.SendTo(s, huge.data(), huge.size(), "127.0.0.1", Other.Port(), Id_IPv4);
       },
       10040, "Socket Error # 10040\r\nMessage too long."},
      {"wait on a closed socket", [&](TIdStackSocketHandle) { stack.WaitReadable({closed}, 0); }, 10038,
       "Socket Error # 10038\r\nSocket operation on non-socket."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto socket = stack.NewSocketHandle(Id_SOCK_DGRAM, 0, Id_IPv4);
    try {
      c.Call(socket);
      ADD_FAILURE() << "nothing raised";
    } catch (const EIdSocketError& error) {
      EXPECT_EQ(error.ErrorNumber(), c.Number);
      EXPECT_STREQ(error.what(), c.Message);
      EXPECT_EQ(dynamic_cast<const EIdNotASocket*>(&error) != nullptr, c.Number == 10038);
    }
    stack.Close(socket);
  }
}

TEST_F(WindowsSocketTest, AFailedLookupRaisesTheResolversNumber) {
  // Inside the private network namespace no resolver can be reached: "no such
  // host" or "no answer", whichever the system reports.
  try {
    TIdStack::Instance().ResolveAddress("no-such-host.invalid", Id_IPv4);
    FAIL() << "resolved";
  } catch (const EIdSocketError& error) {
    EXPECT_GE(error.ErrorNumber(), 11001);
    EXPECT_LE(error.ErrorNumber(), 11004);
    EXPECT_EQ(std::string(error.what()).rfind("Socket Error # 1100", 0), 0u) << error.what();
  }
  EXPECT_EQ(TIdStack::Instance().ResolveAddress("LocalHost", Id_IPv4), "127.0.0.1");
}

TEST_F(WindowsSocketTest, DatagramsTravelBothWaysWithTheirSender) {
  Client.SendText("hello");
  Client.SendTo("127.0.0.1", Other.Port(), TIdBytes{});
  int fromPort = 0;
  EXPECT_EQ(Other.Receive(2000, &fromPort), (Bytes{'h', 'e', 'l', 'l', 'o'}));
  int secondPort = 0;
  EXPECT_EQ(Other.Receive(2000, &secondPort), Bytes{});  // an empty datagram is sent as one
  EXPECT_EQ(secondPort, fromPort) << "two sends left from different ports";

  Other.Send({}, fromPort);
  Other.Send({9, 8}, fromPort);
  TIdBytes buffer(8, 0xEE);
  std::string peerIP;
  int peerPort = 0;
  // Zero bytes with a sender: a datagram, not a time-out.
  EXPECT_EQ(Client.ReceiveFrom(buffer, peerIP, peerPort, 2000), 0u);
  EXPECT_EQ(peerIP, "127.0.0.1");
  EXPECT_EQ(peerPort, Other.Port());
  EXPECT_EQ(Client.ReceiveText(2000), "\x09\x08");
}

TEST_F(WindowsSocketTest, ReceiveTimesOutWithNothingAndAnEmptySender) {
  ClientPort();
  const struct {
    int ReceiveTimeout;
    int Argument;
    long long MinMs, MaxMs;
  } cases[] = {
      {200, IdTimeoutDefault, 190, 2000},
      {60000, 50, 45, 1000},  // an explicit time-out wins over the endpoint's
  };
  for (const auto& c : cases) {
    Client.ReceiveTimeout = c.ReceiveTimeout;
    std::string peerIP = "stale";
    int peerPort = 99;
    const auto start = SteadyClock::now();
    EXPECT_EQ(Client.ReceiveText(peerIP, peerPort, c.Argument), "");
    const auto ms = MsSince(start);
    EXPECT_GE(ms, c.MinMs);
    EXPECT_LT(ms, c.MaxMs);
    EXPECT_EQ(peerIP, "");
    EXPECT_EQ(peerPort, 0);
  }
}

TEST_F(WindowsSocketTest, DatagramLongerThanTheBufferRaisesMessageTooLongNamesItsSenderAndIsLost) {
  const int port = ClientPort();
  Other.Send(Bytes(8193, 'x'), port);
  Other.Send(Bytes(8192, 'y'), port);
  try {
    Client.ReceiveText(2000);
    FAIL() << "an 8193-byte datagram was read";
  } catch (const EIdSocketError& error) {
    EXPECT_EQ(error.ErrorNumber(), 10040);
    EXPECT_STREQ(error.what(), "Socket Error # 10040\r\nMessage too long.");
  }
  EXPECT_EQ(Client.ReceiveText(2000), std::string(8192, 'y'));

  // Below the endpoint: the sender is reported with the failure.
  Other.Send(Bytes(5, 'z'), port);
  auto& binding = Client.AcquireBinding();
  ASSERT_TRUE(binding.WaitReadable(2000));
  TIdBytes small(4);
  std::string address;
  int from = 0;
  EXPECT_THROW(binding.ReceiveDatagram(small, address, from, Id_IPv4), EIdSocketError);
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(from, Other.Port());
  EXPECT_EQ(Client.ReceiveText(50), "");
  EXPECT_TRUE(Client.Active());
}

TEST_F(WindowsSocketTest, DiscardPendingDropsQueuedDatagramsOfAnyLength) {
  const int port = ClientPort();
  for (const std::size_t length : {0u, 1u, 100u}) Other.Send(Bytes(length, 'd'), port);
  auto& binding = Client.AcquireBinding();
  ASSERT_TRUE(binding.WaitReadable(2000));
  std::this_thread::sleep_for(50ms);  // all three queued
  EXPECT_EQ(binding.DiscardPending(), 3u);
  EXPECT_FALSE(binding.WaitReadable(0));
}

TEST_F(WindowsSocketTest, AListWaitsUntilAnySocketIsReadableAndKeepsThemAll) {
  TIdSocketHandle first, second;
  TIdSocketList list;
  for (auto* handle : {&first, &second}) {
    handle->OpenSocket();
    handle->IP = "127.0.0.1";
    handle->BindLocal();
    list.AddSocket(handle->SocketHandle());
  }
  const auto start = SteadyClock::now();
  EXPECT_FALSE(list.WaitAnyReadable(100));
  EXPECT_GE(MsSince(start), 95);
  Other.Send({1}, second.Port);
  EXPECT_TRUE(list.WaitAnyReadable(2000));
  EXPECT_TRUE(list.WaitAnyReadable(0));  // still readable: the wait read nothing
  EXPECT_EQ(list.SocketCount(), 2u);
  EXPECT_FALSE(first.WaitReadable(0));
  EXPECT_TRUE(second.WaitReadable(0));
}

// A call blocked in another thread must end at once when the socket is closed,
// and a receive always with an exception, never as an empty datagram.
TEST(WindowsBlockedCallTest, ClosingFromAnotherThreadEndsItAtOnce) {
  enum class Where { EndpointReceive, HandleWaitThenReceive, HandleReceive, ListWait };
  const struct {
    const char* Name;
    Where Blocked;
    bool ByShutdown;
    const char* Outcome;
  } cases[] = {
      {"close during an endpoint's receive", Where::EndpointReceive, false, "exception"},
      {"close during a handle's wait and receive", Where::HandleWaitThenReceive, false, "exception"},
      {"close during a handle's receive", Where::HandleReceive, false, "exception"},
      {"shutdown during an endpoint's receive", Where::EndpointReceive, true, "exception"},
      // A closed socket reads as readable to a wait; what follows tells the rest.
      {"close during a wait on several handles", Where::ListWait, false, "ended"},
  };
  for (const auto& c : cases) {
    for (const auto delay : {0ms, 2ms, 50ms}) {
      // An endpoint whose socket was closed opens a new one at its next receive.
      if (c.Blocked == Where::EndpointReceive && !c.ByShutdown && delay < 50ms) continue;
      SCOPED_TRACE(std::string(c.Name) + ", after " + std::to_string(delay.count()) + " ms");
      TIdUDPClient client;
      client.ReceiveTimeout = IdTimeoutInfinite;
      auto& binding = client.AcquireBinding();
      binding.IP = "127.0.0.1";
      binding.BindLocal();
      const int port = binding.Port;
      auto outcome = std::async(std::launch::async, [&]() -> std::string {
        try {
          TIdBytes buffer(64);
          std::string ip;
          int from = 0;
          switch (c.Blocked) {
            case Where::EndpointReceive:
              return "received " + std::to_string(client.ReceiveFrom(buffer, ip, from, IdTimeoutDefault));
            case Where::HandleWaitThenReceive:
              if (!binding.WaitReadable(IdTimeoutInfinite)) return "wait timed out";
              return "received " + std::to_string(binding.ReceiveDatagram(buffer, ip, from, Id_IPv4));
            case Where::HandleReceive:
              return "received " + std::to_string(binding.ReceiveDatagram(buffer, ip, from, Id_IPv4));
            case Where::ListWait:
              TIdSocketHandle::WaitAnyReadable({&binding}, IdTimeoutInfinite);
              return "ended";
          }
        } catch (const EIdSocketError& error) {
          return error.ErrorNumber() == Id_WSAEINTR || error.ErrorNumber() == Id_WSAENOTSOCK
                     ? "exception"
                     : "socket error " + std::to_string(error.ErrorNumber());
        } catch (const EIdException&) {
          return c.Blocked == Where::ListWait ? "ended" : "exception";
        }
        return "?";
      });
      std::this_thread::sleep_for(delay);
      if (c.ByShutdown)
        client.Shutdown();
      else
        binding.CloseSocketHandle();
      const bool ended = outcome.wait_for(2s) == std::future_status::ready;
      if (!ended) Peer().Send({1}, port);  // so that the thread can be joined
      EXPECT_TRUE(ended);
      EXPECT_EQ(outcome.get(), c.Outcome);
      EXPECT_FALSE(binding.HasSocket());
    }
  }
}

// The Time protocol server (listener thread, replies on the window's thread)
// answering the Time protocol client, both on Windows Sockets.
TEST(WindowsTimeProtocolTest, OurClientReadsOurServersTimeAndTheServerStopsAtOnce) {
  IdSync::SetMainThread();
  TIdTimeUDPServer server;
  std::vector<std::string> failures;
  server.OnUDPException = [&](TIdUDPServer&, TIdSocketHandle&, const std::string& message, std::type_index) {
    failures.push_back(message);
  };
  server.SetDefaultPort(0);
  server.SetActive(true);
  ASSERT_TRUE(server.Active());
  const int port = server.Bindings().Items(0).Port;
  ASSERT_NE(port, 0);

  TIdRequestPacer pacer;
  pacer.SetMinInterval(0ms);
  for (int i = 0; i < 2; ++i) {
    auto query = std::async(std::launch::async, [port, &pacer] {
      TIdTimeUDP client;
      client.Pacer = &pacer;
      client.SetHost("127.0.0.1");
      client.SetPort(port);
      client.ReceiveTimeout = 5000;
      return client.QueryTime();
    });
    while (query.wait_for(1ms) != std::future_status::ready) IdSync::RunQueued();
    const double lag = (Now() - query.get()) * SecsPerDay;
    EXPECT_GE(lag, -0.1);
    EXPECT_LT(lag, 1.1);
  }

  const auto start = SteadyClock::now();
  server.SetActive(false);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_FALSE(server.Active());
  EXPECT_TRUE(failures.empty()) << failures.front();
}

}  // namespace
