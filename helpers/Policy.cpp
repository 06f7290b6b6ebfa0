// SPDX-License-Identifier: MIT
#include "Policy.h"

#include "Platform/HelperRequest.h"

namespace Policy {

bool IsSystemAccount(uid_t uid) { return (uid > 0 && uid < FirstOrdinaryUid) || uid == Nobody; }

TDecision Decide(const TCaller& caller, const TAsk& ask) {
  using HelperRequest::NoAuthority, HelperRequest::NotAuthenticated, HelperRequest::NotAuthorized;
  if (caller.Uid == 0) return {true, 0, "root"};
  if (IsSystemAccount(caller.Uid)) return {false, NotAuthorized, "a system account"};
  // A process we cannot name to polkit as pid and start time cannot be asked about.
  if (!caller.Identified) return {false, NotAuthorized, "not started by a process that can be identified"};
  const Polkit::TResult answer = ask(caller.Subject);
  const std::string detail = answer.Detail.empty() ? std::string() : " (" + answer.Detail + ")";
  switch (answer.Answer) {
    case Polkit::TAnswer::Authorized: return {true, 0, "authorized by polkit"};
    case Polkit::TAnswer::NotAuthorized: return {false, NotAuthorized, "not authorized by polkit" + detail};
    case Polkit::TAnswer::Challenge:
      return {false, NotAuthenticated, "polkit asked for authentication, which was not given" + detail};
    case Polkit::TAnswer::Unavailable:
      return {false, NoAuthority, "polkit cannot be asked, so only root is served" + detail};
    case Polkit::TAnswer::Failed: break;
  }
  return {false, NotAuthorized, "polkit gave no answer" + detail};
}

}  // namespace Policy
