#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What the program does with its command line: --help and --version answer on
# standard output without a desktop and touch nothing; an argument it does not
# know ends it with a message and status 2 before any window, a later start's
# too; Qt's own options (here the -session a desktop session restarts it with)
# are taken.
# Usage: command_line.sh PROGRAM VERSION
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
e2e_require_namespace
e2e_private_bus "$0" "$@"
version=$2
work=$(mktemp -d)
cp "$1" "$work/kestrine"
export XDG_CONFIG_HOME="$work/config"
fail() { echo "FAIL: $*"; exit 1; }

e2e_step "--help and --version without a desktop"
while IFS='|' read -r argument first; do
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/kestrine" $argument >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 0 ] || fail "$argument exited with $status: $(cat "$work/err")"
  [ "$(head -1 "$work/out")" = "$first" ] || fail "$argument printed: $(cat "$work/out")"
  [ ! -s "$work/err" ] || fail "$argument wrote to standard error: $(cat "$work/err")"
done <<CASES
--help|Usage: kestrine [--help | --version]
--version|Kestrine $version
-platform offscreen --version|Kestrine $version
CASES
[ ! -e "$work/settings.ini" ] && [ ! -e "$work/config" ] || fail "--help or --version wrote settings"
# A closed standard output is an error, not a silent success.
status=0
env -u DISPLAY "$work/kestrine" --version >/dev/full 2>/dev/null || status=$?
[ "$status" -ne 0 ] || fail "--version into a full device ended with 0"

e2e_start_desktop
e2e_step "an unknown argument: a message, status 2, no window, no settings"
status=0
timeout 10 "$work/kestrine" --bogus >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "--bogus exited with $status"
grep -qF "kestrine: unknown argument '--bogus'" "$work/err" || fail "--bogus said: $(cat "$work/err")"
[ ! -e "$work/settings.ini" ] || fail "--bogus wrote settings.ini"
window_hidden || fail "--bogus showed a window"

e2e_step "Qt's own -session option is taken"
"$work/kestrine" -session kestrine-test >"$work/log" 2>&1 &
program=$!
E2E_PIDS+=($program)
e2e_wait 10 "the window" window_shown
e2e_step "a later start with an unknown argument says so too, and the first goes on"
status=0
timeout 10 "$work/kestrine" --bogus >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "a later start with --bogus exited with $status"
grep -qF "kestrine: unknown argument '--bogus'" "$work/err" || fail "a later --bogus said: $(cat "$work/err")"
kill -0 "$program" || fail "the first program ended"
kill "$program"
wait "$program" || true
echo "PASS"
