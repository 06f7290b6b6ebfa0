#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The window as two builds draw it, side by side: each program on a private X
# server of its own, after a successful query (a local chronyd answers as the
# default time server), the same actions sent to both and both windows taken at
# the same moment, then compared pixel by pixel. The clocks tick, so a state
# whose shots differ is taken again (at most 6 times) in the middle of a second.
# Runs itself inside a private network namespace.
#   bash bench/look_compare.sh BEFORE_BUILD AFTER_BUILD [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${KESTRINE_IN_NAMESPACE:-}" ]; then
  exec env KESTRINE_IN_NAMESPACE=1 unshare -rn bash "$0" "$@"
fi
before=$(cd "$1" && pwd)
after=$(cd "$2" && pwd)
out=${3:-$(mktemp -d)}
mkdir -p "$out"
source "$root/tests/e2e/lib.sh"
ip link set lo up
e2e_require_namespace

e2e_default_server "$root"

declare -A display window
for side in before after; do
  e2e_start_desktop
  display[$side]=$DISPLAY
  build=${!side}
  mkdir -p "$work/$side"
  cp "$build/qt/kestrine" "$work/$side/"
  XDG_CONFIG_HOME="$work/$side/config" "$work/$side/kestrine" >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  e2e_wait 10 "the window" xdotool search --onlyvisible --name '^Kestrine $'
  window[$side]=$(xdotool search --onlyvisible --name '^Kestrine $' | head -1)
done
sleep 3  # the first query is over

click() {  # click X Y, then the pointer leaves the window
  local side
  for side in before after; do
    DISPLAY=${display[$side]} xdotool mousemove --window "${window[$side]}" "$1" "$2" click 1 mousemove 1000 700
  done
}
hover() {
  local side
  for side in before after; do DISPLAY=${display[$side]} xdotool mousemove --window "${window[$side]}" "$1" "$2"; done
  sleep 0.15
}
escape() {
  local side
  for side in before after; do DISPLAY=${display[$side]} xdotool key Escape; done
}
system_menu() {  # a right click on the caption, the menu closed first if open
  local side
  escape
  for side in before after; do
    DISPLAY=${display[$side]} xdotool mousemove --window "${window[$side]}" 100 10 click 3
  done
  sleep 0.3
}

failed=0
# shot NAME [WHAT [ACTION...]]: both windows (WHAT: the window, or root for the
# screen) after ACTION, taken again mid-second while they differ.
shot() {
  local name=$1 what=${2:-window} attempt differing= side
  shift $(($# > 1 ? 2 : 1))
  for attempt in 1 2 3 4 5 6; do
    sleep 0.3
    # Half a second into a second both programs' twice-a-second ticks have shown it.
    sleep "$(date +%N | awk '{d = 0.52 - $1 / 1e9; if (d < 0) d += 1; print d}')"
    [ $# -eq 0 ] || "$@"
    for side in before after; do
      if [ "$what" = root ]; then  # the window and what is around it
        DISPLAY=${display[$side]} import -window root -crop 600x450+300+150 "$out/$name-$side.png"
      else
        DISPLAY=${display[$side]} import -window "${window[$side]}" "$out/$name-$side.png"
      fi
    done
    differing=$(compare -metric AE "$out/$name-before.png" "$out/$name-after.png" "$out/$name-diff.png" 2>&1 || true)
    [ "$differing" = 0 ] && break
  done
  echo "$name: $differing differing pixels ($attempt shots)"
  [ "$differing" = 0 ] || failed=1
}

shot query-done           # first page: radio buttons, a disabled box and list
click 130 190; shot page-2  # check boxes and a number box
click 177 231; shot focus   # the cursor in the number box
click 195 190; shot page-3  # two group boxes
click 50 190
# Taken as the pointer arrives, before the button's tooltip shows.
shot hover-caption-button window hover 302 11
hover 145 145; shot hover-button
hover 302 11; sleep 1.5; shot tooltip root
system_menu; shot system-menu root
escape
hover 1000 700
click 302 11; shot rolled-up
click 302 11
echo "shots in $out"
exit $failed
