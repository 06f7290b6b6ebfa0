#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One journey through the frame on a real X server with a real notification
# area (XEmbed): the window manager's minimize, a double click on the icon, the
# system menu on the caption bar, a single click and the icon's menu, roll-up,
# and Alt+F4.
# Usage: tray_journey.sh PROGRAM
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
e2e_require_namespace
e2e_private_bus "$0" "$@"
e2e_start_desktop

e2e_start_program "$1"
visible_count() { xdotool search --onlyvisible --class kestrine | wc -l; }
# open_menu X Y WINDOW: right-clicks and waits for the menu to show.
open_menu() {
  local before
  before=$(visible_count)
  xdotool mousemove --window "$3" "$1" "$2" click 3
  menu_up() { [ "$(visible_count)" -gt "$before" ]; }
  e2e_wait 5 "the menu" menu_up
  sleep 0.1
}
# open_menu_and_press X Y WINDOW KEY: opens the menu, then picks an item.
open_menu_and_press() {
  open_menu "$1" "$2" "$3"
  xdotool key "$4"
}
height_is() { [ "$(xwininfo -id "$window" | awk '/Height:/ {print $2}')" = "$1" ]; }

e2e_wait 10 "the window" window_shown
window=$(window_shown | head -1)
full_height=$(xwininfo -id "$window" | awk '/Height:/ {print $2}')

e2e_step "the window manager's minimize sends it to the notification area"
xdotool windowminimize "$window"
e2e_wait 5 "the window to go" window_hidden
e2e_wait 5 "the icon" icon_shown

e2e_step "a double click on the icon brings it back"
icon=$(icon_shown | head -1)
xdotool mousemove --window "$icon" 10 10 click --repeat 2 --delay 80 1
e2e_wait 5 "the window back" window_shown
e2e_wait 5 "the icon to go" icon_gone

e2e_step "the system menu on the caption bar: Ro&llup, then Minimize to &Tray"
open_menu_and_press 150 10 "$window" l
e2e_wait 5 "the window rolled up" height_is 22
open_menu_and_press 150 10 "$window" t
e2e_wait 5 "the window to go" window_hidden
e2e_wait 5 "the icon" icon_shown

e2e_step "a single click on the icon does nothing; its menu's &Restore brings it back rolled up"
icon=$(icon_shown | head -1)
xdotool mousemove --window "$icon" 10 10 click 1
# The X server delivers the clicks in order: with the menu up, the single click has been handled.
open_menu 10 10 "$icon"
window_hidden || { echo "FAIL: a single click on the icon brought the window back"; exit 1; }
xdotool key r
e2e_wait 5 "the window back" window_shown
e2e_wait 5 "the window still rolled up" height_is 22

e2e_step "the roll-up button unrolls it; Alt+F4 ends the program"
xdotool mousemove --window "$window" 300 10 click 1
e2e_wait 5 "the window unrolled" height_is "$full_height"
xdotool windowactivate --sync "$window" key alt+F4
ended() { ! kill -0 "$program" 2>/dev/null; }
e2e_wait 5 "the program to end" ended
wait "$program" || { echo "FAIL: the program exited with $?"; cat "$work/log"; exit 1; }
echo "PASS"
