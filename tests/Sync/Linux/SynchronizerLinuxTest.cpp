// SPDX-License-Identifier: MIT
// Synchronizer cases that need Linux: time zones given as POSIX TZ strings.
#include <string>

#include <gtest/gtest.h>

#include "Support/TestHelpers.h"
#include "Sync/SynchronizerFixture.h"

using namespace KestrineTest;

namespace {

// The clock is set from its instant, never from its local reading: in the hour
// that the change to standard time repeats, and across either change, the
// instant handed over is the clock's instant less the offset. Each offset
// comes through the door, as a query hands it back.
TEST_F(SynchronizerTest, TheClockIsSetFromItsInstantAcrossDaylightSavingChanges) {
  struct Case {
    const char* Zone;
    Platform::TInstantMs Now;  // an instant just before or inside a change, ms since 1970 UTC
  };
  const Case cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1729989900000},  // 2024-10-27 02:45 CEST, before the repeated hour
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1729993500000},  // 02:45 CET, the repeated hour
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1729990798000},  // 02:59:58 CEST, 2 s before the change
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1711846798000},  // 2024-03-31 01:59:58 CET, 2 s before spring
      {"EST5EDT,M3.2.0,M11.1.0", 1730612700000},      // 2024-11-03 01:45 EDT
      {"EST5EDT,M3.2.0,M11.1.0", 1730616300000},      // 01:45 EST, the repeated hour
      {"EST5EDT,M3.2.0,M11.1.0", 1710053998000},      // 2024-03-10 01:59:58 EST, 2 s before spring
  };
  for (const Case& c : cases) {
    const ScopedTz zone(c.Zone);
    for (const std::int64_t offset : {0, 5, -5, 3600}) {
      SCOPED_TRACE(std::string(c.Zone) + " at " + std::to_string(c.Now) + ", offset " + std::to_string(offset));
      Clock.SetNow(c.Now);
      const TServerChoice choice = Sync->ChooseServer();
      Sync->QueryFinished({choice.Generation, false, 2.0, offset});
      const std::size_t before = Clock.Sets().size();
      Sync->AdjustClock();
      ASSERT_EQ(Clock.Sets().size(), before + 1);
      EXPECT_EQ(Clock.Sets().back(), c.Now - offset * 1000);
    }
  }
}

}  // namespace
