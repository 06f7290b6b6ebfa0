// SPDX-License-Identifier: MIT
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Core/IdSocketHandle.h"
#include "Core/IdSocketList.h"
#include "Fakes/FakeUdpServer.h"
#include "Fakes/UdpProbe.h"
#include "Support/TestHelpers.h"
#include "System/IdException.h"

namespace {

using KestrineTest::FakeUdpServer;
using KestrineTest::SilentHandler;

// The first of n consecutive ports that are free on 127.0.0.1 right now.
int FreePortRun(int n) {
  for (int base = 20000; base < 60000; base += n) {
    std::vector<std::unique_ptr<KestrineTest::UdpProbe>> held;
    try {
      for (int i = 0; i < n; ++i)
        held.push_back(std::make_unique<KestrineTest::UdpProbe>(static_cast<std::uint16_t>(base + i)));
      return base;
    } catch (const std::runtime_error&) {
    }
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
  const auto start = KestrineTest::SteadyClock::now();
  EXPECT_FALSE(list.WaitAnyReadable(100));
  EXPECT_GE(KestrineTest::MsSince(start), 95);
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
  [[maybe_unused]] constexpr int Lowest = std::numeric_limits<int>::min();
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
      {"taken port", "127.0.0.1", top, 0, 0, top, "Could not bind socket. Address and port are already in use."},
#ifndef _WIN32
      // Wine binds to an address that is not on the machine: these need Linux.
      {"search down to the smallest integer", "192.0.2.1", 0, Lowest, Lowest + 2, Lowest,
       "Can not bind in port range (-2147483648 - -2147483646)"},
      // Any bind failure reads the same, whatever the system's reason.
      {"address not on this machine", "192.0.2.1", 0, 0, 0, 0,
       "Could not bind socket. Address and port are already in use."},
#endif
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
  for (const std::size_t length : {0u, 1u, 100u})
    peer.SendTo(KestrineTest::Bytes(length, 'd'), "127.0.0.1", static_cast<std::uint16_t>(handle.Port));
  ASSERT_TRUE(handle.WaitReadable(2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // all three queued, even where loopback lags
  EXPECT_EQ(handle.DiscardPending(), 3u);
  EXPECT_FALSE(handle.WaitReadable(0));
  EXPECT_EQ(handle.DiscardPending(), 0u);
}

}  // namespace
