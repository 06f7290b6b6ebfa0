#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A second start of the program on the same display: it brings the first one's
# window back from the notification area and ends at once, without writing the
# settings; the first goes on and saves them when it ends.
# Usage: second_start_journey.sh PROGRAM
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
e2e_require_namespace
e2e_private_bus "$0" "$@"
e2e_start_desktop

e2e_start_program "$1"
e2e_wait 10 "the window" window_shown
window=$(window_shown | head -1)

e2e_step "the first program goes to the notification area"
xdotool windowminimize "$window"
e2e_wait 5 "the window to go" window_hidden
e2e_wait 5 "the icon" icon_shown

e2e_step "a second start brings the window back and ends without touching the settings"
second_status=0
timeout 10 "$work/kestrine" >"$work/second.log" 2>&1 || second_status=$?
[ "$second_status" -eq 0 ] || { echo "FAIL: the second start exited with $second_status"; cat "$work/second.log"; exit 1; }
e2e_wait 5 "the window back" window_shown
e2e_wait 5 "the icon to go" icon_gone
[ "$(window_shown | head -1)" = "$window" ] || { echo "FAIL: another window came up"; exit 1; }
[ ! -e "$work/settings.ini" ] || { echo "FAIL: the second start wrote settings.ini"; exit 1; }
kill -0 "$program" || { echo "FAIL: the first program ended"; exit 1; }

e2e_step "the first program ends as always and saves its settings"
kill -TERM "$program"
wait "$program" || { echo "FAIL: the program exited with $?"; cat "$work/log"; exit 1; }
[ -s "$work/settings.ini" ] || { echo "FAIL: no settings saved at the end"; exit 1; }
echo "PASS"
