#!/usr/bin/env bash
# Builds footlight three times (a normal build, one under AddressSanitizer and
# UndefinedBehaviorSanitizer with leak detection, one under ThreadSanitizer) and runs the
# whole suite on each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 4)
# The rasteriser's GL library keeps some memory for the life of the process; nothing else is
# suppressed. llvmpipe draws the tests' small targets on two threads.
export LSAN_OPTIONS="suppressions=$PWD/tests/osmesa.supp"
export LP_NUM_THREADS=2

echo "== normal build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOOTLIGHT_SANITIZE=OFF >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 300

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFOOTLIGHT_SANITIZE=ON -DFOOTLIGHT_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 600

echo "== ThreadSanitizer build =="
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFOOTLIGHT_SANITIZE=thread -DFOOTLIGHT_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
# A race ends the test at once; the software rasteriser draws on the calling thread.
TSAN_OPTIONS=halt_on_error=1 LP_NUM_THREADS=0 \
  ctest --test-dir build-tsan -j "$jobs" --output-on-failure --timeout 600
