#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes docs/screenshot.png: the window after a successful query (normal, then
# rolled up) on a private X server, against a local chronyd standing in for the
# default time server. Runs itself inside a private network namespace.
#   bash scripts/screenshot.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${KESTRINE_IN_NAMESPACE:-}" ]; then
  exec env KESTRINE_IN_NAMESPACE=1 unshare -rn bash "$0" "$@"
fi
build=$(cd "$1" && pwd)
source "$root/tests/e2e/lib.sh"
ip link set lo up
e2e_require_namespace

e2e_default_server "$root"
e2e_start_desktop
cp "$build/qt/kestrine" "$work/"
XDG_CONFIG_HOME="$work/config" "$work/kestrine" >/dev/null 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 "the window" xdotool search --onlyvisible --name '^Kestrine $'
window=$(xdotool search --onlyvisible --name '^Kestrine $' | head -1)
sleep 3
import -window "$window" "$work/normal.png"
xdotool mousemove --window "$window" 300 10 click 1  # the roll-up button
sleep 1
import -window "$window" "$work/rolled.png"
convert "$work/normal.png" -background '#d0d4da' -splice 0x12 \( "$work/rolled.png" -splice 0x12 \) \
  -append -bordercolor '#d0d4da' -border 12 "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"
