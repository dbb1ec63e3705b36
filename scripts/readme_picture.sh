#!/usr/bin/env bash
# Remakes the README's picture of the sample stage: the main job's frame (scene 1 under the
# glow) at 400 x 300, written to docs/stage.png instead of out/frame.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/main.sh --scene 1 --resource samples --glow --size 400x300 --png docs/stage.png >/dev/null
echo "wrote docs/stage.png"
