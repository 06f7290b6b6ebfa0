#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program as the package installs it, started by a user without any
# capability of their own: its own requests to set the clock and to bind port 37
# are refused, and go through the two helpers, which the package's post-install
# step gave one capability each. A plugin that the user has Qt load into the
# program finds no capability there. Then the same program as an ordinary user
# at the machine's screen, whom polkit's defaults let the helpers serve, and as
# one who is logged in but not in front, whom they refuse. Inside a user
# namespace, where even a helper's capability cannot reach the real clock, with
# the tests' clock helper, which records the instant instead of setting it, and
# run by with_log.sh, whose log sink is the system log.
# Usage: privilege_journey.sh PROGRAM POSTINST CLOCK_HELPER PORT_HELPER FAKE_SERVER PLUGIN_DIR RECORD POLICY
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/lib.sh"
source "$here/sandbox.sh"
e2e_require_namespace
program=$1 postinst=$2 clock_helper=$3 port_helper=$4 fake_server=$5 plugins=$6 record=$7 policy=$8
rdate=${KESTRINE_PEERS_DIR:?}/usr/sbin/rdate
PATH=$PATH:/usr/sbin:/sbin  # setcap and getcap
if ! command -v setcap >/dev/null; then
  echo "SKIP: no setcap here (libcap2-bin)"
  exit 0
fi

work=$(mktemp -d)
chmod 700 "$work"  # files with capabilities lie here for a while
cleanup() {
  e2e_cleanup
  sandbox_cleanup
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
caps_of() { getcap "$1" | sed 's/^[^ ]* //'; }
# The user's own start: no capability at all, not even as the namespace's root,
# but one that a file's capability can still give a program it starts.
as_user() {
  exec setpriv --securebits +noroot,+noroot_locked,+no_setuid_fixup,+no_setuid_fixup_locked \
    --inh-caps -all --ambient-caps -all --bounding-set -all,+sys_time,+net_bind_service "$@"
}
# run_probed DIR PROGRAM: starts PROGRAM as the user with the probe plugin; sets pid.
run_probed() {
  as_user env QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS= XDG_CONFIG_HOME="$1/config" \
    QT_PLUGIN_PATH="$plugins" QT_QPA_GENERIC_PLUGINS=kestrinecapprobe KESTRINE_CAP_PROBE_OUT="$1/probe" \
    "$2" >"$1/log" 2>&1 &
  pid=$!
  E2E_PIDS+=("$pid")
  e2e_wait 15 "the probe plugin in $2" test -s "$1/probe"
}
stop() {
  kill "$1"
  wait "$1" 2>/dev/null || true
}
stop_as() {
  pkill -TERM -P "$1" || true
  wait "$1" 2>/dev/null || true
}
field() { sed -n "s/^$1:\t//p" "$2"; }

e2e_step "the probe sees a capability where a program file has one"
mkdir -p "$work/capped"
cp "$program" "$work/capped/kestrine"
setcap cap_sys_time+ep "$work/capped/kestrine"
run_probed "$work/capped" "$work/capped/kestrine"
[ "$(field CapEff "$work/capped/probe")" = 0000000002000000 ] ||
  fail "a program file with cap_sys_time gave the plugin CapEff $(field CapEff "$work/capped/probe")"
stop "$pid"

e2e_step "the package's post-install step grants one capability to each helper, none to the program"
root=$work/root
mkdir -p "$root/usr/bin" "$root/usr/libexec/kestrine"
cp "$program" "$root/usr/bin/kestrine"
cp "$clock_helper" "$root/usr/libexec/kestrine/kestrine-clock-helper"
cp "$port_helper" "$root/usr/libexec/kestrine/kestrine-port-helper"
DPKG_ROOT=$root sh "$postinst" configure
[ -z "$(caps_of "$root/usr/bin/kestrine")" ] || fail "the program has $(caps_of "$root/usr/bin/kestrine")"
[ "$(caps_of "$root/usr/libexec/kestrine/kestrine-clock-helper")" = cap_sys_time=ep ] || fail "the clock helper's rights"
[ "$(caps_of "$root/usr/libexec/kestrine/kestrine-port-helper")" = cap_net_bind_service=ep ] ||
  fail "the port helper's rights"

e2e_step "a query, the clock set at start-up through the clock helper, port 37 through the port helper"
# The server's clock is 30 s ahead; the program's folder can be written, so its settings lie beside it.
"$fake_server" 127.0.0.1 123 sntp 30 >"$work/server.log" 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 "the time server" grep -q '^serving' "$work/server.log"
printf '%s\n' '[Common]' bNISTServer=0 ServerType=0 TimeServer=127.0.0.1 ServerProtocol=0 ckSyncTime=0 \
  edtSyncTime=60 ckRunStartup=0 ckSyncOnStart=1 ckTimeLocaFormat=1 ckRunTimeServer=1 >"$root/usr/bin/settings.ini"
rm -f "$record"
run_probed "$work" "$root/usr/bin/kestrine"
e2e_wait 15 "the clock helper's record" test -s "$record"
expected=$(($(date +%s%3N) + 30000))
set_to=$(head -n 1 "$record")
[ "$(wc -l <"$record")" -eq 1 ] || fail "the clock was set $(wc -l <"$record") times"
[ "${set_to#-}" -ge 0 ] 2>/dev/null && [ $((set_to - expected)) -lt 3000 ] && [ $((expected - set_to)) -lt 3000 ] ||
  fail "the clock was set to $set_to, not about $expected"
e2e_wait 10 "an answer on port 37" timeout 2 "$rdate" -p -u 127.0.0.1
timeout 2 "$rdate" -p -u 127.0.0.1 || fail "rdate got no answer on port 37"
for source in "$work/probe" "/proc/$pid/status"; do
  for set in CapEff CapPrm CapInh CapAmb; do
    [ "$(field "$set" "$source")" = 0000000000000000 ] || fail "$set in $source: $(field "$set" "$source")"
  done
done
grep -q 'Connecting\|could not' "$work/log" && fail "the program says: $(cat "$work/log")"
stop "$pid"

if ! sandbox_has_accounts || [ ! -x /usr/lib/polkit-1/polkitd ]; then
  echo "note: no test accounts or no polkitd here, so the program does not run as an ordinary user"
elif ! sandbox_sessions; then
  echo "note: no cgroup2 hierarchy can be written here, so no session can be described to polkit"
else
  e2e_step "as the user at the screen: the clock set and port 37 served through the helpers, as polkit allows"
  sandbox_accounts
  mkdir "$SANDBOX/actions"
  cp "$policy" "$SANDBOX/actions/"
  sandbox_polkit "$SANDBOX/actions"
  sandbox_session 1 "$SANDBOX_ACTIVE" active
  sandbox_session 2 "$SANDBOX_OTHER" online
  chmod 755 "$work"  # the users reach the installed files, and write their own folders only
  chmod 666 "$record"
  : >"$record"
  # run_as UID SESSION DIR: the installed program as that user; sets pid, the
  # shell that waits for it (stop_as ends the program).
  run_as() {
    mkdir -m 700 "$3"
    chown "$1:$1" "$3"
    sandbox_as "$1" "$2" env QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS= HOME="$3" XDG_RUNTIME_DIR="$3" \
      XDG_CONFIG_HOME="$3/config" "$root/usr/bin/kestrine" >"$3.log" 2>&1 &
    pid=$!
    E2E_PIDS+=("$pid")
  }
  run_as "$SANDBOX_ACTIVE" 1 "$work/active"
  e2e_wait 15 "the clock helper's record" test -s "$record"
  e2e_wait 10 "an answer on port 37" timeout 2 "$rdate" -p -u 127.0.0.1
  e2e_wait 5 "the set in the log" grep -q "ktactive (uid $SANDBOX_ACTIVE) sets the clock" "$KESTRINE_TEST_LOG"
  e2e_wait 5 "port 37 in the log" grep -q "answers Time requests on UDP port 37 on 0.0.0.0 for ktactive" \
    "$KESTRINE_TEST_LOG"
  stop_as "$pid"
  e2e_wait 5 "port 37 to be free again" sh -c '! timeout 1 "$0" -p -u 127.0.0.1' "$rdate"

  e2e_step "as a user logged in but not in front: refused, nothing set, nothing served"
  : >"$record"
  run_as "$SANDBOX_OTHER" 2 "$work/other"
  e2e_wait 15 "the refusals in the log" grep -q "refused to serve the Time protocol on port 37 for ktother" "$KESTRINE_TEST_LOG"
  e2e_wait 15 "the clock helper's refusal" grep -q "refused to set the clock for ktother" "$KESTRINE_TEST_LOG"
  [ ! -s "$record" ] || fail "the clock was set for a user not in front"
  ! timeout 1 "$rdate" -p -u 127.0.0.1 >/dev/null 2>&1 || fail "port 37 answers for a user not in front"
  stop_as "$pid"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the program holds no capability; the clock and port 37 went through the helpers, for whom polkit allows"
