#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Idle CPU and resident memory of the program after a successful query, beside a
# bare Qt window with the same 500 ms timer, both running at the same time on one
# private X server for the same minute. Run inside a private network namespace:
#   unshare -rn bash bench/idle.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$1
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/lib.sh"
e2e_require_namespace
ip link set lo up

# The default time server, answered by a local chronyd, so the first query succeeds.
e2e_default_server "$root"

e2e_start_desktop
cp "$build/qt/kestrine" "$work/"
export XDG_CONFIG_HOME="$work/config"
"$work/kestrine" >/dev/null 2>&1 &
program=$!
E2E_PIDS+=($program)
"$build/bench/bare_window" >/dev/null 2>&1 &
bare=$!
E2E_PIDS+=($bare)
sleep 5  # start-up and the first query are over

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Time on a processor in nanoseconds, all threads (the scheduler's count, finer than ticks).
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{n += $1} END {print n}'; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
p0=$(ticks $program); b0=$(ticks $bare); pn0=$(cpu_ns $program); bn0=$(cpu_ns $bare)
sleep "$seconds"
p1=$(ticks $program); b1=$(ticks $bare); pn1=$(cpu_ns $program); bn1=$(cpu_ns $bare)
hz=$(getconf CLK_TCK)
cpu() { awk -v t="$1" -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.3f", 100 * t / hz / s}'; }
echo "over ${seconds} s (CPU in % of one core, resident memory in KiB):"
ms() { awk -v n="$1" 'BEGIN {printf "%.1f", n / 1e6}'; }
echo "kestrine:    CPU $(cpu $((p1 - p0))) % ($(ms $((pn1 - pn0))) ms)  RSS $(rss $program) KiB"
echo "bare window: CPU $(cpu $((b1 - b0))) % ($(ms $((bn1 - bn0))) ms)  RSS $(rss $bare) KiB"
awk -v a="$(rss $program)" -v b="$(rss $bare)" 'BEGIN {printf "memory ratio %.2f\n", a / b}'
