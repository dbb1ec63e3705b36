// Resource paths as the module's files name them (texture names in a light file, INI paths):
// the input is one path. Resolved for reading it names nothing or a file that exists below
// the resource root, never one beside it, also through a link in the tree; the renderer's
// LoadTexture, which reads what the path names, loads only the texture inside the root.
#include <limits.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "host/d3d_device.h"
#include "host/renderer.h"
#include "win32/file_system.h"

namespace {

// A 1 x 1 24-bit TGA file of one colour (blue, green, red).
std::string OnePixelTga(uint8_t b, uint8_t g, uint8_t r) {
  const char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0};
  return std::string(header, sizeof header) + std::string{static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
}

constexpr uint32_t kInside = 0xFFFF0000u;  // the red texture in the root

struct State {
  fuzz::ScratchRoot scratch;
  std::string root;
  std::string realRoot;
  host::Renderer renderer;

  State() : root(scratch.path() + "/root") {
    scratch.Put("root/Resource/Textures/inside.tga", OnePixelTga(0, 0, 0xFF));
    scratch.Put("root/resource/ini/light.ini", "[a]\r\ntype=1\r\n");
    // Beside the root, where a path that escapes would reach.
    scratch.Put("outside/secret.tga", OnePixelTga(0, 0xFF, 0));
    scratch.Put("root.tga", OnePixelTga(0, 0xFF, 0));
    // Links inside the tree: one that stays in it, and ones that lead out of it.
    std::error_code ec;
    std::filesystem::create_directory_symlink("Textures", root + "/Resource/Same", ec);
    std::filesystem::create_directory_symlink("../../outside", root + "/Resource/Away", ec);
    std::filesystem::create_symlink("../root.tga", root + "/up.tga", ec);
    char resolved[PATH_MAX];
    FUZZ_CHECK(realpath(root.c_str(), resolved) != nullptr, "the scratch root has no real path");
    realRoot = resolved;
    win32::SetResourceRoot(root);
  }
};

State& Shared() {
  static State* state = new State;
  return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = Shared();
  const std::string path(fuzz::AsText(data, size));
  const char* name = path.c_str();  // as the module hands it over: up to the first NUL

  const std::string resolved = win32::ResolvePath(s.root, name, win32::PathMode::Read);
  if (!resolved.empty()) {
    FUZZ_CHECK(resolved == s.root || resolved.rfind(s.root + "/", 0) == 0, "a path resolved outside the root");
    char real[PATH_MAX];
    FUZZ_CHECK(realpath(resolved.c_str(), real) != nullptr, "a path resolved to a file that does not exist");
    const std::string r(real);
    FUZZ_CHECK(r == s.realRoot || r.rfind(s.realRoot + "/", 0) == 0, "a path reached a file outside the root");
  }

  const int texture = s.renderer.LoadTexture(name, 0);
  if (texture >= 0) {
    auto* loaded = static_cast<host::Texture*>(s.renderer.GetTextureObject(texture));
    FUZZ_CHECK(loaded != nullptr && loaded->Level(0) != nullptr, "a texture handle without a texture");
    FUZZ_CHECK(loaded->Level(0)->PixelArgb(0, 0) == kInside, "LoadTexture read a file outside the root");
    s.renderer.ReleaseTexture(texture);
  }
  FUZZ_CHECK(s.renderer.LiveTextures() == 0, "a released texture stayed loaded");
  s.renderer.ClearRecords();  // its warnings would only grow
  return 0;
}
