# SPDX-License-Identifier: MIT
# Shared pieces of the end-to-end checks: a private X display with a window
# manager and a notification area, and waits that give up after a bound.
# Only ever run inside the test's private network namespace.

e2e_require_namespace() {
  local others
  others=$(ip -o link show | awk -F': ' '{print $2}' | grep -v '^lo$' || true)
  if [ -n "$others" ]; then
    echo "This test must run inside a private network namespace (scripts/test.sh makes one)." >&2
    exit 2
  fi
}

# e2e_private_bus "$0" "$@": runs the calling script again on a D-Bus session of
# its own, so that a notification-area host on the caller's session is never seen.
e2e_private_bus() {
  if [ -z "${E2E_PRIVATE_BUS:-}" ]; then
    E2E_PRIVATE_BUS=1 exec dbus-run-session -- bash "$@"
  fi
}

E2E_PIDS=()
e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${E2E_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap e2e_cleanup EXIT

# Starts Xvfb on a free display and openbox; exports DISPLAY.
e2e_start_x() {
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  # -noreset: Xvfb would otherwise reset when its last client leaves, refusing one that connects meanwhile.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  read -r -t 10 display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$display"
  openbox >/dev/null 2>&1 &
  E2E_PIDS+=($!)
}

# A desktop with an XEmbed notification area: e2e_start_x and trayer.
e2e_start_desktop() {
  e2e_start_x
  trayer --edge top --align right --widthtype pixel --width 100 --height 24 >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  e2e_wait 10 "the notification area" xdotool search --class trayer
}

# e2e_wait SECONDS WHAT COMMAND...: retries COMMAND until it succeeds.
e2e_wait() {
  local seconds=$1 what=$2 deadline
  shift 2
  deadline=$(($(date +%s%N) + seconds * 1000000000))
  until "$@" >/dev/null 2>&1; do
    if [ "$(date +%s%N)" -gt "$deadline" ]; then
      echo "FAIL: gave up waiting for $what" >&2
      exit 1
    fi
    sleep 0.05
  done
}

e2e_step() { echo "--- $*"; }

# e2e_start_program PROGRAM: a copy of the program in a fresh folder (so its
# settings.ini lies there), with a configuration folder of its own. Sets work
# and program, and shows window_shown for the journeys.
e2e_start_program() {
  work=$(mktemp -d)
  cp "$1" "$work/kestrine"
  export XDG_CONFIG_HOME="$work/config"
  "$work/kestrine" >"$work/log" 2>&1 &
  program=$!
  E2E_PIDS+=($program)
}

window_shown() { xdotool search --onlyvisible --name '^Kestrine $'; }
window_hidden() { ! window_shown; }
# Under XEmbed the icon is the program's other visible window: the one that is
# not the main window ($window). A journey on another host defines its own.
icon_shown() { xdotool search --onlyvisible --class kestrine | grep -vx "${window:-none}"; }
icon_gone() { ! icon_shown; }

# e2e_default_server ROOT: the program's default time server (the second NIST
# address) on the loopback, answered by a local chronyd from ROOT/.peers, so its
# first query succeeds. Sets work, a fresh folder that holds chronyd's files.
e2e_default_server() {
  local server=129.6.15.29
  ip addr add "$server/32" dev lo
  work=$(mktemp -d)
  printf 'local stratum 1\nallow %s\nbindaddress %s\ncmdport 0\nbindcmdaddress /\npidfile %s/chronyd.pid\n' \
    "$server" "$server" "$work" >"$work/chrony.conf"
  "$1/.peers/usr/sbin/chronyd" -d -x -4 -u root -f "$work/chrony.conf" >"$work/chronyd.log" 2>&1 &
  E2E_PIDS+=($!)
}
