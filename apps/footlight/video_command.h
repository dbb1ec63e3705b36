// footlight video FILE [--resource DIR] [--reader] [--pin NAME] [--audio NAME] [--volume V]
//   [--frames N] [--elapsed MS] [--screen X,Y,W,H] [--png OUT]
//
// Makes the module's "CVideoTextureManager", opens FILE (a resource path) through the file
// source and its "Output" pin, or with --reader through the reader's "Raw Video 1" and
// "Raw Audio 0", plays it (through SetScreenRect with --screen) and runs N frames of execute
// and realize paced at MS in real time; prints the duration, then per frame the position, the
// frames copied, the current texture (A or B), the listener codes, the sound samples played
// and the volume. --png writes the picture part of the last current texture, upright.
#pragma once
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "apps/footlight/cli.h"
#include "frame/dma_interface.h"

class CTextureRenderer;
struct IDirect3DTexture8;

namespace footlight {

struct VideoOptions {
  std::string file;
  std::string resource = ".";
  bool reader = false;
  std::string pin;    // "" : the path's default
  std::string audio;  // "" : the path's default
  std::optional<long> volume;
  int frames = 30;
  int elapsed = 33;
  std::optional<std::array<int, 4>> screen;  // X, Y, W, H
  std::string png;
};

// The command: 0 on success, 1 when the file cannot be opened, the picture not written or the
// run leaks.
void AddVideoCommand(cli::Program& program);

// Writes the picture part of a video texture `renderer` fills, turned upright, as a PNG file at a
// plain path; false with `error` set when it cannot be written.
bool WriteVideoPicture(const CTextureRenderer* renderer, IDirect3DTexture8* texture, const std::string& path,
                       std::string* error);

}  // namespace footlight
