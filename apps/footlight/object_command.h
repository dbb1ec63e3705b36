// footlight object ID [--resource DIR] [--wait] [--second ID] [--frames K]
//
// Makes a scene system and one scene object, loads object ID from its object file (below the
// resource root, "resource\ini\objects\ID.ini"), optionally waiting for the model, and runs
// frames until the model is complete; then prints the path, the load's result, the tick that
// completed it, the head bone, the height, the bone count, the first part, the parameters and
// every message the object sent to its renderables.
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

// The command: 0 on success; 1 when the model does not load or complete (or a host block is
// left); 2 when an option names what the host does not have (a font).
void AddObjectCommand(cli::Program& program);

}  // namespace footlight
