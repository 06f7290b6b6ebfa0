#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Journeys of the Windows program under Wine: each starts KestrineJourney.exe
# from a fresh folder on a private X server with a notification area (trayer),
# drives it with kestrine_driver.exe and serves it time from Linux fakes.
# KestrineJourney.exe only pretends to set the clock: it appends each instant
# it is handed (ms since 1970 UTC) to $KESTRINE_CLOCK_LOG.
# Usage: journeys.sh nist|custom|failure|settings|frame PROGRAM DRIVER FAKE_SERVER PEERS_DIR
# Runs only inside a private network namespace with its wineserver and
# WINEPREFIX (scripts/test.sh makes both).
set -euo pipefail
journey=$1 program=$2 driver=$3 fake_server=$4 peers=$5

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
if ip -o link show | awk -F': ' '{print $2}' | grep -qv '^lo$'; then
  fail "this journey must run inside a private network namespace (scripts/test.sh makes one)"
fi
[ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set: run through scripts/test.sh, which makes a prefix and a wineserver"

# A program that crashes ends at once instead of waiting in Wine's debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe="

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-journey.XXXXXX")
pids=()
addresses=()
# The palette a journey replaced, put back for the tests after it under the same wineserver.
saved_palette=""
cleanup() {
  local pid address
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  for address in "${addresses[@]}"; do ip addr del "$address" dev lo 2>/dev/null || true; done
  # shellcheck disable=SC2086 # four words
  [ -z "$saved_palette" ] || wine "$driver" palette $saved_palette >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

step() { echo "--- $*"; }

# wait_for SECONDS WHAT COMMAND...: retries COMMAND until it succeeds.
wait_for() {
  local seconds=$1 what=$2 deadline
  shift 2
  deadline=$(($(date +%s%N) + seconds * 1000000000))
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -le "$deadline" ] || fail "gave up after $seconds s waiting for $what"
    sleep 0.05
  done
}

drive() { wine "$driver" "$@"; }

# The tree's X server and notification area when scripts/test.sh made them
# (Wine's desktop process keeps the display of the wineserver's first program),
# else a private one.
start_desktop() {
  local fifo display
  if [ -n "${DISPLAY:-}" ] && xdotool search --classname panel >/dev/null 2>&1; then return; fi
  fifo=$work/displayfd
  mkfifo "$fifo"
  # -noreset: Xvfb would reset when its last client leaves, refusing one that connects meanwhile.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  pids+=($!)
  read -r -t 10 display <"$fifo" || fail "Xvfb did not start"
  export DISPLAY=":$display"
  # With trayer's default width request Wine's icon stays blank and takes no clicks.
  trayer --edge top --align right --widthtype pixel --width 64 --height 24 >/dev/null 2>&1 &
  pids+=($!)
  wait_for 10 "the notification area" xdotool search --classname panel
}

# fake NAME ADDRESS PORT sntp|time|silent OFFSET: a fake server whose log counts its requests.
fake() {
  "$fake_server" "$2" "$3" "$4" "$5" >"$work/$1.log" 2>&1 &
  pids+=($!)
  wait_for 5 "the fake server $1" grep -q '^serving' "$work/$1.log"
}
requests() { grep -c '^request' "$work/$1.log" || true; }
more_requests() { [ "$(requests "$1")" -gt "$2" ]; }

# start_program [SETTINGS_FILE]: a fresh folder, so settings.ini lies beside the program.
start_program() {
  app=$work/app$((${#pids[@]}))
  mkdir -p "$app"
  cp "$program" "$app/KestrineJourney.exe"
  [ -z "${1:-}" ] || cp "$1" "$app/settings.ini"
  clock_log=$app/clock.log
  # Drive Z: is the Linux root in every prefix.
  KESTRINE_CLOCK_LOG="Z:${clock_log//\//\\}" wine "$app/KestrineJourney.exe" >"$app/log" 2>&1 &
  program_pid=$!
  pids+=("$program_pid")
  drive wait-window 20
}

close_program() {
  drive close 10
  wait "$program_pid" || fail "the program exited with $?"
}

now_ms() { date +%s%3N; }
clock_lines() { [ -f "$clock_log" ] && wc -l <"$clock_log" || echo 0; }
has_clock_lines() { [ "$(clock_lines)" -ge "$1" ]; }
# expect_clock_set LINE SHIFT_MS FROM_MS: line LINE of the clock log is the instant
# between FROM_MS and now, shifted by SHIFT_MS, within a second.
expect_clock_set() {
  local line=$1 shift_ms=$2 from=$3 to value
  wait_for 5 "the clock to be set" has_clock_lines "$line"
  to=$(now_ms)
  value=$(sed -n "${line}p" "$clock_log" | tr -d '\r')
  [ "$value" -ge $((from + shift_ms - 1000)) ] && [ "$value" -le $((to + shift_ms + 1000)) ] ||
    fail "the clock was set to $value, not $shift_ms ms from the time between $from and $to"
}

rdate_answers() { timeout 3 "$peers/usr/sbin/rdate" -p -u 127.0.0.1; }

server_time=TeSEdit1
difference=TeSEdit3
sync_button=TeButton1
refresh=TeButton2
nist=ckNistServer
custom=ckCustomServer
address=edtServer
protocol=cbSeverType
current=labCurServer

# A request that arrives while a query runs is dropped: wait until the running
# one has been shown.
time_offset_shown() {
  case "$(drive text "$difference" | tr -d '\r')" in
    "6 seconds ahead" | "7 seconds ahead") return 0 ;;
  esac
  return 1
}
query_done() { drive expect-not-text "$server_time" "Connecting time sever..." 5; }

# Choose a custom server by its address: the click starts a query at once.
choose_custom() { drive set-text "$address" "$1" click "$custom" expect-enabled "$address" 1 2 expect-enabled "$protocol" 1 2; }

journey_nist() {
  # The default NIST server and most of the list are unreachable (no route: the
  # send fails at once); one entry answers on loopback, 4.5 s ahead.
  ip addr add 132.163.97.1/32 dev lo
  addresses+=(132.163.97.1/32)
  fake nist 132.163.97.1 123 sntp 4.5
  start_program
  step "the walk through the NIST list ends on the entry that answers"
  drive expect-checked "$nist" 1 1 expect-enabled "$address" 0 1 expect-enabled "$protocol" 0 1 \
    expect-text "$current" "Current Server: 132.163.97.1" 20 expect-text "$difference" "-4 seconds behind" 10
  close_program
}

journey_custom() {
  fake sntp 127.0.0.1 123 sntp 4.5
  fake time 127.0.0.1 37 time -6
  start_program
  step "a custom server by SNTP: 4.5 s ahead of this clock"
  choose_custom 127.0.0.1
  drive expect-text "$current" "Current Server: 127.0.0.1" 10 expect-text "$difference" "-4 seconds behind" 15

  step "Refresh asks again (the program keeps its requests to one server 4 s apart)"
  local before
  before=$(requests sntp)
  drive click "$refresh"
  wait_for 10 "a new SNTP request" more_requests sntp "$before"
  query_done

  step "the Time protocol: 6 s behind this clock, in whole seconds"
  # The protocol counts whole seconds, so what the server read at the end of a
  # second may arrive in the next one: 7 is as right as 6.
  drive select "$protocol" 1
  wait_for 15 "the Time protocol's offset" time_offset_shown
  [ "$(requests time)" -ge 1 ] || fail "the Time server was never asked"

  step "a time change announced by another program starts a query"
  before=$(requests time)
  drive timechange
  wait_for 10 "a Time request after the broadcast" more_requests time "$before"
  query_done

  step "Synchroize hands the clock setter the clock's instant minus the offset"
  wait_for 10 "the Time protocol's offset" time_offset_shown
  local offset
  offset=$(drive text "$difference" | tr -d '\r' | cut -d' ' -f1)
  before=$(now_ms)
  drive click "$sync_button" expect-text "$difference" "time synchronized" 2
  expect_clock_set 1 "-${offset}000" "$before"
  close_program
}

journey_failure() {
  start_program
  step "with no NIST server reachable the walk ends in failure, then Unknown"
  drive expect-text "$server_time" "no good nisd server" 10 expect-text "$difference" "Unknown" 5

  step "a silent server: invalid time error after the time-out, then Unknown, then a new attempt"
  fake silent 127.0.0.1 123 silent 0
  choose_custom 127.0.0.1
  wait_for 10 "the first request to the silent server" more_requests silent 0
  drive expect-text "$server_time" "invalid time error" 15 expect-text "$difference" "Unknown" 5 \
    expect-text "$server_time" "Connecting time sever..." 5
  wait_for 5 "the repeated request" more_requests silent 1
  close_program
}

journey_settings() {
  fake sntp 127.0.0.1 123 sntp 4.5
  start_program
  step "the user's choices on every page, and the Time server answering rdate on port 37"
  choose_custom 127.0.0.1
  drive page 1 set-text edtSyncTime 5 click ckSyncTime click ckSyncOnStart \
    page 2 click ckUTCFormat click ckRunTimeServer \
    expect-checked ckTimeLocaFormat 0 1 expect-text "$difference" "-4 seconds behind" 15
  wait_for 10 "an answer to rdate" rdate_answers
  close_program
  if rdate_answers; then fail "the Time server still answers after the program ended"; fi

  step "closing saved the ten keys in their order"
  local saved=$app/settings.ini expected
  expected=$(printf '%s\n' '[Common]' bNISTServer=0 ServerType=0 TimeServer=127.0.0.1 ServerProtocol=0 ckSyncTime=1 \
    edtSyncTime=5 ckRunStartup=0 ckSyncOnStart=1 ckTimeLocaFormat=0 ckRunTimeServer=1)
  [ "$(tr -d '\r' <"$saved" | grep -v '^$')" = "$expected" ] ||
    fail "settings.ini holds: $(cat "$saved"), not $expected"

  step "a new start takes them up: the same choices, the Time server, the clock set once a query succeeds"
  local from
  from=$(now_ms)
  start_program "$saved"
  drive expect-checked "$custom" 1 2 expect-text "$address" 127.0.0.1 2 expect-checked ckSyncTime 1 2 \
    expect-text edtSyncTime 5 2 expect-checked ckSyncOnStart 1 2 \
    expect-checked ckUTCFormat 1 2 expect-checked ckRunTimeServer 1 2
  expect_clock_set 1 4000 "$from"
  drive expect-text "$difference" "time synchronized" 5
  wait_for 10 "an answer to rdate" rdate_answers
  close_program
}

# The program's icon in trayer: Wine docks it as an explorer.exe window in the panel.
icon_position() {
  local panel
  for panel in $(xdotool search --classname panel); do
    xwininfo -tree -id "$panel" | awk '/"explorer.exe"/ { split($NF, p, "+"); print p[2], p[3]; exit }'
  done
}
icon_shown() { [ -n "$(icon_position)" ]; }
double_click_icon() {
  local x y
  wait_for 5 "the icon in the notification area" icon_shown
  read -r x y < <(icon_position)
  xdotool mousemove $((x + 5)) $((y + 5)) click --repeat 2 --delay 80 1
}

journey_frame() {
  start_program
  local normal rolled tray full
  normal='Mi&nimize;Ro&llup;Minimize to &Tray;-;&Close\tAlt+F4'
  rolled='&Restore;Mi&nimize;Minimize to &Tray;-;&Close\tAlt+F4'
  tray='&Restore;-;&Close\tAlt+F4'
  full=$(drive window-rect | awk '{ print $4 }')

  step "roll-up shrinks the window to its caption bar; Restore brings it back"
  drive expect-menu "$normal" 5 syscommand 'Ro&llup' expect-height 1 $((full / 4)) 5 expect-menu "$rolled" 5 \
    syscommand '&Restore' expect-height "$full" "$full" 5 expect-menu "$normal" 5

  step "Minimize to Tray hides the window; a double click on the icon brings it back"
  drive syscommand 'Minimize to &Tray' expect-visible 0 5 expect-menu "$tray" 5
  double_click_icon
  drive expect-visible 1 5 expect-height "$full" "$full" 5 expect-menu "$normal" 5
  wait_for 5 "the icon to go" eval '! icon_shown'

  step "the system's minimize of a rolled-up window goes to the tray too, and it comes back rolled up"
  drive syscommand 'Ro&llup' expect-height 1 $((full / 4)) 5 minimize expect-visible 0 5
  double_click_icon
  drive expect-visible 1 5 expect-height 1 $((full / 4)) 5 expect-menu "$rolled" 5 \
    syscommand '&Restore' expect-height "$full" "$full" 5

  step "the caption bar's buttons: roll-up there and back, minimize and minimize-to-tray to the icon, close"
  drive click RollupButton expect-height 1 $((full / 4)) 5 \
    click RollupButton expect-height "$full" "$full" 5 click MinimizeButton expect-visible 0 5
  double_click_icon
  drive expect-visible 1 5 click TrayButton expect-visible 0 5
  double_click_icon
  drive expect-visible 1 5 click CloseButton wait-gone 10
  wait "$program_pid" || fail "the program exited with $?"
}

journey_second() {
  start_program
  step "a second start brings the window back from the notification area and ends, settings untouched"
  drive syscommand 'Minimize to &Tray' expect-visible 0 5
  local status=0
  timeout 20 wine "$app/KestrineJourney.exe" >"$app/second.log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "the second start exited with $status"
  drive expect-visible 1 5
  [ ! -e "$app/settings.ini" ] || fail "the second start wrote settings.ini"
  kill -0 "$program_pid" 2>/dev/null || fail "the first program ended"
  close_program
  [ -s "$app/settings.ini" ] || fail "the first program saved no settings"
}

# xdotool's keys reach the window under the pointer: park it on a label of the window.
window_origin() { drive window-rect | awk '{ print $1, $2 }'; }
point_at_window() {
  local x y lx ly
  read -r x y < <(window_origin)
  read -r lx ly _ < <(drive rect TeLabel1)
  xdotool mousemove $((x + lx + 4)) $((y + ly + 4)) click 1
}
key() { xdotool key --delay 60 "$@"; }

journey_keyboard() {
  fake sntp 127.0.0.1 123 sntp 4.5
  start_program
  point_at_window
  local tabs=TePageControl1
  step "Tab visits the controls in their order, the page control among them, and comes round again"
  drive expect-focus "$sync_button" 5
  local control
  for control in "$server_time" TeSEdit2 "$refresh" "$difference" "$tabs" "$nist" "$sync_button"; do
    key Tab
    drive expect-focus "$control" 2
  done
  key shift+Tab
  drive expect-focus "$nist" 2

  step "Ctrl+Tab leaves no focus on the hidden page: Space, a letter and Alt+N are answered"
  key ctrl+Tab
  drive expect-focus "$tabs" 2
  key space x alt+n
  drive answering expect-focus "$tabs" 2
  key Tab
  drive expect-focus ckSyncTime 2
  key ctrl+Next
  drive expect-focus "$tabs" 2 answering
  key ctrl+shift+Tab ctrl+Prior
  drive expect-focus "$tabs" 2 answering

  step "the arrows move within the radio group; Space ticks a check box; Esc closes the error box"
  key Tab Down
  drive expect-checked "$custom" 1 2 expect-focus "$custom" 2
  key Tab
  drive expect-focus "$address" 2 set-text "$address" 127.0.0.1 \
    expect-text "$difference" "-4 seconds behind" 15
  key ctrl+Tab
  drive set-text edtSyncTime x
  key Tab space
  drive expect-checked ckSyncTime 1 2 expect-box 1 5
  key Escape
  drive expect-box 0 5 answering

  step "Enter presses the focused button: Synchroize sets the clock"
  local before
  before=$(now_ms)
  key shift+Tab shift+Tab
  drive expect-focus "$difference" 2
  key shift+Tab shift+Tab shift+Tab shift+Tab
  drive expect-focus "$sync_button" 2
  key Return
  drive expect-text "$difference" "time synchronized" 5
  expect_clock_set 1 4000 "$before"
  close_program
}

# The Difference box's background colour, and its text pixels: those of another colour.
difference_box() {
  local x y lx ly w h
  read -r x y < <(window_origin)
  read -r lx ly w h < <(drive rect "$difference")
  import -window root -crop "$((w - 8))x$((h - 8))+$((x + lx + 4))+$((y + ly + 4))" "$work/box.png"
  local background
  background=$(convert "$work/box.png" -format '%[pixel:p{0,0}]' info:)
  echo "$background $(convert "$work/box.png" -fill white +opaque "$background" -fill black -opaque "$background" \
    -format '%[fx:int(mean*w*h)]' info:)"
}

journey_contrast() {
  step "a high-contrast palette (white text on black) set through the system: the Difference box's text shows"
  saved_palette=$(drive palette 000000 000000 FFFFFF FFFFFF | tr -d '\r')
  start_program
  drive expect-text "$difference" "Unknown" 20
  local background ink
  read -r background ink < <(difference_box)
  cp "$work/box.png" "${KESTRINE_SCREENSHOTS:-$work}/contrast-difference.png" 2>/dev/null || true
  case "$background" in "srgb(0,0,0)" | black | "gray(0)") ;; *) fail "the palette did not reach the program: $background" ;; esac
  [ "$ink" -gt 20 ] || fail "the Difference box shows no text on the high-contrast palette ($ink pixels)"
  close_program
}

journey_tray() {
  start_program
  step "a click on the icon restores the window, as Enter or Space on it do"
  drive syscommand 'Minimize to &Tray' expect-visible 0 5
  local x y
  wait_for 5 "the icon in the notification area" icon_shown
  read -r x y < <(icon_position)
  xdotool mousemove $((x + 5)) $((y + 5)) click 1
  drive expect-visible 1 5
  drive syscommand 'Minimize to &Tray' expect-visible 0 5 tray keyselect expect-visible 1 5

  step "the menu opens from the keyboard too; Esc closes it and leaves the window in the notification area"
  drive syscommand 'Minimize to &Tray' expect-visible 0 5 tray contextmenu expect-popup 1 5
  # The menu opens to the left of its anchor, under the pointer, where xdotool's keys go.
  xdotool mousemove "$(($(xdotool getdisplaygeometry | cut -d' ' -f1) - 45))" 20
  key Escape
  drive expect-popup 0 5 expect-visible 0 1 answering tray select expect-visible 1 5
  close_program

  step "a shell that refuses the icon: the window stays until the icon comes"
  KESTRINE_TRAY_REFUSALS=2 start_program
  drive syscommand 'Minimize to &Tray' expect-visible 1 0.5 expect-visible 0 5
  wait_for 5 "the icon in the notification area" icon_shown
  drive tray select expect-visible 1 5
  close_program

  step "one that never takes it: an ordinary minimize, and the window comes back from it"
  KESTRINE_TRAY_REFUSALS=1000 start_program
  drive syscommand 'Minimize to &Tray' expect-iconic 1 30 expect-menu 'Mi&nimize;Ro&llup;Minimize to &Tray;-;&Close\tAlt+F4' 5 \
    syscommand 0xF120 expect-iconic 0 5 expect-visible 1 5
  close_program
}

# At 144 DPI every size is half as large again; WM_DPICHANGED to 96 builds the 96-DPI layout.
expect_size() {
  local got
  got=$(drive rect "$1" | tr -d '\r' | awk '{ print $3, $4 }')
  [ "$got" = "$2" ] || fail "control $1 is $got large, not $2"
}
journey_dpi() {
  start_program
  local at96 origin width96
  at96=$(drive rect "$refresh" | tr -d '\r')
  width96=$(drive window-rect | awk '{ print $3 }')
  close_program
  step "the layout at 144 DPI"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
  start_program
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  local w h
  read -r _ _ w h <<<"$at96"
  expect_size "$refresh" "$(((w * 3 + 1) / 2)) $(((h * 3 + 1) / 2))"
  [ "$(drive window-rect | awk '{ print $3 }')" = "$(((width96 - 2) * 3 / 2 + 2))" ] ||
    fail "the window is $(drive window-rect | awk '{ print $3 }') wide at 144 DPI"
  step "WM_DPICHANGED to 96: the 96-DPI layout, the window where it was"
  origin=$(window_origin)
  drive dpichanged 96
  [ "$(drive rect "$refresh" | tr -d '\r')" = "$at96" ] || fail "at 96 DPI again Refresh lies at $(drive rect "$refresh")"
  [ "$(window_origin)" = "$origin" ] || fail "the window moved from $origin to $(window_origin)"
  close_program
}

case "$journey" in
  contrast | tray | dpi) ;;
  nist | custom | failure | settings | keyboard)
    if [ ! -x "$fake_server" ]; then
      echo "SKIP: no Linux fake server at '$fake_server': build kestrine_fake_server in the Linux tree" \
        "and configure this tree with -DKESTRINE_LINUX_TOOLS=<Linux tree>/tests/Fakes" >&2
      exit 77
    fi ;;
  frame | second) ;;
  *) fail "no journey named '$journey'" ;;
esac
start_desktop
"journey_$journey"
echo "PASS"
