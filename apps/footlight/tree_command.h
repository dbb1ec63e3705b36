// footlight tree run FILE[:CLASS]... [--resource DIR] [--frames N] [--eye X,Y,Z] [--at X,Y,Z]
//                    [--key B|O]... [--collision FILE] [--occluder FILE] [--size WxH] [--png OUT]
// footlight tree build INPUT OUTBASE [--colour FILE] [--resource DIR]
// footlight tree query --collision FILE (--ray X,Y,Z:X,Y,Z | --sphere X,Y,Z --radius R [--first] | --bounds)
//
// run loads render-geometry files into the module's adaptive binary tree, each with its blend
// class, and the collision and occluder trees, rebuilds the render tree, looks from the eye at
// the point and runs the frames, printing what each culled and drew, then the shape of the render
// tree; --png writes the last frame's picture. build runs the three off-line builds on a build input (or on an OBJ mesh written as one
// first); query asks a collision tree. The command reaches the tree only
// through its virtual operations, so it works as well with a module loaded by dlopen.
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

// The command and its three: each runs to 0 on success, 1 when a file does not load or build.
void AddTreeCommand(cli::Program& program);

}  // namespace footlight
