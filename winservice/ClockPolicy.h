// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Whom the clock service sets the clock for. Administrators (and SYSTEM)
// always; beside them, as the string value "ClockPolicy" under the service's
// key says (HKLM\SYSTEM\CurrentControlSet\Services\KestrineClock\Parameters,
// which only administrators may write):
//   console         the user at this computer's own screen: logged on there,
//                   not through Remote Desktop, in the session the screen shows;
//                   the default, also for a missing or unknown value
//   interactive     every interactive user, Remote Desktop users included
//   administrators  no one else
// Service and system accounts are never served unless they are administrators.
// Plain C++ over SID strings, so that the whole decision is a table test.
namespace ClockPolicy {

enum class TPolicy { Console, Interactive, Administrators };

struct TSetting {
  TPolicy Policy = TPolicy::Console;
  bool Known = true;  // false: a value none of the three, so the default
};
// The value as read (nullopt: no value), in any letter case.
TSetting ParseSetting(const std::optional<std::wstring>& value);
const wchar_t* NameOf(TPolicy policy);

// The pipe's security descriptor in SDDL, following the policy: SYSTEM and
// Administrators fully; the users the policy serves only to read and write a
// request (no right to make instances of the pipe); the owner (LOCAL SERVICE,
// which other services share) only to read the descriptor, not to rewrite it.
std::wstring PipeSecurity(TPolicy policy);

// A token's group as GetTokenInformation gives it: the SID and its attributes.
struct TGroup {
  std::wstring Sid;
  std::uint32_t Attributes = 0;
};
constexpr std::uint32_t GroupEnabled = 0x4;      // SE_GROUP_ENABLED
constexpr std::uint32_t GroupDenyOnly = 0x10;    // SE_GROUP_USE_FOR_DENY_ONLY: a filtered administrator
constexpr std::uint32_t NoSession = 0xFFFFFFFF;  // WTSGetActiveConsoleSessionId with no one at the screen

// The client of one connection: its token's user and groups, and the session
// its end of the pipe was opened from.
struct TCaller {
  std::wstring UserSid;
  std::vector<TGroup> Groups;
  std::uint32_t Session = NoSession;
};

struct TDecision {
  bool Allowed = false;
  std::wstring Why;  // for the event log: who the caller is, or why it is refused
};
TDecision Decide(TPolicy policy, const TCaller& caller, std::uint32_t consoleSession);

}  // namespace ClockPolicy
