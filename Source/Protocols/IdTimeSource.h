// SPDX-License-Identifier: MIT
#pragma once
#include <string_view>

// Sources a Time protocol server never answers: the ports of echo, discard,
// daytime, chargen and time (answering those can start an endless exchange
// between two servers), and the server's own address and port. Header-only,
// as the Linux port helper, which serves port 37 on the program's behalf,
// follows the same rule.
namespace IdTimeSource {

constexpr bool IsServicePortThatAnswers(int port) {
  return port == 7 || port == 9 || port == 13 || port == 19 || port == 37;
}

// localIP empty or "0.0.0.0": the server listens on every local address.
constexpr bool IsRefused(int remotePort, std::string_view remoteIP, int localPort, std::string_view localIP) {
  if (IsServicePortThatAnswers(remotePort)) return true;
  const bool anyAddress = localIP.empty() || localIP == "0.0.0.0";
  return remotePort == localPort && (anyAddress || remoteIP == localIP);
}

}  // namespace IdTimeSource
