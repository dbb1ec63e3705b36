// A reference host with the module, the renderer, the lighting host objects and one lighting
// system, for the tests of lights and their beams.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "frame/host_blocks.h"
#include "host/lighting_objects.h"
#include "host/renderer.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "support/module_host.h"
#include "win32/file_system.h"

namespace light_testing {

// A resource tree in which every texture name of the tests is a 2 x 2 32-bit TGA file; it is
// removed when the test program ends.
class TextureTree {
 public:
  static const std::string& Root() {
    static const TextureTree tree;
    return tree.root_;
  }

 private:
  TextureTree() {
    const auto dir = std::filesystem::temp_directory_path() / ("footlight-light-" + std::to_string(::getpid()));
    root_ = dir.string();
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
    for (const char* name : {"fx/glow.tga", "fx/star.tga", "fx/spot.tga", "fx/hull.tga", "fx/smoke.tga",
                             "fx/beam.tga", "fx/other.tga", "lamp.dds", "resource/textures/spot.dds",
                             "resource/textures/hull.dds", "resource/textures/star.dds",
                             "resource/textures/distort.dds", "resource/textures/light/star.dds"}) {
      const auto file = dir / name;
      std::filesystem::create_directories(file.parent_path());
      std::ofstream out(file, std::ios::binary);
      out.write(reinterpret_cast<const char*>(header), sizeof header);
      for (int i = 0; i < 4; ++i) {
        const uint8_t pixel[4] = {0x40, 0x80, 0xC0, 0xFF};
        out.write(reinterpret_cast<const char*>(pixel), sizeof pixel);
      }
    }
  }
  ~TextureTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  std::string root_;
};

// The module in a reference host with the renderer and the lighting host objects.
struct RenderHost {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  std::unique_ptr<host::LightingHostObjects> objects;
  size_t blocksBefore = 0;

  RenderHost() {
    win32::SetResourceRoot(TextureTree::Root());
    module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    objects = host::RegisterLightingHostObjects(module.host);
    blocksBefore = module.host.Allocator().LiveBlocks();
  }
  ~RenderHost() {
    win32::SetResourceRoot("");
    EXPECT_EQ(module.host.Allocator().LiveBlocks(), blocksBefore);
    EXPECT_TRUE(module.host.Allocator().Errors().empty());
  }

  host::ReferenceHost& Host() { return module.host; }
  // Renderer warnings that contain `text`.
  size_t RendererWarnings(const std::string& text) const {
    size_t n = 0;
    for (const auto& line : renderer.Log())
      if (line.find(text) != std::string::npos) ++n;
    return n;
  }
};

// The same with one lighting system, destroyed before the blocks are counted.
struct LightHost : RenderHost {
  CLightingSystem* sys = nullptr;

  LightHost() {
    sys = CLightingSystem::NewArray(1);
    sys->Init(nullptr);
  }
  ~LightHost() { CLightingSystem::DeleteArray(sys); }

  CLight* Light(const char* name, int32_t type) {
    CLight* light = nullptr;
    sys->CreateLight(name, &light);
    light->SetType(type);
    return light;
  }
};

inline uint32_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

}  // namespace light_testing
