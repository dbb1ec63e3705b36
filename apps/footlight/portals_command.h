// footlight portals MESH [--model] [--resource DIR] [--frames N] [--next-cell F]... [--size WxH]
//   [--png OUT]
//
// Builds cells and portals over an OBJ mesh with the module's cell-portal graph builder and
// reports the tables after every stage, the cells and portals found, and the wireframe each
// frame draws, seen from above a near corner of the whole mesh (--png writes the last frame's
// picture). MESH is a resource path below DIR. The mesh goes in vertex by vertex and
// triangle by triangle, or, with --model, as the model of a host "mesh" object. --next-cell F
// presses N (the next cell) before frame F.
//
// The command reaches the builder only through its virtual operations and the tables its
// progress record points to, so it works as well with a module loaded by dlopen.
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

// The command runs to 0 on success, 1 when the mesh does not load or the run leaks.
void AddPortalsCommand(cli::Program& program);

}  // namespace footlight
