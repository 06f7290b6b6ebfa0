#!/usr/bin/env bash
# Builds the Debian package from a build tree into a scratch folder, reads its
# control files and contents, unpacks it into a scratch root and runs its
# post-install step there. Nothing is installed on the machine, and setcap only
# ever touches files under the scratch folder.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
PATH=$PATH:/usr/sbin:/sbin  # setcap and getcap

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for tool in cpack dpkg-deb desktop-file-validate readelf; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing; bash scripts/deps.sh test installs it" >&2; exit 1; }
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
if ! timeout 240 cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack did not build the package" >&2
  exit 1
fi
deb=$work/out/kestrine_${version}_${arch}.deb
[ -f "$deb" ] || { ls -R "$work/out" >&2; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }

# Contents: exactly these files, the program executable and owned by root.
icons="32x32 48x48 64x64 128x128 256x256"
expected="./usr/bin/kestrine
./usr/share/applications/kestrine.desktop"
for size in $icons; do expected+=$'\n'"./usr/share/icons/hicolor/$size/apps/kestrine.png"; done
dpkg-deb -c "$deb" >"$work/contents"
actual=$(awk '$1 !~ /^d/ {print $6}' "$work/contents" | sort)
[ "$actual" = "$(sort <<<"$expected")" ] || fail "the package's files differ:"$'\n'"$(diff <(sort <<<"$expected") - <<<"$actual")"
grep -Eq '^-rwxr-xr-x root/root .* \./usr/bin/kestrine$' "$work/contents" || fail "the program is not root's and 0755: $(grep 'bin/kestrine' "$work/contents")"

# Control: the name, version and the packages the installed program needs.
dpkg-deb -e "$deb" "$work/control"
field() { sed -n "s/^$1: //p" "$work/control/control"; }
[ "$(field Package)" = kestrine ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture), not $arch"
depends=$(field Depends)
depended() { tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$1"; }
for package in libcap2-bin fonts-liberation2 qt6-qpa-plugins; do
  depended "$package" || fail "Depends lacks $package: $depends"
done

dpkg-deb -x "$deb" "$work/root"
root=$work/root
program=$root/usr/bin/kestrine

# Every library the program links directly comes from a package it depends on.
owner() {  # the package that holds a library, under /lib or /usr/lib alike
  local path=$1 alt
  case $path in /usr/*) alt=${path#/usr} ;; *) alt=/usr$path ;; esac
  { dpkg -S "$path" 2>/dev/null || dpkg -S "$alt" 2>/dev/null; } | head -n 1 | sed 's/[:,].*//'
}
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
[ -n "$needed" ] || fail "readelf shows no libraries for the program"
for library in $needed; do
  path=$(ldd "$program" | awk -v lib="$library" '$1 == lib {print $3}')
  package=$(owner "$path")
  if [ -z "$package" ]; then
    fail "no package holds $library ($path)"
  elif ! depended "$package"; then
    fail "Depends lacks $package, which holds $library: $depends"
  fi
done

# The files in place: the program, the menu entry and each icon at its size.
[ -x "$program" ] || fail "no program at /usr/bin/kestrine"
desktop=$root/usr/share/applications/kestrine.desktop
for size in $icons; do
  icon=$root/usr/share/icons/hicolor/$size/apps/kestrine.png
  if [ ! -f "$icon" ]; then
    fail "no icon at $size"
    continue
  fi
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$icon")
  shown="$(((w1 << 24) + (w2 << 16) + (w3 << 8) + w4))x$(((h1 << 24) + (h2 << 16) + (h3 << 8) + h4))"
  [ "$shown" = "$size" ] || fail "the $size icon is $shown"
done

# The menu entry: valid, and naming the installed program and icon.
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate refuses kestrine.desktop"
  for line in 'Type=Application' 'Name=Kestrine' 'Exec=kestrine' 'Icon=kestrine' 'Categories=Utility;' 'Terminal=false'; do
    grep -qxF "$line" "$desktop" || fail "kestrine.desktop lacks $line"
  done
else
  fail "no menu entry at /usr/share/applications/kestrine.desktop"
fi

# The post-install step, run on the scratch root only: it must name the program
# through DPKG_ROOT, or it is not run at all.
postinst=$work/control/postinst
# shellcheck disable=SC2016 # the script's own text, matched as written
if [ ! -f "$postinst" ]; then
  fail "the package has no postinst"
elif [ "$(stat -c %a "$postinst")" != 755 ]; then
  fail "postinst is $(stat -c %a "$postinst"), not 755"
elif ! sh -n "$postinst"; then
  fail "postinst is not valid sh"
elif ! grep -qF 'program="${DPKG_ROOT:-}/usr/bin/kestrine"' "$postinst"; then
  fail "postinst does not name \${DPKG_ROOT:-}/usr/bin/kestrine"
elif ! grep -qF 'setcap cap_sys_time,cap_net_bind_service+ep "$program"' "$postinst"; then
  fail "postinst does not grant cap_sys_time and cap_net_bind_service"
else
  cp "$program" "$work/probe"
  if ! command -v getcap >/dev/null || ! setcap cap_sys_time+ep "$work/probe" 2>/dev/null; then
    echo "note: no setcap here (libcap2-bin), or the file system refuses it; the post-install step is checked as text only"
  else
    DPKG_ROOT=$root sh "$postinst" configure || fail "postinst configure failed"
    caps=$(getcap "$program" | sed 's/^[^ ]* //')
    [ "$caps" = "cap_net_bind_service,cap_sys_time=ep" ] || fail "after postinst the program has '$caps'"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package $(basename "$deb"): contents, control, menu entry and post-install step as expected"
