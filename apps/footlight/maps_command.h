// footlight maps --scene N --resource DIR [--size WxH] --out F
//
// Loads scene N and writes its walk map and header (walk.tga, walk.txt), its height map and
// header (height.tga, height.txt) and its planform picture (planform.bmp) into the folder F, a
// module path below the resource root, through the scene system's slots 53, 52 and 51; then
// prints the box and entry line of walk.txt and how many cells hold each walk code.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "frame/dma_interface.h"

namespace footlight {

struct MapsOptions {
  int scene = -1;
  std::string resource;
  int width = 256, height = 256;
  std::string out;
};

extern const char* const kMapsUsage;

// Parses the arguments after "maps"; false with a one-line reason.
bool ParseMapsOptions(const std::vector<std::string>& args, MapsOptions* out, std::string* error);

// 0 when all five files were written; 1 (one line on `err`) when the scene does not load, a
// map slot fails or a host block is left.
int RunMapsCommand(const MapsOptions& options, DMAInterfaceFn entry, std::FILE* out, std::FILE* err);

// "WxH" with both in 1..65535; false for anything else.
bool ParseMapSize(const std::string& text, int* width, int* height);

}  // namespace footlight
