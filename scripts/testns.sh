#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command inside a private network namespace and a user namespace of its
# own, with the loopback interface up: there no test reaches a real network,
# and no capability reaches the real clock.
#   bash scripts/testns.sh COMMAND [ARGS...]
# Run as root, the namespace maps a few accounts besides root onto themselves,
# so that tests can act as other users (polkit's daemon, ordinary users,
# system accounts) and ask the privileged helpers as each. Otherwise it is
# `unshare -rn`, where only root exists, and those tests skip.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 64; }

# A runtime folder of the namespace's own: the program claims its display there,
# and two namespaces' private X servers may both be :0.
runtime=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-ns-runtime.XXXXXX")
export XDG_RUNTIME_DIR=$runtime
trap 'rm -rf "$runtime"' EXIT

if [ "$(id -u)" -ne 0 ] || [ "$(cat /proc/self/uid_map 2>/dev/null | tr -s ' ')" != " 0 0 4294967295" ]; then
  status=0
  unshare -rn sh -c 'ip link set lo up && exec "$@"' sh "$@" || status=$?
  exit "$status"
fi

# The ids the tests use (tests/helpers/sandbox.sh names them): root,
# www-data's 33 as a system account, the test users 1000-1002, nobody, and
# the account polkitd switches to, where polkit is installed.
ids=(0 33 1000 1001 1002 65534)
polkitd=$(getent passwd polkitd | cut -d: -f3 || true)
[ -z "$polkitd" ] || ids+=("$polkitd")
map=$(mktemp)
fifo=$(mktemp -u)
trap 'rm -rf "$map" "$fifo" "$runtime"' EXIT
printf '%s\n' "${ids[@]}" | sort -nu | awk '{print $1, $1, 1}' >"$map"
mkfifo "$fifo"
# The child waits until its maps are written; only a process that is root
# outside may write a map of more than its own id.
unshare --user --net -- sh -c 'read -r go <"$0" && ip link set lo up && exec "$@"' "$fifo" "$@" &
child=$!
until [ "$(readlink "/proc/$child/ns/user" 2>/dev/null)" != "$(readlink /proc/self/ns/user)" ]; do
  kill -0 "$child" 2>/dev/null || break
  sleep 0.01
done
# One write each: a map is taken whole or not at all.
cat "$map" >"/proc/$child/uid_map"
cat "$map" >"/proc/$child/gid_map"
echo go >"$fifo"
status=0
wait "$child" || status=$?
exit "$status"
