#!/usr/bin/env bash
# Start-up time of the Windows program under Wine: from starting Kestrine.exe to
# its window being shown on a private X server, over several starts (median),
# with a warm wineserver and desktop (one start first, not counted; Notepad
# stays open meanwhile). Measured as
# bench/startup.sh measures the Linux program: from outside, polling X.
# Run inside a private network namespace:
#   unshare -rn bash bench/win_startup.sh BUILD_DIR [STARTS]
# BUILD_DIR is a Windows tree (cmake/mingw-w64-posix.cmake).
set -euo pipefail
build=$1
starts=${2:-9}
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
cp "$build/win32/Kestrine.exe" "$work/"

# start_once: prints the milliseconds from the start to the window shown.
start_once() {
  local start program
  start=$(date +%s%N)
  wine "$work/Kestrine.exe" >/dev/null 2>&1 &
  program=$!
  until xdotool search --onlyvisible --name '^Kestrine $' >/dev/null 2>&1; do sleep 0.005; done
  echo $((($(date +%s%N) - start) / 1000000))
  kill "$program"
  wait "$program" || true
  # The window's X window goes with the process; the next start must not see it.
  while xdotool search --name '^Kestrine $' >/dev/null 2>&1; do sleep 0.005; done
}

# Wine's desktop process ends about a second after its last program, and each
# start would then pay for a new one: a program that stays keeps it warm.
wine notepad >/dev/null 2>&1 &
first=$(start_once)
times=()
for _ in $(seq "$starts"); do times+=("$(start_once)"); done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
echo "first start after wineboot: $first ms"
echo "start-up to the window shown, warm, ms: $sorted(median $(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((starts + 1) / 2))p"))"
