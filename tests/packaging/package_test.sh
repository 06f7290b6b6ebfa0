#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a build tree into a scratch folder, reads its
# control files and contents, and installs it for real with dpkg into a scratch
# root of its own, post-install step included; polkit reads its actions there.
# Nothing is installed on the machine, and setcap only ever touches files
# under the scratch folder.
# Usage: package_test.sh BUILD_DIR LOG_SINK
set -euo pipefail
here=$(cd "$(dirname "$0")/../helpers" && pwd)
source "$here/sandbox.sh"
sandbox_enter "$0" "$@"
build=$(cd "$1" && pwd)
sink=$2
PATH=$PATH:/usr/sbin:/sbin  # setcap and getcap

work=$(mktemp -d)
chmod 700 "$work"  # files with capabilities lie here for a while
trap 'sandbox_cleanup; rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for tool in cpack dpkg-deb desktop-file-validate readelf lintian appstreamcli man; do
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

# Contents: exactly these files, the program and its helpers executable and owned by root.
icons="32x32 48x48 64x64 128x128 256x256"
helpers="kestrine-clock-helper kestrine-port-helper"
expected="./usr/bin/kestrine
./usr/libexec/kestrine/kestrine-clock-helper
./usr/libexec/kestrine/kestrine-port-helper
./usr/share/applications/kestrine.desktop
./usr/share/doc/kestrine/changelog.gz
./usr/share/doc/kestrine/copyright
./usr/share/lintian/overrides/kestrine
./usr/share/man/man1/kestrine.1.gz
./usr/share/metainfo/org.kestrine.Kestrine.metainfo.xml
./usr/share/polkit-1/actions/org.kestrine.policy"
for size in $icons; do expected+=$'\n'"./usr/share/icons/hicolor/$size/apps/kestrine.png"; done
dpkg-deb -c "$deb" >"$work/contents"
actual=$(awk '$1 !~ /^d/ {print $6}' "$work/contents" | sort)
[ "$actual" = "$(sort <<<"$expected")" ] || fail "the package's files differ:"$'\n'"$(diff <(sort <<<"$expected") - <<<"$actual")"
for file in usr/bin/kestrine usr/libexec/kestrine/kestrine-clock-helper usr/libexec/kestrine/kestrine-port-helper; do
  grep -Eq "^-rwxr-xr-x root/root .* \\./$file\$" "$work/contents" || fail "$file is not root's and 0755: $(grep "$file" "$work/contents")"
done

# Control: the name, version and the packages the installed program needs.
# Debian's own checks: no error and no warning (the overrides say why the
# helpers are static), and the debug symbols apart, in a package of their own.
ddeb=$work/out/kestrine-dbgsym_${version}_${arch}.ddeb
[ -f "$ddeb" ] || fail "no debug symbols package $(basename "$ddeb")"
lintian --tag-display-limit 0 "$deb" "$ddeb" >"$work/lintian.log" 2>&1 || true
if grep -E '^(E|W): ' "$work/lintian.log"; then
  fail "lintian reports errors or warnings"
fi
for file in usr/bin/kestrine usr/libexec/kestrine/kestrine-clock-helper usr/libexec/kestrine/kestrine-port-helper; do
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./$file" >"$work/elf"
  sections=$(readelf -S "$work/elf")
  ! grep -qF .debug_info <<<"$sections" || fail "$file is not stripped"
done
[ "$(dpkg-deb -c "$ddeb" | grep -c '/usr/lib/debug/\.build-id/.*\.debug$')" -eq 3 ] ||
  fail "not three programs' debug symbols by build id in $(basename "$ddeb")"

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
[ "$(field Recommends)" = polkitd ] || fail "Recommends: $(field Recommends), not polkitd"

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

# The helpers run nothing but their own code: static, no loader, no libraries.
for helper in $helpers; do
  file=$root/usr/libexec/kestrine/$helper
  if readelf -l "$file" | grep -q INTERP || readelf -d "$file" | grep -q NEEDED; then
    fail "$helper is linked dynamically: $(readelf -d "$file" | grep NEEDED)"
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

# The software centres' metadata and the manual page, as their own tools read them.
metainfo=$root/usr/share/metainfo/org.kestrine.Kestrine.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
  fail "appstreamcli refuses the metainfo: $(cat "$work/appstream.log")"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
manual=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/kestrine.1.gz" 2>"$work/man.log") ||
  fail "man cannot show kestrine(1)"
[ ! -s "$work/man.log" ] || fail "man warns about kestrine(1): $(cat "$work/man.log")"
for word in kestrine-clock-helper kestrine-port-helper settings.ini org.kestrine.set-time "$version"; do
  grep -qF -- "$word" <<<"$manual" || fail "kestrine(1) does not mention $word"
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

# The package's polkit actions, read by polkitd itself on a private bus, with
# the defaults that serve the user at the machine's screen and no one else.
expect_actions() {
  if ! sandbox_has_accounts || [ ! -x /usr/lib/polkit-1/polkitd ]; then
    echo "note: polkitd or the test accounts are missing here, so polkit does not read the actions"
    return
  fi
  sandbox_dev "$sink"
  sandbox_accounts
  sandbox_polkit "$1"
  local action shown line
  for action in org.kestrine.set-time org.kestrine.serve-time-protocol; do
    shown=$(pkaction --verbose --action-id "$action" 2>&1) || { fail "pkaction does not know $action: $shown"; continue; }
    for line in "implicit any: *no" "implicit inactive: *no" "implicit active: *yes"; do
      grep -q "$line" <<<"$shown" || fail "$action: no '$line' in: $shown"
    done
  done
}

# The post-install step: sh, and naming every file through DPKG_ROOT, or a
# chrootless install below would reach the machine's own files.
postinst=$work/control/postinst
# shellcheck disable=SC2016 # the script's own text, matched as written
if [ ! -f "$postinst" ]; then
  fail "the package has no postinst"
elif [ "$(stat -c %a "$postinst")" != 755 ]; then
  fail "postinst is $(stat -c %a "$postinst"), not 755"
elif ! sh -n "$postinst"; then
  fail "postinst is not valid sh"
elif ! grep -qF 'program="${DPKG_ROOT:-}/usr/bin/kestrine"' "$postinst" ||
  ! grep -qF 'helpers="${DPKG_ROOT:-}/usr/libexec/kestrine"' "$postinst"; then
  fail "postinst does not name its files through \${DPKG_ROOT:-}"
else
  cp "$program" "$work/probe"
  if ! command -v getcap >/dev/null || ! setcap cap_sys_time+ep "$work/probe" 2>/dev/null; then
    echo "note: no setcap here (libcap2-bin), or the file system refuses it; the package is not installed"
  else
    # Installed for real by dpkg into a root of its own, maintainer scripts run
    # outside a chroot with DPKG_ROOT, as dpkg does for such a root.
    target=$work/target
    mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates" "$target/var/lib/dpkg/triggers"
    touch "$target/var/lib/dpkg/status"
    install_package() {
      dpkg --root="$target" --force-script-chrootless --force-depends --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 ||
        { cat "$work/dpkg.log" >&2; fail "dpkg $* failed"; }
    }
    caps_of() { getcap "$target/$1" | sed 's/^[^ ]* //'; }
    expect_caps() {
      [ "$(caps_of usr/bin/kestrine)" = "" ] || fail "$1: the program has '$(caps_of usr/bin/kestrine)'"
      [ "$(caps_of usr/libexec/kestrine/kestrine-clock-helper)" = cap_sys_time=ep ] ||
        fail "$1: the clock helper has '$(caps_of usr/libexec/kestrine/kestrine-clock-helper)', not cap_sys_time=ep"
      [ "$(caps_of usr/libexec/kestrine/kestrine-port-helper)" = cap_net_bind_service=ep ] ||
        fail "$1: the port helper has '$(caps_of usr/libexec/kestrine/kestrine-port-helper)', not cap_net_bind_service=ep"
    }
    install_package -i "$deb"
    expect_caps "installed"
    expect_actions "$target/usr/share/polkit-1/actions"
    # An upgrade over a version that gave the program both rights takes them
    # off, and keeps the administrator's policy, which is never in our files.
    setcap cap_sys_time,cap_net_bind_service+ep "$target/usr/bin/kestrine"
    mkdir -p "$target/etc/polkit-1/rules.d"
    echo "// the administrator's own rule" >"$target/etc/polkit-1/rules.d/50-kestrine-local.rules"
    install_package -i "$deb"
    expect_caps "upgraded"
    install_package -r kestrine
    [ -f "$target/etc/polkit-1/rules.d/50-kestrine-local.rules" ] || fail "the administrator's rule went with the package"
    for file in usr/bin/kestrine usr/libexec/kestrine/kestrine-clock-helper usr/libexec/kestrine/kestrine-port-helper; do
      [ ! -e "$target/$file" ] || fail "removing the package leaves $file"
    done
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package $(basename "$deb"): contents, control, menu entry and post-install step as expected"
