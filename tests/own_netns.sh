#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a test in a network namespace of its own, nested in the tree's (made by
# scripts/test.sh), with its loopback up: tests that serve on the well-known
# ports (37, 123) or on the same loopback addresses can then run side by side.
# What else is keyed by the X display's number gets a folder of the test's own,
# in a mount namespace of its own: an X server started with -displayfd picks
# its number by the sockets it can bind, and a new network namespace holds none
# of the others' abstract sockets, so two tests' displays may have one number.
# Those folders are /tmp/.X11-unix and the program's single-instance claims:
# $XDG_RUNTIME_DIR (scripts/testns.sh makes one per tree) or, without it,
# /tmp/kestrine-UID. The user namespace, and so the
# mapped test accounts, stay the tree's.
#   bash tests/own_netns.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 64; }
claims=/tmp/kestrine-$(id -u)
# Mount points; the program makes its folder 0700 just so.
[ -d /tmp/.X11-unix ] || mkdir -p -m 1777 /tmp/.X11-unix
[ -d "$claims" ] || mkdir -m 700 "$claims"
runtime=${XDG_RUNTIME_DIR:-$claims}
[ -d "$runtime" ] || mkdir -m 700 "$runtime"
exec unshare --net --mount --propagation private -- sh -c '
  ip link set lo up &&
    mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix &&
    mount -t tmpfs -o mode=700 tmpfs "$0" &&
    { [ "$1" = "$0" ] || mount -t tmpfs -o mode=700 tmpfs "$1"; } &&
    shift && exec "$@"' "$claims" "$runtime" "$@"
