#!/usr/bin/env bash
# Remakes the README's picture of the sample stage: the main job's frame (scene 1 under the
# glow) at 400 x 300, written to docs/stage.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 4)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOOTLIGHT_SANITIZE=OFF >/dev/null
cmake --build build -j "$jobs" --target footlight footlight_app
mkdir -p docs
./build/footlight run --scene 1 --resource samples --glow --size 400x300 --png docs/stage.png >/dev/null
echo "wrote docs/stage.png"
