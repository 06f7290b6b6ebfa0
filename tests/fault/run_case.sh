#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs one fault or load case against the built program on a private X display
# with a private D-Bus session and accessibility bus, through which the case
# reads the window. Usage: run_case.sh PROGRAM CASE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "$1")
case=$2

source "$here/../e2e/lib.sh"
e2e_require_namespace

if [ -z "${FAULT_IN_SESSION:-}" ]; then
  # The name lookup case points the resolver at its own file: a mount namespace
  # of its own keeps that from everyone else.
  mount=()
  [ "$case" != lookup ] || mount=(unshare -m)
  export FAULT_IN_SESSION=1
  exec "${mount[@]}" dbus-run-session -- bash "$0" "$program" "$case"
fi

e2e_start_desktop
# A runtime folder of the case's own, before the accessibility bus puts its
# socket there (else in ~/.cache, by the display's number, which a case on
# another display of that number in its own namespace may have too).
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
# Started before the program, so that the program finds the accessibility bus.
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
E2E_PIDS+=($!)
e2e_wait 10 "the accessibility bus" dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus \
  org.a11y.Bus.GetAddress
status=0
/usr/bin/python3 "$here/cases.py" "$case" "$program" || status=$?
rm -rf "$XDG_RUNTIME_DIR"
exit "$status"
