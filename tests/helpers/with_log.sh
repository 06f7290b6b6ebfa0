#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a test program in a mount namespace of its own whose /dev/log is the
# tests' log sink: the helpers refuse to act without a system log, and the
# test reads what they logged from $KESTRINE_TEST_LOG.
# Usage: with_log.sh LOG_SINK PROGRAM [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/sandbox.sh"
sandbox_enter "$0" "$@"
trap sandbox_cleanup EXIT
sink=$1
shift
sandbox_dev "$sink"
status=0
KESTRINE_TEST_LOG=$SANDBOX_LOG "$@" || status=$?
exit "$status"
