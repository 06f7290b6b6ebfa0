#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up time: from starting the program to its window being shown on a private
# X server, over several starts (median). Run inside a private network namespace:
#   unshare -rn bash bench/startup.sh BUILD_DIR [STARTS]
set -euo pipefail
build=$1
starts=${2:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/lib.sh"
e2e_require_namespace
ip link set lo up
e2e_start_desktop
work=$(mktemp -d)
cp "$build/qt/kestrine" "$work/"
export XDG_CONFIG_HOME="$work/config"
times=()
for _ in $(seq "$starts"); do
  start=$(date +%s%N)
  "$work/kestrine" >/dev/null 2>&1 &
  program=$!
  until xdotool search --onlyvisible --name '^Kestrine $' >/dev/null 2>&1; do sleep 0.005; done
  times+=($((($(date +%s%N) - start) / 1000000)))
  kill "$program"
  wait "$program" || true
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
echo "start-up to the window shown, ms: $sorted(median $(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((starts + 1) / 2))p"))"
