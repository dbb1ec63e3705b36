// footlight helpers [--scene N] [FILE] [--save OUT] [--resource DIR]
//
// Loads scene N (its helper-point file and the points its models carry) and/or the helper-point
// file FILE, prints the groups, their points (name, position, fixed or not) and the light
// sockets, and saves the points through the scene's save slot to OUT. FILE and OUT are module
// paths below the resource root.
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

// The command: 0 on success; 1 when the scene or FILE does not load or the save fails.
void AddHelpersCommand(cli::Program& program);

}  // namespace footlight
