// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

namespace Platform {

// The current difference UTC minus local time, in seconds (positive west of
// Greenwich), read afresh from the zone database. Returns false with the
// system's error text when the zone cannot be read.
bool ReadUtcBiasSeconds(std::int64_t& biasSeconds, std::string& errorText);

}  // namespace Platform
