// The texture loader: DDS, TGA, BMP and PNG images through D3DXCreateTextureFromFileInMemory,
// the same parser the renderer's LoadTexture takes after reading the file. Each input goes to
// two devices: one that takes any size, and one that takes only small square powers of two,
// so that the loader's resampling path is driven too. A loaded texture must describe every
// level it claims, each half the one above, within what the device takes; and a file shorter
// than its header declares (reckoned here from the header alone) is never loaded.
#include <cstdint>
#include <cstring>

#include "d3dx8/d3dx8tex.h"
#include "fuzz_support.h"
#include "host/d3d_device.h"

namespace {

uint64_t Le(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

uint64_t Be32(const uint8_t* p) { return Le(p, 1) << 24 | Le(p + 1, 1) << 16 | Le(p + 2, 1) << 8 | p[3]; }

uint64_t Side(int64_t v) { return static_cast<uint64_t>(v < 0 ? -v : v); }

// The bytes the header of a DDS, BMP, plain TGA or PNG says the file holds at least: the
// largest level of a DDS, every row of an uncompressed BMP with its padding to 4 bytes, every
// pixel of a plain TGA, every PNG chunk up to the end marker. 0 when the header says nothing
// this reckons with.
uint64_t DeclaredBytes(const uint8_t* d, size_t n) {
  if (n >= 128 && std::memcmp(d, "DDS ", 4) == 0) {
    const uint64_t h = Le(d + 12, 4), w = Le(d + 16, 4), pf = Le(d + 80, 4), bits = Le(d + 88, 4);
    const uint64_t blocks = ((w + 3) / 4) * ((h + 3) / 4);
    if (pf & 0x4) {
      if (std::memcmp(d + 84, "DXT1", 4) == 0) return 128 + blocks * 8;
      for (const char* dxt : {"DXT2", "DXT3", "DXT4", "DXT5"})
        if (std::memcmp(d + 84, dxt, 4) == 0) return 128 + blocks * 16;
      return 0;
    }
    return bits % 8 == 0 ? 128 + w * h * (bits / 8) : 0;
  }
  if (n >= 30 && d[0] == 'B' && d[1] == 'M') {
    const uint64_t pixelsAt = Le(d + 10, 4);
    if (Le(d + 14, 4) == 12) return pixelsAt + (Le(d + 18, 2) * Le(d + 24, 2) + 31) / 32 * 4 * Le(d + 20, 2);
    if (n < 34) return 0;
    const uint64_t w = Side(static_cast<int32_t>(Le(d + 18, 4))), h = Side(static_cast<int32_t>(Le(d + 22, 4)));
    const uint64_t compression = Le(d + 30, 4);
    return compression == 0 || compression == 3 ? pixelsAt + (w * Le(d + 28, 2) + 31) / 32 * 4 * h : 0;
  }
  if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) {
    uint64_t at = 8;
    while (at + 8 <= n) {
      const uint64_t end = at + 12 + Be32(d + at);
      if (end > n || std::memcmp(d + at + 4, "IEND", 4) == 0) return end;
      at = end;
    }
    return at;
  }
  if (n >= 18 && d[1] <= 1 && d[2] >= 1 && d[2] <= 3) {
    const uint64_t bits = d[16], pixel = bits == 15 ? 2 : (bits + 7) / 8;
    const uint64_t map = d[1] == 1 ? Le(d + 5, 2) * (((d[7] == 15 ? 16 : d[7]) + 7) / 8) : 0;
    return 18 + d[0] + map + Le(d + 12, 2) * Le(d + 14, 2) * pixel;
  }
  return 0;
}

host::Device& Device(bool restricted) {
  static host::Device* devices[2] = {};
  host::Device*& device = devices[restricted ? 1 : 0];
  if (device == nullptr) {
    host::DeviceConfig config;
    config.width = 4;
    config.height = 4;
    device = new host::Device(config);
    if (restricted) {
      D3DCAPS8 caps = host::DefaultCaps();
      caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
      caps.MaxTextureWidth = 64;
      caps.MaxTextureHeight = 64;
      device->SetCaps(caps);
    }
  }
  return *device;
}

void Load(host::Device& device, const uint8_t* data, size_t size) {
  if (size == 0 || size > 0xFFFFFFFFu) return;
  IDirect3DTexture8* texture = nullptr;
  const HRESULT hr = D3DXCreateTextureFromFileInMemory(&device, data, static_cast<UINT>(size), &texture);
  if (FAILED(hr)) {
    FUZZ_CHECK(texture == nullptr, "a failed load handed out a texture");
    FUZZ_CHECK(device.LiveTextures(D3DPOOL_MANAGED) == 0, "a failed load left a texture alive");
    return;
  }
  FUZZ_CHECK(texture != nullptr, "a load that succeeded gave no texture");
  FUZZ_CHECK(size >= DeclaredBytes(data, size), "a file shorter than its header declares was loaded");
  const D3DCAPS8& caps = device.Caps();
  const DWORD levels = texture->GetLevelCount();
  FUZZ_CHECK(levels >= 1, "a texture without levels");
  UINT previousWidth = 0, previousHeight = 0;
  for (DWORD level = 0; level < levels; ++level) {
    D3DSURFACE_DESC desc{};
    FUZZ_CHECK(SUCCEEDED(texture->GetLevelDesc(level, &desc)), "a level without a description");
    FUZZ_CHECK(desc.Width >= 1 && desc.Height >= 1, "an empty level");
    FUZZ_CHECK(desc.Width <= caps.MaxTextureWidth && desc.Height <= caps.MaxTextureHeight,
               "a level larger than the device takes");
    if (level > 0)
      FUZZ_CHECK(desc.Width == (previousWidth > 1 ? previousWidth / 2 : 1) &&
                     desc.Height == (previousHeight > 1 ? previousHeight / 2 : 1),
                 "a mip level that is not half the one above");
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) FUZZ_CHECK(desc.Width == desc.Height, "a square-only device got a rectangle");
    previousWidth = desc.Width;
    previousHeight = desc.Height;
    FUZZ_CHECK(static_cast<host::Texture*>(texture)->Level(level) != nullptr, "a level without a surface");
  }
  FUZZ_CHECK(texture->Release() == 0, "the loader kept a reference to the texture");
  FUZZ_CHECK(device.LiveTextures(D3DPOOL_MANAGED) == 0, "a released texture is still alive");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Load(Device(false), data, size);
  Load(Device(true), data, size);
  return 0;
}
