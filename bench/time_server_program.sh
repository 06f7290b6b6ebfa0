#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Time protocol server as a user meets it: the real program, its window on a
# private X server with a window manager, its settings ticking "Run as local time
# server" (and its clock display ticking against a fake SNTP server), under the
# bounded load of another process (8 sockets x 16 in flight); beside a bare
# recvmmsg/sendmmsg loop in a process of its own, the ceiling, measured in turn
# in each round. Prints each round and the medians.
#   bash scripts/testns.sh bash bench/time_server_program.sh BUILD_DIR [ROUNDS] [SECONDS]
set -euo pipefail
build=$(cd "$1" && pwd)
rounds=${2:-3}
seconds=${3:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/lib.sh"
e2e_require_namespace
peers=$build/bench/time_peers
e2e_start_x

work=$(mktemp -d)
trap 'e2e_cleanup; rm -rf "$work"' EXIT
cp "$build/qt/kestrine" "$work/"
"$build/tests/Fakes/kestrine_fake_server" 127.0.0.1 123 sntp 0 >"$work/server.log" 2>&1 &
E2E_PIDS+=($!)
printf '%s\n' '[Common]' bNISTServer=0 ServerType=0 TimeServer=127.0.0.1 ServerProtocol=0 ckSyncTime=0 \
  edtSyncTime=60 ckRunStartup=0 ckSyncOnStart=0 ckTimeLocaFormat=1 ckRunTimeServer=1 >"$work/settings.ini"
XDG_CONFIG_HOME=$work/config "$work/kestrine" >"$work/log" 2>&1 &
program=$!
E2E_PIDS+=($program)
e2e_wait 15 "the program's window" xdotool search --onlyvisible --name '^Kestrine $'
answers() { "$peers" load "$1" 1 1 1 | grep -qv '^replies/s 0 '; }
e2e_wait 15 "the program's answers on port 37" answers 37
"$peers" bare 3737 >"$work/bare.log" 2>&1 &
E2E_PIDS+=($!)
e2e_wait 5 "the bare loop" answers 3737

ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
field() { awk -v name="$1" '{ for (i = 1; i < NF; ++i) if ($i == name) print $(i + 1) }'; }
echo "8 sockets x 16 in flight, $seconds s each, $rounds rounds"
bare_rates=() program_rates=() ratios=() cpus=()
for round in $(seq "$rounds"); do
  bare=$("$peers" load 3737 "$seconds" 8 16)
  before=$(cpu "$program")
  served=$("$peers" load 37 "$seconds" 8 16)
  after=$(cpu "$program")
  b=$(field replies/s <<<"$bare")
  p=$(field replies/s <<<"$served")
  replies=$(awk -v rate="$p" -v s="$seconds" 'BEGIN { printf "%d", rate * s }')
  per=$(awk -v c=$((after - before)) -v t="$ticks" -v n="$replies" 'BEGIN { printf "%.2f", n ? c / t * 1e6 / n : 0 }')
  ratio=$(awk -v p="$p" -v b="$b" 'BEGIN { printf "%.2f", p / b }')
  echo "round $round: bare loop $b/s; program $p/s (lost $(field lost <<<"$served"), p50 $(field p50 <<<"$served") us, p99 $(field p99 <<<"$served") us, $per us of its processor time per reply); ratio $ratio"
  bare_rates+=("$b") program_rates+=("$p") ratios+=("$ratio") cpus+=("$per")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "medians: bare loop $(median "${bare_rates[@]}")/s, program $(median "${program_rates[@]}")/s, ratio $(median "${ratios[@]}") (min $(printf '%s\n' "${ratios[@]}" | sort -g | head -1), max $(printf '%s\n' "${ratios[@]}" | sort -g | tail -1)), program $(median "${cpus[@]}") us per reply"
grep -q 'Connecting\|could not' "$work/log" && echo "the program said: $(cat "$work/log")"
true
