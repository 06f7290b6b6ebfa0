#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Unpacks chrony, xinetd and rdate into .peers for the tests that talk to real
# peers. They are never installed: their packages would enable system services.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
peers=$root/.peers
sudo=()
nosandbox=()
# As root apt drops to _apt for downloads, which cannot write into the work tree.
if [ "$(id -u)" -eq 0 ]; then nosandbox=(-o APT::Sandbox::User=root); else sudo=(sudo); fi

download() {
  # A fresh machine has no package lists yet: fetch them once, then retry.
  (cd "$peers/debs" && apt-get "${nosandbox[@]}" download "$1") ||
    { "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update &&
      (cd "$peers/debs" && apt-get "${nosandbox[@]}" download "$1"); }
}

mkdir -p "$peers/debs"
for pkg in chrony xinetd rdate; do
  [ -e "$peers/.$pkg.unpacked" ] && continue
  rm -f "$peers/debs/${pkg}_"*.deb
  download "$pkg"
  dpkg-deb -x "$peers/debs/${pkg}_"*.deb "$peers"
  touch "$peers/.$pkg.unpacked"
done

binaries=("$peers/usr/sbin/chronyd" "$peers/usr/sbin/xinetd" "$peers/usr/sbin/rdate")
unresolved() { ldd "${binaries[@]}" | grep 'not found' || true; }
if [ -n "$(unresolved)" ]; then
  # Install only the libraries the unpacked programs link against.
  libs=()
  for deb in "$peers/debs/"*.deb; do
    for dep in $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed -E 's/[(|].*//; s/^ +//; s/ +$//'); do
      case "$dep" in lib*)
        [ "$(dpkg-query -W -f='${Status}' "$dep" 2>/dev/null)" = "install ok installed" ] || libs+=("$dep") ;;
      esac
    done
  done
  echo "fetch-peers.sh: installing libraries ${libs[*]}"
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "${libs[@]}"
fi
if [ -n "$(unresolved)" ]; then
  echo "fetch-peers.sh: the peers in $peers still miss libraries: $(unresolved)" >&2
  exit 1
fi
