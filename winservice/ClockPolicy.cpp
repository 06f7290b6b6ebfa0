// SPDX-License-Identifier: MIT
#include "ClockPolicy.h"

#include <algorithm>
#include <cwctype>

namespace ClockPolicy {
namespace {

constexpr const wchar_t* System = L"S-1-5-18";
constexpr const wchar_t* LocalService = L"S-1-5-19";
constexpr const wchar_t* NetworkService = L"S-1-5-20";
constexpr const wchar_t* Administrators = L"S-1-5-32-544";
constexpr const wchar_t* Interactive = L"S-1-5-4";
constexpr const wchar_t* RemoteInteractive = L"S-1-5-14";
constexpr const wchar_t* ConsoleLogon = L"S-1-2-1";
constexpr const wchar_t* ServiceGroup = L"S-1-5-6";
// Accounts of services and of Windows' own hosts: a service's own SID, an IIS
// application pool, the window manager, the font driver host.
constexpr const wchar_t* ServicePrefixes[] = {L"S-1-5-80-", L"S-1-5-82-", L"S-1-5-90-", L"S-1-5-96-"};

// What the users a policy serves may do on the pipe: read and write a request
// (FILE_READ_DATA, FILE_WRITE_DATA, the attributes, READ_CONTROL, SYNCHRONIZE),
// never FILE_CREATE_PIPE_INSTANCE.
constexpr const wchar_t* ClientRights = L"0x0012018b";

const struct {
  TPolicy Policy;
  const wchar_t* Name;
  const wchar_t* Clients;  // the SID or SDDL alias let in beside SY and BA, or none
} Policies[] = {
    {TPolicy::Console, L"console", ConsoleLogon},
    {TPolicy::Interactive, L"interactive", L"IU"},
    {TPolicy::Administrators, L"administrators", nullptr},
};

bool Has(const TCaller& caller, const wchar_t* sid) {
  return std::any_of(caller.Groups.begin(), caller.Groups.end(), [sid](const TGroup& group) {
    return group.Sid == sid && (group.Attributes & GroupEnabled) != 0 && (group.Attributes & GroupDenyOnly) == 0;
  });
}

bool IsServiceAccount(const TCaller& caller) {
  if (caller.UserSid == LocalService || caller.UserSid == NetworkService || Has(caller, ServiceGroup)) return true;
  return std::any_of(std::begin(ServicePrefixes), std::end(ServicePrefixes),
                     [&](const wchar_t* prefix) { return caller.UserSid.rfind(prefix, 0) == 0; });
}

TDecision Refused(std::wstring why) { return {false, std::move(why)}; }

}  // namespace

TSetting ParseSetting(const std::optional<std::wstring>& value) {
  if (!value) return {};
  std::wstring lower = *value;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
  for (const auto& p : Policies)
    if (lower == p.Name) return {p.Policy, true};
  return {TPolicy::Console, false};
}

const wchar_t* NameOf(TPolicy policy) {
  for (const auto& p : Policies)
    if (p.Policy == policy) return p.Name;
  return L"console";
}

std::wstring PipeSecurity(TPolicy policy) {
  std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;RC;;;OW)";
  for (const auto& p : Policies)
    if (p.Policy == policy && p.Clients != nullptr)
      sddl += std::wstring(L"(A;;") + ClientRights + L";;;" + p.Clients + L")";
  return sddl;
}

TDecision Decide(TPolicy policy, const TCaller& caller, std::uint32_t consoleSession) {
  if (caller.UserSid == System) return {true, L"the system account"};
  if (Has(caller, Administrators)) return {true, L"an administrator"};
  if (policy == TPolicy::Administrators) return Refused(L"the user is not an administrator");
  if (IsServiceAccount(caller)) return Refused(L"a service account is served only as an administrator");
  if (!Has(caller, Interactive)) return Refused(L"the user is not logged on interactively");
  if (policy == TPolicy::Interactive) return {true, L"an interactive user"};

  // The console policy: at this computer's own screen, and in the session it shows now.
  if (Has(caller, RemoteInteractive)) return Refused(L"the user is logged on through Remote Desktop");
  if (consoleSession == NoSession) return Refused(L"no session is at this computer's screen");
  if (caller.Session != consoleSession)
    return Refused(L"the user's session (" +
                   (caller.Session == NoSession ? std::wstring(L"unknown") : std::to_wstring(caller.Session)) +
                   L") is not the one at this computer's screen (" + std::to_wstring(consoleSession) + L")");
  if (!Has(caller, ConsoleLogon)) return Refused(L"the user is not logged on at this computer's screen");
  return {true, L"the user at this computer's screen"};
}

}  // namespace ClockPolicy
