// SPDX-License-Identifier: MIT
#include "Platform/Windows/ClockService.h"

#include <windows.h>

#include "Platform/HelperRequest.h"
#include "Platform/Windows/Instant.h"
#include "Platform/Windows/PipeIo.h"
#include "Platform/Windows/SystemMessage.h"
#include "Platform/Windows/SystemTime.h"

namespace Platform::ClockService {
namespace {

TClockSetResult ResultOf(DWORD error) {
  if (error == 0) return {};
  if (const char* refusal = HelperRequest::RefusalText(static_cast<std::int32_t>(error)))
    return {static_cast<int>(error), refusal};
  return {static_cast<int>(error), SystemMessageText(error)};
}

// The right to set the clock (SE_SYSTEMTIME_NAME) is held but disabled even for administrators: it
// must be switched on in the process's token first. Not holding it at all gives
// ERROR_NOT_ALL_ASSIGNED, which is reported as ERROR_PRIVILEGE_NOT_HELD (1314),
// the refusal SetSystemTime itself would give.
DWORD EnableSystemTimePrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return GetLastError();
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  DWORD result = 0;
  if (!LookupPrivilegeValueW(nullptr, L"SeSystemtimePrivilege", &privileges.Privileges[0].Luid) ||
      !AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
    result = GetLastError();
  else if (GetLastError() == ERROR_NOT_ALL_ASSIGNED)
    result = ERROR_PRIVILEGE_NOT_HELD;
  CloseHandle(token);
  return result;
}

// A service that has not answered by then is stuck, or not the service.
constexpr DWORD ReplyTimeoutMs = 5000;
// Clients that hold every instance are let go by the service within seconds.
constexpr ULONGLONG BusyWaitMs = 10000;

// The service's process while it runs or starts, else 0; any user may ask the service manager.
DWORD ServiceProcess() {
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return 0;
  const SC_HANDLE service = OpenServiceW(manager, ServiceName, SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  const bool running =
      service != nullptr &&
      QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed) &&
      (status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_START_PENDING);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return running ? status.dwProcessId : 0;
}

// Any process may make a pipe of the service's name before the service does
// (at boot, after a crash, during an update) and answer "set": only the
// process the service manager runs as the service is believed.
bool ServedByTheService(HANDLE pipe) {
  ULONG server = 0;
  return GetNamedPipeServerProcessId(pipe, &server) && server != 0 && server == ServiceProcess();
}

// Opens the service's pipe as a client that lets the service identify, not
// impersonate it, and may only read and write (no GENERIC_WRITE, which would
// include the right to create instances the pipe's descriptor does not give).
HANDLE OpenPipe(DWORD& error) {
  // Every instance may be serving a client: wait for one while the service
  // runs, but give up at once where there is none. (Wine reports busy
  // instances as "not found", like a pipe that does not exist.)
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    const HANDLE pipe =
        CreateFileW(PipeName, FILE_READ_DATA | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, 0, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    error = GetLastError();
    if ((error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND) || GetTickCount64() - start >= BusyWaitMs)
      return INVALID_HANDLE_VALUE;
    if (error == ERROR_FILE_NOT_FOUND && ServiceProcess() == 0) return INVALID_HANDLE_VALUE;
    if (!WaitNamedPipeW(PipeName, 1000)) Sleep(10);
  }
}

}  // namespace

TClockSetResult SetDirectly(TInstantMs value) {
  const FILETIME target = FileTimeOf(value);
  SYSTEMTIME utc{};
  if (FileTimeOfInstant(value) < 0 || !FileTimeToSystemTime(&target, &utc)) return ResultOf(ERROR_INVALID_PARAMETER);
  if (const DWORD enabled = EnableSystemTimePrivilege(); enabled != 0) return ResultOf(enabled);
  // In UTC, so the zone's rules play no part; Windows then sends WM_TIMECHANGE.
  if (!SetSystemTime(&utc)) return ResultOf(GetLastError());
  return {};
}

TAnswer Ask(std::int64_t stepMs) {
  TAnswer answer;
  DWORD error = 0;
  const HANDLE pipe = OpenPipe(error);
  // The pipe's descriptor follows the clock policy: the running service's pipe
  // refusing this user is the policy's refusal, said before any request.
  if (pipe == INVALID_HANDLE_VALUE && error == ERROR_ACCESS_DENIED && ServiceProcess() != 0) {
    answer.Reached = true;
    answer.Result = ResultOf(static_cast<DWORD>(HelperRequest::NotAuthorized));
  }
  if (pipe == INVALID_HANDLE_VALUE) return answer;
  // Another server is no service: the program's own refusal then stands.
  if (!ServedByTheService(pipe)) {
    CloseHandle(pipe);
    return answer;
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  auto request = HelperRequest::EncodeClock(stepMs);
  HelperRequest::TReply reply{};
  DWORD written = 0, read = 0;
  if (TimedPipeIo(pipe, true, request.data(), static_cast<DWORD>(request.size()), ReplyTimeoutMs, nullptr, written) ==
          0 &&
      written == request.size() &&
      TimedPipeIo(pipe, false, reply.data(), static_cast<DWORD>(reply.size()), ReplyTimeoutMs, nullptr, read) == 0 &&
      read == reply.size()) {
    answer.Reached = true;
    answer.Result = ResultOf(static_cast<DWORD>(HelperRequest::ParseReply(reply)));
  }
  CloseHandle(pipe);
  return answer;
}

}  // namespace Platform::ClockService
