#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The system-menu icon on a real X server: one click opens the menu, a second
# click on the icon closes it again, and a double click ends the program.
# Usage: system_menu_journey.sh PROGRAM
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
e2e_require_namespace
e2e_start_desktop

e2e_start_program "$1"
visible_count() { xdotool search --onlyvisible --class kestrine | wc -l; }
menu_up() { [ "$(visible_count)" -gt 1 ]; }
menu_gone() { [ "$(visible_count)" -eq 1 ]; }
ended() { ! kill -0 "$program" 2>/dev/null; }

e2e_wait 10 "the window" window_shown
window=$(window_shown | head -1)
# A window manager that activates the window later would close a menu already open.
xdotool windowactivate --sync "$window"

e2e_step "one click on the icon opens the menu; a later click on the icon closes it"
xdotool mousemove --window "$window" 10 10 click 1
e2e_wait 5 "the menu" menu_up
sleep 0.6  # past the double-click time, so the next click is a click of its own
xdotool click 1
e2e_wait 5 "the menu to close" menu_gone
kill -0 "$program" || { echo "FAIL: the program ended on two separate clicks"; exit 1; }

e2e_step "a double click on the icon ends the program"
xdotool mousemove --window "$window" 10 10 click --repeat 2 --delay 80 1
e2e_wait 5 "the program to end" ended
wait "$program" || { echo "FAIL: the program exited with $?"; cat "$work/log"; exit 1; }
echo "PASS"
