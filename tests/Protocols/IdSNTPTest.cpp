// SPDX-License-Identifier: MIT
#include <cmath>
#include <functional>
#include <future>

#include <gtest/gtest.h>

#include "Protocols/IdSNTP.h"
#include "Protocols/ProtocolTestSupport.h"
#include "System/IdException.h"

namespace KestrineTest {
namespace {

constexpr double TwoTo32 = 4294967296.0;

std::uint32_t ReadBE32(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

class IdSNTPTest : public ProtocolTest {
protected:
  // A client aimed at server with a short time-out.
  void Aim(const FakeUdpServer& server, int receiveTimeout = 2000) {
    Client.SetHost(server.IP());
    Client.SetPort(server.Port());
    Client.ReceiveTimeout = receiveTimeout;
  }

  TIdSNTP Client;
};

#ifndef _WIN32
// Zones set through TZ: the Windows side reads its zone once, at start.
double StampSeconds(std::uint32_t seconds, std::uint32_t fraction) { return seconds + fraction / TwoTo32; }

TEST_F(IdSNTPTest, RequestCarriesTheSendTimeAndTheAnswerIsTheServersLocalTime) {
  const struct {
    const char* Zone;
    double ServerAheadSeconds;
  } cases[] = {{"UTC0", 0}, {"<+12>-12", 0}, {"<-05>5", 3600}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Zone);
    ScopedTz::Set(c.Zone);
    FakeUdpServer server("127.0.0.1", 0, SntpHandler(c.ServerAheadSeconds));
    Aim(server);
    const NtpStamp before = NtpNow();
    const TDateTime result = Client.QueryTime();
    const TDateTime localNow = Now();

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const Bytes& request = requests[0].Data;
    ASSERT_EQ(request.size(), 48u);
    EXPECT_EQ(request[0], 0x1B);
    for (std::size_t i = 1; i < 40; ++i) EXPECT_EQ(request[i], 0) << "byte " << i;
    // The send time is UTC whatever the zone.
    EXPECT_NEAR(StampSeconds(ReadBE32(request, 40), ReadBE32(request, 44)),
                StampSeconds(before.Seconds, before.Fraction), 1.0);
    EXPECT_NEAR((result - localNow) * SecsPerDay, c.ServerAheadSeconds, 1.0);
  }
}

TEST(NtpStampTest, ReplyStampToLocalTime) {
  ScopedTz zone("UTC0");
  const struct {
    const char* Zone;
    std::uint32_t Seconds, Fraction;
    const char* Local;
  } cases[] = {
      {"UTC0", NewYear2024, 0, "2024-01-01 00:00:00.000"},
      {"UTC0", NewYear2024, 0x80000000, "2024-01-01 00:00:00.500"},
      // The fraction is cut to whole milliseconds, never rounded up.
      {"UTC0", NewYear2024, 0xFFFFFFFF, "2024-01-01 00:00:00.999"},
      {"UTC0", NewYear2024, 0x00418937, "2024-01-01 00:00:00.000"},
      {"UTC0", NewYear2024, 0x00418938, "2024-01-01 00:00:00.001"},
      {"<+12>-12", NewYear2024, 0, "2024-01-01 12:00:00.000"},
      {"<-05>5", NewYear2024, 0, "2023-12-31 19:00:00.000"},
      // Counts with the highest bit set lie before 2036, the others from 2036-02-07 06:28:16 on.
      {"UTC0", 0x80000000, 0, "1968-01-20 03:14:08.000"},
      {"UTC0", 0xFFFFFFFF, 0, "2036-02-07 06:28:15.000"},
      {"UTC0", 0x00000000, 0x80000000, "2036-02-07 06:28:16.500"},
      {"UTC0", 0x00000001, 0, "2036-02-07 06:28:17.000"},
      {"UTC0", 0x7FFFFFFF, 0, "2104-02-26 09:42:23.000"},
  };
  for (const auto& c : cases) {
    ScopedTz::Set(c.Zone);
    EXPECT_EQ(DateText(NtpStampToLocal(c.Seconds, c.Fraction)), c.Local) << c.Zone << " " << c.Seconds;
  }
}

TEST(NtpStampTest, LocalTimeToSendStamp) {
  ScopedTz zone("UTC0");
  const struct {
    const char* Zone;
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
    std::uint32_t Seconds;
    double Fraction;  // of a second
  } cases[] = {
      {"UTC0", 2024, 1, 1, 0, 0, 0, 0, NewYear2024, 0.0},
      {"<+12>-12", 2024, 1, 1, 12, 0, 0, 0, NewYear2024, 0.0},
      {"UTC0", 2024, 1, 1, 0, 0, 0, 500, NewYear2024, 0.5},
      {"<-05>5", 2023, 12, 31, 19, 0, 1, 250, NewYear2024 + 1, 0.25},
      // Sending wraps at 2036-02-07 06:28:16 UTC and counts from 0 again.
      {"UTC0", 2036, 2, 7, 6, 28, 17, 500, 1, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Zone);
    ScopedTz::Set(c.Zone);
    const auto stamp =
        LocalToNtpStamp(EncodeDateTime(c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, c.Millisecond));
    EXPECT_EQ(stamp.Seconds, c.Seconds);
    EXPECT_NEAR(stamp.Fraction / TwoTo32, c.Fraction, 1e-5);
  }
  // Noon twelve hours east is midnight UTC, a whole day count: nothing to round.
  ScopedTz::Set("<+12>-12");
  EXPECT_EQ(LocalToNtpStamp(EncodeDateTime(2024, 1, 1, 12, 0, 0, 0)).Fraction, 0u);
}

TEST(NtpStampTest, LocalTimesRoundTripAcrossTheEraBoundary) {
  ScopedTz zone("<+12>-12");
  for (const TDateTime t : {EncodeDateTime(2024, 6, 15, 8, 30, 0, 250), EncodeDateTime(2036, 2, 7, 18, 28, 20, 0),
                            EncodeDateTime(2040, 6, 1, 12, 34, 56, 789), EncodeDateTime(2100, 1, 1, 0, 0, 0, 0)}) {
    const auto stamp = LocalToNtpStamp(t);
    // Back within a millisecond: the way back cuts the fraction to whole milliseconds.
    EXPECT_NEAR(NtpStampToLocal(stamp.Seconds, stamp.Fraction), t, 1.5 / MSecsPerDay) << DateText(t);
  }
}
#endif

TEST(RejectReplyTest, RefusesUnsynchronizedAndInvalidServersOnly) {
  const struct {
    const char* Name;
    std::uint8_t LeapVersionMode, Stratum;
    std::uint32_t Seconds, Fraction;
    bool Rejected;
  } cases[] = {
      {"server reply", 0x1C, 1, NewYear2024, 0, false},     {"leap indicator 3", 0xDC, 1, NewYear2024, 0, true},
      {"leap indicator 1", 0x5C, 1, NewYear2024, 0, false}, {"leap indicator 2", 0x9C, 1, NewYear2024, 0, false},
      {"stratum 0", 0x1C, 0, NewYear2024, 0, true},         {"stratum 15", 0x1C, 15, NewYear2024, 0, false},
      {"stratum 16", 0x1C, 16, NewYear2024, 0, true},       {"stratum 255", 0x1C, 255, NewYear2024, 0, true},
      {"mode 3", 0x1B, 2, NewYear2024, 0, false},           {"version 1", 0x0C, 2, NewYear2024, 0, false},
      {"zero transmit stamp", 0x1C, 1, 0, 0, true},         {"fraction alone", 0x1C, 1, 0, 1, false},
  };
  for (const auto& c : cases) {
    TNTPGram gram;
    gram.LeapVersionMode = c.LeapVersionMode;
    gram.Stratum = c.Stratum;
    gram.TransmitSeconds = c.Seconds;
    gram.TransmitFraction = c.Fraction;
    EXPECT_EQ(RejectReply(gram), c.Rejected) << c.Name;
  }
}

TEST(NtpGramTest, PacksEveryFieldBigEndianInWireOrder) {
  TNTPGram gram;
  gram.LeapVersionMode = 0x1B;
  gram.Stratum = 2;
  gram.Poll = 3;
  gram.Precision = -20;
  std::uint32_t* words[] = {&gram.RootDelay,         &gram.RootDispersion,    &gram.ReferenceId,
                            &gram.ReferenceSeconds,  &gram.ReferenceFraction, &gram.OriginateSeconds,
                            &gram.OriginateFraction, &gram.ReceiveSeconds,    &gram.ReceiveFraction,
                            &gram.TransmitSeconds,   &gram.TransmitFraction};
  for (std::uint32_t i = 0; i < 11; ++i) *words[i] = 0x01020300u + i;
  const auto packed = PackGram(gram);
  EXPECT_EQ(packed[0], 0x1B);
  EXPECT_EQ(packed[1], 2);
  EXPECT_EQ(packed[2], 3);
  EXPECT_EQ(packed[3], 0xEC);
  const Bytes bytes(packed.begin(), packed.end());
  for (std::uint32_t i = 0; i < 11; ++i) EXPECT_EQ(ReadBE32(bytes, 4 + 4 * i), 0x01020300u + i) << "word " << i;
  const TNTPGram back = UnpackGram(packed.data());
  EXPECT_EQ(back.Precision, -20);
  EXPECT_EQ(back.ReferenceId, gram.ReferenceId);
  EXPECT_EQ(back.TransmitFraction, gram.TransmitFraction);
}

// One reply from the right server, shaped by the row. Which replies are refused
// is RejectReply's table; one refused row shows that the query asks it.
TEST_F(IdSNTPTest, QueryTimeJudgesTheServersReply) {
  const struct {
    const char* Name;
    std::uint8_t LeapVersionMode, Stratum;
    std::uint32_t Seconds, Fraction;
    std::size_t Length;
    const char* Result;
  } cases[] = {
      {"server reply", 0x1C, 1, NewYear2024, 0, 48, "2024-01-01 00:00:00.000"},
      {"60 bytes: the first 48 count", 0x1C, 1, NewYear2024, 0x80000000, 60, "2024-01-01 00:00:00.500"},
      {"47 bytes", 0x1C, 1, NewYear2024, 0, 47, "0.0"},
      {"stratum 16", 0x1C, 16, NewYear2024, 0, 48, "0.0"},
      {"highest bit clear: after 2036", 0x1C, 1, 1, 0, 48, "2036-02-07 06:28:17.000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FakeUdpServer server("127.0.0.1", 0, [&c](const Datagram& request) {
      Bytes reply = SntpReply(request.Data, {c.Seconds, c.Fraction}, c.Stratum, c.LeapVersionMode);
      reply.resize(c.Length, 0xFF);
      return std::vector<Reply>{{reply}};
    });
    Aim(server, 5000);
    const auto start = SteadyClock::now();
    EXPECT_EQ(DateText(Client.QueryTime()), c.Result);
    EXPECT_LT(MsSince(start), 2500) << "the reply itself decides, without waiting for the time-out";
  }
}

TEST_F(IdSNTPTest, NoReplyGivesZeroAfterTheTimeout) {
  FakeUdpServer server("127.0.0.1", 0, SilentHandler());
  Aim(server, 200);
  const auto start = SteadyClock::now();
  EXPECT_EQ(Client.QueryTime(), 0.0);
  const auto ms = MsSince(start);
  EXPECT_GE(ms, 190);
  EXPECT_LT(ms, 1500);
  EXPECT_EQ(server.RequestCount(), 1);
}

// Only the server's own reply to this request counts; anything else is passed over
// while the time-out runs on.
TEST_F(IdSNTPTest, IgnoresDatagramsThatAreNotTheReply) {
  constexpr std::uint32_t Wrong = NewYear2024 + 3600;
  const auto answer = [](const Datagram& r, std::uint32_t seconds) { return SntpReply(r.Data, {seconds, 0}); };
  const auto withOriginate = [](Bytes reply, std::uint8_t lastByte) {
    reply[31] = lastByte;
    return reply;
  };
  const struct {
    const char* Name;
    std::function<std::vector<Reply>(const Datagram&)> Replies;
    const char* Result;
    long long MaxMs;
  } cases[] = {
      {"a reply from another port, then the server's",
       [&](const Datagram& r) {
         return std::vector<Reply>{{answer(r, Wrong), 0ms, true}, {answer(r, NewYear2024), 40ms}};
       },
       "2024-01-01 00:00:00.000", 250},
      {"a wrong originate stamp, then the right one",
       [&](const Datagram& r) {
         const Bytes right = answer(r, NewYear2024);
         return std::vector<Reply>{{withOriginate(answer(r, Wrong), right[31] ^ 1)}, {right, 40ms}};
       },
       "2024-01-01 00:00:00.000", 250},
      {"short and oversized datagrams from another port, then the server's",
       [&](const Datagram& r) {
         return std::vector<Reply>{
             {Bytes(47, 1), 0ms, true}, {Bytes(9000, 2), 0ms, true}, {answer(r, NewYear2024), 40ms}};
       },
       "2024-01-01 00:00:00.000", 250},
      {"only a reply from another port",
       [&](const Datagram& r) {
         return std::vector<Reply>{{answer(r, Wrong), 0ms, true}};
       },
       "0.0", 1000},
      // Datagrams that are passed over do not restart the time-out.
      {"a stream of replies from another port",
       [&](const Datagram& r) {
         std::vector<Reply> replies;
         for (int i = 0; i < 15; ++i) replies.push_back({answer(r, Wrong), i * 50ms, true});
         return replies;
       },
       "0.0", 650},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FakeUdpServer server("127.0.0.1", 0, c.Replies);
    Aim(server, 300);
    const auto start = SteadyClock::now();
    EXPECT_EQ(DateText(Client.QueryTime()), c.Result);
    EXPECT_LT(MsSince(start), c.MaxMs);
  }
}

TEST_F(IdSNTPTest, DatagramsWaitingBeforeTheQueryAreDiscarded) {
  FakeUdpServer server("127.0.0.1", 0, [](const Datagram& r) {
    return std::vector<Reply>{{SntpReply(r.Data, {NewYear2024, 0})}};
  });
  Aim(server);
  ASSERT_EQ(DateText(Client.QueryTime()), "2024-01-01 00:00:00.000");
  // A leftover from the server's own port that would end the next query with 0.0 if it were read.
  server.SendTo(Bytes(47, 0), "127.0.0.1", server.Requests().at(0).FromPort);
  ASSERT_TRUE(Client.AcquireBinding().WaitReadable(2000));
  EXPECT_EQ(DateText(Client.QueryTime()), "2024-01-01 00:00:00.000");
  EXPECT_EQ(server.RequestCount(), 2);
  EXPECT_EQ(server.Requests()[1].FromPort, server.Requests()[0].FromPort);
}

TEST_F(IdSNTPTest, OversizedReplyFromTheServerIsMessageTooLong) {
  FakeUdpServer server("127.0.0.1", 0, [](const Datagram&) { return std::vector<Reply>{{Bytes(8193, 1)}}; });
  Aim(server);
  try {
    Client.QueryTime();
    FAIL() << "no exception";
  } catch (const EIdSocketError& error) {
    EXPECT_EQ(error.ErrorNumber(), 10040);
  }
}

}  // namespace
}  // namespace KestrineTest
