#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Kestrine three ways (plain, ASan+UBSan, TSan) and runs the tests of
# each build inside a private network namespace of its own: there no test can
# reach a real network or change the real clock. Besides, the fuzz targets and
# the Windows tree under Wine. The format and lint check (scripts/check.sh) runs
# over the plain tree. The phases overlap where one mostly waits (see the order
# below); each starts with a stamped "===" line, and a table of their times ends
# the output.
#   bash scripts/test.sh           everything, as CI runs it
#   bash scripts/test.sh --quick   the plain tree's build, tests and check only
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 64 ;;
esac

# Phase times: a stamped line as each phase starts, and a table at the end.
t0=$SECONDS
phases=()
stamp() { echo "=== $(date +%T) (+$((SECONDS - t0)) s) $*"; }
# The processor time of this script's ended children (user+system, s): what a
# phase used, next to how long it took. A background run counts where it is waited for.
# (times tells this shell's own counters only outside a subshell: through a file.)
times_file=$(mktemp)
cpu_mark=0
# phase_time NAME START: records how long NAME took since START (a $SECONDS reading).
phase_time() {
  local cpu
  times >"$times_file"
  cpu=$(awk 'END { gsub(/[ms]/, " "); printf "%.0f", $1 * 60 + $2 + $3 * 60 + $4 }' "$times_file")
  phases+=("$(printf '%-34s %5d s wall %5d s CPU' "$1" $((SECONDS - $2)) $((cpu - cpu_mark)))")
  cpu_mark=$cpu
}
# bg_time NAME BEGAN LOG: a background phase ran from BEGAN (epoch s) until its log's last write.
bg_time() { phases+=("$(printf '%-34s %5d s' "$1" $(($(stat -c %Y "$3") - $2)))"); }

stamp "deps"
start=$SECONDS
bash scripts/deps.sh test
phase_time deps "$start"
if ! unshare -rn sh -c 'ip link set lo up'; then
  echo "test.sh: 'unshare -rn' is not permitted here, and every test must run inside a private network namespace." >&2
  echo "test.sh: run as root, or allow unprivileged user namespaces (kernel.unprivileged_userns_clone=1;" \
    "on Ubuntu also kernel.apparmor_restrict_unprivileged_userns=0)." >&2
  exit 1
fi
start=$SECONDS
bash scripts/fetch-peers.sh
phase_time peers "$start"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# Only for races inside uninstrumented Qt code, should any need silencing.
[ ! -f tests/tsan.supp ] || TSAN_OPTIONS+=":suppressions=$PWD/tests/tsan.supp"

# How many Linux tests run at once (see run_tree).
test_jobs=${KESTRINE_TEST_JOBS:-3}
summary=()
failures=0
passed=0
failed=0

# record_tree DIR STATUS SUFFIX: counts DIR's ctest log into the totals and the summary.
# ctest closes with "N% tests passed, F tests failed out of T".
record_tree() {
  local dir=$1 status=$2 suffix=$3 f=0 t=0
  read -r f t < <(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' \
    "$dir/ctest.log") || true
  passed=$((passed + t - f))
  failed=$((failed + f))
  if [ "$status" -eq 0 ]; then
    summary+=("$dir: $((t - f)) passed, $f failed$suffix")
  else
    summary+=("$dir: FAILED (exit $status), $((t - f)) passed, $f failed")
    failures=$((failures + 1))
  fi
}

# configure_and_build DIR "BUILD TARGETS" CMAKE ARGS...: configures and builds
# the tree; an empty BUILD TARGETS builds everything.
configure_and_build() {
  local dir=$1 targets=$2
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRINE_WERROR=ON "$@" &&
    cmake --build "$dir" -j2 ${targets:+--target $targets}
}

# build_tree DIR "BUILD TARGETS" CMAKE ARGS...: builds in the foreground;
# fails, counted in the summary, when the build does.
build_tree() {
  local dir=$1 status=0 start=$SECONDS
  stamp "$dir"
  configure_and_build "$@" || status=$?
  phase_time "$dir build" "$start"
  [ "$status" -eq 0 ] && return
  summary+=("$dir: build FAILED")
  failures=$((failures + 1))
  return 1
}

# start_build DIR "BUILD TARGETS" CMAKE ARGS...: builds in the background at the
# lowest priority, log in DIR/build.log: it takes the processor time that the
# tests running meanwhile leave, and they wait for nothing. build_result waits.
declare -A build_pids build_began
# descendants PID: PID and every process under it.
descendants() {
  local child
  echo "$1"
  for child in $(ps -o pid= --ppid "$1"); do descendants "$child"; done
}
start_build() {
  local dir=$1
  stamp "$dir (in the background at nice 19, log in $dir/build.log)"
  mkdir -p "$dir"
  build_began[$dir]=$(date +%s)
  ( renice -n 19 -p "$BASHPID" >/dev/null && configure_and_build "$@" ) </dev/null >"$dir/build.log" 2>&1 &
  build_pids[$dir]=$!
}
# build_result DIR: waits for DIR's background build; fails, showing the end of
# its log and counted in the summary, when the build did.
build_result() {
  local dir=$1 status=0 start=$SECONDS
  # Nothing that times itself runs now but perhaps the Windows tests: without
  # them, the build need not give way any more (to other work on the machine).
  if [ -z "$windows_tests_pid" ] || ! kill -0 "$windows_tests_pid" 2>/dev/null; then
    renice -n 0 -p $(descendants "${build_pids[$dir]}") >/dev/null 2>&1 || true
  fi
  wait "${build_pids[$dir]}" || status=$?
  phase_time "$dir build: waited for" "$start"
  bg_time "$dir build (background)" "${build_began[$dir]}" "$dir/build.log"
  [ "$status" -eq 0 ] && return
  tail -n 60 "$dir/build.log"
  summary+=("$dir: build FAILED (log in $dir/build.log)")
  failures=$((failures + 1))
  return 1
}

# test_tree DIR "CTEST ARGS": runs the tree's tests, log in DIR/ctest.log.
test_tree() {
  local dir=$1 ctest_args=$2 status=0 start=$SECONDS
  # One namespace for the whole tree (scripts/testns.sh: with the test
  # accounts mapped, so the helpers can be asked as other users), and inside
  # it one network namespace per test (tests/own_netns.sh), so that tests
  # serving on the same well-known ports (37, 123) run side by side: most of
  # them wait on time-outs, pacing and windows. Those that load the processors
  # or time their own ends run alone (RUN_SERIAL), those that share a file take
  # turns (RESOURCE_LOCK). setarch -R (no address randomisation) keeps the
  # sanitizers working on kernels that randomise more than they expect.
  stamp "$dir tests"
  bash scripts/testns.sh setarch "$(uname -m)" -R ctest --test-dir "$dir" --output-on-failure --no-tests=error \
    --parallel "$test_jobs" $ctest_args \
    2>&1 | tee "$dir/ctest.log" || status=$?
  phase_time "$dir tests" "$start"
  record_tree "$dir" "$status" ""
}

# finish: prints the summary and ends the command with its verdict.
finish() {
  stamp "summary"
  echo "phase times (wall; background phases overlap the others):"
  printf '  %s\n' "${phases[@]}"
  cpu_mark=0
  phase_time total "$t0"
  printf '  %s\n' "${phases[-1]}"
  printf '%s\n' "${summary[@]}"
  echo "total: $passed passed, $failed failed"
  [ "$failures" -eq 0 ]
  exit
}

# A command that stops early takes its background runs with it.
fuzz_pid=
check_pid=
windows_tests_pid=
trap 'kill $fuzz_pid $check_pid $windows_tests_pid ${build_pids[*]} 2>/dev/null || true; rm -f "$times_file"' EXIT

# check_result: waits for the format and lint check, shows its log and counts it.
check_status=0
check_ran=false
check_result() {
  $check_ran || return 0  # the plain tree did not build: nothing was checked
  local start=$SECONDS
  [ -z "$check_pid" ] || wait "$check_pid" || check_status=$?
  check_pid=
  phase_time "check: waited for" "$start"
  bg_time "check (background)" "$check_began" build/check.log
  stamp "check"
  cat build/check.log
  if [ "$check_status" -eq 0 ]; then
    summary+=("check: formatted and lint-clean")
  else
    summary+=("check: FAILED (bash scripts/check.sh build)")
    failures=$((failures + 1))
  fi
}

# Each fuzz target for 10 s (scripts/fuzz.sh): clang is installed from outside,
# the targets are built and run inside a private network namespace. They run
# while the Windows tree compiles (a fuzz run is one process for a fixed time,
# which leaves a core free otherwise) and end before any of its tests start.
fuzz_status=0
start_fuzz() {
  stamp "fuzz (in the background, log in build-fuzz/fuzz.log)"
  mkdir -p build-fuzz
  bash scripts/fuzz.sh deps || fuzz_status=$?
  if [ "$fuzz_status" -eq 0 ]; then
    fuzz_began=$(date +%s)
    unshare -rn sh -c 'ip link set lo up && exec bash scripts/fuzz.sh 10' </dev/null >build-fuzz/fuzz.log 2>&1 &
    fuzz_pid=$!
  fi
}
# fuzz_result: waits for the fuzz run, shows its log and counts it into the summary.
fuzz_result() {
  local result start=$SECONDS
  if [ -n "$fuzz_pid" ]; then
    wait "$fuzz_pid" || fuzz_status=$?
    fuzz_pid=
    phase_time "fuzz: waited for" "$start"
    bg_time "fuzz (background)" "$fuzz_began" build-fuzz/fuzz.log
    stamp "fuzz"
    cat build-fuzz/fuzz.log
  fi
  result=$(grep '^fuzz: ' build-fuzz/fuzz.log 2>/dev/null | tail -1) || true
  if [ "$fuzz_status" -eq 0 ]; then
    summary+=("build-fuzz: ${result#fuzz: }")
  else
    summary+=("build-fuzz: FAILED (fuzz.sh exit $fuzz_status) ${result#fuzz: }")
    failures=$((failures + 1))
  fi
}

# Inside a private network namespace: a temporary Wine prefix and one persistent
# wineserver for the whole tree (else each test pays seconds to start one), and
# the host's clock read before and after, since no test may move it.
wine_ctest() {
  local dir=$1 status=0 before after fifo display xvfb tray
  ip link set lo up || return 1
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX DISPLAY
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-wine.XXXXXX") || return 1
  # A private X server with a notification area (trayer) for the whole tree,
  # started before the prefix: Wine's desktop process keeps the display it was
  # started with for the wineserver's life, and the program's journeys need it.
  # -noreset: else Xvfb resets when its last client leaves.
  fifo=$WINEPREFIX.displayfd
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" </dev/null >/dev/null 2>&1 &
  xvfb=$!
  read -r -t 10 display <"$fifo" || status=1
  rm -f "$fifo"
  DISPLAY=:$display
  # With trayer's default width request Wine's icons stay blank and take no clicks.
  trayer --edge top --align right --widthtype pixel --width 64 --height 24 </dev/null >/dev/null 2>&1 &
  tray=$!
  for _ in $(seq 200); do xdotool search --classname panel >/dev/null 2>&1 && break; sleep 0.05; done
  clock_offset() { awk -v now="$(date +%s.%N)" '{ printf "%.3f", now - $1 }' /proc/uptime; }
  before=$(clock_offset)
  # Its output must not hold the log's pipe open. -u, not -i: -i starts a second
  # service manager beside the first, and services then answer at random.
  [ "$status" -ne 0 ] || { wineserver -p </dev/null >/dev/null 2>&1 && wine wineboot -u </dev/null >/dev/null 2>&1; } ||
    status=$?
  # Two at a time: the tests on this wineserver take turns (RESOURCE_LOCK
  # wine_tree), the installer's, on a prefix and desktop of its own, runs beside them.
  [ "$status" -ne 0 ] || ctest --test-dir "$dir" --output-on-failure --no-tests=error --parallel 2 || status=$?
  after=$(clock_offset)
  wineserver -k
  wineserver -w
  kill "$tray" "$xvfb" 2>/dev/null
  wait "$tray" "$xvfb" 2>/dev/null
  rm -rf "$WINEPREFIX"
  if awk -v a="$before" -v b="$after" 'BEGIN { d = b - a; exit !(d > 2 || d < -2) }'; then
    echo "wine_ctest: the host clock moved by $(awk -v a="$before" -v b="$after" 'BEGIN { print b - a }') s" >&2
    status=1
  fi
  return "$status"
}

# The Windows build: cross-compiled with mingw-w64 (cmake/mingw-w64-posix.cmake),
# the program, its installer, the Source libraries and their Windows tests, run
# under Wine. The program's journeys (tests/win32) take the fake time server from
# the Linux build.
windows=build-windows
build_windows_tree() {
  # BUILD_APP=ON undoes the OFF that older trees keep in their cache.
  build_tree "$windows" "" -DKESTRINE_BUILD_APP=ON -DKESTRINE_LINUX_TOOLS="$PWD/build/tests/Fakes" \
    --toolchain cmake/mingw-w64-posix.cmake
}
# start_windows_tests: the Windows tree's tests in the background, log in
# build-windows/ctest.log; windows_result waits for them.
start_windows_tests() {
  stamp "$windows tests (in the background, log in $windows/ctest.log)"
  windows_tests_began=$(date +%s)
  unshare -rn bash -c "$(declare -f wine_ctest); wine_ctest \"\$1\"" bash "$windows" </dev/null >"$windows/ctest.log" 2>&1 &
  windows_tests_pid=$!
}
windows_result() {
  local status=0 start=$SECONDS
  [ -n "$windows_tests_pid" ] || return 0
  wait "$windows_tests_pid" || status=$?
  windows_tests_pid=
  phase_time "$windows tests: waited for" "$start"
  bg_time "$windows tests (background)" "$windows_tests_began" "$windows/ctest.log"
  stamp "$windows tests"
  cat "$windows/ctest.log"
  record_tree "$windows" "$status" ""
}

if build_tree build "" ""; then
  plain_built=true
  check_ran=true
  if $quick; then
    test_tree build ""
    bash scripts/check.sh build >build/check.log 2>&1 || check_status=$?
    check_result
    finish
  fi
  # The check reads the plain tree while the other trees build and test. At the
  # lowest priority it takes only the processor time they leave (their tests
  # mostly wait), so it neither slows a build much nor makes a test wait.
  stamp "check (in the background at nice 19, log in build/check.log)"
  check_began=$(date +%s)
  nice -n 19 bash scripts/check.sh build </dev/null >build/check.log 2>&1 &
  check_pid=$!
else
  plain_built=false
  ! $quick || finish
fi

# The order: the Windows tree first, as its tests take longest. They wait on
# Wine most of the time, and run in the background from then on, while the
# Linux trees' tests run one tree after another, each while the next tree
# builds at the lowest priority in the processor time the tests leave.
start_fuzz
build_windows_tree && windows_built=true || windows_built=false
# The Windows tests time their journeys: no fuzz run beside them.
fuzz_result
! $windows_built || start_windows_tests

if $plain_built; then
  start_build build-asan "" -DKESTRINE_SANITIZE=address
  test_tree build ""
  build_result build-asan && asan_built=true || asan_built=false
  # Only the threaded tests' programs (tests/CMakeLists.txt): nothing else is run there.
  start_build build-tsan kestrine_tests_threaded -DKESTRINE_SANITIZE=thread
  ! $asan_built || test_tree build-asan ""
  ! build_result build-tsan || test_tree build-tsan "-L threaded"
else
  summary+=("build, build-asan, build-tsan: skipped, as the plain build failed")
fi

windows_result
check_result
finish
