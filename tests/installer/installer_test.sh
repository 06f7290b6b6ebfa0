#!/usr/bin/env bash
# The installer under Wine, from silent install to silent uninstall:
#   installer_test.sh SETUP_EXE PROBE_EXE
# Runs in the Wine prefix and wineserver that scripts/test.sh's wine_ctest makes
# (WINEPREFIX set); without them it makes its own. Needs a private network
# namespace: the installed program asks the NIST servers as soon as it starts.
set -euo pipefail
setup=$1 probe=$2

fail() { echo "FAIL: $*" >&2; exit 1; }

if ip -o link show | awk -F': ' '$2 != "lo" { found = 1 } END { exit !found }'; then
  fail "network interfaces other than loopback are visible: run inside 'unshare -rn'"
fi

export WINEDEBUG=-all
# winemenubuilder would copy the Start-menu shortcut into the real ~/.local/share.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-installer.XXXXXX")
own_prefix=0 xvfb_pid='' program_pid=''
cleanup() {
  set +e
  [ -z "$program_pid" ] || wine "$probe" end "$program_pid" >/dev/null 2>&1
  # Leave the tree's shared prefix as this test found it.
  if [ -n "${drive_c:-}" ]; then
    rm -rf "$instdir" "$startmenu" "${appdata_kestrine:-/nonexistent}"
    wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrine' /f /reg:64 >/dev/null 2>&1
    wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v VantorTimeSync /f /reg:64 >/dev/null 2>&1
  fi
  if [ "$own_prefix" -eq 1 ]; then
    wineserver -k
    wineserver -w
  fi
  [ -z "$xvfb_pid" ] || { kill "$xvfb_pid"; wait "$xvfb_pid"; }
  rm -rf "$scratch"
}
trap cleanup EXIT

# start_xvfb: a private X server, for a run that brings no display.
start_xvfb() {
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 200); do [ -s "$scratch/display" ] && break; sleep 0.05; done
  [ -s "$scratch/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(cat "$scratch/display")
}

# The tree's prefix comes with the display its desktop process was started on;
# a prefix of our own gets a display of its own first.
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=1
  start_xvfb
  export WINEPREFIX=$scratch/prefix
  mkdir "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot -i </dev/null >/dev/null 2>&1
elif [ -z "${DISPLAY:-}" ]; then
  start_xvfb
fi

# Wine's desktop process loads its display driver once, from the DISPLAY of the
# first program that needs it: one made by wineboot without a display has none,
# and programs on it cannot make windows. It ends about a second after the last
# program on it: poll, with longer pauses than that.
for _ in $(seq 20); do
  wine "$probe" display 2>/dev/null && break
  sleep 1.5
done
wine "$probe" display 2>/dev/null || fail "Wine's desktop has no display driver"

# wine_path WINDOWS_PATH: the Linux path of a folder of the prefix.
wine_path() { winepath -u "$1" 2>/dev/null; }
drive_c=$(wine_path 'C:\')
instdir=$(wine_path 'C:\Program Files\Kestrine')
programs=$(wine cmd /c 'echo %ProgramData%' | tr -d '\r')
startmenu=$(wine_path "$programs\\Microsoft\\Windows\\Start Menu\\Programs\\Kestrine.lnk")
appdata=$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')
appdata_kestrine=$(wine_path "$appdata\\Kestrine")
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrine'
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
exe='C:\Program Files\Kestrine\Kestrine.exe'
ids=$(dirname "$0")/../../win/ControlIds.h
run_startup_box=$(awk '$1 == "#define" && $2 == "IDC_ckRunStartup" { print $3 }' "$ids")
[ -n "$run_startup_box" ] || fail "no IDC_ckRunStartup in $ids"
[ ! -e "$instdir" ] || fail "$instdir exists before the install"

# reg_is KEY VALUE EXPECTED: the value in HKLM's 64-bit view.
reg_is() {
  local got
  got=$(wine "$probe" reg "$1" "$2" | tr -d '\r') || fail "HKLM\\$1 has no value $2"
  [ "$got" = "$3" ] || fail "HKLM\\$1 $2 is '$got', not '$3'"
}

# wait_for SECONDS COMMAND...: polls until COMMAND succeeds.
wait_for() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

echo "--- silent install"
wine "$setup" /S || fail "the installer exited with $?"
[ -f "$instdir/Kestrine.exe" ] || fail "no $instdir/Kestrine.exe"
[ -f "$instdir/uninstall.exe" ] || fail "no $instdir/uninstall.exe"
[ -f "$startmenu" ] || fail "no Start-menu shortcut $startmenu"
reg_is "$uninstall_key" DisplayName Kestrine
reg_is "$uninstall_key" DisplayVersion "$(sed -n 's/.*Kestrine-Setup-\(.*\)\.exe$/\1/p' <<<"$setup")"
reg_is "$uninstall_key" Publisher "The Kestrine developers"
reg_is "$uninstall_key" UninstallString '"C:\Program Files\Kestrine\uninstall.exe"'
reg_is "$uninstall_key" QuietUninstallString '"C:\Program Files\Kestrine\uninstall.exe" /S'
reg_is "$uninstall_key" InstallLocation 'C:\Program Files\Kestrine'
reg_is "$uninstall_key" DisplayIcon "$exe,0"
reg_is "$uninstall_key" NoModify 1
reg_is "$uninstall_key" NoRepair 1

echo "--- the installed program, started from its shortcut"
wine start /unix "$startmenu"
window=$(wine "$probe" window 30000 | tr -d '\r') || fail "no window of class TForm1 appeared"
echo "$window"
program_pid=${window##* pid }
[[ $window == 'window "Kestrine " '* ]] || fail "the window's caption is not \"Kestrine \""
# "Run program at windows startup" writes the Run value with the program's path.
wine "$probe" click "$run_startup_box" | grep -q 'check state 1' || fail "could not tick \"Run program at windows startup\""
reg_is "$run_key" VantorTimeSync "\"$exe\""  # quoted: the path has blanks
# Closing the window saves the settings.
wine "$probe" close 10000 || fail "the window did not close"
wine "$probe" exit "$program_pid" 10000 || fail "the program did not end"
program_pid=''
if [ -f "$instdir/settings.ini" ]; then
  settings="$instdir/settings.ini"
  echo "the program saved its settings beside itself (Wine lets it write Program Files)"
elif [ -f "$appdata_kestrine/settings.ini" ]; then
  settings="$appdata_kestrine/settings.ini"
  echo "the program saved its settings in %APPDATA%\\Kestrine"
else
  fail "the program saved no settings.ini"
fi
grep -q '^ckRunStartup=1' "$settings" || fail "$settings does not hold ckRunStartup=1"
cp "$settings" "$scratch/settings.ini"

# uninstall: silently; it returns at once and goes on from a copy of itself,
# removing the folder last.
uninstall() {
  wine "$instdir/uninstall.exe" /S || fail "the uninstaller exited with $?"
  wait_for 30 test ! -e "$instdir" || fail "$instdir is still there: $(ls -A "$instdir")"
}

echo "--- silent uninstall"
uninstall
[ ! -e "$startmenu" ] || fail "the Start-menu shortcut is still there"
status=0
wine "$probe" reg "$uninstall_key" >/dev/null || status=$?
[ "$status" -eq 1 ] || fail "HKLM\\$uninstall_key is still there (probe exit $status)"
status=0
wine "$probe" reg "$run_key" VantorTimeSync >/dev/null || status=$?
[ "$status" -eq 1 ] || fail "the Run value VantorTimeSync is still there (probe exit $status)"
# The user's settings stay, in the user's folder.
cmp -s "$scratch/settings.ini" "$appdata_kestrine/settings.ini" ||
  fail "the user's settings are not kept in $appdata_kestrine/settings.ini"

echo "--- again, with settings beside the program and the user's own already kept"
wine "$setup" /S || fail "the installer exited with $?"
printf '[Common]\r\nckRunStartup=0\r\n' >"$instdir/settings.ini"
uninstall
cmp -s "$scratch/settings.ini" "$appdata_kestrine/settings.ini" ||
  fail "the uninstaller replaced the user's settings in $appdata_kestrine/settings.ini"
echo "PASS"
