#include "apps/footlight/raster_options.h"

#include <stb/stb_image_write.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "host/standard_host.h"

host::RendererConfig PictureOptions::Config() const {
  host::RendererConfig config;
  config.device.width = width();
  config.device.height = height();
  return config;
}

void PictureOptions::ClearFrames(host::StandardHost& standard) const {
  if (!png.empty()) standard.ClearEachFrame(0xFF000000u);
}

void DeclarePictureOptions(CLI::App* cmd, PictureOptions* o, const std::string& sizeHelp) {
  using namespace footlight;
  cli::Value(cmd, "--size", &o->size, sizeHelp);
  cli::OutputPath(cmd, "--png", &o->png, "write the last frame's picture to this file");
}

void DeclareRasterOptions(CLI::App* cmd, RasterRunOptions* o) {
  using namespace footlight;
  DeclarePictureOptions(cmd, o);
  cli::Value(cmd, "--clear", &o->clear, "clear target, depth (1) and stencil (0) to this colour before each frame");
  cmd->add_flag("--no-raster", o->noRaster, "record the draws without drawing them");
}

bool WriteArgbPng(int w, int h, const std::function<uint32_t(int x, int y)>& argb, const std::string& path,
                  std::string* error) {
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t pixel = argb(x, y);
      unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(pixel >> 16);
      p[1] = static_cast<unsigned char>(pixel >> 8);
      p[2] = static_cast<unsigned char>(pixel);
    }
  // Encoded in memory and written here, so that a write that fails says why and a new file it
  // began is not left half written.
  std::vector<unsigned char> png;
  auto append = [](void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    bytes->insert(bytes->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
  };
  if (!stbi_write_png_to_func(append, &png, w, h, 3, rgb.data(), w * 3)) {
    *error = "cannot write " + path + ": the picture was not encoded";
    return false;
  }
  struct stat info{};
  const bool existed = stat(path.c_str(), &info) == 0;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(png.data(), 1, png.size(), file) == png.size();
  int why = errno;
  if (file != nullptr && std::fclose(file) != 0 && written) {
    written = false;
    why = errno;
  }
  if (written) return true;
  if (file != nullptr && !existed) std::remove(path.c_str());
  std::string reason = std::strerror(why);
  reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  *error = "cannot write " + path + ": " + reason;
  return false;
}

bool WriteSurfacePng(const host::Surface& surface, const std::string& path, std::string* error) {
  return WriteArgbPng(
      static_cast<int>(surface.Width()), static_cast<int>(surface.Height()),
      [&](int x, int y) { return surface.PixelArgb(static_cast<UINT>(x), static_cast<UINT>(y)); }, path, error);
}

int WritePicture(const PictureOptions& o, host::Renderer& renderer, std::FILE* out, std::FILE* err) {
  if (o.png.empty()) return 0;
  if (std::string error; !WriteSurfacePng(*renderer.device().BackBuffer(), o.png, &error)) {
    std::fprintf(err, "footlight: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(out, "wrote %s\n", o.png.c_str());
  return 0;
}
