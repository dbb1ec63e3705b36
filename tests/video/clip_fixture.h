// Clips made at run time under a resource root of their own, and a standard host that plays
// them through the module's video texture manager on the manual clock.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "apps/makeclip/clip_maker.h"
#include "dshow/streaming.h"
#include "frame/dma_interface.h"
#include "host/d3d_device.h"
#include "host/standard_host.h"
#include "video/texture_renderer.h"
#include "video/video_texture_manager.h"
#include "video_fixture.h"
#include "win32/file_system.h"
#include "win32/win32_state.h"

namespace video_testing {

// A fresh folder under the temporary directory, removed at the end.
struct ClipFolder {
  std::filesystem::path root;
  ClipFolder() {
    static std::atomic<int> next{0};
    root = std::filesystem::temp_directory_path() /
           ("footlight_clips_" + std::to_string(getpid()) + "_" + std::to_string(next++));
    std::filesystem::create_directories(root / "Video");
  }
  ~ClipFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  // Makes Video/<name> and returns its path on disk.
  std::string Make(const std::string& name, const clip::ClipOptions& options) {
    const std::string path = (root / "Video" / name).string();
    std::string error;
    EXPECT_TRUE(clip::MakeClip(path, options, &error)) << error;
    return path;
  }
};

inline clip::ClipOptions Clip(int width, int height, int frames, bool audio = true, int rate = 10) {
  clip::ClipOptions options;
  options.width = width;
  options.height = height;
  options.frames = frames;
  options.rate = rate;
  options.audio = audio;
  return options;
}

// What listeners heard, in order.
struct Heard {
  std::vector<int> codes;
  static void Listen(int code, void* context) { static_cast<Heard*>(context)->codes.push_back(code); }
};

// A standard host over the clip folder, the module loaded, one manager made and initialised,
// on the manual clock at 1000 ms.
struct ManagerRig {
  ClipFolder clips;
  host::StandardHost standard{clips.root.string()};
  CVideoTextureManager* manager = nullptr;
  ComponentHandle handle{};
  Heard heard;

  ManagerRig() {
    win32::UseManualClock(1000);
    standard.host.LoadModule(&DMAInterface);
    standard.host.CreateObject(&handle, "CVideoTextureManager");
    manager = static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(standard.host.GetObject(&handle)));
    manager->AddListener(&Heard::Listen, &heard);
  }
  ~ManagerRig() {
    standard.host.DestroyAll();
    EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
    win32::UseRealClock();
  }

  void Advance(DWORD ms) {
    win32::AdvanceManualClock(ms);
    ASSERT_TRUE(StreamingIdle());
  }

  // The current texture's texel (x, row) as 0xRRGGBB; -1 without a texture.
  int64_t Texel(int x, int row) {
    IDirect3DTexture8* texture = manager->LockTexture(nullptr);
    const int64_t value =
        texture ? static_cast<int64_t>(static_cast<host::Texture*>(texture)->Level(0)->PixelValue(x, row) & 0xFFFFFF) : -1;
    manager->UnlockTexture();
    return value;
  }
};

inline int64_t Packed(const clip::Rgb& c) { return (int64_t{c.r} << 16) | (c.g << 8) | c.b; }

// Within `tolerance` on each channel.
inline bool Near(int64_t texel, const clip::Rgb& c, int tolerance) {
  if (texel < 0) return false;
  const int r = static_cast<int>((texel >> 16) & 0xFF), g = static_cast<int>((texel >> 8) & 0xFF), b = static_cast<int>(texel & 0xFF);
  return std::abs(r - c.r) <= tolerance && std::abs(g - c.g) <= tolerance && std::abs(b - c.b) <= tolerance;
}

}  // namespace video_testing
