// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace KestrineTest {

// Exits the process with status 2 unless only the loopback interface is
// visible and it is up: tests that open sockets must never reach a real
// network, so they run inside `unshare -rn`.
void RequirePrivateNetwork();

// Puts ipv4/32 on the loopback interface (idempotent), so a test can serve
// from a public address such as a default time server's. Only ever acts
// inside a private network namespace; throws std::runtime_error on failure.
void AddLoopbackAddress(const std::string& ipv4);

// Takes ipv4/32 off the loopback interface again (nothing to do when it is not
// there). All tests of a build share one namespace: leave it as you found it.
void RemoveLoopbackAddress(const std::string& ipv4);

}  // namespace KestrineTest
