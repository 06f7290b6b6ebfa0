#pragma once
#include <netinet/in.h>

#include <string>

#include "Platform/HelperRequest.h"

// The program's side of its two privileged helpers. The window never holds a
// right the user lacks: where the system refuses the program itself, a helper
// that holds one capability does the one thing asked and exits.
namespace Platform::Helpers {

constexpr const char* ClockHelperName = "kestrine-clock-helper";  // holds cap_sys_time
constexpr const char* PortHelperName = "kestrine-port-helper";    // holds cap_net_bind_service

// The helper's place for the program at programPath: the package's private
// folder beside the program's, <prefix>/libexec/kestrine/NAME for
// <prefix>/bin/kestrine (a build tree lays them out the same way).
std::string HelperPath(const std::string& programPath, const char* name);

struct TOutcome {
  bool Answered = false;  // false: it could not be started, or gave no whole reply in time
  int Result = 0;         // 0 or the errno it reports
  int Descriptor = -1;    // a descriptor it handed over, owned by the caller
};

// Starts the helper with an empty environment and one end of a socket pair as
// its standard input and output (nothing else open but /dev/null), hands it the
// request and waits a few seconds at most for its reply.
TOutcome Run(const std::string& path, const HelperRequest::TRequest& request);

// Steps the clock through the clock helper (a positive step moves it
// forwards); 0, the errno or refusal (HelperRequest.h) it answers, or -1 when
// the helper could not be started or did not answer.
int SetClockThroughHelper(std::int64_t stepMs);

// Binds an unbound IPv4 datagram socket to address's port through the port
// helper: the socket it hands back takes the descriptor's place. Returns 0, or
// -1 when the port is not the Time protocol's or the helper refused or is missing.
int BindThroughHelper(int socket, const sockaddr_in& address);

}  // namespace Platform::Helpers
