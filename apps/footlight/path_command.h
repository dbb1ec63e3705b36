// footlight path --scene N [--resource DIR] X,Y,Z X,Y,Z
//
// Loads scene N, creates one scene object and asks the scene system's path search (slot 98)
// for a route from the first point to the second; prints the waypoints, or "no route".
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

// The command: 0 with a route or "no route"; 1 (one line on stderr) when the scene does not load,
// the scene object keeps no path or a host block is left.
void AddPathCommand(cli::Program& program);

}  // namespace footlight
