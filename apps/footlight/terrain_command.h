// footlight terrain HEIGHTS [--resource DIR] [--scale S] [--layer NAME] [--textures PREFIX]
//   [--eye X,Y,Z] [--at X,Y,Z] [--fov DEG] [--size WxH] [--frames N] [--wireframe]
//   [--ray X,Y,Z:X,Y,Z]... [--height X,Z]... [--brush W,H[,HX,HZ]] [--raise X,Y,N]...
//   [--set X,Y,N]... [--paint X,Y[:X2,Y2] --mask FILE --paint-layer NAME]
//   [--editor [--click X,Y@FRAME]...]
//
// Makes the module's terrain component, loads a height file into it (host/height_file.h), adds
// the base texture layer, looks from the eye at the point and runs the frames; prints per frame
// the visible blocks, the visible patches per level, the draws, triangles and vertices drawn and
// the times the dynamic buffers were started again; then each height edit under a pixel (the
// changed grid heights), the paint stroke (per painted patch its slots, blend maps and painted
// texels), each ray's hit and each height. With --editor the module's terrain editor is made after
// the terrain, the left clicks are delivered at their frames and each frame prints the walker's
// position.
//
// The command reaches the module through its virtual interfaces and the layout of the
// component's public per-frame tables, so it works with a module loaded by dlopen.
#pragma once
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "apps/footlight/cli.h"
#include "apps/footlight/raster_options.h"
#include "frame/dma_interface.h"

namespace footlight {

struct TerrainOptions {
  std::string heights;
  std::string resource = ".";
  float scale = 1.0f;
  std::string layer = "grass.dds";
  std::string textures = "resource\\terrain\\";
  std::optional<cli::Point> eye, at;
  float fov = 60.0f;  // degrees, vertical
  PictureOptions picture;  // the view's size and its last picture
  int frames = 1;
  bool wireframe = false;
  std::vector<cli::Ray> rays;
  std::vector<cli::GroundPoint> points;
  // The brush: W, H and the 1-based hot spot (default ((W + 1) / 2, (H + 1) / 2)).
  std::array<int, 4> brush{9, 9, 5, 5};
  struct HeightEdit {
    bool set = false;  // else raise
    cli::Pixel pixel;
    int amount = 0;
  };
  std::vector<HeightEdit> edits;
  std::optional<std::array<cli::Pixel, 2>> stroke;  // --paint: pixel from, pixel to
  std::string mask;             // resource path of the PGM mask
  std::string paintLayer;
  bool editor = false;
  struct Click {
    cli::Pixel pixel;  // of the client area
    int frame = 1;
  };
  std::vector<Click> clicks;
};

// The brush's weights, cell (i, j) at i H + j: 1 at the hot spot's cell, falling off in a
// straight line to 0 at the brush's edge on each side.
std::vector<float> ConeWeights(int width, int height, int hotX, int hotZ);

// The command: 0 on success, 1 when the height file or the layer cannot be loaded or the run leaks.
void AddTerrainCommand(cli::Program& program);

}  // namespace footlight
