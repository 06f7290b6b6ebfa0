#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The notification area of current desktops: a StatusNotifierItem host on a
# private D-Bus session and X server. Such hosts send one activation where an
# XEmbed tray sends a double click; that activation brings the window back.
# Usage: sni_tray_journey.sh PROGRAM
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
e2e_require_namespace
e2e_private_bus "$0" "$@"
e2e_start_x

watcher=org.kde.StatusNotifierWatcher
watcher_get() { dbus-send --session --print-reply --dest=$watcher /StatusNotifierWatcher \
  org.freedesktop.DBus.Properties.Get string:$watcher string:"$1"; }
status-notifier-watcher >/dev/null 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 "the watcher" watcher_get IsStatusNotifierHostRegistered
NO_AT_BRIDGE=1 gtk-sni-tray-standalone --top >/dev/null 2>&1 &
E2E_PIDS+=($!)
host_registered() { watcher_get IsStatusNotifierHostRegistered | grep -q 'boolean true'; }
e2e_wait 10 "the host" host_registered

e2e_start_program "$1"
# The first item the watcher knows: a bus name, with the object's path after it or not.
item() { watcher_get RegisteredStatusNotifierItems | sed -n 's/^ *string "\(.*\)"$/\1/p' | head -1; }
icon_shown() { [ -n "$(item)" ]; }
# The host's click on the item.
activate() {
  local name path
  name=$(item)
  path=/StatusNotifierItem
  case $name in */*) path=/${name#*/}; name=${name%%/*} ;; esac
  dbus-send --session --print-reply --dest="$name" "$path" org.kde.StatusNotifierItem.Activate int32:0 int32:0 >/dev/null
}

e2e_wait 10 "the window" window_shown
window=$(window_shown | head -1)

for state in normal rolled-up; do
  e2e_step "minimized $state, the item is registered with the host and the window hidden"
  xdotool windowminimize "$window"
  e2e_wait 5 "the window to go" window_hidden
  e2e_wait 5 "the item" icon_shown

  e2e_step "the host's activation brings the window back and removes the item"
  activate
  e2e_wait 5 "the window back" window_shown
  e2e_wait 5 "the item to go" icon_gone
  [ $state = rolled-up ] || xdotool mousemove --window "$window" 300 10 click 1  # the roll-up button
done
height=$(xwininfo -id "$window" | awk '/Height:/ {print $2}')
[ "$height" = 22 ] || { echo "FAIL: the window came back $height pixels high, not rolled up"; exit 1; }

xdotool windowactivate --sync "$window" key alt+F4
ended() { ! kill -0 "$program" 2>/dev/null; }
e2e_wait 5 "the program to end" ended
wait "$program" || { echo "FAIL: the program exited with $?"; cat "$work/log"; exit 1; }
echo "PASS"
