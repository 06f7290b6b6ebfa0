// SPDX-License-Identifier: MIT
#pragma once
#include <sys/types.h>

#include <string>

#include "Platform/HelperRequest.h"

// Starting the program's two privileged helpers and asking them. The window
// never holds a right the user lacks: where the system refuses the program
// itself, a helper that holds one capability does the one thing asked. Only
// the seams of the rights (ClockRight.h, PortRight.h) ask them.
namespace Platform::Helpers {

constexpr const char* ClockHelperName = "kestrine-clock-helper";  // holds cap_sys_time
constexpr const char* PortHelperName = "kestrine-port-helper";    // holds cap_net_bind_service

// The helper's place for the program at programPath: the package's private
// folder beside the program's, <prefix>/libexec/kestrine/NAME for
// <prefix>/bin/kestrine (a build tree lays them out the same way).
std::string HelperPath(const std::string& programPath, const char* name);

struct TOutcome {
  bool Answered = false;  // false: it could not be started, or gave no whole reply in time
  int Result = 0;         // 0, the errno it reports, or a refusal (HelperRequest.h)
  int Connection = -1;    // kept open when asked and the result was 0; the caller's to close
  pid_t Pid = -1;         // the helper, still running then; the caller's to reap (EndHelper)
};

// Starts the helper with an empty environment and one end of a socket pair as
// its standard input and output (nothing else open but /dev/null), hands it the
// request and waits for its reply: long enough for the policy to ask the user
// for a password, since the helper can tell no other wait from that one.
TOutcome Run(const std::string& path, const HelperRequest::TRequest& request, bool keepConnection = false);

// Closes the connection to a helper that serves, and reaps it: it ends when
// its standard input hangs up, or is killed when it has not within a second.
void EndHelper(int connection, pid_t pid);

}  // namespace Platform::Helpers
