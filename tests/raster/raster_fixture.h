// A renderer on a 16 x 16 device for rasteriser tests: drawing helpers in screen space and in
// world space, and the pixels of the back buffer read through Lock.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/renderer.h"

namespace raster_test {

constexpr UINT kSize = 16;

// Pre-transformed vertex with a colour (0x44).
struct ScreenVertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
};
// Pre-transformed vertex with a colour and one coordinate set (0x144).
struct ScreenTexVertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
// World-space vertex with a normal (0x12).
struct LitVertex {
  float x, y, z;
  float nx, ny, nz;
};
// World-space vertex with a colour (0x42).
struct ColourVertex {
  float x, y, z;
  D3DCOLOR colour;
};

constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr DWORD kScreenTexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL;
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// llvmpipe draws 16 x 16 targets on two threads, whoever runs the tests.
inline const bool kFewThreads = setenv("LP_NUM_THREADS", "2", 0) == 0;

inline host::RendererConfig SmallConfig(D3DFORMAT back = D3DFMT_X8R8G8B8, D3DFORMAT depth = D3DFMT_D24S8) {
  host::RendererConfig config;
  config.device.width = kSize;
  config.device.height = kSize;
  config.device.backBufferFormat = back;
  config.device.depthFormat = depth;
  return config;
}

inline D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

inline DWORD Bits(float f) {
  DWORD d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

class RasterTest : public ::testing::Test {
 protected:
  explicit RasterTest(const host::RendererConfig& config = SmallConfig()) : r(config) {
    // The tests draw plain opaque colours unless they say otherwise.
    r.SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    r.SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    r.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    r.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    r.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    r.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    r.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  }

  void ClearAll(D3DCOLOR colour, float z = 1.0f) {
    ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, colour, z, 0), D3D_OK);
  }

  // Two triangles over [x0, x1) x [y0, y1) at depth z.
  HRESULT Quad(float x0, float y0, float x1, float y1, D3DCOLOR colour, float z = 0.5f) {
    const ScreenVertex v[6] = {{x0, y0, z, 1, colour}, {x1, y0, z, 1, colour}, {x0, y1, z, 1, colour},
                               {x1, y0, z, 1, colour}, {x1, y1, z, 1, colour}, {x0, y1, z, 1, colour}};
    r.SetVertexShader(kScreenFvf);
    return r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 2, v, sizeof(ScreenVertex), -1, 0);
  }

  // The colour (RGB) of the current render target at (x, y), read through Lock.
  uint32_t Pixel(UINT x, UINT y) { return PixelOf(r.device().CurrentRenderTarget(), x, y) & 0xFFFFFFu; }
  uint32_t PixelOf(host::Surface* surface, UINT x, UINT y) {
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    if (!locked.pBits) return 0xDEADBEEF;
    uint32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
    surface->UnlockRect();
    return value;
  }
  // Pixels of the target whose RGB is `colour`.
  int Count(uint32_t colour) {
    int n = 0;
    for (UINT y = 0; y < kSize; ++y)
      for (UINT x = 0; x < kSize; ++x) n += Pixel(x, y) == (colour & 0xFFFFFFu) ? 1 : 0;
    return n;
  }
  // True when exactly [x0, x1) x [y0, y1) has `colour`.
  bool Covers(UINT x0, UINT y0, UINT x1, UINT y1, uint32_t colour) {
    for (UINT y = 0; y < kSize; ++y)
      for (UINT x = 0; x < kSize; ++x) {
        const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
        if ((Pixel(x, y) == (colour & 0xFFFFFFu)) != inside) {
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << Pixel(x, y);
          return false;
        }
      }
    return true;
  }

  host::Renderer r;
};

}  // namespace raster_test

namespace raster_test {

// A projection that maps world x, y in [0, 16] to pixels (y down) and keeps z as depth.
inline D3DMATRIX PixelOrtho() {
  D3DMATRIX m = Identity();
  m._11 = 2.0f / kSize;
  m._41 = -1.0f;
  m._22 = -2.0f / kSize;
  m._42 = 1.0f;
  return m;
}

// A managed A8R8G8B8 texture with the given texels, rows first.
inline IDirect3DTexture8* MakeTexture(host::Renderer& r, UINT w, UINT h, const std::vector<uint32_t>& texels) {
  IDirect3DTexture8* texture = nullptr;
  EXPECT_EQ(r.CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  if (!texture) return nullptr;
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (UINT y = 0; y < h; ++y)
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * w], w * 4);
  texture->UnlockRect(0);
  return texture;
}

// Colour channels within `tolerance` of each other.
inline bool Near(uint32_t a, uint32_t b, int tolerance = 2) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

inline uint32_t Grey(int v) { return static_cast<uint32_t>(v) * 0x010101u; }

}  // namespace raster_test
