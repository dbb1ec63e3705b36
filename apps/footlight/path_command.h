// footlight path --scene N --resource DIR X,Y,Z X,Y,Z
//
// Loads scene N, creates one scene object and asks the scene system's path search (slot 98)
// for a route from the first point to the second; prints the waypoints, or "no route".
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "frame/dma_interface.h"

namespace footlight {

struct PathOptions {
  int scene = -1;
  std::string resource;
  float from[3] = {0, 0, 0};
  float to[3] = {0, 0, 0};
};

extern const char* const kPathUsage;

// Parses the arguments after "path"; false with a one-line reason.
bool ParsePathOptions(const std::vector<std::string>& args, PathOptions* out, std::string* error);

// 0 with a route or "no route"; 1 (one line on `err`) when the scene does not load, the scene
// object keeps no path or a host block is left.
int RunPathCommand(const PathOptions& options, DMAInterfaceFn entry, std::FILE* out, std::FILE* err);

}  // namespace footlight
