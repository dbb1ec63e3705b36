// Pixels of a device surface and their channels, for tests that look at what was drawn.
#pragma once
#include <cstdint>
#include <cstdlib>

#include "host/d3d_device.h"

namespace testing_support {

// The pixel at (x, y) of a surface as RGB, read back from the rasteriser when it drew last (a
// render target of the default pool cannot be locked).
inline uint32_t SurfacePixel(host::Surface* surface, UINT x, UINT y) { return surface->PixelArgb(x, y) & 0xFFFFFFu; }

inline int Red(uint32_t rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
inline int Green(uint32_t rgb) { return static_cast<int>((rgb >> 8) & 0xFF); }
inline int Blue(uint32_t rgb) { return static_cast<int>(rgb & 0xFF); }

// True when each channel of `rgb` is within `tolerance` of `want`'s.
inline bool Near(uint32_t rgb, uint32_t want, int tolerance) {
  return std::abs(Red(rgb) - Red(want)) <= tolerance && std::abs(Green(rgb) - Green(want)) <= tolerance &&
         std::abs(Blue(rgb) - Blue(want)) <= tolerance;
}

}  // namespace testing_support
