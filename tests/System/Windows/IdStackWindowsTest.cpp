// SPDX-License-Identifier: MIT
// The socket stack on Windows Sockets: the numbers and texts that the system's
// own failures carry.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Fakes/UdpProbe.h"
#include "System/IdException.h"
#include "System/IdStack.h"

namespace {

class IdStackWindowsTest : public testing::Test {
protected:
  void SetUp() override { TIdStack::IncUsage(); }
  void TearDown() override { TIdStack::DecUsage(); }
};

TEST_F(IdStackWindowsTest, FailedCallsCarryTheWindowsNumbersAndTexts) {
  auto& stack = TIdStack::Instance();
  const KestrineTest::UdpProbe other;
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
      {"bind to a port in use", [&](TIdStackSocketHandle s) { stack.Bind(s, "127.0.0.1", other.Port(), Id_IPv4); },
       10048, "Socket Error # 10048\r\nAddress already in use."},
      {"send on a closed socket",
       [&](TIdStackSocketHandle) {
         const std::uint8_t byte = 1;
         stack.SendTo(closed, &byte, 1, "127.0.0.1", other.Port(), Id_IPv4);
       },
       10038, "Socket Error # 10038\r\nSocket operation on non-socket."},
      {"datagram too long to send",
       [&](TIdStackSocketHandle s) {
         const std::vector<std::uint8_t> huge(70000, 'x');
         stack.SendTo(s, huge.data(), huge.size(), "127.0.0.1", other.Port(), Id_IPv4);
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

TEST_F(IdStackWindowsTest, AFailedLookupRaisesTheResolversNumber) {
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

}  // namespace
