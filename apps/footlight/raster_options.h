// The drawing options of `footlight run`: the device size, a clear before each frame's render
// phases, the last frame as a PNG picture and rasterising switched off.
//
//   --size WxH      back buffer size (default 800x600)
//   --clear RRGGBB  clear target, depth (1) and stencil (0) before each "realize"
//   --png OUT       the last frame's back buffer, read back before the closing reset (a plain path)
//   --no-raster     draws are recorded only; nothing is drawn
#pragma once
#include <optional>
#include <string>

#include "apps/footlight/cli.h"
#include "host/renderer.h"

struct RasterRunOptions {
  footlight::cli::Size size{800, 600};
  std::optional<footlight::cli::Colour> clear;
  std::string png;
  bool noRaster = false;

  UINT width() const { return static_cast<UINT>(size.width); }
  UINT height() const { return static_cast<UINT>(size.height); }
  // The clear colour, opaque.
  D3DCOLOR ClearColour() const { return 0xFF000000u | (clear ? clear->rgb : 0u); }
  bool Any() const { return size.width != 800 || size.height != 600 || clear || !png.empty() || noRaster; }
};

// Declares the drawing options on a command.
void DeclareRasterOptions(CLI::App* cmd, RasterRunOptions* options);

// Writes the surface's pixels, read back from the device, as a PNG file at a plain path.
bool WriteSurfacePng(const host::Surface& surface, const std::string& path, std::string* error);
