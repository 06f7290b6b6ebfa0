// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

// Steps the system clock to the instant (ms since 1970 UTC); 0 or an errno.
// The shipped helper sets the real clock; the tests' build records the
// instant instead, so no test can move a clock.
int SetClock(std::int64_t instantMs);
