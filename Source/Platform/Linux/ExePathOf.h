// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace Platform {

// The program a /proc/<pid>/exe link names, where it is now; empty when no file is there.
std::string ExecutablePathOf(const std::string& link);

}  // namespace Platform
