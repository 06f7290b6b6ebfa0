// SPDX-License-Identifier: MIT
// Whom the clock service serves, how many of its pipe's instances one user
// may hold, and its refusals summarised for the event log: plain values, so
// every kind of caller Windows has can stand in the tables (under Wine every
// process has one administrator's token).
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ClockPolicy.h"
#include "InstanceQuota.h"
#include "RefusalLog.h"

using namespace ClockPolicy;

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

constexpr std::uint32_t Enabled = 0x7;  // mandatory, enabled by default, enabled
constexpr std::uint32_t DenyOnly = GroupDenyOnly;

// The groups of tokens as Windows gives them.
const std::vector<TGroup> ConsoleUser = {{L"S-1-1-0", Enabled}, {L"S-1-5-32-545", Enabled},  {L"S-1-5-4", Enabled},
                                         {L"S-1-2-1", Enabled}, {L"S-1-5-11", Enabled},      {L"S-1-5-15", Enabled},
                                         {L"S-1-2-0", Enabled}, {L"S-1-5-5-0-1234", Enabled}};
std::vector<TGroup> With(std::vector<TGroup> groups, std::vector<TGroup> more) {
  groups.insert(groups.end(), more.begin(), more.end());
  return groups;
}
// Remote Desktop: INTERACTIVE and REMOTE INTERACTIVE LOGON, no CONSOLE LOGON.
const std::vector<TGroup> RemoteUser = {{L"S-1-1-0", Enabled},  {L"S-1-5-32-545", Enabled}, {L"S-1-5-4", Enabled},
                                        {L"S-1-5-14", Enabled}, {L"S-1-5-11", Enabled},     {L"S-1-2-0", Enabled}};
const std::vector<TGroup> ServiceGroups = {
    {L"S-1-1-0", Enabled}, {L"S-1-5-6", Enabled}, {L"S-1-2-0", Enabled}, {L"S-1-5-11", Enabled}};
const std::vector<TGroup> BatchUser = {
    {L"S-1-1-0", Enabled}, {L"S-1-5-32-545", Enabled}, {L"S-1-5-3", Enabled}, {L"S-1-5-11", Enabled}};
const std::vector<TGroup> InteractiveOff = {{L"S-1-1-0", Enabled}, {L"S-1-5-4", 0}, {L"S-1-2-1", Enabled}};
const TGroup Admins = {L"S-1-5-32-544", Enabled | 0x8};  // owner too, as in an elevated token
const TGroup FilteredAdmins = {L"S-1-5-32-544", DenyOnly};
constexpr const wchar_t* Alice = L"S-1-5-21-1004336348-1177238915-682003330-1001";

TEST(ClockPolicyTest, DecidesForEveryKindOfCaller) {
  const struct {
    const char* What;
    TCaller Caller;
    std::uint32_t ConsoleSession;
    bool Console, Interactive, Administrators;  // served under each policy
  } cases[] = {
      {"the user at the screen", {Alice, ConsoleUser, 1}, 1, true, true, false},
      {"an administrator at the screen, not elevated",
       {Alice, With(ConsoleUser, {FilteredAdmins}), 1},
       1,
       true,
       true,
       false},
      {"an elevated administrator", {Alice, With(ConsoleUser, {Admins}), 1}, 1, true, true, true},
      {"an elevated administrator through Remote Desktop", {Alice, With(RemoteUser, {Admins}), 3}, 1, true, true, true},
      {"the system account", {L"S-1-5-18", ServiceGroups, 0}, 1, true, true, true},
      {"the user of a session the screen switched away from", {Alice, ConsoleUser, 2}, 1, false, true, false},
      {"a Remote Desktop user", {Alice, RemoteUser, 3}, 1, false, true, false},
      {"a Remote Desktop user whose session is the console's number", {Alice, RemoteUser, 1}, 1, false, true, false},
      {"the user at the screen when no session is attached to it",
       {Alice, ConsoleUser, 1},
       NoSession,
       false,
       true,
       false},
      {"a user whose session is unknown", {Alice, ConsoleUser, NoSession}, 1, false, true, false},
      {"LOCAL SERVICE", {L"S-1-5-19", ServiceGroups, 0}, 0, false, false, false},
      {"NETWORK SERVICE", {L"S-1-5-20", ServiceGroups, 0}, 0, false, false, false},
      {"a service's virtual account", {L"S-1-5-80-1-2-3-4-5", ServiceGroups, 0}, 0, false, false, false},
      {"a user account a service runs as",
       {Alice, With(ServiceGroups, {{L"S-1-5-4", Enabled}}), 0},
       0,
       false,
       false,
       false},
      {"a service that runs as an administrator", {Alice, With(ServiceGroups, {Admins}), 0}, 0, true, true, true},
      {"the window manager, in the screen's session",
       {L"S-1-5-90-0-1", With(ConsoleUser, {}), 1},
       1,
       false,
       false,
       false},
      {"a scheduled task's user", {Alice, BatchUser, 1}, 1, false, false, false},
      {"a token whose INTERACTIVE is not enabled", {Alice, InteractiveOff, 1}, 1, false, false, false},
      {"no groups at all", {Alice, {}, 1}, 1, false, false, false},
  };
  for (const auto& c : cases) {
    const bool expected[] = {c.Console, c.Interactive, c.Administrators};
    const TPolicy policies[] = {TPolicy::Console, TPolicy::Interactive, TPolicy::Administrators};
    for (int i = 0; i < 3; ++i) {
      const TDecision decision = Decide(policies[i], c.Caller, c.ConsoleSession);
      EXPECT_EQ(decision.Allowed, expected[i])
          << c.What << " under \"" << Narrow(NameOf(policies[i])) << "\": " << Narrow(decision.Why);
      EXPECT_FALSE(decision.Why.empty()) << c.What;
    }
  }
}

TEST(ClockPolicyTest, TheRefusalSaysWhy) {
  const struct {
    TCaller Caller;
    std::uint32_t ConsoleSession;
    TPolicy Policy;
    const char* Why;
  } cases[] = {
      {{Alice, ConsoleUser, 2},
       1,
       TPolicy::Console,
       "the user's session (2) is not the one at this computer's screen (1)"},
      {{Alice, RemoteUser, 3}, 1, TPolicy::Console, "the user is logged on through Remote Desktop"},
      {{L"S-1-5-19", ServiceGroups, 0},
       0,
       TPolicy::Interactive,
       "a service account is served only as an administrator"},
      {{Alice, ConsoleUser, 1}, 1, TPolicy::Administrators, "the user is not an administrator"},
      {{Alice, BatchUser, 1}, 1, TPolicy::Interactive, "the user is not logged on interactively"},
  };
  for (const auto& c : cases) EXPECT_EQ(Narrow(Decide(c.Policy, c.Caller, c.ConsoleSession).Why), c.Why);
}

TEST(ClockPolicyTest, AMissingOrUnknownValueMeansTheConsolePolicy) {
  const struct {
    std::optional<std::wstring> Value;
    TPolicy Policy;
    bool Known;
  } cases[] = {
      {std::nullopt, TPolicy::Console, true},
      {L"console", TPolicy::Console, true},
      {L"interactive", TPolicy::Interactive, true},
      {L"Administrators", TPolicy::Administrators, true},
      {L"INTERACTIVE", TPolicy::Interactive, true},
      {L"", TPolicy::Console, false},
      {L"everyone", TPolicy::Console, false},
      {L"interactive ", TPolicy::Console, false},
      {L"(a value that is no policy's name)", TPolicy::Console, false},
  };
  for (const auto& c : cases) {
    const TSetting setting = ParseSetting(c.Value);
    const std::string shown = c.Value ? "\"" + Narrow(*c.Value) + "\"" : "no value";
    EXPECT_EQ(setting.Policy, c.Policy) << shown;
    EXPECT_EQ(setting.Known, c.Known) << shown;
  }
  // An unknown value serves no Remote Desktop user.
  EXPECT_FALSE(Decide(ParseSetting(L"everyone").Policy, {Alice, RemoteUser, 3}, 1).Allowed);
}

TEST(ClockPolicyTest, ThePipeLetsInWhomThePolicyServes) {
  const std::wstring always = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;RC;;;OW)";
  EXPECT_EQ(PipeSecurity(TPolicy::Console), always + L"(A;;0x0012018b;;;S-1-2-1)");
  EXPECT_EQ(PipeSecurity(TPolicy::Interactive), always + L"(A;;0x0012018b;;;IU)");
  EXPECT_EQ(PipeSecurity(TPolicy::Administrators), always);
}

TEST(InstanceQuotaTest, AUserHoldsItsShareAndNoMore) {
  TInstanceQuota quota(2);
  EXPECT_TRUE(quota.Enter(Alice));
  {
    const TQuotaTicket second(quota, Alice);
    EXPECT_TRUE(second.Held());
    const TQuotaTicket third(quota, Alice);
    EXPECT_FALSE(third.Held()) << "a third connection of the same user";
    EXPECT_TRUE(TQuotaTicket(quota, L"S-1-5-21-1-2-3-1002").Held()) << "another user is not held up";
    EXPECT_TRUE(TQuotaTicket(quota, L"").Held()) << "unidentified clients have a share of their own";
  }
  EXPECT_TRUE(quota.Enter(Alice)) << "the second ticket gave its instance back; the refused one took none";
  EXPECT_FALSE(quota.Enter(Alice));
  quota.Leave(Alice);
  quota.Leave(Alice);
  quota.Leave(Alice);  // more than entered: no harm
  EXPECT_TRUE(quota.Enter(Alice));
  EXPECT_TRUE(quota.Enter(Alice));
  EXPECT_FALSE(quota.Enter(Alice));
}

std::uint64_t CountIn(const std::wstring& summary) {
  std::smatch match;
  const std::string text = Narrow(summary);
  return std::regex_search(text, match, std::regex("^Refused ([0-9]+) more request")) ? std::stoull(match[1]) : 0;
}

TEST(RefusalLogTest, AFloodWritesTheFirstRefusalAndOneSummaryAMinute) {
  TRefusalLog log;
  std::vector<std::wstring> lines;
  auto refuse = [&](const wchar_t* client, const wchar_t* why, std::int64_t at) {
    for (auto& line : log.Refused(client, std::wstring(L"HOST\\") + client, why, at)) lines.push_back(line);
  };
  auto due = [&](std::int64_t at, bool all = false) {
    for (auto& line : log.Due(at, all)) lines.push_back(line);
  };

  // What a hostile client did under Wine: 7,213 refusals in 5 s.
  for (int i = 0; i < 7213; ++i)
    refuse(L"mallory", i % 2 ? L"no request within a second" : L"another version", i * 5000 / 7213);
  refuse(L"alice", L"the user is logged on through Remote Desktop", 3000);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Narrow(lines[0]), "Refused a request of HOST\\mallory: another version. The clock was not set.");
  EXPECT_EQ(Narrow(lines[1]),
            "Refused a request of HOST\\alice: the user is logged on through Remote Desktop. The clock was not set.");

  due(59999);
  EXPECT_EQ(lines.size(), 2u) << "nothing before a minute";
  due(60000);
  ASSERT_EQ(lines.size(), 3u) << "mallory's count; alice has nothing pending";
  EXPECT_EQ(Narrow(lines[2]),
            "Refused 7212 more requests of HOST\\mallory in the 60 s since the last entry about it (the last: another "
            "version). The clock was not set.");

  refuse(L"mallory", L"another tag", 61000);   // within a minute of the summary: counted
  refuse(L"mallory", L"another tag", 125000);  // a minute after it: the summary comes with it
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(CountIn(lines[3]), 2u);
  refuse(L"alice", L"the user is not an administrator", 125000);  // quiet for two minutes: news again
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Narrow(lines[4]).rfind("Refused a request of HOST\\alice: the user is not an administrator", 0), 0u);

  refuse(L"mallory", L"another tag", 126000);
  due(127000, true);  // the service stops: nothing counted is lost
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(CountIn(lines[5]), 1u);
  due(500000, true);
  EXPECT_EQ(lines.size(), 6u);
}

TEST(RefusalLogTest, ManyClientsLoseNoCountAndHoldBoundedMemory) {
  TRefusalLog log;
  std::vector<std::wstring> lines;
  const std::size_t clients = TRefusalLog::MaxClients * 3 + 7;
  for (std::size_t i = 0; i < clients; ++i)
    for (int j = 0; j < 3; ++j)
      for (auto& line : log.Refused(std::to_wstring(i), L"client " + std::to_wstring(i), L"why", 1000))
        lines.push_back(line);
  for (auto& line : log.Due(2000, true)) lines.push_back(line);
  std::size_t whole = 0;
  std::uint64_t counted = 0;
  for (const auto& line : lines) {
    if (Narrow(line).rfind("Refused a request of ", 0) == 0) ++whole;
    counted += CountIn(line);
  }
  EXPECT_EQ(whole, clients);
  EXPECT_EQ(counted, clients * 2);
  EXPECT_LE(lines.size(), clients * 2) << "at most one summary for each client's first line";
}

}  // namespace
