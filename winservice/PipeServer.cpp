// SPDX-License-Identifier: MIT
#include "PipeServer.h"

#include <sddl.h>

#include <cstdlib>

#include "Platform/HelperRequest.h"
#include "Platform/Windows/ClockService.h"
#include "Platform/Windows/PipeIo.h"
#include "Platform/Windows/SystemMessage.h"
#include "Platform/Windows/Utf8.h"
#include "PolicyKey.h"

namespace {

using Platform::TimedPipeIo;

std::wstring Wide(const std::string& text) { return Platform::WideFromUtf8(text); }

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return {};
  std::wstring result = text;
  LocalFree(text);
  return result;
}

// DOMAIN\user, or empty where the SID has no name to look up.
std::wstring AccountName(PSID sid) {
  wchar_t user[256], domain[256];
  DWORD userLength = 256, domainLength = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, user, &userLength, domain, &domainLength, &use)) return {};
  return domainLength == 0 ? std::wstring(user) : std::wstring(domain) + L"\\" + user;
}

std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !GetTokenInformation(token, kind, buffer.data(), size, &size)) return {};
  return buffer;
}

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

const wchar_t* Description(ClockPolicy::TPolicy policy) {
  switch (policy) {
    case ClockPolicy::TPolicy::Console: return L"administrators and the user at this computer's screen";
    case ClockPolicy::TPolicy::Interactive:
      return L"administrators and every interactive user, Remote Desktop users included";
    case ClockPolicy::TPolicy::Administrators: return L"administrators only";
  }
  return L"";
}

std::int64_t Ticks() { return static_cast<std::int64_t>(GetTickCount64()); }

}  // namespace

// The caller's token is read while impersonating it, and the impersonation
// ends at once: nothing else runs as the client. Its name is looked up as the
// service, since an identification-level token may not ask for it (1346).
TPipeServer::TClient TPipeServer::Identify(HANDLE pipe) {
  TClient client;
  if (!ImpersonateNamedPipeClient(pipe)) return client;
  HANDLE token = nullptr;
  const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
  if (!RevertToSelf()) std::abort();  // a thread that stays the client must not go on
  if (!opened) return client;
  const std::vector<BYTE> user = TokenInformation(token, TokenUser);
  const std::vector<BYTE> groups = TokenInformation(token, TokenGroups);
  CloseHandle(token);
  if (user.empty() || groups.empty()) return client;

  const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  client.Caller.UserSid = SidText(sid);
  const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
  for (DWORD i = 0; i < list->GroupCount; ++i)
    client.Caller.Groups.push_back(
        {SidText(list->Groups[i].Sid), static_cast<std::uint32_t>(list->Groups[i].Attributes)});
  ULONG session = 0;
  if (GetNamedPipeClientSessionId(pipe, &session)) client.Caller.Session = session;
  client.Name = AccountName(sid);
  if (client.Name.empty()) client.Name = client.Caller.UserSid;
  client.Identified = !client.Caller.UserSid.empty();
  return client;
}

std::wstring TPipeServer::Who(const TClient& client) {
  if (!client.Identified) return L"an unidentified client";
  if (client.Caller.Session == ClockPolicy::NoSession) return client.Name;
  return client.Name + L" (session " + std::to_wstring(client.Caller.Session) + L")";
}

std::wstring TPipeServer::Security(ClockPolicy::TPolicy policy) {
  std::wstring sddl = ClockPolicy::PipeSecurity(policy);
  // The service's own SID, which its restricted token needs to create more instances.
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidLength = sizeof sid;
  wchar_t domain[256];
  DWORD domainLength = 256;
  SID_NAME_USE use;
  const std::wstring account = std::wstring(L"NT SERVICE\\") + Platform::ClockService::ServiceName;
  if (LookupAccountNameW(nullptr, account.c_str(), sid, &sidLength, domain, &domainLength, &use)) {
    const std::wstring text = SidText(sid);
    if (!text.empty()) sddl += L"(A;;GA;;;" + text + L")";
  }
  return sddl;
}

HANDLE TPipeServer::NewInstance(bool first, DWORD& error) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Security(FPolicy).c_str(), SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    error = GetLastError();
    return INVALID_HANDLE_VALUE;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // The first instance proves that no one else made the pipe before the
  // service, and may change the pipe's descriptor when the policy changes.
  const DWORD firstOnly = first ? FILE_FLAG_FIRST_PIPE_INSTANCE | WRITE_DAC : 0;
  const HANDLE pipe =
      CreateNamedPipeW(Platform::ClockService::PipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | firstOnly,
                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, Instances,
                       HelperRequest::ReplySize, HelperRequest::RequestSize, 0, &attributes);
  error = pipe == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  LocalFree(descriptor);
  return pipe;
}

// The value is read at the start and after each change under the service's
// key; a change applies to the next request, and to who may open the pipe.
void TPipeServer::FollowPolicy(bool starting) {
  const std::optional<std::wstring> value = ReadPolicyValue();
  if (!starting && value == FPolicyValue) return;  // another change under the key
  FPolicyValue = value;
  const ClockPolicy::TSetting setting = ClockPolicy::ParseSetting(value);
  FPolicy = setting.Policy;
  const std::wstring name = ClockPolicy::NameOf(setting.Policy);
  if (setting.Known)
    FSetup.Log(TEventKind::Information, L"The clock policy is \"" + name +
                                            L"\": the clock service sets the clock for " + Description(setting.Policy) +
                                            L".");
  else
    FSetup.Log(TEventKind::Warning, L"The value " + std::wstring(Platform::ClockService::PolicyValue) + L" \"" +
                                        *value + L"\" under HKEY_LOCAL_MACHINE\\" +
                                        Platform::ClockService::ParametersKey +
                                        L" is none of console, interactive and administrators: the clock service "
                                        L"keeps to \"" +
                                        name + L"\" and sets the clock for " + Description(setting.Policy) + L".");
  if (starting) return;
  if (const DWORD error = ApplySecurity(); error != 0)
    FSetup.Log(TEventKind::Error, L"Who may open the clock service's pipe could not follow the clock policy: " +
                                      Wide(Platform::SystemMessageText(error)) + L" (" + std::to_wstring(error) +
                                      L"). Requests are still refused as the policy says; restart the service.");
}

DWORD TPipeServer::ApplySecurity() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Security(FPolicy).c_str(), SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    return GetLastError();
  // The pipe's instances share one descriptor.
  const DWORD error = SetKernelObjectSecurity(FFirst, DACL_SECURITY_INFORMATION, descriptor) ? 0 : GetLastError();
  LocalFree(descriptor);
  return error;
}

bool TPipeServer::Start(DWORD& error) {
  FollowPolicy(true);
  const HANDLE first = NewInstance(true, error);
  if (first == INVALID_HANDLE_VALUE) return false;
  FFirst = first;
  FWorkers.emplace_back([this, first] { Worker(first); });
  for (DWORD i = 1; i < Instances; ++i) {
    DWORD instanceError = 0;
    const HANDLE pipe = NewInstance(false, instanceError);
    if (pipe != INVALID_HANDLE_VALUE) FWorkers.emplace_back([this, pipe] { Worker(pipe); });
  }
  return true;
}

void TPipeServer::Wait() {
  TPolicyWatch watch;
  bool watching = watch.Arm();
  // A change made before the watch was armed.
  FollowPolicy(false);
  if (!watching)
    FSetup.Log(TEventKind::Warning,
               L"The clock service cannot watch its key: a change of the clock policy takes effect when it starts "
               L"again.");
  for (;;) {
    const HANDLE waits[] = {FStop, watch.Changed()};
    // A finite wait, so that counted refusals are summarised within minutes.
    const DWORD woke =
        WaitForMultipleObjects(watching ? 2 : 1, waits, FALSE, static_cast<DWORD>(TRefusalLog::IntervalMs / 4));
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;
    if (woke == WAIT_OBJECT_0 + 1) {
      watching = watch.Arm();
      FollowPolicy(false);
    }
    WriteSummaries(false);
  }
  if (WaitForSingleObject(FStop, 0) != WAIT_OBJECT_0) SetEvent(FStop);  // a failed wait ends the service too
  for (auto& worker : FWorkers) worker.join();
  FWorkers.clear();
  WriteSummaries(true);
}

void TPipeServer::WriteSummaries(bool all) {
  for (const auto& line : FRefusals.Due(Ticks(), all)) FSetup.Log(TEventKind::Warning, line);
}

void TPipeServer::Refuse(const TClient& client, const std::wstring& why) {
  for (const auto& line : FRefusals.Refused(client.Caller.UserSid, Who(client), why, Ticks()))
    FSetup.Log(TEventKind::Warning, line);
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
  TClient client = Identify(pipe);
  if (FSetup.AdjustCaller) FSetup.AdjustCaller(client.Caller);
  // Before anything else: a user's further connections go at once, leaving the other instances to other users.
  const TQuotaTicket ticket(FQuota, client.Caller.UserSid);
  if (!ticket.Held())
    return Refuse(client, L"the user holds " + std::to_wstring(FQuota.PerUser()) + L" of the pipe's " +
                              std::to_wstring(Instances) +
                              L" instances already, so this connection was closed at once");

  // One byte more than a request, so that a longer message shows.
  std::uint8_t request[HelperRequest::RequestSize + 1];
  DWORD got = 0;
  const DWORD read = TimedPipeIo(pipe, false, request, sizeof request, RequestTimeoutMs, FStop, got);
  if (read == ERROR_MORE_DATA) return Refuse(client, L"a message longer than one request");
  if (read == ERROR_TIMEOUT) return Refuse(client, L"no request within a second");
  if (read != 0) return;  // gone, or the service stops
  DWORD more = 0;
  if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &more, nullptr) && more != 0)
    return Refuse(client, L"more than one request");
  const auto parsed = HelperRequest::ParseClock(request, got);
  if (parsed.Verdict != HelperRequest::TVerdict::Accepted)
    return Refuse(client, Wide(HelperRequest::VerdictText(parsed.Verdict)));
  if (!client.Identified) return Refuse(client, L"the client could not be identified");

  // The policy first: a caller it does not serve learns why, and nothing else happens.
  const ClockPolicy::TDecision decision = ClockPolicy::Decide(
      FPolicy, client.Caller, FSetup.ConsoleSession ? FSetup.ConsoleSession() : ClockPolicy::NoSession);
  if (!decision.Allowed) {
    Refuse(client, L"the clock policy \"" + std::wstring(ClockPolicy::NameOf(FPolicy)) + L"\" does not serve it: " +
                       decision.Why);
    return Reply(pipe, HelperRequest::NotAuthorized);
  }

  // The step from the service's own reading now, however long the request waited.
  std::int64_t instant = 0;
  if (!HelperRequest::TargetOf(FSetup.Clock->Now(), parsed.StepMs, instant))
    return Refuse(client, L"a step that takes the clock out of its range");
  const DWORD result = FSetup.Clock->Set(instant);
  const std::wstring who = Who(client) + L", " + decision.Why + L",";
  const std::wstring target = UtcText(instant);
  if (result == 0)
    FSetup.Log(TEventKind::Information,
               who + L" set the clock to " + target + L", a step of " + std::to_wstring(parsed.StepMs) + L" ms.");
  else
    FSetup.Log(TEventKind::Warning, who + L" asked to set the clock to " + target + L": " +
                                        Wide(Platform::SystemMessageText(result)) + L" (" + std::to_wstring(result) +
                                        L").");
  Reply(pipe, static_cast<std::int32_t>(result));
}

void TPipeServer::Reply(HANDLE pipe, std::int32_t result) {
  auto reply = HelperRequest::EncodeReply(result);
  DWORD written = 0;
  if (TimedPipeIo(pipe, true, reply.data(), static_cast<DWORD>(reply.size()), ReplyTimeoutMs, FStop, written) != 0)
    return;
  // Disconnecting would drop a reply the client has not read yet: wait for it to close its end.
  std::uint8_t rest[1];
  DWORD got = 0;
  TimedPipeIo(pipe, false, rest, sizeof rest, ReplyTimeoutMs, FStop, got);
}
