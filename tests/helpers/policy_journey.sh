#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whom the privileged helpers serve, asked by callers of each kind against a
# real polkitd on a private system bus, with the package's own polkit actions:
# root; the user at the machine's screen; a user logged in at the machine but
# not in front, or over the network, or in no session; system accounts; and
# the same after an administrator's rule widens or narrows the policy, and
# with polkit gone. Every refusal is answered with its code and logged with
# the account, and nothing is done for it. Also: a helper whose log cannot be
# reached does nothing, and the port helper keeps port 37 to itself.
# The helpers get their rights inside the test's user namespace, where no
# capability reaches the real clock, and the clock helper is the tests' build,
# which records the instant instead of setting it.
# Usage: policy_journey.sh CLOCK_HELPER PORT_HELPER HELPER_CALL LOG_SINK POLICY RECORD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/sandbox.sh"
sandbox_enter "$0" "$@"
trap sandbox_cleanup EXIT
clock_helper=$1 port_helper=$2 call=$3 sink=$4 policy=$5 record=$6
rdate=${KESTRINE_PEERS_DIR:?}/usr/sbin/rdate
PATH=$PATH:/usr/sbin:/sbin

if ! sandbox_has_accounts; then
  echo "SKIP: the namespace maps no test accounts (run the tests through scripts/testns.sh as root)"
  exit 77
fi
if [ ! -x /usr/lib/polkit-1/polkitd ] || ! command -v setcap >/dev/null; then
  echo "SKIP: polkitd or setcap is not installed (bash scripts/deps.sh test)"
  exit 77
fi

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

sandbox_dev "$sink"
sandbox_accounts
mkdir "$SANDBOX/actions"
cp "$policy" "$SANDBOX/actions/"
sandbox_polkit "$SANDBOX/actions"
if ! sandbox_sessions; then
  echo "SKIP: no cgroup2 hierarchy can be written here, so no session can be described to polkit"
  exit 77
fi

# The helpers as the package installs them: one capability each, any user may run them.
bin=$SANDBOX/libexec
mkdir -m 755 "$bin"
cp "$clock_helper" "$bin/kestrine-clock-helper"
cp "$port_helper" "$bin/kestrine-port-helper"
cp "$call" "$bin/call"
chmod 755 "$bin"/*
setcap cap_sys_time+ep "$bin/kestrine-clock-helper"
setcap cap_net_bind_service+ep "$bin/kestrine-port-helper"
rm -f "$record"
: >"$record"
chmod 666 "$record"

# The refusals' codes (HelperRequest.h).
NotAuthorized=536870913 NotAuthenticated=536870914 NoAuthority=536870915 NotLogged=536870916

# logged_after LINES TEXT: whether TEXT comes to the log after its first LINES lines.
logged_after() {
  local deadline=$((SECONDS + 5))
  until grep -q "$2" < <(tail -n +$(($1 + 1)) "$SANDBOX_LOG"); do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.02
  done
}

# expect_clock WHAT UID SESSION CODE [ACCOUNT]: the clock helper asked by UID in
# SESSION answers CODE; it sets the clock exactly when CODE is 0; the log names ACCOUNT.
expect_clock() {
  local what=$1 uid=$2 session=$3 code=$4 account=${5:-} before after got logged
  before=$(wc -l <"$record")
  logged=$(wc -l <"$SANDBOX_LOG")
  got=$(sandbox_as "$uid" "$session" "$bin/call" "$bin/kestrine-clock-helper" clock 30000 || true)
  after=$(wc -l <"$record")
  [ "$got" = "result $code" ] || fail "$what: the clock helper answered '$got', not $code"
  if [ "$code" = 0 ]; then
    [ "$after" -eq $((before + 1)) ] || fail "$what: the clock was not set once"
  else
    [ "$after" -eq "$before" ] || fail "$what: the clock was set although refused"
  fi
  # The log sink writes a line a moment after the helper sent it.
  if [ -n "$account" ] && ! logged_after "$logged" "$account"; then
    fail "$what: the log does not name $account: $(tail -n +$((logged + 1)) "$SANDBOX_LOG")"
  fi
}

echo "--- the default policy"
sandbox_session 1 "$SANDBOX_ACTIVE" active
sandbox_session 2 "$SANDBOX_OTHER" online
sandbox_session 3 "$SANDBOX_REMOTE" active remote
sandbox_session 4 "$SANDBOX_SYSTEM" active
expect_clock "root" 0 "" 0 "root (uid 0) sets the clock"
expect_clock "the user at the screen" "$SANDBOX_ACTIVE" 1 0 "ktactive (uid $SANDBOX_ACTIVE) sets the clock"
expect_clock "a user logged in but not in front" "$SANDBOX_OTHER" 2 $NotAuthorized "ktother (uid $SANDBOX_OTHER): not authorized by polkit"
expect_clock "a user over the network" "$SANDBOX_REMOTE" 3 $NotAuthorized "ktremote (uid $SANDBOX_REMOTE): not authorized"
expect_clock "a user in no session" "$SANDBOX_OTHER" "" $NotAuthorized "ktother (uid $SANDBOX_OTHER): not authorized"
expect_clock "a system account at the screen" "$SANDBOX_SYSTEM" 4 $NotAuthorized "www-data (uid $SANDBOX_SYSTEM): a system account"
expect_clock "nobody" "$SANDBOX_NOBODY" "" $NotAuthorized "nobody (uid $SANDBOX_NOBODY): a system account"

echo "--- a caller the helper cannot name to polkit"
# Standard input is a pipe, not the socket of the process that started the helper.
request='KCLK\x02\x00\x00\x00\x30\x75\x00\x00\x00\x00\x00\x00'  # a step of 30 s
got=$(printf "$request" | sandbox_as "$SANDBOX_ACTIVE" 1 "$bin/kestrine-clock-helper" | od -An -tu4 | tr -d ' ' || true)
[ "$got" = "$NotAuthorized" ] || fail "a helper on a pipe answered '$got'"

echo "--- an administrator's rules"
sandbox_rule 50-widen 'polkit.addRule(function(action, subject) {
  if (action.id.indexOf("org.kestrine.") == 0 && subject.isInGroup("ktclock")) return polkit.Result.YES;
});'
expect_clock "a member of the group a rule names, over the network" "$SANDBOX_REMOTE" 3 0
sandbox_rule 40-narrow 'polkit.addRule(function(action, subject) {
  if (action.id == "org.kestrine.set-time") return polkit.Result.AUTH_ADMIN;
});'
# No authentication agent runs here, so the password cannot be given.
expect_clock "a policy that asks for a password" "$SANDBOX_ACTIVE" 1 $NotAuthenticated "ktactive (uid $SANDBOX_ACTIVE): polkit asked for authentication"
expect_clock "root, whom no rule asks" 0 "" 0
rm -f "$SANDBOX"/rules/*.rules
sleep 0.5

echo "--- without polkit only root is served"
sandbox_stop_polkitd
expect_clock "the user at the screen, polkit gone" "$SANDBOX_ACTIVE" 1 $NoAuthority "polkit cannot be asked"
expect_clock "root, polkit gone" 0 "" 0
sandbox_start_polkitd

echo "--- a log that cannot be reached"
mv /dev/log /dev/log.away
expect_clock "the user at the screen, no log" "$SANDBOX_ACTIVE" 1 $NotLogged
mv /dev/log.away /dev/log

echo "--- port 37"
exec 3> >(sandbox_as "$SANDBOX_ACTIVE" 1 "$bin/call" "$bin/kestrine-port-helper" port 127.0.0.1 >"$SANDBOX/port.out")
e2e_wait 10 "the port helper's answer" grep -q '^result' "$SANDBOX/port.out"
[ "$(cat "$SANDBOX/port.out")" = "result 0" ] || fail "the port helper answered $(cat "$SANDBOX/port.out")"
timeout 2 "$rdate" -p -u 127.0.0.1 >/dev/null || fail "no Time answer on port 37 from the helper"
logged_after 0 "answers Time requests on UDP port 37 on 127.0.0.1 for ktactive" || fail "the port's log line"
# The socket stays in the helper: the caller holds only its connection to it.
inode=$(awk 'toupper($2) ~ /:0025$/ { print $10 }' /proc/net/udp)
holders=$({ find /proc/[0-9]*/fd -lname "socket:\[$inode\]" 2>/dev/null || true; } | cut -d/ -f3 | sort -u |
  while read -r pid; do cat "/proc/$pid/comm"; done | sort -u)
[ "$holders" = kestrine-port-h ] || fail "port 37's socket is held by: ${holders:-nobody}"
got=$(sandbox_as "$SANDBOX_OTHER" 2 "$bin/call" "$bin/kestrine-port-helper" port 127.0.0.2 </dev/null || true)
[ "$got" = "result $NotAuthorized" ] || fail "the port helper served a user not in front: $got"
exec 3>&-  # the program's end closes: the helper stops and frees the port
e2e_wait 5 "the port helper to stop" sh -c '! timeout 1 "$0" -p -u 127.0.0.1' "$rdate"
logged_after 0 "stopped answering on UDP port 37 on 127.0.0.1" || fail "the port helper's last log line"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; the log:" >&2
  cat "$SANDBOX_LOG" >&2
  exit 1
fi
echo "the helpers serve root and the user at the screen, as polkit and its rules say, and log every refusal"
