#include "PipeServer.h"

#include <sddl.h>

#include "EventLog.h"
#include "Platform/HelperRequest.h"
#include "Platform/Windows/ClockService.h"
#include "Platform/Windows/PipeIo.h"
#include "Platform/Windows/SystemMessage.h"
#include "Platform/Windows/Utf8.h"

namespace {

using Platform::TimedPipeIo;

// DOMAIN\user of the client, asked while impersonating it; empty when the
// client does not let the service identify it.
std::wstring ClientName(HANDLE pipe) {
  if (!ImpersonateNamedPipeClient(pipe)) return {};
  std::wstring name;
  HANDLE token = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    BYTE buffer[256];
    DWORD length = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length)) {
      wchar_t user[256], domain[256];
      DWORD userLength = 256, domainLength = 256;
      SID_NAME_USE use;
      if (LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, user, &userLength, domain,
                            &domainLength, &use))
        name = std::wstring(domain) + L"\\" + user;
    }
    CloseHandle(token);
  }
  RevertToSelf();
  return name;
}

std::wstring Wide(const std::string& text) { return Platform::WideFromUtf8(text); }

std::wstring UtcText(std::int64_t instantMs) {
  const std::int64_t units = 116444736000000000 + instantMs * 10000;
  const FILETIME file{static_cast<DWORD>(units), static_cast<DWORD>(static_cast<std::uint64_t>(units) >> 32)};
  SYSTEMTIME utc{};
  FileTimeToSystemTime(&file, &utc);
  wchar_t text[64];
  swprintf(text, 64, L"%04u-%02u-%02u %02u:%02u:%02u.%03u UTC", utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
           utc.wSecond, utc.wMilliseconds);
  return text;
}

void Refuse(const std::wstring& who, const std::wstring& why) {
  LogEvent(TEventKind::Warning, L"Refused a request of " + (who.empty() ? L"an unidentified client" : who) + L": " +
                                    why + L". The clock was not set.");
}

}  // namespace

std::wstring TPipeServer::Security() {
  std::wstring sddl = Platform::ClockService::PipeSecurity;
  // The service's own SID, which its restricted token needs to create more instances.
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidLength = sizeof sid;
  wchar_t domain[256];
  DWORD domainLength = 256;
  SID_NAME_USE use;
  const std::wstring account = std::wstring(L"NT SERVICE\\") + Platform::ClockService::ServiceName;
  wchar_t* text = nullptr;
  if (LookupAccountNameW(nullptr, account.c_str(), sid, &sidLength, domain, &domainLength, &use) &&
      ConvertSidToStringSidW(sid, &text)) {
    sddl += L"(A;;GA;;;" + std::wstring(text) + L")";
    LocalFree(text);
  }
  return sddl;
}

HANDLE TPipeServer::NewInstance(bool first, DWORD& error) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Security().c_str(), SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    error = GetLastError();
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // The first instance proves that no one else made the pipe before the service.
  const HANDLE pipe =
      CreateNamedPipeW(Platform::ClockService::PipeName,
                       PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, Instances,
                       HelperRequest::ReplySize, HelperRequest::RequestSize, 0, &attributes);
  error = pipe == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  LocalFree(descriptor);
  return pipe;
}

bool TPipeServer::Start(DWORD& error) {
  const HANDLE first = NewInstance(true, error);
  if (first == INVALID_HANDLE_VALUE) return false;
  FWorkers.emplace_back([this, first] { Worker(first); });
  for (DWORD i = 1; i < Instances; ++i) {
    DWORD instanceError = 0;
    const HANDLE pipe = NewInstance(false, instanceError);
    if (pipe != INVALID_HANDLE_VALUE) FWorkers.emplace_back([this, pipe] { Worker(pipe); });
  }
  return true;
}

void TPipeServer::Wait() {
  WaitForSingleObject(FStop, INFINITE);
  for (auto& worker : FWorkers) worker.join();
  FWorkers.clear();
}

// One instance, serving one client after another until the service stops.
void TPipeServer::Worker(HANDLE pipe) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  while (WaitForSingleObject(FStop, 0) == WAIT_TIMEOUT) {
    ResetEvent(overlapped.hEvent);
    bool connected = ConnectNamedPipe(pipe, &overlapped) != FALSE;
    DWORD error = connected ? 0 : GetLastError();
    if (error == ERROR_IO_PENDING) {
      const HANDLE waits[] = {overlapped.hEvent, FStop};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
        break;
      }
      DWORD ignored = 0;
      connected = GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) != FALSE;
    } else if (error == ERROR_PIPE_CONNECTED) {
      connected = true;
    }
    if (connected) Serve(pipe);
    DisconnectNamedPipe(pipe);
    if (!connected) Sleep(50);  // a failing instance must not spin
  }
  CloseHandle(overlapped.hEvent);
  CloseHandle(pipe);
}

void TPipeServer::Serve(HANDLE pipe) {
  // One byte more than a request, so that a longer message shows.
  std::uint8_t request[HelperRequest::RequestSize + 1];
  DWORD got = 0;
  const DWORD read = TimedPipeIo(pipe, false, request, sizeof request, RequestTimeoutMs, FStop, got);
  const std::wstring who = ClientName(pipe);
  if (read == ERROR_MORE_DATA) return Refuse(who, L"a message longer than one request");
  if (read == ERROR_TIMEOUT) return Refuse(who, L"no request within two seconds");
  if (read != 0) return;  // gone, or the service stops
  DWORD more = 0;
  if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &more, nullptr) && more != 0)
    return Refuse(who, L"more than one request");
  const auto parsed = HelperRequest::ParseClock(request, got);
  if (parsed.Verdict != HelperRequest::TVerdict::Accepted)
    return Refuse(who, Wide(HelperRequest::VerdictText(parsed.Verdict)));
  if (who.empty()) return Refuse(who, L"the client could not be identified");

  const std::int64_t before = FClock.Now();
  std::int64_t instant = 0;
  if (!HelperRequest::TargetOf(before, parsed.StepMs, instant))
    return Refuse(who, L"a step that takes the clock out of its range");
  const DWORD result = FClock.Set(instant);
  const std::wstring target = UtcText(instant);
  if (result == 0)
    LogEvent(TEventKind::Information,
             who + L" set the clock to " + target + L", a step of " + std::to_wstring(parsed.StepMs) + L" ms.");
  else
    LogEvent(TEventKind::Warning, who + L" asked to set the clock to " + target + L": " +
                                      Wide(Platform::SystemMessageText(result)) + L" (" + std::to_wstring(result) +
                                      L").");
  auto reply = HelperRequest::EncodeReply(static_cast<std::int32_t>(result));
  DWORD written = 0;
  if (TimedPipeIo(pipe, true, reply.data(), static_cast<DWORD>(reply.size()), RequestTimeoutMs, FStop, written) != 0)
    return;
  // Disconnecting would drop a reply the client has not read yet: wait for it to close its end.
  std::uint8_t rest[1];
  TimedPipeIo(pipe, false, rest, sizeof rest, RequestTimeoutMs, FStop, got);
}
