#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages Kestrine needs: `run` to build and start it,
# `test` to also run every test. A machine that has them all does no apt work.
set -euo pipefail

# fonts-liberation2: a sans serif of the Windows metrics that the window's fixed layout is made for.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev qt6-base-dev iproute2 util-linux fonts-liberation2)
case "${1:-}" in
  run) ;;
  test) packages+=(xvfb xdotool imagemagick openbox trayer x11-utils desktop-file-utils lintian appstream libcap2-bin python3-pyatspi at-spi2-core dbus-daemon dbus-bin polkitd clang clang-format clang-tidy libclang-rt-14-dev lld g++-mingw-w64-x86-64-posix googletest wine wine64 nsis
    haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils) ;;
  *) echo "usage: $0 run|test" >&2; exit 64 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "deps.sh: installing ${missing[*]}"
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  -o DPkg::Lock::Timeout=600 "${missing[@]}"
