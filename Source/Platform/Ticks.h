// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

namespace Platform {

// A millisecond counter that wraps at 2^32; only differences mean anything.
std::uint32_t ReadTickCountMs();

}  // namespace Platform
