#pragma once
#include <netinet/in.h>
#include <sys/types.h>

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
  int Result = 0;         // 0, the errno it reports, or a refusal (HelperRequest.h)
  int Connection = -1;    // kept open when asked and the result was 0; the caller's to close
  pid_t Pid = -1;         // the helper, still running then; the caller's to reap (EndHelper)
};

// Starts the helper with an empty environment and one end of a socket pair as
// its standard input and output (nothing else open but /dev/null), hands it the
// request and waits for its reply: long enough for the policy to ask the user
// for a password, since the helper can tell no other wait from that one.
TOutcome Run(const std::string& path, const HelperRequest::TRequest& request, bool keepConnection = false);

// Steps the clock through the clock helper (a positive step moves it
// forwards); 0, the errno or refusal (HelperRequest.h) it answers, or -1 when
// the helper could not be started or did not answer.
int SetClockThroughHelper(std::int64_t stepMs);

// Closes the connection to a helper that serves, and reaps it: it ends when
// its standard input hangs up, or is killed when it has not within a second.
void EndHelper(int connection, pid_t pid);

// The Time protocol's port, served by the port helper: the port's socket never
// leaves it. On success `socket`, an unbound datagram socket of the program,
// stands for it (it receives nothing) until EndService(socket), which the
// socket stack calls when it closes the socket; the helper stops then, or when
// the program ends. Returns 0, or -1 when the port is not the Time protocol's
// or the helper refused or is missing.
int ServeTimeThroughHelper(int socket, const sockaddr_in& address);
// The address a socket stands for while the helper serves it.
bool ServedAddress(int socket, sockaddr_in& address);
void EndService(int socket);

}  // namespace Platform::Helpers
