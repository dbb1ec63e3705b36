#!/usr/bin/env bash
# Runs the terrain editor on the sample terrain. Scene 1 of the sample tree is a stage whose walk
# patch covers only the ground round the origin, while the editor puts its walker at (222, 0, 333);
# so this makes a copy of the sample tree whose scene 1 walks on the sample terrain's ground
# (samples/editor/walk_patch.obj), and runs `footlight terrain --editor` on it with a click low on
# the left of the view. Arguments replace the default options after --editor.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/footlight ]; then
  bash scripts/setup.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOOTLIGHT_SANITIZE=OFF >/dev/null
  cmake --build build -j "$(nproc 2>/dev/null || echo 4)" --target footlight footlight_app
fi
tree=build/editor-tree
rm -rf "$tree"
mkdir -p "$tree"
cp -r samples/. "$tree"/
cp samples/editor/walk_patch.obj "$tree"/resource/models/stage/walk_patch.obj
if [ $# -eq 0 ]; then
  set -- --frames 8 --click 100,500@4
fi
./build/footlight terrain resource/terrain/hills.r16 --resource "$tree" --editor "$@"
