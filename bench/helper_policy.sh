#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What asking polkit costs one setting of the clock: the tests' clock helper
# (it records instead of setting) asked as the program asks it, by root (served
# without polkit) and by the user at the screen (polkit asked over the system
# bus), interleaved round by round; the median and p90 of each, in ms.
# Run inside scripts/testns.sh as root (it needs the test accounts):
#   bash scripts/testns.sh bash bench/helper_policy.sh BUILD_DIR [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")/../tests/helpers" && pwd)
source "$here/sandbox.sh"
sandbox_enter "$0" "$@"
trap sandbox_cleanup EXIT
build=$(cd "$1" && pwd)
rounds=${2:-200}
sandbox_has_accounts || { echo "needs the test accounts: bash scripts/testns.sh as root" >&2; exit 1; }

sandbox_dev "$build/tests/helpers/kestrine_log_sink"
sandbox_accounts
mkdir "$SANDBOX/actions"
cp "$here/../../packaging/org.kestrine.policy" "$SANDBOX/actions/"
sandbox_polkit "$SANDBOX/actions"
sandbox_sessions
sandbox_session 1 "$SANDBOX_ACTIVE" active
bin=$SANDBOX/libexec
mkdir -m 755 "$bin"
cp "$build/tests/helpers/kestrine-clock-helper-testclock" "$bin/kestrine-clock-helper"
cp "$build/tests/helpers/kestrine_helper_call" "$bin/call"
chmod 755 "$bin"/*
/usr/sbin/setcap cap_sys_time+ep "$bin/kestrine-clock-helper"
record=$(sed -n 's/^KESTRINE_TEST_CLOCK_RECORD:INTERNAL=//p' "$build/CMakeCache.txt")
: >"$record"
chmod 666 "$record"

# One call, timed from inside the caller's shell: prints milliseconds.
timed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
root_times=() user_times=()
for _ in $(seq "$rounds"); do
  root_times+=("$(timed sandbox_as 0 "" "$bin/call" "$bin/kestrine-clock-helper" clock 0)")
  user_times+=("$(timed sandbox_as "$SANDBOX_ACTIVE" 1 "$bin/call" "$bin/kestrine-clock-helper" clock 0)")
done
stats() {
  sort -n | awk '{ v[NR] = $1 } END { printf "median %.2f ms, p90 %.2f ms\n", v[int((NR + 1) / 2)] / 1000, v[int(NR * 0.9)] / 1000 }'
}
echo "root, served without polkit:        $(printf '%s\n' "${root_times[@]}" | stats)"
echo "the user at the screen, polkit asked: $(printf '%s\n' "${user_times[@]}" | stats)"
echo "clock set $(wc -l <"$record") times in $((2 * rounds)) calls"
