// The drawing options of `footlight run`: the device size, a clear before each frame's render
// phases, the last frame as a PNG picture and rasterising switched off.
//
//   --size WxH      back buffer size (default 800x600)
//   --clear RRGGBB  clear target, depth (1) and stencil (0) before each "realize"
//   --png OUT       the last frame's back buffer, read back before the closing reset (a plain path)
//   --no-raster     draws are recorded only; nothing is drawn
#pragma once
#include <functional>
#include <string>

#include "host/renderer.h"

struct RasterRunOptions {
  UINT width = 800;
  UINT height = 600;
  bool clear = false;
  D3DCOLOR clearColour = 0;
  std::string png;
  bool raster = true;
};

extern const char* const kRasterUsage;

// Takes `arg` when it is one of the drawing options, its value read through `value`. Returns
// false for any other argument; sets `error` (one line) for a bad value.
bool TakeRasterOption(const std::string& arg, const std::function<const char*()>& value, RasterRunOptions* options,
                      std::string* error);

// Writes the surface's pixels, read back from the device, as a PNG file at a plain path.
bool WriteSurfacePng(const host::Surface& surface, const std::string& path, std::string* error);
