#!/usr/bin/env bash
# Builds the module, its libraries and the three programs, then runs the module on the sample
# resource tree: the sample stage lit, under the glow, its picture in out/frame.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 4)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOOTLIGHT_SANITIZE=OFF >/dev/null
cmake --build build -j "$jobs" --target footlight footlight_platform footlight_app footlight_filmplayer \
  footlight_makeclip
./build/footlight classes
mkdir -p out
if [ $# -eq 0 ]; then
  set -- --scene 1 --resource samples --glow --png out/frame.png
fi
./build/footlight run "$@"
