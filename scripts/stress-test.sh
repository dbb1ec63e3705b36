#!/usr/bin/env bash
# Runs the suite of one existing build (build, build-asan or build-tsan) twice while stress-ng
# keeps every core busy: a test that waits on the clock rather than on what it waits for shows
# up here. Further arguments go to ctest (e.g. -R FilmPlayer for a part of the suite).
# FOOTLIGHT_JOBS sets ctest's parallel jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ] || [ ! -f "$1/CTestTestfile.cmake" ]; then
  echo "usage: scripts/stress-test.sh BUILD_DIR [ctest options] (BUILD_DIR built, e.g. build-asan)" >&2
  exit 2
fi
command -v stress-ng >/dev/null || { echo "stress-test: stress-ng is missing (scripts/setup.sh installs it)" >&2; exit 1; }
source scripts/suite.sh

jobs=${FOOTLIGHT_JOBS:-$(nproc 2>/dev/null || echo 4)}
cores=$(nproc 2>/dev/null || echo 4)
stress-ng --cpu "$cores" --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null; wait "$stress" 2>/dev/null || true' EXIT
echo "== stress-ng holds $cores cores busy (pid $stress) =="

build=$1
shift
for run in 1 2; do
  run_suite "$build under load, run $run of 2" "$build" "$@"
done
echo "== $build: both runs under load passed =="
