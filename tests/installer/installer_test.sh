#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The installer under Wine:
#   installer_test.sh SETUP_EXE PROBE_EXE TEST_SERVICE_EXE FAKE_SERVER [CASE...]
# Cases, all by default:
#   lifecycle  silent install (files, licences, version resources, entry, clock
#              service, its policy value, its log source, no presets), the installed
#              program, silent uninstall (service, Run value, settings)
#   presets    the administrator's switches: refused values, then a settings.ini
#              that each user's first start takes, kept or replaced by updates,
#              removed by the uninstaller
#   folder     a folder outside Program Files that every user may change: the
#              installer gives it an access list of its own; a folder of other
#              files is refused
#   sync       the installed program's "Synchroize" reaches the service: the
#              tests' build of the service in its place records the instant
#   running    silent reinstall and uninstall while the program runs (the policy
#              value an administrator changed is kept); a file in use fails both
#              with a message and a non-zero exit code
#   wizard     the same with the installer's pages (the licence page first); the
#              finish page starts the program
# TEST_SERVICE_EXE is KestrineClockServiceTest.exe; FAKE_SERVER is the Linux
# tree's kestrine_fake_server (without it the sync case is skipped: exit 77).
# Needs a private network namespace (the installed program asks the NIST
# servers as soon as it starts) and makes a Wine prefix and wineserver of its
# own: see below.
set -euo pipefail
setup=$1 probe=$2 test_service=$3 fake_server=$4
shift 4
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(lifecycle presets folder sync running wizard)

fail() { echo "FAIL: $*" >&2; exit 1; }

if ip -o link show | awk -F': ' '$2 != "lo" { found = 1 } END { exit !found }'; then
  fail "network interfaces other than loopback are visible: run inside 'unshare -rn'"
fi

export WINEDEBUG=-all
# winemenubuilder would copy the Start-menu shortcut into the real ~/.local/share;
# a program that crashes ends at once instead of waiting in Wine's debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe="

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-installer.XXXXXX")
xvfb_pid='' tray_pid='' pids=()
cleanup() {
  set +e
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wineserver -k
  wineserver -w
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  [ -z "$tray_pid" ] || { kill "$tray_pid"; wait "$tray_pid"; }
  [ -z "$xvfb_pid" ] || { kill "$xvfb_pid"; wait "$xvfb_pid"; }
  rm -rf "$scratch"
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: polls until COMMAND succeeds.
wait_for() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# A private X server with a notification area (the program goes there), for a
# run that brings no display: so the test runs beside others on theirs.
if [ -z "${DISPLAY:-}" ]; then
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  wait_for 10 test -s "$scratch/display" || fail "Xvfb did not start"
  export DISPLAY=:$(cat "$scratch/display")
  # With trayer's default width request Wine's icons stay blank and take no clicks.
  trayer --edge top --align right --widthtype pixel --width 64 --height 24 </dev/null >/dev/null 2>&1 &
  tray_pid=$!
  wait_for 10 eval 'xdotool search --classname panel >/dev/null 2>&1' || fail "the notification area did not start"
fi

# A prefix of its own, not the tree's: the installer changes the machine's
# state (Program Files, HKLM, the service "KestrineClock" that the service's
# own test creates too). And not made with "wineboot -i", which starts a second
# service manager on the same pipe: each knows only the services created
# through it, so queries answer at random, and starting a service takes a
# minute. "wineboot -u", the first program in the empty prefix, makes it with one.
export WINEPREFIX=$scratch/prefix
mkdir "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot -u </dev/null >/dev/null 2>&1

# Wine's desktop process loads its display driver once, from the DISPLAY of the
# first program that needs it. It ends about a second after the last program
# on it: poll, with longer pauses than that.
for _ in $(seq 20); do
  wine "$probe" display 2>/dev/null && break
  sleep 1.5
done
wine "$probe" display 2>/dev/null || fail "Wine's desktop has no display driver"

# wine_path WINDOWS_PATH: the Linux path of a file of the prefix.
wine_path() { winepath -u "$1" 2>/dev/null; }
instdir=$(wine_path 'C:\Program Files\Kestrine')
programs=$(wine cmd /c 'echo %ProgramData%' | tr -d '\r')
startmenu=$(wine_path "$programs\\Microsoft\\Windows\\Start Menu\\Programs\\Kestrine.lnk")
appdata=$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')
user_settings=$(wine_path "$appdata\\Kestrine\\settings.ini")
setup_w=$(winepath -w "$setup")
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrine'
run_key='Software\Microsoft\Windows\CurrentVersion\Run'
service_key='SYSTEM\CurrentControlSet\Services\KestrineClock'
parameters_key="$service_key\\Parameters"
event_source_key='SYSTEM\CurrentControlSet\Services\EventLog\Application\KestrineClock'
exe='C:\Program Files\Kestrine\Kestrine.exe'
service_exe='C:\Program Files\Kestrine\KestrineClockService.exe'
version=$(sed -n 's/.*Kestrine-Setup-\(.*\)\.exe$/\1/p' <<<"$setup")
[ -n "$version" ] || fail "no version in the installer's name $setup"
sources=$(dirname "$0")/../..

probe() { wine "$probe" "$@" | tr -d '\r'; }

# reg_is KEY VALUE EXPECTED: the value in HKLM's 64-bit view (KEY HKCU\...: the user's).
reg_is() {
  local got
  got=$(probe reg "$1" "$2") || fail "$1 has no value $2"
  [ "$got" = "$3" ] || fail "$1 $2 is '$got', not '$3'"
}
# reg_missing KEY [VALUE]
reg_missing() {
  local status=0
  wine "$probe" reg "$@" >/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "$* is still there (probe exit $status)"
}

# service_is FIELD EXPECTED: a line of "installer_probe service KestrineClock".
service_is() {
  local got
  got=$(probe service KestrineClock | sed -n "s/^$1 //p") || fail "the service KestrineClock is not installed"
  [ "$got" = "$2" ] || fail "the service's $1 is '$got', not '$2'"
}
service_running() {
  running() { [ "$(probe service KestrineClock | sed -n 's/^state //p')" = RUNNING ]; }
  wait_for 30 running || fail "the service KestrineClock is not running: $(probe service KestrineClock)"
}
service_gone() {
  local status=0
  wine "$probe" service KestrineClock >/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "the service KestrineClock is still installed (probe exit $status)"
  reg_missing "$service_key"
  reg_missing "$event_source_key"
}

install() { wine "$setup" /S || fail "the installer exited with $?"; }

# uninstall: silently, the usual way: it returns at once and goes on from a
# copy of itself, removing the folder last.
uninstall() {
  wine "$instdir/uninstall.exe" /S || fail "the uninstaller exited with $?"
  wait_for 60 test ! -e "$instdir" || fail "$instdir is still there: $(ls -A "$instdir")"
}

# run_setup COMMAND_LINE: runs it and prints its whole exit code (wine keeps
# only the low 8 bits) and its standard error.
run_setup() { wine "$probe" run 120000 "$1" 2>&1 | tr -d '\r'; }

# start_program: the installed program; sets program_pid.
start_program() {
  wine "$instdir/Kestrine.exe" >/dev/null 2>&1 &
  pids+=($!)
  local window
  window=$(probe window 30000) || fail "no window of class TForm1 appeared"
  program_pid=${window##* pid }
}

# lock_file WINDOWS_PATH: a process that holds the file open without sharing,
# as another user's copy would; sets lock_pid (a Windows process id).
lock_file() {
  wine "$probe" lock "$1" >"$scratch/lock.out" 2>&1 &
  pids+=($!)
  wait_for 10 grep -q '^locked pid' "$scratch/lock.out" || fail "could not lock $1: $(cat "$scratch/lock.out")"
  lock_pid=$(sed -n 's/^locked pid \([0-9]*\).*/\1/p' "$scratch/lock.out")
}
unlock_file() { wine "$probe" end "$lock_pid" >/dev/null; }

# version_is PATH NAME DESCRIPTION: the executable's version resource, read as
# Explorer reads it.
version_is() {
  local got expected
  got=$(probe version "$1") || fail "no version resource in $1"
  expected="fixed $version.0 $version.0
CompanyName=The Kestrine authors
FileDescription=$3
FileVersion=$version
InternalName=$2
LegalCopyright=Copyright (c) 2026 The Kestrine authors. MIT License.
OriginalFilename=$2.exe
ProductName=Kestrine
ProductVersion=$version"
  [ "$got" = "$expected" ] || fail "the version resource of $1 reads:
$got"
}

# The user's side of the prefix as a new user has it.
reset_user() {
  rm -f "$user_settings"
  wine reg delete "HKCU\\$run_key" /v VantorTimeSync /f >/dev/null 2>&1 || true
}

case_lifecycle() {
  echo "--- silent install"
  install
  local name
  for name in Kestrine.exe KestrineClockService.exe uninstall.exe; do
    [ -f "$instdir/$name" ] || fail "no $instdir/$name"
  done
  [ -f "$startmenu" ] || fail "no Start-menu shortcut $startmenu"
  # No switch, no presets: the program's own defaults, and no machine-wide start.
  [ ! -e "$instdir/settings.ini" ] || fail "a plain install wrote $(cat "$instdir/settings.ini")"
  reg_missing "$run_key" VantorTimeSync

  echo "--- the licences and the version resources beside the program"
  cmp -s <(sed 's/$/\r/' "$sources/LICENSE") "$instdir/LICENSE.txt" || fail "LICENSE.txt is not LICENSE with CRLF line ends"
  for name in libstdc++ libgcc winpthreads 'GCC RUNTIME LIBRARY EXCEPTION' 'Zope Public License' mingw_pformat; do
    grep -qF "$name" "$instdir/THIRD-PARTY-LICENSES.txt" || fail "THIRD-PARTY-LICENSES.txt does not name $name"
  done
  version_is "$exe" Kestrine "Kestrine clock synchronizer"
  version_is "$service_exe" KestrineClockService "Kestrine clock service"

  echo "--- the entry in the list of installed programs"
  reg_is "$uninstall_key" DisplayName Kestrine
  reg_is "$uninstall_key" DisplayVersion "$version"
  reg_is "$uninstall_key" Publisher "The Kestrine authors"
  reg_is "$uninstall_key" HelpLink "https://kestrine.invalid/"
  reg_is "$uninstall_key" URLInfoAbout "https://kestrine.invalid/"
  reg_is "$uninstall_key" UninstallString '"C:\Program Files\Kestrine\uninstall.exe"'
  reg_is "$uninstall_key" QuietUninstallString '"C:\Program Files\Kestrine\uninstall.exe" /S'
  reg_is "$uninstall_key" InstallLocation 'C:\Program Files\Kestrine'
  reg_is "$uninstall_key" DisplayIcon "$exe,0"
  reg_is "$uninstall_key" NoModify 1
  reg_is "$uninstall_key" NoRepair 1
  # Kilobytes: at least the files setup carries, at most the folder with the uninstaller.
  local size least most
  size=$(probe reg "$uninstall_key" EstimatedSize)
  least=$(( ($(stat -c %s "$instdir"/{Kestrine.exe,KestrineClockService.exe,LICENSE.txt,THIRD-PARTY-LICENSES.txt} | paste -sd+)) / 1024 ))
  most=$(du -sk --apparent-size "$instdir" | cut -f1)
  [ "$size" -ge "$least" ] && [ "$size" -le "$most" ] || fail "EstimatedSize is $size, not $least to $most kB"

  echo "--- the clock service, installed, running and in the event log's sources"
  service_running
  service_is start AUTO
  service_is account 'NT AUTHORITY\LocalService'
  service_is path "\"$service_exe\""
  reg_is "$event_source_key" EventMessageFile "$service_exe"
  reg_is "$event_source_key" TypesSupported 7
  reg_is "$parameters_key" ClockPolicy console

  echo "--- the installed program, started from its shortcut"
  wine start /unix "$startmenu"
  local window
  window=$(probe window 30000) || fail "no window of class TForm1 appeared"
  echo "$window"
  program_pid=${window##* pid }
  [[ $window == 'window "Kestrine " '* ]] || fail "the window's caption is not \"Kestrine \""
  # "Run program at windows startup" writes the Run value with the program's
  # path, in quotation marks for its blank.
  probe click ckRunStartup | grep -q 'check state 1' ||
    fail "could not tick \"Run program at windows startup\""
  reg_is "$run_key" VantorTimeSync "\"$exe\""
  # Closing the window saves the settings, in the user's folder: it is an installed copy.
  probe close 10000 || fail "the window did not close"
  probe exit "$program_pid" 10000 || fail "the program did not end"
  [ ! -e "$instdir/settings.ini" ] || fail "the installed program saved its settings beside itself"
  grep -q '^ckRunStartup=1' "$user_settings" || fail "$user_settings does not hold ckRunStartup=1"
  cp "$user_settings" "$scratch/settings.ini"

  echo "--- silent uninstall"
  # Another copy's Run value for this user, and settings an older version kept
  # beside the program: both stay where they are, the user's own file wins.
  wine reg add "HKCU\\$run_key" /v VantorTimeSync /d '"C:\Elsewhere\Kestrine.exe"' /f >/dev/null
  printf '[Common]\r\nckRunStartup=0\r\n' >"$instdir/settings.ini"
  uninstall
  [ ! -e "$startmenu" ] || fail "the Start-menu shortcut is still there"
  reg_missing "$uninstall_key"
  reg_missing "$run_key" VantorTimeSync
  reg_is "HKCU\\$run_key" VantorTimeSync '"C:\Elsewhere\Kestrine.exe"'
  service_gone
  cmp -s "$scratch/settings.ini" "$user_settings" || fail "the user's settings were not kept as they were"

  echo "--- again, without the user's own settings: those beside the program move to the user's folder"
  reset_user
  install
  printf '[Common]\r\nckRunStartup=0\r\n' >"$instdir/settings.ini"
  cp "$instdir/settings.ini" "$scratch/settings.ini"
  uninstall
  cmp -s "$scratch/settings.ini" "$user_settings" || fail "the settings beside the program did not move to $user_settings"
}

# presets_are LINE...: settings.ini beside the program holds setup's mark, the
# section and these lines, with CRLF.
presets_are() {
  printf '%s\r\n' "; Kestrine Setup's presets: each user's first start takes these values." '[Common]' "$@" >"$scratch/expected.ini"
  cmp -s "$scratch/expected.ini" "$instdir/settings.ini" || fail "settings.ini holds: $(cat -A "$instdir/settings.ini")"
}

# control_is NAME EXPECTED: the text of the window's control; checked_is NAME 0|1: its check state.
control_is() {
  local got
  got=$(probe text "$1")
  [ "$got" = "$2" ] || fail "$1 shows '$got', not '$2'"
}
checked_is() {
  local got
  got=$(probe checked "$1")
  [ "$got" = "$2" ] || fail "$1 is $got, not $2"
}

case_presets() {
  reset_user
  echo "--- switches setup cannot use: a message, exit code 87, nothing installed"
  local switches message result
  while IFS='|' read -r switches message; do
    result=$(run_setup "\"$setup_w\" /S $switches")
    grep -qF "$message" <<<"$result" || fail "$switches: no message '$message': $result"
    grep -qx 'exit 87' <<<"$result" || fail "$switches gave: $result"
    [ ! -e "$instdir" ] || fail "$switches: $instdir was made"
    reg_missing "$uninstall_key"
  done <<'CASES'
/INTERVAL=abc|cannot use /INTERVAL=abc: the interval is a whole number of minutes from 1 to 71582.
/INTERVAL=1.5|cannot use /INTERVAL=1.5:
/INTERVAL=0|cannot use /INTERVAL=0:
/INTERVAL=71583|cannot use /INTERVAL=71583:
/SERVER=time.example.org /PROTOCOL=NTP|cannot use /PROTOCOL=NTP: the protocol is SNTP or Time.
/PROTOCOL=Time|cannot use /PROTOCOL=Time without /SERVER=
/SERVER=a;b|cannot use /SERVER=a;b:
/STARTUP=yes|cannot use /STARTUP=yes:
/SERVR=time.example.org|does not know the switch "/SERVR=time.example.org"
CASES
  service_gone

  echo "--- a silent install with presets: settings.ini beside the program, the machine's Run value"
  result=$(run_setup "\"$setup_w\" /S /SERVER=127.0.0.1 /PROTOCOL=time /INTERVAL=030 /STARTUP=1")
  [ "$result" = "exit 0" ] || fail "the install gave: $result"
  presets_are bNISTServer=0 ServerType=1 TimeServer=127.0.0.1 ServerProtocol=1 ckSyncTime=1 edtSyncTime=30 ckRunStartup=1
  reg_is "$run_key" VantorTimeSync "\"$exe\""

  echo "--- a user's first start shows them, and keeps them in the user's own file"
  start_program
  checked_is ckCustomServer 1
  control_is edtServer 127.0.0.1
  control_is cbSeverType Time
  checked_is ckSyncTime 1
  control_is edtSyncTime 30
  checked_is ckRunStartup 1
  probe close 10000 || fail "the window did not close"
  probe exit "$program_pid" 10000 || fail "the program did not end"
  local key
  for key in bNISTServer=0 TimeServer=127.0.0.1 ServerProtocol=1 ckSyncTime=1 edtSyncTime=30 ckRunStartup=1; do
    grep -qx "$key"$'\r\\?' "$user_settings" || fail "$user_settings does not hold $key: $(cat "$user_settings")"
  done

  echo "--- an update without switches keeps the presets, one with switches replaces them"
  cp "$instdir/settings.ini" "$scratch/presets.ini"
  install
  cmp -s "$scratch/presets.ini" "$instdir/settings.ini" || fail "an update without switches changed settings.ini"
  reg_is "$run_key" VantorTimeSync "\"$exe\""
  result=$(run_setup "\"$setup_w\" /S /STARTUP=0")
  [ "$result" = "exit 0" ] || fail "the update gave: $result"
  presets_are ckRunStartup=0
  reg_missing "$run_key" VantorTimeSync

  echo "--- the uninstaller removes the presets: they never become a user's settings"
  rm -f "$user_settings"
  uninstall
  [ ! -e "$user_settings" ] || fail "the presets went to $user_settings"
  service_gone
}

# open_to_users SDDL: an entry of the access list lets everyone, authenticated,
# interactive or all users do more than read and run.
open_to_users() {
  grep -oE '\([^)]*\)' <<<"$1" |
    awk -F';' '$6 ~ /^(WD|AU|BU|IU)\)$/ && $3 != "0x1200a9" && $3 != "FRFX" { found = 1 } END { exit !found }'
}

case_folder() {
  reset_user
  local folder='C:\KestrineOpen' dir acl
  dir=$(wine_path "$folder")
  echo "--- a folder that every user may change, chosen with /D="
  mkdir -p "$dir"
  # Wine keeps a file's access list as its Unix mode (Debian's Wine stores no
  # descriptor of its own): 0777 reads back as Everyone: full control, as
  # "Authenticated Users: Modify" inherited from C:\ would be on Windows.
  chmod 0777 "$dir"
  acl=$(probe dacl "$folder")
  open_to_users "$acl" || fail "the open folder reads back as $acl"
  wine "$setup" /S "/D=$folder" || fail "the installer exited with $?"
  acl=$(probe dacl "$folder") || fail "no $folder"
  ! open_to_users "$acl" || fail "users may still change $folder: $acl"
  service_running
  service_is path "\"$folder\\KestrineClockService.exe\""
  wine "$dir/uninstall.exe" /S || fail "the uninstaller exited with $?"
  wait_for 60 test ! -e "$dir" || fail "$dir is still there: $(ls -A "$dir")"
  service_gone

  echo "--- a folder of other files: refused before anything changes, its access list kept"
  mkdir -p "$dir"
  chmod 0777 "$dir"
  echo other >"$dir/other.txt"
  local result
  result=$(run_setup "\"$setup_w\" /S /D=$folder")
  grep -qF "installs Kestrine only into a folder of its own, and $folder holds other files" <<<"$result" ||
    fail "no message about the folder of other files: $result"
  grep -qx 'exit 1603' <<<"$result" || fail "the install gave: $result"
  [ "$(stat -c %a "$dir")" = 777 ] || fail "the folder's access list changed"
  [ "$(ls -A "$dir")" = other.txt ] || fail "the folder holds: $(ls -A "$dir")"
  service_gone
  rm -r "$dir"
}

case_sync() {
  if [ ! -x "$fake_server" ]; then
    echo "SKIP sync: no Linux fake server at '$fake_server': build kestrine_fake_server in the Linux tree" \
      "and configure this tree with -DKESTRINE_LINUX_TOOLS=<Linux tree>/tests/Fakes" >&2
    skipped=1
    return
  fi
  reset_user
  install
  service_running

  echo "--- the tests' build of the service in place of the installed one, recording"
  local record=$scratch/record.txt
  probe stop KestrineClock 30000 || fail "the service did not stop"
  cp "$test_service" "$instdir/KestrineClockService.exe"
  probe start KestrineClock 120000 --record "$(winepath -w "$record")" || fail "the tests' service did not start"

  echo "--- the installed program, set to ask a server on 127.0.0.1 that is 30 s ahead"
  "$fake_server" 127.0.0.1 123 sntp 30 >"$scratch/fake.log" 2>&1 &
  pids+=($!)
  wait_for 5 grep -q '^serving' "$scratch/fake.log" || fail "the fake server did not start: $(cat "$scratch/fake.log")"
  mkdir -p "$(dirname "$user_settings")"
  printf '[Common]\r\nbNISTServer=0\r\nServerType=0\r\nTimeServer=127.0.0.1\r\nServerProtocol=0\r\n' >"$user_settings"
  start_program
  local difference
  difference=TeSEdit3
  behind() { [[ $(probe text "$difference") =~ ^-(29|30|31)\ seconds\ behind$ ]]; }
  wait_for 20 behind || fail "the program shows '$(probe text "$difference")', not 30 seconds behind"

  echo "--- Synchroize: the program's own set is refused, the service sets the clock"
  local from to value
  from=$(date +%s%3N)
  probe click TeButton1 >/dev/null
  synchronized() { [ "$(probe text "$difference")" = "time synchronized" ]; }
  wait_for 10 synchronized || fail "the program shows '$(probe text "$difference")', not \"time synchronized\""
  to=$(date +%s%3N)
  [ "$(wc -l <"$record")" -eq 1 ] || fail "the service recorded: $(cat "$record")"
  value=$(tr -d '\r' <"$record")
  [ "$value" -ge $((from + 29000)) ] && [ "$value" -le $((to + 31000)) ] ||
    fail "the service was asked for $value, not 30 s after the time between $from and $to"
  probe close 10000 || fail "the window did not close"
  probe exit "$program_pid" 10000 || fail "the program did not end"

  echo "--- silent uninstall: the service stopped and deleted"
  uninstall
  service_gone
}

case_running() {
  reset_user
  install
  # Marked, so that a copy not replaced shows.
  cp "$instdir/Kestrine.exe" "$scratch/Kestrine.exe"
  printf 'not replaced' >>"$instdir/Kestrine.exe"
  # The Run value as an earlier version wrote it, unquoted, for this user.
  wine reg add "HKCU\\$run_key" /v VantorTimeSync /d "$exe" /f >/dev/null
  # A clock policy an administrator chose.
  wine reg add "HKLM\\$parameters_key" /v ClockPolicy /d interactive /f >/dev/null

  echo "--- a silent reinstall while the program runs: it is asked to close, saves and ends"
  start_program
  local result
  result=$(run_setup "\"$setup_w\" /S")
  [ "$result" = "exit 0" ] || fail "the reinstall gave: $result"
  probe exit "$program_pid" 1 || fail "the running program was not closed"
  cmp -s "$instdir/Kestrine.exe" "$scratch/Kestrine.exe" || fail "Kestrine.exe was not replaced"
  [ -f "$user_settings" ] || fail "the program did not save its settings when asked to close"
  reg_is "HKCU\\$run_key" VantorTimeSync "$exe"
  reg_is "$parameters_key" ClockPolicy interactive
  service_running

  echo "--- a file in use: the reinstall fails, says why, and leaves the service running"
  lock_file "$exe"
  result=$(run_setup "\"$setup_w\" /S")
  grep -q 'could not replace C:\\Program Files\\Kestrine\\Kestrine.exe: it is in use' <<<"$result" ||
    fail "no message about the file in use: $result"
  grep -qx 'exit 1603' <<<"$result" || fail "the reinstall gave: $result"
  service_running

  echo "--- ... and the uninstall too, before removing anything"
  # Run from a copy with "_?=": the way to learn its exit code.
  cp "$instdir/uninstall.exe" "$scratch/uninstall.exe"
  result=$(run_setup "\"$(winepath -w "$scratch/uninstall.exe")\" /S _?=C:\\Program Files\\Kestrine")
  grep -q 'could not remove C:\\Program Files\\Kestrine\\Kestrine.exe: it is in use' <<<"$result" ||
    fail "no message about the file in use: $result"
  grep -qx 'exit 1603' <<<"$result" || fail "the uninstall gave: $result"
  service_running
  reg_is "$uninstall_key" DisplayName Kestrine
  unlock_file

  echo "--- a silent uninstall while the program runs in the notification area: it is asked to close, and everything goes"
  rm -f "$user_settings"
  start_program
  probe click TrayButton >/dev/null
  hidden() { ! wine "$probe" window 0 >/dev/null 2>&1; }
  wait_for 10 hidden || fail "the window did not go to the notification area"
  uninstall
  probe exit "$program_pid" 1 || fail "the running program was not closed"
  [ -f "$user_settings" ] || fail "the program did not save its settings when asked to close"
  reg_missing "HKCU\\$run_key" VantorTimeSync
  reg_missing "$uninstall_key"
  service_gone
}

# press BUTTON: clicks it in the installer's window or message box.
press() { probe press "Kestrine Setup" "$1" 30000 || fail "no button \"$1\" in Kestrine Setup"; }

case_wizard() {
  reset_user
  install
  start_program
  local old_pid=$program_pid setup_pid

  echo "--- the installer's pages over a running program; the finish page starts it again"
  wine "$setup" >/dev/null 2>&1 &
  setup_pid=$!
  pids+=("$setup_pid")
  local texts text
  texts=$(press "&Next >")
  for text in "MIT License" "Copyright (c) 2026 The Kestrine authors" "THIRD-PARTY-LICENSES.txt"; do
    grep -qF "$text" <<<"$texts" || fail "the licence page does not show \"$text\": $texts"
  done
  press "&Install" >/dev/null
  press "&Finish" >/dev/null
  setup_ended() { ! kill -0 "$setup_pid" 2>/dev/null; }
  wait_for 30 setup_ended || fail "the installer did not end after Finish"
  wait "$setup_pid" || fail "the installer exited with $?"
  probe exit "$old_pid" 1 || fail "the running program was not closed"
  start_again() { probe window 1000 | grep -qv " pid $old_pid\$"; }
  wait_for 30 start_again || fail "the finish page did not start the program"
  probe close 10000 || fail "the window did not close"

  echo "--- a file in use: a message box says which, and the installer ends with 1603"
  lock_file "$exe"
  run_setup "\"$setup_w\"" >"$scratch/setup.out" &
  pids+=($!)
  press "&Next >" >/dev/null
  press "&Install" >/dev/null
  texts=$(press "OK")
  grep -q 'could not replace C:\\Program Files\\Kestrine\\Kestrine.exe: it is in use' <<<"$texts" ||
    fail "the message box does not name the file in use: $texts"
  texts=$(press "Cancel")
  grep -q "Installation Aborted" <<<"$texts" || fail "the installer does not show that it was aborted: $texts"
  wait_for 30 grep -q '^exit' "$scratch/setup.out" || fail "the installer did not end"
  grep -qx 'exit 1603' "$scratch/setup.out" || fail "the installer gave: $(cat "$scratch/setup.out")"
  unlock_file
  uninstall
}

skipped=0
for c in "${cases[@]}"; do
  declare -F "case_$c" >/dev/null || fail "no case named '$c'"
  echo "=== $c"
  "case_$c"
done
[ "$skipped" -eq 0 ] || exit 77
echo "PASS"
