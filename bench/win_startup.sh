#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Start-up time of the Windows program under Wine: from starting Kestrine.exe to
# its window being shown on a private X server, over several starts (median),
# with a warm wineserver and desktop (one start first, not counted; Notepad
# stays open meanwhile). Measured as
# bench/startup.sh measures the Linux program: from outside, polling X.
# Where BUILD_DIR has bench/bare_win32_window.exe (a tree with the tests), a
# bare window with the same controls is started beside it in each round; and
# with OTHER_BUILD_DIR, that tree's program too (before and after a change),
# all in one warm wineserver, alternately. Run inside a private network namespace:
#   unshare -rn bash bench/win_startup.sh BUILD_DIR [STARTS] [OTHER_BUILD_DIR]
# BUILD_DIR is a Windows tree (cmake/mingw-w64-posix.cmake).
set -euo pipefail
build=$1
starts=${2:-9}
other=${3:-}
if ip -o link show | awk -F': ' '$2 != "lo" { found = 1 } END { exit !found }'; then
  echo "win_startup.sh: run inside 'unshare -rn'" >&2
  exit 1
fi
ip link set lo up

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-winbench.XXXXXX")
xvfb=''
cleanup() {
  set +e
  [ -z "$xvfb" ] || kill "$xvfb"
  wineserver -k
  wineserver -w
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
until [ -s "$work/display" ]; do sleep 0.01; done
export DISPLAY=:$(cat "$work/display")

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEPREFIX=$work/prefix
mkdir "$WINEPREFIX"
wineserver -p
# With DISPLAY set, so that Wine's desktop gets the X driver.
wine wineboot -i >/dev/null 2>&1
# The subjects, each a program and its window's caption, in the order of a round.
mkdir "$work/program"
cp "$build/win32/Kestrine.exe" "$work/program/"
subjects=("program|$work/program/Kestrine.exe|Kestrine ")
if [ -f "$build/bench/bare_win32_window.exe" ]; then
  cp "$build/bench/bare_win32_window.exe" "$work/"
  subjects+=("bare window|$work/bare_win32_window.exe|bare")
fi
if [ -n "$other" ]; then
  mkdir "$work/other"
  # A tree of an older commit may have its program in win/.
  cp "$other/win32/Kestrine.exe" "$work/other/" 2>/dev/null || cp "$other/win/Kestrine.exe" "$work/other/"
  subjects+=("program of $other|$work/other/Kestrine.exe|Kestrine ")
fi

# start_once PROGRAM CAPTION: prints the milliseconds from the start to the window shown.
start_once() {
  local start program
  start=$(date +%s%N)
  wine "$1" >/dev/null 2>&1 &
  program=$!
  until xdotool search --onlyvisible --name "^$2\$" >/dev/null 2>&1; do sleep 0.005; done
  echo $((($(date +%s%N) - start) / 1000000))
  kill "$program"
  wait "$program" || true
  # The window's X window goes with the process; the next start must not see it.
  while xdotool search --name "^$2\$" >/dev/null 2>&1; do sleep 0.005; done
}

# Wine's desktop process ends about a second after its last program, and each
# start would then pay for a new one: a program that stays keeps it warm.
wine notepad >/dev/null 2>&1 &
declare -A times firsts
for subject in "${subjects[@]}"; do
  IFS='|' read -r name program caption <<<"$subject"
  firsts[$name]=$(start_once "$program" "$caption")
done
for _ in $(seq "$starts"); do
  for subject in "${subjects[@]}"; do
    IFS='|' read -r name program caption <<<"$subject"
    times[$name]+="$(start_once "$program" "$caption") "
  done
done
for subject in "${subjects[@]}"; do
  IFS='|' read -r name _ _ <<<"$subject"
  sorted=$(printf '%s\n' ${times[$name]} | sort -n)
  echo "$name: first start ${firsts[$name]} ms; warm, ms: $(echo $sorted) (median $(sed -n "$(((starts + 1) / 2))p" <<<"$sorted"))"
done
