#include "Core/IdSocketHandle.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Core/IdSocketList.h"
#include "Fakes/FakeUdpServer.h"
#include "System/IdException.h"

namespace {

using KestrineTest::FakeUdpServer;
using KestrineTest::SilentHandler;

// The first of n consecutive ports that are free on 127.0.0.1 right now.
int FreePortRun(int n) {
  for (int base = 20000; base < 60000; base += n) {
    std::vector<int> sockets;
    for (int i = 0; i < n; ++i) {
      const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<std::uint16_t>(base + i));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        break;
      }
      sockets.push_back(fd);
    }
    for (const int fd : sockets) ::close(fd);
    if (static_cast<int>(sockets.size()) == n) return base;
  }
  throw std::runtime_error("no free port range");
}

TEST(IdSocketListTest, RefusesThe65thSocketAndIndexesOutsideTheList) {
  TIdSocketList list;
  EXPECT_THROW(list.SocketAt(0), EIdStackSetSizeExceeded);
  for (int i = 0; i < 63; ++i) list.AddSocket(1000 + i);
  list.AddSocket(1000);  // duplicates are not looked for
  EXPECT_EQ(list.SocketCount(), 64u);
  EXPECT_EQ(list.SocketAt(0), 1000);
  EXPECT_EQ(list.SocketAt(62), 1062);
  EXPECT_EQ(list.SocketAt(63), 1000);
  try {
    list.AddSocket(2000);
    FAIL() << "a 65th socket was accepted";
  } catch (const EIdStackSetSizeExceeded& error) {
    EXPECT_STREQ(error.what(), "Set Size Exceeded.");
  }
  EXPECT_EQ(list.SocketCount(), 64u);
  EXPECT_THROW(list.SocketAt(64), EIdStackSetSizeExceeded);
}

TEST(IdSocketListTest, WaitsUntilAnySocketIsReadableAndKeepsThemAll) {
  FakeUdpServer peer("127.0.0.1", 0, SilentHandler());
  TIdSocketHandle first, second;
  TIdSocketList list;
  for (auto* handle : {&first, &second}) {
    handle->OpenSocket();
    handle->IP = "127.0.0.1";
    handle->BindLocal();
    list.AddSocket(handle->SocketHandle());
  }
  EXPECT_FALSE(list.WaitAnyReadable(50));
  peer.SendTo({1}, "127.0.0.1", static_cast<std::uint16_t>(second.Port));
  EXPECT_TRUE(list.WaitAnyReadable(2000));
  EXPECT_TRUE(list.WaitAnyReadable(0));  // still readable: the wait read nothing
  EXPECT_EQ(list.SocketCount(), 2u);
  EXPECT_FALSE(first.WaitReadable(0));
  EXPECT_TRUE(second.WaitReadable(0));
}

TEST(IdSocketHandleTest, WithoutASocketWaitingIsAClosedConnectionAndClosingDoesNothing) {
  TIdSocketHandle handle;
  EXPECT_FALSE(handle.HasSocket());
  handle.CloseSocketHandle();
  EXPECT_THROW(handle.WaitReadable(0), EIdConnClosedGracefully);
  handle.OpenSocket();
  EXPECT_TRUE(handle.HasSocket());
  handle.CloseSocketHandle();
  handle.CloseSocketHandle();
  EXPECT_FALSE(handle.HasSocket());
  try {
    handle.WaitReadable(0);
    FAIL() << "no exception";
  } catch (const EIdConnClosedGracefully& error) {
    EXPECT_STREQ(error.what(), "Connection Closed Gracefully.");
  }
}

TEST(IdSocketHandleTest, BindLocalPicksAPortOrExplainsWhyNot) {
  const int base = FreePortRun(3);
  const int top = base + 2;
  FakeUdpServer taken("127.0.0.1", static_cast<std::uint16_t>(top), SilentHandler());
  const std::string rangeText = std::to_string(top) + " - " + std::to_string(top);
  constexpr int Lowest = std::numeric_limits<int>::min();
  const struct {
    const char* Name;
    std::string IP;
    int Port, Min, Max;
    std::optional<int> PortAfter;  // nullopt: any port the system chose
    std::string Error;             // empty: binds
  } cases[] = {
      {"range with its top taken", "127.0.0.1", 0, base, top, base + 1, ""},
      {"free port", "127.0.0.1", base, 0, 0, base, ""},
      {"system's choice", "", 0, 0, 0, std::nullopt, ""},
      {"port wins over range", "127.0.0.1", base, base + 1, top, base, ""},
      {"reversed range", "127.0.0.1", 0, 6000, 5000, 0, "Invalid Port Range (6000 - 5000)"},
      // A failed search leaves Port at the last port it tried.
      {"whole range taken", "127.0.0.1", 0, top, top, top, "Can not bind in port range (" + rangeText + ")"},
      {"search down to the smallest integer", "192.0.2.1", 0, Lowest, Lowest + 2, Lowest,
       "Can not bind in port range (-2147483648 - -2147483646)"},
      {"taken port", "127.0.0.1", top, 0, 0, top, "Could not bind socket. Address and port are already in use."},
      // Any bind failure reads the same, whatever the system's reason.
      {"address not on this machine", "192.0.2.1", 0, 0, 0, 0,
       "Could not bind socket. Address and port are already in use."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIdSocketHandle handle;
    handle.OpenSocket();
    handle.IP = c.IP;
    handle.Port = c.Port;
    handle.ClientPortMin = c.Min;
    handle.ClientPortMax = c.Max;
    try {
      handle.BindLocal();
      EXPECT_EQ(c.Error, "");
      EXPECT_EQ(handle.IP, c.IP.empty() ? "0.0.0.0" : c.IP);
      if (c.PortAfter)
        EXPECT_EQ(handle.Port, *c.PortAfter);
      else
        EXPECT_NE(handle.Port, 0);
    } catch (const EIdSocketHandleError& error) {
      EXPECT_EQ(error.what(), c.Error);
      EXPECT_EQ(handle.Port, c.PortAfter);
    }
  }
}

TEST(IdSocketHandleTest, SendsAndReceivesOneDatagramWithItsSender) {
  FakeUdpServer peer("127.0.0.1", 0, SilentHandler());
  TIdSocketHandle handle;
  handle.OpenSocket();
  EXPECT_EQ(handle.SendDatagram("127.0.0.1", peer.Port(), {1, 2, 3}, Id_IPv4), 3u);
  ASSERT_TRUE(peer.WaitForRequests(1, std::chrono::seconds(5)));
  const auto request = peer.Requests().at(0);
  EXPECT_EQ(request.Data, (KestrineTest::Bytes{1, 2, 3}));

  peer.SendTo({9, 8}, "127.0.0.1", request.FromPort);
  ASSERT_TRUE(handle.WaitReadable(2000));
  TIdBytes buffer(16, 0);
  std::string address;
  int port = 0;
  EXPECT_EQ(handle.ReceiveDatagram(buffer, address, port, Id_IPv4), 2u);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(buffer[1], 8);
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(port, peer.Port());
}

TEST(IdSocketHandleTest, DiscardPendingDropsQueuedDatagramsOnly) {
  FakeUdpServer peer("127.0.0.1", 0, SilentHandler());
  TIdSocketHandle handle;
  handle.OpenSocket();
  handle.IP = "127.0.0.1";
  handle.BindLocal();
  for (int i = 0; i < 3; ++i) peer.SendTo({static_cast<std::uint8_t>(i)}, "127.0.0.1", static_cast<std::uint16_t>(handle.Port));
  ASSERT_TRUE(handle.WaitReadable(2000));
  EXPECT_EQ(handle.DiscardPending(), 3u);
  EXPECT_FALSE(handle.WaitReadable(0));
  EXPECT_EQ(handle.DiscardPending(), 0u);
}

}  // namespace
