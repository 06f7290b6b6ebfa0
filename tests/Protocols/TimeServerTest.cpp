// SPDX-License-Identifier: MIT
// The UDP listener server and the Time protocol server over real loopback
// sockets. Handlers run on this (the "window's") thread, so every wait pumps the
// window's-thread queue the way the program's event loop does.
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <regex>

#include <gtest/gtest.h>

#include "Core/IdSync.h"
#include "Core/IdThreadStart.h"
#include "Fakes/UdpProbe.h"
#include "Platform/Clock.h"
#include "Protocols/IdTimeUDP.h"
#include "Protocols/IdTimeUDPServer.h"
#include "Support/TestHelpers.h"
#include "System/IdException.h"
#ifndef _WIN32
#include "Support/Peers.h"
#endif

using namespace std::chrono_literals;

namespace {

using KestrineTest::Bytes;

// A client of the server; its waits pump the window's-thread queue.
class Probe : public KestrineTest::UdpProbe {
public:
  using UdpProbe::UdpProbe;
  std::optional<Bytes> Receive(std::chrono::milliseconds timeout, std::uint16_t* fromPort = nullptr) {
    return UdpProbe::Receive(timeout, fromPort, [] { IdSync::RunQueued(); });
  }
};

std::uint32_t Value(const Bytes& reply) {
  return static_cast<std::uint32_t>(reply[0]) << 24 | static_cast<std::uint32_t>(reply[1]) << 16 |
         static_cast<std::uint32_t>(reply[2]) << 8 | reply[3];
}

void PumpFor(std::chrono::milliseconds duration) {
  IdSync::WaitPumping([] { return false; }, duration);
}

class TimeServerTest : public ::testing::Test {
protected:
  void SetUp() override {
    IdSync::SetMainThread();
    Server.OnUDPException = [this](TIdUDPServer&, TIdSocketHandle&, const std::string& message, std::type_index) {
      Failures.push_back(message);
    };
  }

  // A server on a port of its own (not 37, which some tests bind themselves).
  void Activate(int port = 3700) {
    Server.SetDefaultPort(port);
    Server.SetActive(true);
    ASSERT_TRUE(Server.Active());
  }

  // Before the server: switching it off in its destructor still reports here.
  std::vector<std::string> Failures;
  TIdTimeUDPServer Server;
};

TEST_F(TimeServerTest, OneBindingOnAllAddressesAtPort37IsMadeOnceAndReused) {
  EXPECT_EQ(Server.DefaultPort(), 37);
  Server.SetActive(true);
  ASSERT_TRUE(Server.Active());
  ASSERT_EQ(Server.Bindings().Count(), 1u);
  EXPECT_EQ(Server.Bindings().Items(0).IP, "0.0.0.0");
  EXPECT_EQ(Server.Bindings().Items(0).Port, 37);
  const auto* listener = Server.Listener();
  Server.SetActive(true);
  EXPECT_EQ(Server.Listener(), listener) << "a second activation made another listener";
  Server.SetActive(false);
  EXPECT_FALSE(Server.Active());
  Server.SetActive(false);
  Server.SetActive(true);
  EXPECT_EQ(Server.Bindings().Count(), 1u);
}

TEST_F(TimeServerTest, DeactivatingWhileTheListenerIsBlockedIsPromptAndReportsOneFailure) {
  Activate();
  PumpFor(1200ms);  // past the first readiness wait: the listener now blocks in its receive
  const auto start = std::chrono::steady_clock::now();
  Server.SetActive(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_FALSE(Server.Active());
  EXPECT_EQ(Failures.size(), 1u);
}

TEST_F(TimeServerTest, APortAlreadyTakenLeavesTheServerInactive) {
  Probe holder(3701);
  Server.SetDefaultPort(3701);
  Server.Bindings().Add().IP = "127.0.0.1";
  try {
    Server.SetActive(true);
    FAIL() << "activation succeeded on a taken port";
  } catch (const EIdCouldNotBindSocket& error) {
    EXPECT_EQ(error.Message(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(Server.Active());
  EXPECT_EQ(Server.Listener(), nullptr);
}

TEST_F(TimeServerTest, WithoutAListenerThreadTheServerStaysInactiveAndCanBeSwitchedAgain) {
  Server.SetDefaultPort(3700);
  {
    IdThreadStart::TScopedRefusal refusal;
    try {
      Server.SetActive(true);
      FAIL() << "activation succeeded without a listener";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message().rfind("Cannot start a thread: ", 0), 0u) << error.Message();
    }
    EXPECT_FALSE(Server.Active());
    EXPECT_EQ(Server.Listener(), nullptr);
    Server.SetActive(false);
  }
  Probe client;
  client.Send({}, 3700);
  EXPECT_FALSE(client.Receive(100ms)) << "an inactive server answered";
  Activate();
  client.Send({}, 3700);
  EXPECT_TRUE(client.Receive(2s));
}

TEST_F(TimeServerTest, AnyRequestGetsFourBytesAtItsOwnPortFromTheServersPort) {
  Activate();
  Probe a, b;
  a.Send({}, 3700);
  std::uint16_t from = 0;
  const auto empty = a.Receive(2s, &from);
  b.Send(Bytes(100, 0x55), 3700);
  const auto payload = b.Receive(2s);
  ASSERT_TRUE(empty && payload);
  ASSERT_EQ(empty->size(), 4u);
  ASSERT_EQ(payload->size(), 4u);
  EXPECT_EQ(from, 3700);
  EXPECT_LE(Value(*payload) - Value(*empty), 1u);
  const std::uint32_t now = TIdCustomTimeUDPServer::TimeValue(Now(), UtcBias(), 2.0);
  EXPECT_LE(now - Value(*payload), 1u);
}

TEST_F(TimeServerTest, QuickRequestsFromDifferentPortsEachGetTheirOwnReply) {
  Activate();
  Probe a, b;
  a.Send({}, 3700);
  b.Send({}, 3700);
  EXPECT_TRUE(a.Receive(2s));
  EXPECT_TRUE(b.Receive(2s));
}

TEST_F(TimeServerTest, AnOversizedDatagramIsReportedAndTheNextIsServed) {
  Server.BufferSize = 16;
  Activate();
  Probe client;
  client.Send(Bytes(17, 1), 3700);
  EXPECT_FALSE(client.Receive(300ms));
  client.Send({}, 3700);
  EXPECT_TRUE(client.Receive(2s));
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0], "Socket Error # 10040\r\nMessage too long.");
}

TEST_F(TimeServerTest, DatagramsQueuedBehindEachOtherAreEachHandledOnTheirOwn) {
  Server.BufferSize = 16;
  std::vector<int> ports;
  Server.OnUDPRead = [&](TIdUDPServer&, const TIdBytes&, TIdSocketHandle& binding) {
    ports.push_back(binding.RemotePort);
  };
  Activate();
  Probe a, b;
  a.Send({}, 3700);  // the window's thread is not pumping yet: these queue up
  b.Send(Bytes(17, 1), 3700);
  b.Send({}, 3700);
  a.Send(Bytes(3, 2), 3700);
  int replies = 0;
  while (a.Receive(500ms)) ++replies;
  while (b.Receive(100ms)) ++replies;
  EXPECT_EQ(replies, 3);
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0], "Socket Error # 10040\r\nMessage too long.");
  EXPECT_EQ(ports.size(), 3u);
}

// More datagrams than one batch takes, queued while the window's thread is busy:
// each is handled in arrival order and answered to its own sender, the loop guard
// holds inside a batch, and a reply that cannot leave is reported alone.
TEST_F(TimeServerTest, QueuedDatagramsAreAnsweredInOrderAndOneFailedReplyStopsNoOther) {
  std::vector<int> ports;
  Server.OnUDPRead = [&](TIdUDPServer& sender, const TIdBytes& data, TIdSocketHandle& binding) {
    ports.push_back(binding.RemotePort);
    if (data.size() == 1) sender.SendTo("127.0.0.1", 0, TIdBytes{1});  // port 0: refused by the system
  };
  Activate();
  std::vector<std::unique_ptr<Probe>> clients;
  for (int i = 0; i < 10; ++i) clients.push_back(std::make_unique<Probe>());
  Probe forged(37);
  std::vector<int> expected;
  for (int round = 0; round < 10; ++round) {
    for (std::size_t c = 0; c < clients.size(); ++c) {
      clients[c]->Send(round == 5 && c == 3 ? Bytes{1} : Bytes{}, 3700);
      expected.push_back(clients[c]->Port());
      if (round == 6 && c == 4) forged.Send({}, 3700);
    }
  }
  for (auto& client : clients) {
    int replies = 0;
    while (auto reply = client->Receive(replies < 10 ? 2000ms : 200ms)) {
      EXPECT_EQ(reply->size(), 4u);
      ++replies;
    }
    EXPECT_EQ(replies, 10) << "client on port " << client->Port();
  }
  EXPECT_FALSE(forged.Receive(100ms));
  EXPECT_EQ(ports, expected);
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0], "Socket Error # 10022\r\nInvalid argument.");
}

TEST_F(TimeServerTest, AHandlerThatRaisesDoesNotStopTheListener) {
  int calls = 0;
  Server.OnUDPRead = [&](TIdUDPServer&, const TIdBytes&, TIdSocketHandle&) {
    if (++calls == 1) throw EIdException("handler failed");
  };
  Activate();
  Probe client;
  client.Send({}, 3700);
  EXPECT_FALSE(client.Receive(300ms)) << "no reply for the datagram whose handler failed";
  client.Send({}, 3700);
  EXPECT_TRUE(client.Receive(2s));
  ASSERT_EQ(Failures.size(), 1u);
  EXPECT_EQ(Failures[0], "handler failed");
}

TEST_F(TimeServerTest, DatagramsFromServicePortsAreDroppedSilently) {
  Activate();
  for (const std::uint16_t port : {7, 9, 13, 19, 37}) {
    Probe forged(port);
    forged.Send({}, 3700);
    EXPECT_FALSE(forged.Receive(200ms)) << "answered source port " << port;
  }
  EXPECT_TRUE(Failures.empty());
  Probe ordinary(1037);
  ordinary.Send({}, 3700);
  EXPECT_TRUE(ordinary.Receive(2s));
}

TEST(TimeServerValueTest, SecondsSinceTheDayOfBaseDateTruncatedAndWrapped) {
  const TDateTime y2000 = EncodeDateTime(2000, 1, 1, 0, 0, 0, 500);
  const TDateTime wrap = EncodeDateTime(2036, 2, 7, 6, 28, 16, 0);
  EXPECT_EQ(TIdCustomTimeUDPServer::TimeValue(y2000, 0.0, 2.0), 0xBC17C200u);
  EXPECT_EQ(TIdCustomTimeUDPServer::TimeValue(y2000, 0.0, 2.75), 0xBC17C200u);
  EXPECT_EQ(TIdCustomTimeUDPServer::TimeValue(y2000 - 0.5, 0.5, 2.0), 0xBC17C200u) << "local + bias is UTC";
  EXPECT_LE(TIdCustomTimeUDPServer::TimeValue(wrap + 0.5 / SecsPerDay, 0.0, 2.0), 1u);
  EXPECT_EQ(TIdCustomTimeUDPServer::TimeValue(wrap + 1.5 / SecsPerDay, 0.0, 2.0), 1u);
}

TEST(TimeServerValueTest, ServiceSourcesAndTheServerItselfAreRefused) {
  TIdSocketHandle binding;
  binding.Port = 37;
  for (const int port : {7, 9, 13, 19, 37}) {
    binding.RemotePort = port;
    EXPECT_TRUE(TIdCustomTimeUDPServer::IsRefusedSource(binding)) << port;
  }
  binding.Port = 3700;
  binding.IP = "127.0.0.1";
  binding.RemoteAddress = "127.0.0.1";
  binding.RemotePort = 3700;
  EXPECT_TRUE(TIdCustomTimeUDPServer::IsRefusedSource(binding));
  binding.RemoteAddress = "127.0.0.2";
  EXPECT_FALSE(TIdCustomTimeUDPServer::IsRefusedSource(binding));
  binding.RemotePort = 40000;
  EXPECT_FALSE(TIdCustomTimeUDPServer::IsRefusedSource(binding));
}

// The reply of the 2000-01-01 example through the server itself, with the clock
// and the zone fixed.
class FixedClock : public Platform::TClockSource {
public:
  Platform::TLocalDateTime ReadLocal() override { return {2000, 1, 6, 1, 0, 0, 0, 500}; }
  Platform::TInstantMs ReadInstant() override { return 946684800500; }  // the same instant, in UTC
  Platform::TClockSetResult SetInstant(Platform::TInstantMs) override { return {1, "refused"}; }
};

TEST_F(TimeServerTest, TheReplyOfTheYear2000Example) {
#ifndef _WIN32
  KestrineTest::ScopedTz zone("UTC0");
#endif
  FixedClock clock;
  Platform::InstallClock(&clock);
  Activate();
  Probe client;
  client.Send({}, 3700);
  const auto reply = client.Receive(2s);
  Platform::InstallClock(nullptr);
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, (Bytes{0xBC, 0x17, 0xC2, 0x00}));
}

TEST_F(TimeServerTest, OurClientReadsOurTimeAndTheServerStopsAtOnce) {
  Server.SetActive(true);  // port 37 on every address
  ASSERT_TRUE(Server.Active());
  for (int i = 0; i < 2; ++i) {
    auto query = std::async(std::launch::async, [] {
      TIdRequestPacer pacer;
      pacer.SetMinInterval(0ms);
      TIdTimeUDP client;
      client.Pacer = &pacer;
      client.SetHost("127.0.0.1");
      client.ReceiveTimeout = 5000;
      return client.QueryTime();
    });
    while (query.wait_for(1ms) != std::future_status::ready) IdSync::RunQueued();
    // The protocol counts whole seconds, so our answer lags by up to one.
    const double lag = (Now() - query.get()) * SecsPerDay;
    EXPECT_GE(lag, -0.1);
    EXPECT_LT(lag, 1.1);
  }
  const auto start = KestrineTest::SteadyClock::now();
  Server.SetActive(false);
  EXPECT_LT(KestrineTest::MsSince(start), 1000);
  EXPECT_FALSE(Server.Active());
  EXPECT_TRUE(Failures.empty()) << Failures.front();
}

#ifndef _WIN32
TEST_F(TimeServerTest, RealClientsReadOurTime) {
  Server.SetActive(true);  // port 37 on every address
  auto rdate = std::async(std::launch::async, [] { return KestrineTest::RunRdate("127.0.0.1", 10); });
  while (rdate.wait_for(1ms) != std::future_status::ready) IdSync::RunQueued();
  const std::string printed = rdate.get();
  // "Thu Dec 10 02:10:00 UTC 2026": the time of day must be ours within a second.
  std::smatch clock;
  ASSERT_TRUE(std::regex_search(printed, clock, std::regex(R"((\d\d):(\d\d):(\d\d))"))) << printed;
  const int h = std::stoi(clock[1]), m = std::stoi(clock[2]), s = std::stoi(clock[3]);
  const auto local = DecodeDateTime(Now());  // rdate prints local time
  const int ours = local.Hour * 3600 + local.Minute * 60 + local.Second, theirs = h * 3600 + m * 60 + s;
  EXPECT_LE(std::abs((ours - theirs + 86400 + 43200) % 86400 - 43200), 1) << printed;
}
#endif

}  // namespace
