#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, ASan, UBSan) in
# build-fuzz/ and runs each for SECONDS (default 60) on a copy of its seed
# corpus. One summary line per target; exits non-zero when any target finds
# something, keeping the input in build-fuzz/findings/<target>/.
#   bash scripts/fuzz.sh [SECONDS]   build and run
#   bash scripts/fuzz.sh deps        only install clang and its libFuzzer runtime
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(sntp_reply time_reply ini_file int_setting format_datetime dotted_quad helper_request polkit_reply)
packages=(clang libclang-rt-14-dev cmake ninja-build)

install_deps() {
  local missing=() p
  for p in "${packages[@]}"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "fuzz.sh: installing ${missing[*]}"
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "${missing[@]}"
}

if [ "${1:-}" = deps ]; then
  install_deps
  exit 0
fi
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS] | deps" >&2
  exit 64
fi
install_deps

echo "=== build-fuzz"
CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja >/dev/null
cmake --build build-fuzz -j2

# The targets open no sockets; where a private network namespace can be made
# (or this already is one), they run in one all the same.
netns=()
if unshare -rn true 2>/dev/null; then netns=(unshare -rn); fi

run=build-fuzz/run
rm -rf "$run"
mkdir -p "$run"
# The settings-file target writes a file per input: in memory where possible.
scratch=$(mktemp -d "$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/kestrine-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

summary=()
findings=0
for t in "${targets[@]}"; do
  corpus=$run/$t/corpus
  found=build-fuzz/findings/$t
  mkdir -p "$corpus" "$found"
  cp fuzz/corpus/"$t"/* "$corpus"/
  seeds=$(find "$corpus" -type f | wc -l)
  echo "=== $t ($seconds s)"
  status=0
  # setarch -R: no address randomisation, as the sanitizers expect (see test.sh).
  env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 KESTRINE_FUZZ_TMP="$scratch" \
    "${netns[@]}" setarch "$(uname -m)" -R \
    build-fuzz/"$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$found/" "$corpus" >"$run/$t.log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/$t.log" | tail -1)
  size=$(find "$corpus" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    summary+=("$t: clean, ${runs:-?} runs in $seconds s, corpus $seeds -> $size inputs")
  else
    findings=$((findings + 1))
    grep -E 'ERROR: |runtime error: |property failed: |SUMMARY: ' "$run/$t.log" | head -5 || true
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$run/$t.log" | tail -1)
    summary+=("$t: FINDING (exit $status), input ${artifact:-not written}, log $run/$t.log")
  fi
done

echo "=== fuzz summary"
printf '%s\n' "${summary[@]}"
echo "fuzz: $((${#targets[@]} - findings)) clean, $findings with findings"
[ "$findings" -eq 0 ]
