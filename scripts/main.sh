#!/usr/bin/env bash
# Builds the module and the command-line host, then runs the module on the sample resource tree.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 4)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOOTLIGHT_SANITIZE=OFF >/dev/null
cmake --build build -j "$jobs" --target footlight footlight_app
./build/footlight classes
if [ $# -eq 0 ]; then
  set -- --scene 1 --resource samples --glow --png frame.png
fi
./build/footlight run "$@"
