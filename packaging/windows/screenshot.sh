#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes docs/screenshot-windows.png: the Windows program under Wine on a private
# X server after a successful query, against a local chronyd standing in for
# the default time server. Runs itself inside a private network namespace.
#   bash packaging/windows/screenshot.sh BUILD_DIR
# BUILD_DIR is a Windows tree with its tests (tests/installer/installer_probe.exe).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${KESTRINE_IN_NAMESPACE:-}" ]; then
  exec env KESTRINE_IN_NAMESPACE=1 unshare -rn bash "$0" "$@"
fi
build=$(cd "$1" && pwd)
probe=$build/tests/installer/installer_probe.exe
ip link set lo up

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-shot.XXXXXX")
pids=()
cleanup() {
  set +e
  wineserver -k
  wineserver -w
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for SECONDS WHAT COMMAND...
wait_for() {
  local end=$((SECONDS + $1)) what=$2
  shift 2
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$end" ] || { echo "screenshot.sh: no $what after $1 s" >&2; exit 1; }
    sleep 0.1
  done
}

server=129.6.15.29  # the default time server
ip addr add "$server/32" dev lo
printf 'local stratum 1\nallow %s\nbindaddress %s\ncmdport 0\nbindcmdaddress /\npidfile %s/chronyd.pid\n' \
  "$server" "$server" "$work" >"$work/chrony.conf"
"$root/.peers/usr/sbin/chronyd" -d -x -4 -u root -f "$work/chrony.conf" >"$work/chronyd.log" 2>&1 &
pids+=($!)

exec 3>"$work/display"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
exec 3>&-
wait_for 10 "X server" test -s "$work/display"
export DISPLAY=:$(cat "$work/display")

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEPREFIX=$work/prefix
mkdir "$WINEPREFIX"
wineserver -p
wine wineboot -i >/dev/null 2>&1
mkdir "$work/app"
cp "$build/win32/Kestrine.exe" "$work/app/"
wine "$work/app/Kestrine.exe" >/dev/null 2>&1 &
pids+=($!)
window=$(wine "$probe" window 20000 | tr -d '\r')
# The Difference box (1002) once the answer is shown; then one more tick, so
# that the two clocks show the same second.
synchronized() { wine "$probe" text 1002 | grep -q 'time synchronized'; }
wait_for 20 "synchronized time" synchronized
server_time=$(wine "$probe" text 1000)
changed() { [ "$(wine "$probe" text 1000)" != "$server_time" ]; }
wait_for 5 "tick" changed
# "window "Kestrine " at X,Y size WxH pid P": Win32 screen coordinates are X's.
read -r x y w h < <(sed -n 's/.* at \(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\) size \([0-9]*\)x\([0-9]*\) .*/\1 \2 \3 \4/p' <<<"$window")
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/window.png"
convert "$work/window.png" -bordercolor '#d0d4da' -border 12 "$root/docs/screenshot-windows.png"
echo "wrote docs/screenshot-windows.png"
