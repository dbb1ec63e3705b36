#!/usr/bin/env bash
# Builds footlight three times (a normal build, one under AddressSanitizer and
# UndefinedBehaviorSanitizer with leak detection, one under ThreadSanitizer) and runs the
# whole suite on each, printing each stage's wall time and its ten slowest tests.
# FOOTLIGHT_JOBS sets the parallel jobs of the builds and the tests (default: every core). A
# sanitizer build is removed once its suite has passed (some 5 GB each), unless
# FOOTLIGHT_KEEP_BUILDS=1; the normal build stays for the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/suite.sh

jobs=${FOOTLIGHT_JOBS:-$(nproc 2>/dev/null || echo 4)}
total=$SECONDS

# stage LABEL BUILD_DIR cmake-options...: configure, build, run the suite, report the times.
stage() {
  local label=$1 dir=$2
  shift 2
  echo "== $label =="
  local start=$SECONDS
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  local built=$SECONDS
  run_suite "$label" "$dir"
  echo "== $label: build $(elapsed $((built - start))), stage $(elapsed $((SECONDS - start))), $(du -sh "$dir" | cut -f1) =="
  if [[ $dir != build && ${FOOTLIGHT_KEEP_BUILDS:-0} != 1 ]]; then rm -rf "$dir"; fi
}

stage "normal build" build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOOTLIGHT_SANITIZE=OFF
stage "AddressSanitizer and UndefinedBehaviorSanitizer build" build-asan \
  -DCMAKE_BUILD_TYPE=Debug -DFOOTLIGHT_SANITIZE=ON -DFOOTLIGHT_BENCHMARKS=OFF
stage "ThreadSanitizer build" build-tsan \
  -DCMAKE_BUILD_TYPE=Debug -DFOOTLIGHT_SANITIZE=thread -DFOOTLIGHT_BENCHMARKS=OFF
echo "== all three builds passed in $(elapsed $((SECONDS - total))) =="
