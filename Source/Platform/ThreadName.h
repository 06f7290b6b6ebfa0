// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// Announces the calling thread's name to debugging tools. Linux keeps only the
// first 15 bytes.
void SetCurrentThreadName(const std::string& name);

}  // namespace Platform
