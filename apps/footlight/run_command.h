// footlight run: creates the module's components by class name, drives frames of "execute" and
// "realize", loses and resets the device once, destroys everything and prints a summary; with
// --scene N it loads a scene of the resource tree instead (scene_run.h).
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

void AddRunCommand(cli::Program& program);

}  // namespace footlight
