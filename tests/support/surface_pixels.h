// Pixels of a device surface read as the module would read them, through Lock.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/d3d_device.h"

namespace testing_support {

// The 32-bit pixel at (x, y) of an X8R8G8B8 or A8R8G8B8 surface, alpha dropped.
inline uint32_t SurfacePixel(host::Surface* surface, UINT x, UINT y) {
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  if (locked.pBits == nullptr) return 0xDEADBEEFu;
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
  surface->UnlockRect();
  return value & 0xFFFFFFu;
}

inline int Red(uint32_t rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
inline int Green(uint32_t rgb) { return static_cast<int>((rgb >> 8) & 0xFF); }
inline int Blue(uint32_t rgb) { return static_cast<int>(rgb & 0xFF); }

// True when each channel of `rgb` is within `tolerance` of `want`'s.
inline bool Near(uint32_t rgb, uint32_t want, int tolerance) {
  return std::abs(Red(rgb) - Red(want)) <= tolerance && std::abs(Green(rgb) - Green(want)) <= tolerance &&
         std::abs(Blue(rgb) - Blue(want)) <= tolerance;
}

}  // namespace testing_support
