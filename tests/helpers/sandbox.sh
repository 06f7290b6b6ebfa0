# SPDX-License-Identifier: MIT
# Pieces of the privileged helpers' journeys, all inside a mount namespace of
# the test's own (scripts/testns.sh made the user and network namespaces):
#   sandbox_dev SINK         /dev of its own, with a system log (/dev/log) whose
#                            lines go to $SANDBOX_LOG
#   sandbox_accounts         /etc/passwd and /etc/group with the test accounts
#   sandbox_polkit ACTIONS   a private system bus with polkitd on it, the
#                            actions of folder ACTIONS and the rules of
#                            $SANDBOX/rules (empty at first)
#   sandbox_sessions         where sessions are described (false: nowhere)
#   sandbox_session ...      a session as logind describes it to polkit
#   sandbox_as UID SESSION CMD...   CMD as that user, inside that session
# No logind runs here: polkit reads sessions from /run/systemd and a process's
# session from its cgroup, so sandbox_session writes both as logind would.

# e2e_wait, the end-to-end checks' bounded wait.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

# The test accounts; scripts/testns.sh maps exactly these ids.
SANDBOX_ACTIVE=1000  # at the machine's screen, in the active session
SANDBOX_OTHER=1001   # logged in at the machine, not in front, or not at all
SANDBOX_REMOTE=1002  # logged in over the network; its group is ktclock
SANDBOX_SYSTEM=33    # a system account (www-data)
SANDBOX_NOBODY=65534

# sandbox_enter "$0" "$@": runs the calling script again in a mount namespace of its own.
sandbox_enter() {
  if [ -z "${SANDBOX_ENTERED:-}" ]; then
    SANDBOX_ENTERED=1 exec unshare --mount --propagation private -- bash "$@"
  fi
}

# Whether this namespace maps the test accounts (scripts/testns.sh run as root).
sandbox_has_accounts() {
  awk -v want="$SANDBOX_ACTIVE" '$1 == want { found = 1 } END { exit !found }' /proc/self/uid_map
}

# Made in the mount namespace, after sandbox_enter.
SANDBOX=
[ -z "${SANDBOX_ENTERED:-}" ] || { SANDBOX=$(mktemp -d) && chmod 755 "$SANDBOX"; }
SANDBOX_LOG=$SANDBOX/syslog
SANDBOX_PIDS=()
SANDBOX_CGROUP=
sandbox_cleanup() {
  local pid
  for pid in "${SANDBOX_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${SANDBOX_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "$SANDBOX_CGROUP" ] && [ -d "$SANDBOX_CGROUP" ]; then
    find "$SANDBOX_CGROUP" -depth -type d -exec rmdir {} + 2>/dev/null || true
  fi
  [ -z "$SANDBOX" ] || rm -rf "$SANDBOX"
}

sandbox_dev() {
  local sink=$1 node
  mkdir "$SANDBOX/dev"
  mount -t tmpfs -o mode=755 tmpfs "$SANDBOX/dev"
  for node in null zero full random urandom tty; do
    touch "$SANDBOX/dev/$node"
    mount --bind "/dev/$node" "$SANDBOX/dev/$node"
  done
  mkdir -m 1777 "$SANDBOX/dev/shm"
  ln -s /proc/self/fd "$SANDBOX/dev/fd"
  ln -s /proc/self/fd/0 "$SANDBOX/dev/stdin"
  ln -s /proc/self/fd/1 "$SANDBOX/dev/stdout"
  ln -s /proc/self/fd/2 "$SANDBOX/dev/stderr"
  mount --move "$SANDBOX/dev" /dev
  : >"$SANDBOX_LOG"
  "$sink" /dev/log "$SANDBOX_LOG" &
  SANDBOX_PIDS+=($!)
  e2e_wait 5 "the test's system log" test -S /dev/log
}

sandbox_accounts() {
  mkdir -p "$SANDBOX/etc"
  grep -E '^(root|www-data|polkitd|nobody):' /etc/passwd >"$SANDBOX/etc/passwd"
  grep -E '^(root|www-data|polkitd|nogroup):' /etc/group >"$SANDBOX/etc/group"
  cat >>"$SANDBOX/etc/passwd" <<EOF
ktactive:x:$SANDBOX_ACTIVE:$SANDBOX_ACTIVE::/nonexistent:/usr/sbin/nologin
ktother:x:$SANDBOX_OTHER:$SANDBOX_OTHER::/nonexistent:/usr/sbin/nologin
ktremote:x:$SANDBOX_REMOTE:$SANDBOX_REMOTE::/nonexistent:/usr/sbin/nologin
EOF
  cat >>"$SANDBOX/etc/group" <<EOF
ktactive:x:$SANDBOX_ACTIVE:
ktother:x:$SANDBOX_OTHER:
ktclock:x:$SANDBOX_REMOTE:ktremote
EOF
  chmod 644 "$SANDBOX/etc/passwd" "$SANDBOX/etc/group"
  mount --bind "$SANDBOX/etc/passwd" /etc/passwd
  mount --bind "$SANDBOX/etc/group" /etc/group
}

# The bus polkit and the helpers find at the system bus's own path.
sandbox_bus() {
  mount -t tmpfs -o mode=755 tmpfs /run
  mkdir -p /run/dbus /run/systemd/system /run/systemd/sessions /run/systemd/seats /run/systemd/users \
    /run/systemd/machines
  cat >"$SANDBOX/bus.conf" <<'EOF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
  dbus-daemon --config-file="$SANDBOX/bus.conf" --nofork --nopidfile >"$SANDBOX/bus.log" 2>&1 &
  SANDBOX_PIDS+=($!)
  e2e_wait 5 "the system bus" test -S /run/dbus/system_bus_socket
}

SANDBOX_POLKITD=
sandbox_polkit() {
  local actions=$1
  sandbox_bus
  mkdir -p "$SANDBOX/rules"
  mount --bind "$actions" /usr/share/polkit-1/actions
  mount --bind "$SANDBOX/rules" /etc/polkit-1/rules.d
  sandbox_start_polkitd
}

# sandbox_sessions: the cgroup folder under which sandbox_session describes
# sessions; false where no cgroup2 hierarchy can be written here.
sandbox_sessions() {
  local cgroup2
  cgroup2=$(awk '$9 == "cgroup2" { print $5; exit }' /proc/self/mountinfo)
  [ -n "$cgroup2" ] || return 1
  SANDBOX_CGROUP=$cgroup2/kestrine-test-$$.slice
  mkdir -p "$SANDBOX_CGROUP" 2>/dev/null || { SANDBOX_CGROUP= && return 1; }
}

sandbox_start_polkitd() {
  /usr/lib/polkit-1/polkitd --no-debug >"$SANDBOX/polkitd.log" 2>&1 &
  SANDBOX_POLKITD=$!
  SANDBOX_PIDS+=($!)
  e2e_wait 10 "polkitd on the bus" pkaction
}

sandbox_stop_polkitd() {
  kill "$SANDBOX_POLKITD"
  wait "$SANDBOX_POLKITD" 2>/dev/null || true
}

# sandbox_rule NAME TEXT: a rule in /etc/polkit-1/rules.d, as an administrator
# would write it; polkitd reads the folder again when it changes.
sandbox_rule() {
  printf '%s\n' "$2" >"$SANDBOX/rules/$1.rules"
  sleep 0.5  # polkitd takes the change from inotify
}

# sandbox_session ID UID STATE [remote]: STATE active (in front of the screen)
# or online (logged in at the machine, another session in front); remote: over
# the network, at no seat, which logind counts as active.
sandbox_session() {
  local id=$1 uid=$2 state=$3 where=${4:-seat0} seat=seat0 remote=0 active=0 name
  name=$(getent passwd "$uid" | cut -d: -f1)
  [ "$where" = remote ] && seat= && remote=1
  [ "$state" = active ] && active=1
  printf 'UID=%s\nUSER=%s\nACTIVE=%s\nSTATE=%s\nREMOTE=%s\nTYPE=%s\nCLASS=user\nSEAT=%s\n' \
    "$uid" "$name" "$active" "$state" "$remote" "$([ "$remote" = 1 ] && echo tty || echo x11)" "$seat" \
    >"/run/systemd/sessions/$id"
  printf 'NAME=%s\nSTATE=%s\nSESSIONS=%s\n' "$name" "$state" "$id" >"/run/systemd/users/$uid"
  mkdir -p "$SANDBOX_CGROUP/user.slice/user-$uid.slice/session-$id.scope"
}

# sandbox_as UID SESSION CMD...: CMD as the user UID with its groups, in the
# cgroup of session SESSION (empty: in none, as a system service or cron job).
sandbox_as() {
  local uid=$1 session=$2 procs=
  shift 2
  if [ -n "$session" ]; then
    procs=$(echo "$SANDBOX_CGROUP"/user.slice/user-*.slice/"session-$session.scope/cgroup.procs")
  fi
  PROCS=$procs setpriv_uid=$uid sh -c '[ -z "$PROCS" ] || echo $$ >"$PROCS"; exec setpriv --reuid "$setpriv_uid" --regid "$setpriv_uid" --init-groups --inh-caps=-all -- "$@"' sh "$@"
}
