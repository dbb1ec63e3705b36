// The texture loader: DDS, TGA, BMP and PNG images through D3DXCreateTextureFromFileInMemory,
// the same parser the renderer's LoadTexture takes after reading the file. Each input goes to
// two devices: one that takes any size, and one that takes only small square powers of two,
// so that the loader's resampling path is driven too. A loaded texture must describe every
// level it claims, each half the one above, within what the device takes.
#include <cstdint>
#include <cstring>

#include "d3dx8/d3dx8tex.h"
#include "fuzz_support.h"
#include "host/d3d_device.h"

namespace {

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
