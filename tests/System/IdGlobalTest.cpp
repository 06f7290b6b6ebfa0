// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "Support/TestHelpers.h"
#include "System/IdGlobal.h"

using KestrineTest::ScopedTz;

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

struct Fields {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};

std::string Text(const Platform::TLocalDateTime& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second, t.Millisecond);
  return text;
}

std::string Text(const Fields& f) {
  return Text(Platform::TLocalDateTime{f.Year, f.Month, 0, f.Day, f.Hour, f.Minute, f.Second, f.Millisecond});
}

TDateTime Encode(const Fields& f) {
  return EncodeDateTime(f.Year, f.Month, f.Day, f.Hour, f.Minute, f.Second, f.Millisecond);
}

constexpr double OneMs = 1.0 / MSecsPerDay;

TEST(DateTimeTest, EncodesDayCountsFrom1899December30) {
  const struct {
    Fields When;
    TDateTime Value;
    int DayOfWeek;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0, 6},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0, 1},
      {{2000, 2, 29, 6, 0, 0, 0}, 36585.25, 2},
      {{2024, 1, 1, 0, 0, 0, 0}, 45292.0, 1},
      {{2024, 1, 1, 12, 0, 0, 0}, 45292.5, 1},
      // The NTP era ends 2^32 seconds after 1900.
      {{2036, 2, 7, 6, 28, 16, 0}, 2.0 + 4294967296.0 / SecsPerDay, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Text(c.When));
    EXPECT_NEAR(Encode(c.When), c.Value, 1e-9);
    const auto decoded = DecodeDateTime(c.Value);
    EXPECT_EQ(Text(decoded), Text(c.When));
    EXPECT_EQ(decoded.DayOfWeek, c.DayOfWeek);
  }
}

TEST(DateTimeTest, DecodeRoundsToTheMillisecondBeforeSplitting) {
  const TDateTime newYear = EncodeDateTime(2024, 1, 1, 0, 0, 0, 0);
  const TDateTime lastMs = EncodeDateTime(2024, 1, 1, 23, 59, 59, 999);
  const struct {
    TDateTime Value;
    Fields Expected;
  } cases[] = {
      // Cutting instead of rounding would give 11:59:59.999 here.
      {45292.5 - 1e-12, {2024, 1, 1, 12, 0, 0, 0}},
      {newYear + 0.4 * OneMs, {2024, 1, 1, 0, 0, 0, 0}},
      {newYear + 0.6 * OneMs, {2024, 1, 1, 0, 0, 0, 1}},
      {newYear + 123.4 * OneMs, {2024, 1, 1, 0, 0, 0, 123}},
      // Rounding up carries into the next day, month and year.
      {lastMs + 0.6 * OneMs, {2024, 1, 2, 0, 0, 0, 0}},
      {EncodeDateTime(2023, 12, 31, 23, 59, 59, 999) + 0.6 * OneMs, {2024, 1, 1, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(DecodeDateTime(c.Value)), Text(c.Expected)) << c.Value;
}

TEST(DateTimeTest, AddSecondsWorksInExtendedPrecision) {
  const TDateTime noon = EncodeDateTime(2024, 1, 1, 12, 0, 0, 0);
  const struct {
    TDateTime Start;
    std::int64_t Seconds;
    std::optional<Fields> Expected;
    TDateTime ExactValue;
  } cases[] = {
      {noon, 1, Fields{2024, 1, 1, 12, 0, 1, 0}, 0},
      {noon, -1, Fields{2024, 1, 1, 11, 59, 59, 0}, 0},
      {noon, 12 * 3600LL, Fields{2024, 1, 2, 0, 0, 0, 0}, 0},
      {noon, -365 * 86400LL, Fields{2023, 1, 1, 12, 0, 0, 0}, 0},
      {NtpEpoch, 4294967296LL, Fields{2036, 2, 7, 6, 28, 16, 0}, 0},
      // The exactly rounded sums; plain double arithmetic is one unit off in the last place here.
      {0x1.61d8289028d39p+15, -33606, std::nullopt, 0x1.61d7616a9ce13p+15},
      {0x1.61d87b5199936p+15, 51759, std::nullopt, 0x1.61d9ae09eb7eep+15},
  };
  for (const auto& c : cases) {
    const TDateTime result = AddSeconds(c.Start, c.Seconds);
    if (c.Expected)
      EXPECT_EQ(Text(DecodeDateTime(result)), Text(*c.Expected)) << c.Seconds;
    else
      EXPECT_EQ(result, c.ExactValue) << c.Seconds;
  }
}

TEST(DateTimeTest, ClockOffsetIsWholeSecondsLocalAheadTruncatedTowardZero) {
  const TDateTime server = EncodeDateTime(2024, 1, 1, 12, 0, 0, 0);
  const struct {
    int LocalMinusServerMs;
    std::int64_t Offset;
  } cases[] = {
      {0, 0}, {900, 0}, {-900, 0}, {1500, 1}, {-1500, -1}, {3600500, 3600}, {-86400500, -86400},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClockOffsetSeconds(server + c.LocalMinusServerMs * OneMs, server), c.Offset) << c.LocalMinusServerMs;
}

TEST(TickTest, TickSpanCountsAcrossOneWrap) {
  const struct {
    std::uint32_t Old, New, Span;
  } cases[] = {
      {5, 10, 5},
      {10, 10, 0},
      {0, 0xFFFFFFFFu, 0xFFFFFFFFu},
      // After a wrap the span is (0xFFFFFFFF - old) + new.
      {0xFFFFFFF0u, 0x10, 0x1F},
      {0xFFFFFFFFu, 0, 0},
      {1, 0, 0xFFFFFFFEu},
  };
  for (const auto& c : cases) EXPECT_EQ(TickSpan(c.Old, c.New), c.Span) << c.Old << " -> " << c.New;
}

TEST(TickTest, TickCountMsAdvancesWithTime) {
  const std::uint32_t start = TickCountMs();
  timespec pause{0, 20L * 1000 * 1000};
  nanosleep(&pause, nullptr);
  const std::uint32_t span = TickSpan(start, TickCountMs());
  EXPECT_GE(span, 19u);
  EXPECT_LT(span, 5000u);
}

TEST(UtcBiasTest, FollowsTheZoneAtEveryCall) {
  ScopedTz keep("UTC0");
  // POSIX zone strings, so no zone database is needed. The sign in them is that of
  // UTC minus local time, like UtcBias.
  const struct {
    const char* Zone;
    double BiasDays;
  } cases[] = {
      {"UTC0", 0.0},
      {"<+12>-12", -0.5},
      {"<-05>5", 5.0 / 24},
      {"<+0530>-5:30", -5.5 / 24},
      // Daylight time all year: three hours west, one hour of daylight saving.
      {"<-03>3<-02>,0/0,J365/25", 2.0 / 24},
      {"UTC0", 0.0},
  };
  for (const auto& c : cases) {
    ScopedTz::Set(c.Zone);
    EXPECT_DOUBLE_EQ(UtcBias(), c.BiasDays) << c.Zone;
  }
}

}  // namespace
