// footlight maps --scene N [--resource DIR] [--size WxH] --out F
//
// Loads scene N and writes its walk map and header (walk.tga, walk.txt), its height map and
// header (height.tga, height.txt) and its planform picture (planform.bmp) into the folder F, a
// module path below the resource root, through the scene system's slots 53, 52 and 51; then
// prints the box and entry line of walk.txt and how many cells hold each walk code.
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

// The command: 0 when all five files were written; 1 (one line on stderr) when the scene does
// not load, a map slot fails or a host block is left.
void AddMapsCommand(cli::Program& program);

}  // namespace footlight
