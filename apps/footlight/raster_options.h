// The picture options of the commands that draw, and the further drawing options of `footlight
// run`.
//
//   --size WxH      the back buffer's size (default 800x600)
//   --png OUT       the last frame's back buffer, read back from the device (a plain path)
//
// `footlight run` adds:
//   --clear RRGGBB  clear target, depth (1) and stencil (0) before each "realize"
//   --no-raster     draws are recorded only; nothing is drawn
#pragma once
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "apps/footlight/cli.h"
#include "host/renderer.h"

namespace host {
class StandardHost;
}

struct PictureOptions {
  footlight::cli::Size size{800, 600};
  std::string png;

  UINT width() const { return static_cast<UINT>(size.width); }
  UINT height() const { return static_cast<UINT>(size.height); }
  // A renderer whose device is --size.
  host::RendererConfig Config() const;
  // With --png each frame starts from a black picture and a far depth, as a game's frame does,
  // so the picture shows the last frame alone.
  void ClearFrames(host::StandardHost& standard) const;
};

// Declares --size and --png on a command that draws; `sizeHelp` says what the size is to it.
void DeclarePictureOptions(CLI::App* cmd, PictureOptions* options,
                           const std::string& sizeHelp = "the back buffer's size (default 800x600)");

// Writes a w x h picture as a PNG file at a plain path: `argb(x, y)` gives each pixel, row 0 at
// the top. False with `error` set when the file cannot be written.
bool WriteArgbPng(int w, int h, const std::function<uint32_t(int x, int y)>& argb, const std::string& path,
                  std::string* error);

// Writes the surface's pixels, read back from the device, as a PNG file at a plain path.
bool WriteSurfacePng(const host::Surface& surface, const std::string& path, std::string* error);

// With --png, writes the renderer's back buffer there and echoes "wrote OUT" on `out`; 1 with
// the one error line on `err` when it cannot be written. 0 otherwise.
int WritePicture(const PictureOptions& options, host::Renderer& renderer, std::FILE* out = stdout,
                 std::FILE* err = stderr);

struct RasterRunOptions : PictureOptions {
  std::optional<footlight::cli::Colour> clear;
  bool noRaster = false;

  // The clear colour, opaque.
  D3DCOLOR ClearColour() const { return 0xFF000000u | (clear ? clear->rgb : 0u); }
  bool Any() const { return size.width != 800 || size.height != 600 || clear || !png.empty() || noRaster; }
};

// Declares the drawing options of `footlight run` on a command.
void DeclareRasterOptions(CLI::App* cmd, RasterRunOptions* options);
