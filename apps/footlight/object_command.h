// footlight object ID [--resource DIR] [--wait] [--second ID] [--frames K]
//
// Makes a scene system and one scene object, loads object ID from its object file (below the
// resource root, "resource\ini\objects\ID.ini"), optionally waiting for the model, and runs
// frames until the model is complete; then prints the path, the load's result, the tick that
// completed it, the head bone, the height, the bone count, the first part, the parameters and
// every message the object sent to its renderables.
#pragma once
#include <string>
#include <vector>

#include "frame/dma_interface.h"

extern const char* const kObjectUsage;

// 0 on success; 1 when the model does not load or complete (or a host block is left); 2 on bad
// arguments.
int RunObjectCommand(const std::vector<std::string>& args, DMAInterfaceFn entry);
