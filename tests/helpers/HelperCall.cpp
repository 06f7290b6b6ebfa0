// SPDX-License-Identifier: MIT
// Asks a helper as the program does (Platform::Helpers::Run), for the tests'
// journeys, which run it as other users.
//   kestrine_helper_call HELPER clock STEP_MS   prints the result
//   kestrine_helper_call HELPER port ADDRESS    prints the result; while the
//       helper serves, holds its connection until standard input ends
#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Platform/HelperRequest.h"
#include "Platform/Linux/Helpers.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s HELPER clock STEP_MS | HELPER port ADDRESS\n", argv[0]);
    return 64;
  }
  const std::string kind = argv[2];
  if (kind == "clock") {
    const auto outcome = Platform::Helpers::Run(argv[1], HelperRequest::EncodeClock(std::stoll(argv[3])));
    std::printf("%s %d\n", outcome.Answered ? "result" : "no-answer", outcome.Result);
    return 0;
  }
  in_addr address{};
  if (kind != "port" || inet_pton(AF_INET, argv[3], &address) != 1) return 64;
  std::array<std::uint8_t, 4> ip{};
  std::memcpy(ip.data(), &address.s_addr, ip.size());
  const auto outcome = Platform::Helpers::Run(argv[1], HelperRequest::EncodePort(ip, HelperRequest::TimePort), true);
  std::printf("%s %d\n", outcome.Answered ? "result" : "no-answer", outcome.Result);
  std::fflush(stdout);
  if (outcome.Connection >= 0) {
    char rest[64];
    while (read(0, rest, sizeof rest) > 0) {
    }
    Platform::Helpers::EndHelper(outcome.Connection, outcome.Pid);
  }
  return 0;
}
