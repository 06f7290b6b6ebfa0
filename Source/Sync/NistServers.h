// SPDX-License-Identifier: MIT
#pragma once
#include <array>

// NIST Internet Time Service servers (time-{a..e}-g, -wwv and -b), as literals so that
// no name lookup is needed. The second entry is the default server.
inline constexpr std::array<const char*, 15> NistServers = {
    "129.6.15.28",  "129.6.15.29",  "129.6.15.30",  "129.6.15.27",  "129.6.15.26",
    "132.163.97.1", "132.163.97.2", "132.163.97.3", "132.163.97.4", "132.163.97.6",
    "132.163.96.1", "132.163.96.2", "132.163.96.3", "132.163.96.4", "132.163.96.6",
};

inline constexpr const char* DefaultServer = NistServers[1];
