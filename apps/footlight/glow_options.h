// The glow options of `footlight run`: a picture in the back buffer in place of the clear, and
// the glow switched on and tuned through the channels a player's client would use.
//
//   --backdrop IMAGE     a plain path to a picture the texture loader reads (PNG, TGA, BMP,
//                        DDS), scaled to the back buffer and written into it before each frame
//   --glow               a Home key release through "system_messages" before the first frame
//   --glow-strength N    event 222 with N (0-100; the glow clamps it)
//   --glow-blend F       event 111 with F
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "apps/footlight/cli.h"
#include "host/host.h"
#include "host/standard_host.h"

struct GlowRunOptions {
  std::string backdrop;
  bool glow = false;
  std::optional<int> strength;
  std::optional<float> blend;
  // True when an option speaks to the glow component.
  bool TalksToGlow() const { return glow || strength || blend; }
  bool Any() const { return TalksToGlow() || !backdrop.empty(); }
};

// Declares the glow options on a command.
void DeclareGlowOptions(CLI::App* cmd, GlowRunOptions* options);

// The one line that refuses the options with the others of a run ("" when they go together).
std::string CheckGlowOptions(const GlowRunOptions& options, bool clear, const std::vector<std::string>& classes);

// Before the first frame: the Home key release, then the strength and blend events.
void StartGlow(host::ReferenceHost& host, const GlowRunOptions& options);

// A picture scaled once to the back buffer and put into it before each frame.
class Backdrop {
 public:
  // Reads and decodes the file; false with one line in `error` when it cannot be.
  bool Load(host::Renderer& renderer, const std::string& path, std::string* error);
  // Writes the picture into the back buffer and clears depth to 1 and stencil to 0.
  void Put(host::StandardHost& standard) const;
  bool Loaded() const { return !pixels_.empty(); }

 private:
  UINT width_ = 0, height_ = 0;
  std::vector<uint32_t> pixels_;  // ARGB, rows first, the back buffer's size
};
