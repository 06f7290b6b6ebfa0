// SPDX-License-Identifier: MIT
// Whom the helpers serve, as a table of callers and polkit's answers; and the
// reading of what the bus answers. policy_journey.sh asks a real polkitd.
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/HelperRequest.h"
#include "Policy.h"
#include "PolkitCheck.h"

namespace {

using Polkit::TAnswer;

struct TCase {
  const char* What;
  uid_t Uid;
  bool Identified;
  std::optional<TAnswer> Polkit;  // nullopt: polkit must not be asked
  std::int32_t Refusal;           // 0: served
};

TEST(PolicyTest, WhomTheHelpersServe) {
  using HelperRequest::NoAuthority, HelperRequest::NotAuthenticated, HelperRequest::NotAuthorized;
  const TCase cases[] = {
      {"root, without polkit", 0, false, std::nullopt, 0},
      {"the user of the active local session", 1000, true, TAnswer::Authorized, 0},
      {"a rule's group member over the network", 4321, true, TAnswer::Authorized, 0},
      {"an inactive or remote session", 1000, true, TAnswer::NotAuthorized, NotAuthorized},
      {"a policy asking for a password not given", 1000, true, TAnswer::Challenge, NotAuthenticated},
      {"no polkit on the machine", 1000, true, TAnswer::Unavailable, NoAuthority},
      {"polkit answering with an error", 1000, true, TAnswer::Failed, NotAuthorized},
      {"a system account", 33, true, std::nullopt, NotAuthorized},
      {"the highest system account", 999, true, std::nullopt, NotAuthorized},
      {"nobody", 65534, true, std::nullopt, NotAuthorized},
      {"a process that cannot be named to polkit", 1000, false, std::nullopt, NotAuthorized},
  };
  for (const auto& c : cases) {
    Policy::TCaller caller;
    caller.Uid = c.Uid;
    caller.Identified = c.Identified;
    caller.Subject = {4242, 987654321, static_cast<std::uint32_t>(c.Uid)};
    bool asked = false;
    const auto decision = Policy::Decide(caller, [&](const Polkit::TSubject& subject) {
      asked = true;
      EXPECT_EQ(subject.Pid, 4242u) << c.What;
      EXPECT_EQ(subject.StartTime, 987654321u) << c.What;
      return Polkit::TResult{c.Polkit.value_or(TAnswer::Authorized), "detail"};
    });
    EXPECT_EQ(asked, c.Polkit.has_value()) << c.What;
    EXPECT_EQ(decision.Allowed, c.Refusal == 0) << c.What;
    EXPECT_EQ(decision.Refusal, c.Refusal) << c.What;
    EXPECT_FALSE(decision.Why.empty()) << c.What;
  }
}

// A message as the bus sends it: header fields reply serial, signature and
// error name, then the body; in either byte order.
std::vector<std::uint8_t> Message(bool big, std::uint8_t type, std::uint32_t replySerial, const std::string& signature,
                                  const std::vector<std::uint8_t>& body, const std::string& errorName = {}) {
  std::vector<std::uint8_t> m;
  auto pad = [&m](std::size_t to) {
    while (m.size() % to) m.push_back(0);
  };
  auto u32 = [&m, big, &pad](std::uint32_t v) {
    pad(4);
    for (int i = 0; i < 4; ++i) m.push_back(static_cast<std::uint8_t>(v >> (big ? 24 - 8 * i : 8 * i)));
  };
  m = {static_cast<std::uint8_t>(big ? 'B' : 'l'), type, 0, 1};
  u32(static_cast<std::uint32_t>(body.size()));
  u32(77);
  u32(0);  // the fields' length, set below
  const std::size_t start = m.size();
  pad(8);
  m.insert(m.end(), {5, 1, 'u', 0});
  u32(replySerial);
  if (!signature.empty()) {
    pad(8);
    m.insert(m.end(), {8, 1, 'g', 0, static_cast<std::uint8_t>(signature.size())});
    m.insert(m.end(), signature.begin(), signature.end());
    m.push_back(0);
  }
  if (!errorName.empty()) {
    pad(8);
    m.insert(m.end(), {4, 1, 's', 0});
    u32(static_cast<std::uint32_t>(errorName.size()));
    m.insert(m.end(), errorName.begin(), errorName.end());
    m.push_back(0);
  }
  const auto fields = static_cast<std::uint32_t>(m.size() - start);
  for (int i = 0; i < 4; ++i) m[12 + i] = static_cast<std::uint8_t>(fields >> (big ? 24 - 8 * i : 8 * i));
  pad(8);
  m.insert(m.end(), body.begin(), body.end());
  return m;
}

std::vector<std::uint8_t> Result(bool big, bool authorized, bool challenge) {
  auto word = [big](bool v) {
    return big ? std::vector<std::uint8_t>{0, 0, 0, std::uint8_t(v)}
               : std::vector<std::uint8_t>{std::uint8_t(v), 0, 0, 0};
  };
  std::vector<std::uint8_t> body = word(authorized);
  const auto second = word(challenge);
  body.insert(body.end(), second.begin(), second.end());
  body.insert(body.end(), {0, 0, 0, 0});  // no details
  return Message(big, 2, 2, "(bba{ss})", body);
}

TEST(PolicyTest, WhatTheBusAnswers) {
  const struct {
    const char* What;
    std::vector<std::uint8_t> Bytes;
    TAnswer Answer;
  } cases[] = {
      {"authorized", Result(false, true, false), TAnswer::Authorized},
      {"authorized, big-endian", Result(true, true, false), TAnswer::Authorized},
      {"not authorized", Result(false, false, false), TAnswer::NotAuthorized},
      {"a password needed", Result(true, false, true), TAnswer::Challenge},
      {"no polkit on the bus",
       Message(false, 3, 2, "s", {4, 0, 0, 0, 'g', 'o', 'n', 'e', 0}, "org.freedesktop.DBus.Error.ServiceUnknown"),
       TAnswer::Unavailable},
      {"polkit's own error", Message(false, 3, 2, "", {}, "org.freedesktop.PolicyKit1.Error.Failed"), TAnswer::Failed},
      {"an answer of another form", Message(false, 2, 2, "s", {0, 0, 0, 0, 0}), TAnswer::Failed},
  };
  for (const auto& c : cases) {
    Polkit::TMessage message;
    ASSERT_EQ(Polkit::ReadMessage(c.Bytes.data(), c.Bytes.size(), message), static_cast<long>(c.Bytes.size()))
        << c.What;
    EXPECT_EQ(message.ReplySerial, 2u) << c.What;
    EXPECT_EQ(Polkit::AnswerOf(message).Answer, c.Answer) << c.What;
    // Every part of it short of the whole is not yet a message.
    for (std::size_t cut = 0; cut < c.Bytes.size(); ++cut)
      ASSERT_EQ(Polkit::ReadMessage(c.Bytes.data(), cut, message), 0) << c.What << " cut at " << cut;
  }
  auto broken = Result(false, true, false);
  broken[0] = 'x';
  Polkit::TMessage message;
  EXPECT_EQ(Polkit::ReadMessage(broken.data(), broken.size(), message), -1);
  auto huge = Result(false, true, false);
  huge[7] = 0x7f;  // a body of two gigabytes
  EXPECT_EQ(Polkit::ReadMessage(huge.data(), huge.size(), message), -1);
}

// Our calls read back as the bus reads them: a call to polkit's authority
// with the subject, the action and the flag.
TEST(PolicyTest, TheCallsAreWholeMessages) {
  const auto check = Polkit::CheckCall(2, "org.kestrine.set-time", {4242, 987654321, 1000}, true);
  Polkit::TMessage message;
  ASSERT_EQ(Polkit::ReadMessage(check.data(), check.size(), message), static_cast<long>(check.size()));
  EXPECT_EQ(message.Type, 1);
  EXPECT_EQ(message.Signature, "(sa{sv})sa{ss}us");
  const std::string body(message.Body.begin(), message.Body.end());
  for (const char* part : {"unix-process", "pid", "start-time", "uid", "org.kestrine.set-time"})
    EXPECT_NE(body.find(part), std::string::npos) << part;
  const auto hello = Polkit::HelloCall(1);
  ASSERT_EQ(Polkit::ReadMessage(hello.data(), hello.size(), message), static_cast<long>(hello.size()));
  EXPECT_TRUE(message.Body.empty());
}

}  // namespace
