// SPDX-License-Identifier: MIT
#include <netdb.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "System/IdException.h"
#include "System/IdStack.h"
#include "System/Posix/IdStackPosix.h"

namespace {

TEST(SocketErrorTest, RaisesTheNumberWithItsMessage) {
  const struct {
    int Number;
    const char* Message;
  } cases[] = {
      {10004, "Socket Error # 10004\r\nInterrupted system call."},
      {10040, "Socket Error # 10040\r\nMessage too long."},
      {10051, "Socket Error # 10051\r\nNetwork is unreachable."},
      {10066, "Socket Error # 10066\r\nDirectory not empty"},
      {11001, "Socket Error # 11001\r\nHost not found."},
      // Numbers without a text keep the second line empty.
      {11002, "Socket Error # 11002\r\n"},
      {10067, "Socket Error # 10067\r\n"},
      {0, "Socket Error # 0\r\n"},
  };
  for (const auto& c : cases) {
    try {
      TIdStack::RaiseSocketError(c.Number);
    } catch (const EIdSocketError& error) {
      EXPECT_EQ(error.ErrorNumber(), c.Number);
      EXPECT_STREQ(error.what(), c.Message);
      EXPECT_EQ(dynamic_cast<const EIdNotASocket*>(&error), nullptr) << c.Number;
      continue;
    }
    ADD_FAILURE() << "nothing raised for " << c.Number;
  }
}

TEST(SocketErrorTest, NotASocketIsItsOwnClassAndASocketError) {
  try {
    TIdStack::RaiseSocketError(10038);
    FAIL() << "nothing raised";
  } catch (const EIdNotASocket& error) {
    const EIdSocketError& asSocketError = error;
    const EIdException& asIdException = error;
    EXPECT_EQ(asSocketError.ErrorNumber(), 10038);
    EXPECT_STREQ(asIdException.what(), "Socket Error # 10038\r\nSocket operation on non-socket.");
  }
}

TEST(ErrorMappingTest, ErrnoAndResolverCodesBecomeWindowsSocketsNumbers) {
  const struct {
    int Errno;
    int Number;
  } errnos[] = {
      {EINTR, 10004},       {EBADF, 10009},      {EACCES, 10013},   {EPERM, 10013},        {EINVAL, 10022},
      {EAGAIN, 10035},      {ENOTSOCK, 10038},   {EMSGSIZE, 10040}, {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
      {ENETUNREACH, 10051}, {ECONNRESET, 10054}, {ENOBUFS, 10055},  {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065},
  };
  for (const auto& c : errnos) EXPECT_EQ(IdStackPosix::MapErrno(c.Errno), c.Number) << std::strerror(c.Errno);

  const struct {
    int Code;
    int SavedErrno;
    int Number;
  } resolver[] = {
      {EAI_NONAME, 0, 11001},           {EAI_AGAIN, 0, 11002}, {EAI_FAIL, 0, 11003}, {EAI_NODATA, 0, 11004},
      {EAI_SYSTEM, ENETUNREACH, 10051},
  };
  for (const auto& c : resolver)
    EXPECT_EQ(IdStackPosix::MapResolverError(c.Code, c.SavedErrno), c.Number) << gai_strerror(c.Code);
}

class ResolveAddressTest : public testing::Test {
protected:
  void SetUp() override { TIdStack::IncUsage(); }
  void TearDown() override { TIdStack::DecUsage(); }
};

TEST_F(ResolveAddressTest, LocalhostAndDottedQuadsNeedNoLookup) {
  const struct {
    const char* Host;
    const char* Address;
  } cases[] = {
      {"localhost", "127.0.0.1"},
      {"LOCALHOST", "127.0.0.1"},
      {"LocalHost", "127.0.0.1"},
      {"10.0.0.1", "10.0.0.1"},
      // A dotted quad comes back as it was written.
      {" 10 . 0 . 0 . 1", " 10 . 0 . 0 . 1"},
      // Not a dotted quad: the system's lookup reads this short form as 10.0.0.0.
      {"10.0.0", "10.0.0.0"},
  };
  auto& stack = TIdStack::Instance();
  for (const auto& c : cases) EXPECT_EQ(stack.ResolveAddress(c.Host, Id_IPv4), c.Address) << c.Host;
}

TEST_F(ResolveAddressTest, FailedLookupRaisesTheResolverNumber) {
  // Inside the private network namespace no resolver can be reached, so the system
  // may report "no such host" or "no answer" for these.
  for (const char* host : {"256.1.1.1", "1.2.3.4.5", "no-such-host.invalid"}) {
    try {
      TIdStack::Instance().ResolveAddress(host, Id_IPv4);
      ADD_FAILURE() << host << " resolved";
    } catch (const EIdSocketError& error) {
      EXPECT_GE(error.ErrorNumber(), 11001) << host;
      EXPECT_LE(error.ErrorNumber(), 11004) << host;
      EXPECT_EQ(std::string(error.what()).rfind("Socket Error # 1100", 0), 0u) << error.what();
    }
  }
}

TEST(ByteOrderTest, NetworkOrderIsBigEndian) {
  const std::uint32_t wide = TIdStack::HostToNetwork(std::uint32_t{0x12345678});
  const std::uint16_t narrow = TIdStack::HostToNetwork(std::uint16_t{0xABCD});
  unsigned char bytes[6];
  std::memcpy(bytes, &wide, 4);
  std::memcpy(bytes + 4, &narrow, 2);
  const unsigned char expected[6] = {0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD};
  EXPECT_EQ(std::memcmp(bytes, expected, 6), 0);
  EXPECT_EQ(TIdStack::NetworkToHost(wide), 0x12345678u);
  EXPECT_EQ(TIdStack::NetworkToHost(narrow), 0xABCDu);
}

}  // namespace
