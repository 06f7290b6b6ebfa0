#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Resident memory by mapping (/proc/PID/smaps) of the program after a successful
# query and of the bare Qt window beside it (as bench/idle.sh runs them), and
# the mappings where they differ by more than 30 KiB. Runs itself inside a
# private network namespace.
#   bash bench/rss_by_mapping.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${KESTRINE_IN_NAMESPACE:-}" ]; then
  exec env KESTRINE_IN_NAMESPACE=1 unshare -rn bash "$0" "$@"
fi
build=$(cd "$1" && pwd)
out=${2:-$(mktemp -d)}
mkdir -p "$out"
source "$root/tests/e2e/lib.sh"
ip link set lo up
e2e_require_namespace

e2e_default_server "$root"
e2e_start_desktop
cp "$build/qt/kestrine" "$work/"
XDG_CONFIG_HOME="$work/config" "$work/kestrine" >/dev/null 2>&1 &
program=$!
E2E_PIDS+=($program)
"$build/bench/bare_window" >/dev/null 2>&1 &
bare=$!
E2E_PIDS+=($bare)
sleep 6  # start-up and the first query are over

by_mapping() {  # KiB NAME per mapping name, the program's copy named kestrine
  awk '/^[0-9a-f]+-[0-9a-f]+ / {name = ($6 == "" ? "[anon]" : $6)} /^Rss:/ {rss[name] += $2}
       END {for (n in rss) if (rss[n] > 0) print rss[n], n}' "/proc/$1/smaps" |
    sed 's|/tmp/[^ ]*/kestrine$|kestrine|' | sort -k2
}
by_mapping $program >"$out/kestrine.txt"
by_mapping $bare >"$out/bare.txt"
for side in program bare; do echo "$side: $(grep VmRSS "/proc/${!side}/status")"; done
echo "KiB more in the program (program, bare, mapping):"
join -1 2 -2 2 -a1 -a2 -e0 -o 0,1.1,2.1 "$out/kestrine.txt" "$out/bare.txt" |
  awk '{d = $2 - $3; if (d > 30 || d < -30) print d, $2, $3, $1}' | sort -rn
