#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Kestrine (into build-run/, apart from the test builds) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh run
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRINE_BUILD_TESTS=OFF
cmake --build build-run

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Kestrine needs a graphical desktop: no DISPLAY or WAYLAND_DISPLAY is set." >&2
  exit 1
fi
exec build-run/qt/kestrine "$@"
