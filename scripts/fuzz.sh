#!/usr/bin/env bash
# Fuzzes the file readers with clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [TARGET] [SECONDS]
#
# TARGET is one of fuzz/<TARGET>_fuzz.cpp (default: every target); each runs for SECONDS
# (default 60), as many at once as there are cores (FUZZ_JOBS=N sets fewer). The build tree
# is build-fuzz/. Inputs that find something new go to build-fuzz/corpus/<TARGET>/ (the
# seeds in fuzz/corpus/<TARGET>/ are only read); findings (crash-*, leak-*, timeout-*,
# oom-*) go to build-fuzz/findings/<TARGET>/ with the run's log beside them. A target stops
# at its first finding unless FUZZ_KEEP_GOING=1, which runs it in a child process that is
# restarted after each finding (libFuzzer's fork mode). The status is 1 when any target found
# something.
set -euo pipefail
cd "$(dirname "$0")/.."

# The usage lines: on stdout with status 0 when asked for, on stderr with status 2 otherwise.
usage() {
  local status=${1:-2}
  {
    echo "usage: scripts/fuzz.sh [TARGET] [SECONDS]"
    echo "targets: $(ls fuzz/*_fuzz.cpp | sed 's|fuzz/||; s|_fuzz.cpp||' | tr '\n' ' ')(default: all)"
    echo "SECONDS per target (default 60); FUZZ_JOBS=N targets at once; FUZZ_KEEP_GOING=1 past findings"
  } >&$((status == 0 ? 1 : 2))
  exit "$status"
}

all=()
for source in fuzz/*_fuzz.cpp; do
  name=${source#fuzz/}
  all+=("${name%_fuzz.cpp}")
done

targets=("${all[@]}")
seconds=60
if [ $# -ge 1 ] && [ "$1" != all ]; then
  case "$1" in -h|--help) usage 0 ;; esac
  found=0
  for t in "${all[@]}"; do [ "$t" = "$1" ] && found=1; done
  [ $found -eq 1 ] || { echo "fuzz: no target named \"$1\"" >&2; usage; }
  targets=("$1")
fi
if [ $# -ge 2 ]; then
  [[ "$2" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: SECONDS must be a whole number from 1, got \"$2\"" >&2; usage; }
  seconds=$2
fi
[ $# -le 2 ] || usage

bash scripts/setup.sh

jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 4)}
[[ "$jobs" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: FUZZ_JOBS must be a whole number from 1" >&2; exit 2; }
tree=build-fuzz

echo "== building ${targets[*]} with clang and libFuzzer in $tree =="
cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DFOOTLIGHT_FUZZ=ON -DFOOTLIGHT_TESTS=OFF -DFOOTLIGHT_BENCHMARKS=OFF >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=("${t}_fuzz"); done
cmake --build "$tree" -j "$jobs" --target "${build_targets[@]}"

# One target's run; everything it says goes to its log.
run() {
  local t=$1
  local work="$tree/corpus/$t" findings="$tree/findings/$t"
  mkdir -p "$work" "$findings"
  ls "$work" | wc -l > "$findings/.corpus-before"
  local keep=()
  if [ "${FUZZ_KEEP_GOING:-0}" = 1 ]; then
    keep=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  fi
  # GNU time gives the peak memory of the fuzzer and of the children it forks.
  # The rasteriser's GL library keeps some memory for the life of the process (tests/osmesa.supp).
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 LSAN_OPTIONS="suppressions=$PWD/tests/osmesa.supp" \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    /usr/bin/time -f %M -o "$findings/.peak-kb" "./$tree/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -malloc_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "${keep[@]}" \
      "$work" "fuzz/corpus/$t" >"$findings/fuzz.log" 2>&1 || true
}

echo "== fuzzing ${targets[*]} for $seconds s each, $jobs at a time =="
running=0
for t in "${targets[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run "$t" &
  running=$((running + 1))
done
wait

status=0
printf '%-16s %12s %9s %9s %9s %s\n' target executions "peak MB" coverage "new" findings
for t in "${targets[@]}"; do
  findings="$tree/findings/$t"
  log="$findings/fuzz.log"
  # The executions: the final statistics of a plain run, the last progress line of fork mode.
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  if [ -z "$execs" ] && grep -q 'INFO: exiting:' "$log"; then
    execs=$(grep -o '^#[0-9]*: cov' "$log" | tail -1 | grep -o '[0-9]*' || true)
  fi
  peak=$(grep -o '[0-9]*' "$findings/.peak-kb" 2>/dev/null | tail -1 || true)
  [ -z "$peak" ] || peak=$((peak / 1024))
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  before=$(cat "$findings/.corpus-before")
  after=$(ls "$tree/corpus/$t" | wc -l)
  found=$(find "$findings" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
  if [ "$found" -gt 0 ] || [ -z "$execs" ]; then
    status=1
    summary="$found in $findings (log: $log)"
    [ -n "$execs" ] || summary="the run did not finish (log: $log)"
  else
    summary=none
  fi
  printf '%-16s %12s %9s %9s %9s %s\n' "$t" "${execs:-?}" "${peak:-?}" "${cov:-?}" "$((after - before))" "$summary"
done
exit $status
