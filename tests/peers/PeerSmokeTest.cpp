// SPDX-License-Identifier: MIT
// Proves the real peers work with plain sockets, so a failing protocol test
// against them points at our code rather than at the harness.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Support/NetnsCheck.h"
#include "Support/Peers.h"

namespace {

constexpr double kSecondsFrom1900To1970 = 2208988800.0;

double NowSince1970() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

uint32_t BigEndian32(const std::vector<unsigned char>& bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// One datagram out, the first answer back (empty when none comes within 2 s).
std::vector<unsigned char> Query(const std::string& address, int port, const std::vector<unsigned char>& request) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &peer.sin_addr), 1);
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  EXPECT_GE(fd, 0);
  std::vector<unsigned char> answer(1024);
  EXPECT_EQ(sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&peer), sizeof(peer)),
            static_cast<ssize_t>(request.size()));
  pollfd ready{fd, POLLIN, 0};
  const ssize_t n = poll(&ready, 1, 2000) == 1 ? recv(fd, answer.data(), answer.size(), 0) : 0;
  close(fd);
  answer.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return answer;
}

void ExpectChronydServesTime(const std::string& address) {
  std::vector<unsigned char> request(48, 0);
  request[0] = 0x1B;  // version 3, client
  const std::vector<unsigned char> reply = Query(address, 123, request);
  ASSERT_EQ(reply.size(), 48u);
  EXPECT_EQ(reply[0] & 7, 4) << "mode must be server";
  EXPECT_GE(reply[1], 1) << "stratum";
  EXPECT_LE(reply[1], 15) << "stratum";
  const double transmit = BigEndian32(reply, 40) + BigEndian32(reply, 44) / 4294967296.0 - kSecondsFrom1900To1970;
  EXPECT_NEAR(transmit, NowSince1970(), 2.0);
}

TEST(PeerSmokeTest, ChronydAnswersAnSntpRequestWithTheSystemTime) {
  KestrineTest::ChronyPeer chrony;
  ExpectChronydServesTime("127.0.0.1");
}

TEST(PeerSmokeTest, XinetdAnswersAnEmptyDatagramWithSecondsSince1900) {
  KestrineTest::XinetdPeer xinetd;
  for (int query = 0; query < 3; ++query) {
    // A query sent right after the previous answer may be swallowed.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::vector<unsigned char> reply = Query("127.0.0.1", 37, {});
    ASSERT_EQ(reply.size(), 4u);
    EXPECT_NEAR(BigEndian32(reply, 0) - kSecondsFrom1900To1970, NowSince1970(), 2.0);
  }
}

TEST(PeerSmokeTest, RdatePrintsTheTimeOfTheXinetdPeer) {
  KestrineTest::XinetdPeer xinetd;
  const std::string printed = KestrineTest::RunRdate("127.0.0.1", 5);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_TRUE(std::regex_search(printed, std::regex(R"(\d\d:\d\d:\d\d)"))) << printed;
  EXPECT_NE(printed.find(std::to_string(local.tm_year + 1900)), std::string::npos) << printed;
}

TEST(PeerSmokeTest, RdateIsStoppedWhenTheHostStaysSilent) {
  const int silent = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(37);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  try {
    KestrineTest::RunRdate("127.0.0.1", 1);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("no answer within 1 s"), std::string::npos) << error.what();
  }
  close(silent);
}

bool CanBind(const std::string& address) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, address.c_str(), &local.sin_addr);
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0;
  close(fd);
  return bound;
}

// All tests of a build share one namespace: take the address off again whatever happens.
struct AddressOnLoopback {
  explicit AddressOnLoopback(std::string address) : Address(std::move(address)) {
    KestrineTest::AddLoopbackAddress(Address);
  }
  ~AddressOnLoopback() { KestrineTest::RemoveLoopbackAddress(Address); }
  std::string Address;
};

TEST(PeerSmokeTest, PeersServeFromAnAddressAddedToLoopback) {
  const std::string nist = "129.6.15.28";
  {
    AddressOnLoopback alias(nist);
    KestrineTest::AddLoopbackAddress(nist);  // again: no error
    KestrineTest::ChronyPeer chrony(nist);
    ExpectChronydServesTime(nist);
  }
  EXPECT_FALSE(CanBind(nist));
  KestrineTest::RemoveLoopbackAddress(nist);  // again: no error
}

TEST(PeerSmokeTest, AMissingPeerProgramIsReportedWithTheFix) {
  const std::string saved = std::getenv("KESTRINE_PEERS_DIR") ? std::getenv("KESTRINE_PEERS_DIR") : "";
  setenv("KESTRINE_PEERS_DIR", "/nonexistent", 1);
  try {
    KestrineTest::XinetdPeer xinetd;
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("scripts/fetch-peers.sh"), std::string::npos) << error.what();
  }
  setenv("KESTRINE_PEERS_DIR", saved.c_str(), 1);
}

}  // namespace
