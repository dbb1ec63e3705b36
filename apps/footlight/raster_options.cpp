#include "apps/footlight/raster_options.h"

#include <stb/stb_image_write.h>

#include <cstdlib>
#include <vector>

const char* const kRasterUsage =
    "      [--size WxH] [--clear RRGGBB] [--png OUT] [--no-raster]\n"
    "                               --size sets the back buffer (default 800x600), --clear clears\n"
    "                               it (depth 1, stencil 0) before each realize, --png writes the\n"
    "                               last frame to OUT, --no-raster records draws without drawing\n";

namespace {

bool ParseDimension(const std::string& text, UINT* out) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
  if (value < 1 || value > 4096) return false;
  *out = static_cast<UINT>(value);
  return true;
}

}  // namespace

bool TakeRasterOption(const std::string& arg, const std::function<const char*()>& value, RasterRunOptions* o,
                      std::string* error) {
  if (arg == "--no-raster") {
    o->raster = false;
  } else if (arg == "--png") {
    o->png = value();
    if (o->png.empty()) *error = "option --png needs a file name";
  } else if (arg == "--size") {
    const std::string text = value();
    const size_t x = text.find('x');
    if (x == std::string::npos || !ParseDimension(text.substr(0, x), &o->width) ||
        !ParseDimension(text.substr(x + 1), &o->height))
      *error = "option --size takes WIDTHxHEIGHT, each 1 to 4096, got \"" + text + "\"";
  } else if (arg == "--clear") {
    const std::string text = value();
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      *error = "option --clear takes a colour RRGGBB in hexadecimal, got \"" + text + "\"";
    } else {
      o->clear = true;
      o->clearColour = 0xFF000000u | static_cast<D3DCOLOR>(std::strtoul(text.c_str(), nullptr, 16));
    }
  } else {
    return false;
  }
  return true;
}

bool WriteSurfacePng(const host::Surface& surface, const std::string& path, std::string* error) {
  const int w = static_cast<int>(surface.Width()), h = static_cast<int>(surface.Height());
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t argb = surface.PixelArgb(static_cast<UINT>(x), static_cast<UINT>(y));
      unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(argb >> 16);
      p[1] = static_cast<unsigned char>(argb >> 8);
      p[2] = static_cast<unsigned char>(argb);
    }
  if (!stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3)) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}
