// SPDX-License-Identifier: MIT
// Arbitrary bytes as a request to either privileged helper: a request is taken
// only when it is exactly one request of that helper, with a step no longer
// than the clock's range or port 37, and what is taken encodes back to the
// same bytes; a step lands inside the range or is refused, whatever the clock reads.
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "Platform/HelperRequest.h"

using namespace HelperRequest;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exactly the input's bytes on the heap: ASan sees any read past them.
  const std::vector<std::uint8_t> input(data, data + size);
  const auto clock = ParseClock(input.data(), input.size());
  const auto port = ParsePort(input.data(), input.size());
  FUZZ_CHECK(!(clock.Verdict == TVerdict::Accepted && port.Verdict == TVerdict::Accepted));
  if (size != RequestSize) FUZZ_CHECK(clock.Verdict == TVerdict::WrongLength && port.Verdict == TVerdict::WrongLength);
  if (clock.Verdict == TVerdict::Accepted) {
    FUZZ_CHECK(clock.StepMs >= -MaxStepMs && clock.StepMs <= MaxStepMs);
    const auto again = EncodeClock(clock.StepMs);
    FUZZ_CHECK(std::memcmp(again.data(), input.data(), RequestSize) == 0);
    for (const std::int64_t now : {MinInstantMs, MaxInstantMs - 1, INT64_MIN, INT64_MAX, clock.StepMs}) {
      std::int64_t target = -1;
      if (TargetOf(now, clock.StepMs, target)) FUZZ_CHECK(target >= MinInstantMs && target < MaxInstantMs);
    }
  }
  if (port.Verdict == TVerdict::Accepted) {
    FUZZ_CHECK(port.Port == TimePort);
    const auto again = EncodePort(port.Address, port.Port);
    FUZZ_CHECK(std::memcmp(again.data(), input.data(), RequestSize) == 0);
  }
  return 0;
}
