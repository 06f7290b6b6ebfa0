// SPDX-License-Identifier: MIT
#pragma once
#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ClockPolicy.h"
#include "InstanceQuota.h"
#include "RefusalLog.h"
#include "ServiceSetup.h"

// The clock service's named pipe: a few instances, each served by a thread of
// its own, so that a slow or hostile client holds one instance for a second
// at most while the others serve, and one user holds only a share of them.
// Each connection carries one request (the step to make) and gets one reply
// (the Win32 result, or HelperRequest::NotAuthorized for a caller the clock
// policy does not serve); anything else closes the connection with nothing
// set. Every change goes to the event log with the client's account; refusals
// too, a flood of them summarised.
class TPipeServer {
public:
  static constexpr DWORD Instances = 4;
  // The program writes its request as soon as it is connected.
  static constexpr DWORD RequestTimeoutMs = 1000;
  // For the client to take the reply and close its end.
  static constexpr DWORD ReplyTimeoutMs = 2000;

  TPipeServer(TServiceSetup& setup, HANDLE stop) : FSetup(setup), FStop(stop), FQuota(setup.InstancesPerUser) {}
  // Reads the clock policy, opens the pipe and starts serving; false (with the
  // error) when the pipe could not be made, for example because another
  // process holds its name.
  bool Start(DWORD& error);
  // Serves until `stop` is signalled, following changes of the clock policy,
  // then waits for every connection to end.
  void Wait();

  // The pipe's security descriptor in SDDL: the policy's, plus the service's own SID.
  static std::wstring Security(ClockPolicy::TPolicy policy);

private:
  struct TClient {
    bool Identified = false;
    ClockPolicy::TCaller Caller;
    std::wstring Name;  // DOMAIN\user, or the SID when it has no name
  };
  static TClient Identify(HANDLE pipe);
  static std::wstring Who(const TClient& client);

  void Serve(HANDLE pipe);
  void Worker(HANDLE pipe);
  HANDLE NewInstance(bool first, DWORD& error);
  void FollowPolicy(bool starting);
  DWORD ApplySecurity();
  void Refuse(const TClient& client, const std::wstring& why);
  void Reply(HANDLE pipe, std::int32_t result);
  void WriteSummaries(bool all);

  TServiceSetup& FSetup;
  HANDLE FStop;
  // The first instance, opened with WRITE_DAC: the pipe's descriptor is set through it.
  HANDLE FFirst = INVALID_HANDLE_VALUE;
  std::atomic<ClockPolicy::TPolicy> FPolicy{ClockPolicy::TPolicy::Console};
  std::optional<std::wstring> FPolicyValue;  // as last read; the service's own thread only
  TInstanceQuota FQuota;
  TRefusalLog FRefusals;
  std::vector<std::thread> FWorkers;
};
