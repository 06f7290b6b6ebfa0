// SPDX-License-Identifier: MIT
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "PolkitCheck.h"

// Whom a helper serves. Root always, without asking anyone; a system account
// never (a greeter's session may be active at the screen, but no service needs
// a clock or a port of ours); everyone else as polkit says of the process that
// started the helper. The package's polkit actions serve the user of the
// active local session by default; an administrator widens or narrows that
// with a rule in /etc/polkit-1/rules.d.
namespace Policy {

// Debian's ordinary accounts begin at 1000; below are system accounts, and
// nobody (65534) is one too.
constexpr uid_t FirstOrdinaryUid = 1000;
constexpr uid_t Nobody = 65534;
bool IsSystemAccount(uid_t uid);

struct TCaller {
  uid_t Uid = 0;
  std::string Name;         // "name (uid N)", for the log
  bool Identified = false;  // the subject below is the process that started us
  Polkit::TSubject Subject;
};

struct TDecision {
  bool Allowed = false;
  std::int32_t Refusal = 0;  // a HelperRequest refusal when not allowed
  std::string Why;           // for the log
};

using TAsk = std::function<Polkit::TResult(const Polkit::TSubject&)>;
TDecision Decide(const TCaller& caller, const TAsk& ask);

}  // namespace Policy
