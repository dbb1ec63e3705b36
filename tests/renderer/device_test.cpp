#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "d3d8/pixel_format.h"
#include "host/renderer.h"

namespace {

TEST(RendererDevice, TexturesKeepRealMemoryInTheirFormatWithAFullChain) {
  host::Device device;
  struct Case {
    D3DFORMAT format;
    UINT pitch;  // of a 20-texel row
  } cases[] = {{D3DFMT_A8R8G8B8, 80}, {D3DFMT_X8R8G8B8, 80}, {D3DFMT_R5G6B5, 40}, {D3DFMT_A1R5G5B5, 40},
               {D3DFMT_A4R4G4B4, 40}, {D3DFMT_L8, 20},       {D3DFMT_A8, 20},     {D3DFMT_A8L8, 40},
               {D3DFMT_DXT1, 40},     {D3DFMT_DXT3, 80},     {D3DFMT_DXT5, 80}};
  for (const Case& c : cases) {
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device.CreateTexture(20, 12, 0, 0, c.format, D3DPOOL_MANAGED, &texture), D3D_OK) << c.format;
    EXPECT_EQ(texture->GetLevelCount(), 5u);  // 20x12, 10x6, 5x3, 2x1, 1x1
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 5u);
    EXPECT_EQ(desc.Height, 3u);
    EXPECT_EQ(desc.Format, c.format);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, static_cast<INT>(c.pitch)) << c.format;
    auto* level0 = static_cast<host::Texture*>(texture)->Level(0);
    EXPECT_EQ(level0->Size(), static_cast<size_t>(c.pitch) * (d3dfmt::IsCompressed(c.format) ? 3 : 12));
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->GetLevelDesc(5, &desc), D3DERR_INVALIDCALL);
    texture->Release();
  }
  EXPECT_EQ(device.LiveResources(), 0u);
}

TEST(RendererDevice, ASubstitutedFormatGivesTheOtherFormatUntilUndone) {
  host::Device device;
  device.SubstituteTextureFormat(D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5);
  IDirect3DTexture8* texture = nullptr;
  ASSERT_EQ(device.CreateTexture(16, 16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Format, D3DFMT_A1R5G5B5);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 32);  // 16 texels of 2 bytes
  texture->UnlockRect(0);
  texture->Release();
  // Other formats are untouched, and asking for the same format again undoes the swap.
  ASSERT_EQ(device.CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  texture->Release();
  device.SubstituteTextureFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8);
  ASSERT_EQ(device.CreateTexture(16, 16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  texture->Release();
}

TEST(RendererDevice, SubRectangleLocksPointAtTheRectangle) {
  host::Device device;
  IDirect3DTexture8* texture = nullptr;
  ASSERT_EQ(device.CreateTexture(64, 64, 1, 0, D3DFMT_A8L8, D3DPOOL_MANAGED, &texture), D3D_OK);
  D3DLOCKED_RECT whole{}, part{};
  texture->LockRect(0, &whole, nullptr, 0);
  texture->UnlockRect(0);
  const RECT r{6, 10, 20, 30};
  ASSERT_EQ(texture->LockRect(0, &part, &r, 0), D3D_OK);
  EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + 10 * 128 + 6 * 2);
  // A second lock of a locked level is refused; unlock twice too.
  D3DLOCKED_RECT again{};
  EXPECT_EQ(texture->LockRect(0, &again, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
  EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
  const RECT outside{0, 0, 65, 2}, empty{4, 4, 4, 8};
  EXPECT_EQ(texture->LockRect(0, &part, &outside, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture->LockRect(0, &part, &empty, 0), D3DERR_INVALIDCALL);
  texture->Release();

  // Compressed levels lock by whole blocks.
  IDirect3DTexture8* dxt = nullptr;
  ASSERT_EQ(device.CreateTexture(16, 16, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &dxt), D3D_OK);
  dxt->LockRect(0, &whole, nullptr, 0);
  dxt->UnlockRect(0);
  const RECT blocks{4, 8, 12, 16}, ragged{2, 0, 8, 4};
  ASSERT_EQ(dxt->LockRect(0, &part, &blocks, 0), D3D_OK);
  EXPECT_EQ(static_cast<uint8_t*>(part.pBits), static_cast<uint8_t*>(whole.pBits) + 2 * 64 + 1 * 16);
  dxt->UnlockRect(0);
  EXPECT_EQ(dxt->LockRect(0, &part, &ragged, 0), D3DERR_INVALIDCALL);
  dxt->Release();
}

TEST(RendererDevice, LevelSurfacesShareTheTexturesReferenceCount) {
  host::Device device;
  IDirect3DTexture8* texture = nullptr;
  ASSERT_EQ(device.CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  IDirect3DSurface8* level1 = nullptr;
  ASSERT_EQ(texture->GetSurfaceLevel(1, &level1), D3D_OK);
  EXPECT_EQ(static_cast<host::Texture*>(texture)->RefCount(), 2u);
  D3DSURFACE_DESC desc{};
  level1->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 4u);
  // The texture outlives its own reference while its level is held.
  EXPECT_EQ(texture->Release(), 1u);
  EXPECT_EQ(device.LiveTextures(D3DPOOL_MANAGED), 1u);
  EXPECT_EQ(level1->Release(), 0u);
  EXPECT_EQ(device.LiveTextures(D3DPOOL_MANAGED), 0u);
}

TEST(RendererDevice, CreationRulesCapsAndArrangedFailures) {
  host::Device device;
  IDirect3DTexture8* t = nullptr;
  EXPECT_EQ(device.CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(device.CreateTexture(4, 4, 1, 0, D3DFMT_D16, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(device.CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device.CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(device.CreateTexture(8192, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(t, nullptr);

  D3DCAPS8 caps = host::DefaultCaps();
  caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
  device.SetCaps(caps);
  EXPECT_EQ(device.CreateTexture(20, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  ASSERT_EQ(device.CreateTexture(32, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  t->Release();

  device.FailCall(host::DeviceCall::CreateTexture, E_OUTOFMEMORY, 1, 1);
  ASSERT_EQ(device.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);  // skipped
  t->Release();
  EXPECT_EQ(device.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), E_OUTOFMEMORY);
  ASSERT_EQ(device.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  device.FailCall(host::DeviceCall::LockRect, E_FAIL, -1);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), E_FAIL);
  device.ClearFailures();
  EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
  t->UnlockRect(0);
  t->Release();

  device.SetFormatSupported(D3DFMT_DXT1, false);
  EXPECT_EQ(device.CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(device.Calls(host::DeviceCall::CreateTexture), 11u);
}

TEST(RendererDevice, RenderTargetsSwitchAndClearFillsTheBoundTargets) {
  host::RendererConfig config;
  config.device.width = 32;
  config.device.height = 16;
  host::Renderer r(config);
  host::Device& device = r.device();

  IDirect3DTexture8* target = nullptr;
  ASSERT_EQ(r.CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &target), D3D_OK);
  IDirect3DSurface8* savedColour = nullptr;
  IDirect3DSurface8* savedDepth = nullptr;
  ASSERT_EQ(r.GetRenderTarget(&savedColour), D3D_OK);
  ASSERT_EQ(r.GetDepthStencilSurface(&savedDepth), D3D_OK);
  EXPECT_EQ(savedColour, device.BackBuffer());
  IDirect3DSurface8* level = nullptr;
  ASSERT_EQ(r.GetSurfaceLevel(target, 0, &level), D3D_OK);
  ASSERT_EQ(r.SetRenderTarget(level, savedDepth), D3D_OK);
  D3DVIEWPORT8 vp{};
  r.GetViewport(&vp);
  EXPECT_EQ(vp.Width, 8u);  // the viewport follows the new target

  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000u, 0.5f, 0), D3D_OK);
  auto* surface = static_cast<host::Texture*>(target)->Level(0);
  EXPECT_EQ(surface->PixelValue(7, 7), 0xF800u);
  EXPECT_EQ(surface->PixelArgb(0, 0), 0xFFFF0000u);
  // Depth is cleared only under the 8 x 8 target.
  EXPECT_NEAR(device.AutoDepth()->Depth(7, 7), 0.5f, 1e-6f);
  EXPECT_EQ(device.AutoDepth()->PixelValue(8, 0), 0u);
  // A render-target texture of the default pool cannot be locked.
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(target->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);

  ASSERT_EQ(r.SetRenderTarget(savedColour, savedDepth), D3D_OK);
  // Rectangles inside a smaller viewport: only their overlap is filled.
  const D3DVIEWPORT8 view{4, 4, 8, 8, 0, 1};
  r.SetViewport(&view);
  const D3DRECT rect{0, 0, 6, 6};
  ASSERT_EQ(r.Clear(1, &rect, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0xFF00FF00u, 1.0f, 0x5A), D3D_OK);
  EXPECT_EQ(device.BackBuffer()->PixelArgb(4, 4), 0xFF00FF00u);
  EXPECT_EQ(device.BackBuffer()->PixelArgb(5, 5), 0xFF00FF00u);
  EXPECT_EQ(device.BackBuffer()->PixelArgb(6, 6), 0xFF000000u);  // X8 reads opaque black
  EXPECT_EQ(device.BackBuffer()->PixelArgb(3, 3), 0xFF000000u);
  EXPECT_EQ(device.AutoDepth()->Stencil(5, 5), 0x5Au);
  EXPECT_NEAR(device.AutoDepth()->Depth(5, 5), 0.5f, 1e-6f);  // depth bits kept

  // Slot 30: a stencil-only clear of the whole viewport.
  ASSERT_EQ(r.ClearBuffers(D3DCLEAR_STENCIL), D3D_OK);
  EXPECT_EQ(device.AutoDepth()->Stencil(5, 5), 0u);
  EXPECT_EQ(r.Clears().size(), 3u);
  EXPECT_EQ(r.Clears()[2].flags, D3DCLEAR_STENCIL);
  EXPECT_EQ(r.Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);

  level->Release();
  savedColour->Release();
  savedDepth->Release();
  target->Release();
  EXPECT_EQ(device.LiveResources(D3DPOOL_DEFAULT), 0u);
}

TEST(RendererDevice, DepthBindingRulesAndStandAloneSurfaces) {
  host::Renderer r;
  host::Device& device = r.device();
  IDirect3DSurface8* depth = nullptr;
  ASSERT_EQ(r.CreateDepthStencilSurface(1024, 1024, D3DFMT_D16, D3DMULTISAMPLE_NONE, &depth), D3D_OK);
  IDirect3DSurface8* small = nullptr;
  ASSERT_EQ(r.CreateDepthStencilSurface(64, 64, D3DFMT_D16, D3DMULTISAMPLE_NONE, &small), D3D_OK);
  IDirect3DSurface8* wrong = nullptr;
  EXPECT_EQ(r.CreateDepthStencilSurface(64, 64, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, &wrong), D3DERR_INVALIDCALL);
  EXPECT_EQ(wrong, nullptr);
  IDirect3DSurface8* target = nullptr;
  ASSERT_EQ(device.CreateRenderTarget(1024, 1024, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &target), D3D_OK);
  EXPECT_EQ(device.LiveSurfaces(D3DPOOL_DEFAULT), 3u);

  // A depth buffer smaller than the target is refused, and so is a colour surface as depth.
  IDirect3DSurface8* tiny = nullptr;
  device.CreateDepthStencilSurface(64, 64, D3DFMT_D16, D3DMULTISAMPLE_NONE, &tiny);
  EXPECT_EQ(r.SetRenderTarget(target, tiny), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.SetRenderTarget(target, target), D3DERR_INVALIDCALL);
  ASSERT_EQ(r.SetRenderTarget(target, depth), D3D_OK);
  // Without a depth buffer bound there is none to hand out, and no depth to clear.
  ASSERT_EQ(r.SetRenderTarget(nullptr, nullptr), D3D_OK);
  IDirect3DSurface8* none = nullptr;
  EXPECT_EQ(r.GetDepthStencilSurface(&none), D3DERR_NOTFOUND);
  EXPECT_EQ(r.Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  // D16 holds no stencil.
  r.SetRenderTarget(target, depth);
  EXPECT_EQ(r.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(depth->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);  // D16 is not lockable
  ASSERT_EQ(target->LockRect(&locked, nullptr, 0), D3D_OK);
  target->UnlockRect();

  IDirect3DSurface8* back = nullptr;
  device.GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
  EXPECT_EQ(r.SetRenderTarget(back, device.AutoDepth()), D3D_OK);
  back->Release();
  small->Release();
  depth->Release();
  tiny->Release();
  target->Release();
  EXPECT_EQ(device.LiveSurfaces(D3DPOOL_DEFAULT), 0u);
}

TEST(RendererDevice, CopyRectsCopiesBetweenSurfacesOfOneFormat) {
  host::RendererConfig config;
  config.device.width = 16;
  config.device.height = 16;
  host::Renderer r(config);
  host::Device& device = r.device();
  r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233u, 1.0f, 0);
  const D3DRECT corner{0, 0, 4, 4};
  r.Clear(1, &corner, D3DCLEAR_TARGET, 0xFFAABBCCu, 1.0f, 0);

  IDirect3DTexture8* copy = nullptr;
  ASSERT_EQ(r.CreateTexture(16, 16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &copy), D3D_OK);
  IDirect3DSurface8* back = nullptr;
  IDirect3DSurface8* level = nullptr;
  device.GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
  r.GetSurfaceLevel(copy, 0, &level);
  ASSERT_EQ(r.CopyRects(back, nullptr, 0, level, nullptr), D3D_OK);
  auto* texel = static_cast<host::Texture*>(copy)->Level(0);
  EXPECT_EQ(texel->PixelArgb(3, 3), 0xFFAABBCCu);
  EXPECT_EQ(texel->PixelArgb(4, 4), 0xFF112233u);

  // A rectangle moved to a point.
  const RECT from{0, 0, 2, 2};
  const POINT to{10, 12};
  ASSERT_EQ(r.CopyRects(back, &from, 1, level, &to), D3D_OK);
  EXPECT_EQ(texel->PixelArgb(11, 13), 0xFFAABBCCu);
  EXPECT_EQ(texel->PixelArgb(12, 13), 0xFF112233u);
  const POINT off{15, 15};
  EXPECT_EQ(r.CopyRects(back, &from, 1, level, &off), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.CopyRects(back, nullptr, 0, back, nullptr), D3DERR_INVALIDCALL);

  IDirect3DTexture8* other = nullptr;
  r.CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &other);
  IDirect3DSurface8* otherLevel = nullptr;
  r.GetSurfaceLevel(other, 0, &otherLevel);
  EXPECT_EQ(r.CopyRects(back, nullptr, 0, otherLevel, nullptr), D3DERR_INVALIDCALL);  // formats differ
  otherLevel->Release();
  other->Release();
  level->Release();
  back->Release();
  copy->Release();
}

TEST(RendererDevice, DeviceLossReleasesTheRenderersOwnAndResetWaitsForTheComponents) {
  host::RendererConfig config;
  config.device.width = 64;
  config.device.height = 32;
  host::Renderer r(config);

  // What a component holds: a render-target texture, a default-pool dynamic vertex buffer
  // and a managed texture that survives.
  IDirect3DTexture8* target = nullptr;
  ASSERT_EQ(r.CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target), D3D_OK);
  IDirect3DTexture8* managed = nullptr;
  ASSERT_EQ(r.CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
  const int vb = r.CreateVertexBuffer(0, 800, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT);
  r.SetBaseTexture(0, target);
  IDirect3DSurface8* level = nullptr;
  r.GetSurfaceLevel(target, 0, &level);
  r.SetRenderTarget(level, nullptr);
  level->Release();
  EXPECT_EQ(r.LiveResources(D3DPOOL_DEFAULT), 2u);
  EXPECT_EQ(r.LiveResources(D3DPOOL_MANAGED), 1u);

  r.OnDeviceLost();
  EXPECT_TRUE(r.device().IsLost());
  EXPECT_EQ(r.StageTexture(0), nullptr);  // the binding no longer holds it
  EXPECT_EQ(r.device().CurrentRenderTarget(), r.device().BackBuffer());
  int ring = -1;
  UINT first = 0;
  EXPECT_EQ(r.LockDynamicVertices(0x42, 16, 1, &ring, &first), nullptr);  // released with the device

  // The component has not let go of its resources yet: the device stays lost.
  EXPECT_FALSE(r.OnDeviceReset());
  EXPECT_EQ(r.ResetError(), "1 default-pool buffer(s) still alive");
  r.ReleaseVertexBuffer(vb);
  EXPECT_FALSE(r.OnDeviceReset());
  EXPECT_EQ(r.ResetError(), "1 default-pool resource(s) still alive");
  target->Release();
  EXPECT_EQ(r.LiveResources(D3DPOOL_DEFAULT), 0u);

  ASSERT_TRUE(r.OnDeviceReset(128, 96));
  EXPECT_FALSE(r.device().IsLost());
  EXPECT_EQ(r.GetBackBufferSize()->width, 128u);
  EXPECT_EQ(r.GetBackBufferSize()->height, 96u);
  EXPECT_NE(r.LockDynamicVertices(0x42, 16, 1, &ring, &first), nullptr);
  r.UnlockDynamicVertices(ring);
  EXPECT_EQ(r.LiveResources(D3DPOOL_MANAGED), 1u);
  EXPECT_EQ(r.DeviceLosses(), 1u);
  EXPECT_EQ(r.DeviceResets(), 1u);

  // An outside reference to the back buffer also blocks a reset.
  IDirect3DSurface8* back = nullptr;
  r.device().GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
  r.OnDeviceLost();
  EXPECT_FALSE(r.OnDeviceReset());
  back->Release();
  EXPECT_TRUE(r.OnDeviceReset());
  managed->Release();
}

TEST(RendererDevice, PixelFormatsConvertBothWays) {
  struct Case {
    D3DFORMAT format;
    D3DCOLOR in;
    uint32_t value;
    D3DCOLOR out;
  } cases[] = {
      {D3DFMT_A8R8G8B8, 0x80402010u, 0x80402010u, 0x80402010u},
      {D3DFMT_X8R8G8B8, 0x00402010u, 0xFF402010u, 0xFF402010u},
      {D3DFMT_R5G6B5, 0xFFFF8000u, 0xFC00u, 0xFFFF8200u},
      {D3DFMT_A1R5G5B5, 0x80FF0000u, 0xFC00u, 0xFFFF0000u},
      {D3DFMT_A1R5G5B5, 0x7F00FF00u, 0x03E0u, 0x0000FF00u},
      {D3DFMT_A4R4G4B4, 0x11223344u, 0x1234u, 0x11223344u},
      {D3DFMT_L8, 0xFF808080u, 0x80u, 0xFF808080u},
      {D3DFMT_A8L8, 0x40FFFFFFu, 0x40FFu, 0x40FFFFFFu},
      {D3DFMT_A8, 0x7F123456u, 0x7Fu, 0x7F000000u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d3dfmt::EncodeColour(c.format, c.in), c.value) << c.format;
    uint8_t bytes[4] = {};
    d3dfmt::FormatInfo info;
    ASSERT_TRUE(d3dfmt::Describe(c.format, &info));
    d3dfmt::StorePixel(bytes, info.bitsPerPixel / 8, c.value);
    uint32_t back = 0;
    ASSERT_TRUE(d3dfmt::DecodeRect(c.format, bytes, 4, 1, 1, &back));
    EXPECT_EQ(back, c.out) << c.format;
  }

  // A DXT1 block: colour 0 red, colour 1 blue, indices 0, 1, 2, 3 across each row.
  const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
  uint32_t texels[16];
  ASSERT_TRUE(d3dfmt::DecodeRect(D3DFMT_DXT1, block, 8, 4, 4, texels));
  EXPECT_EQ(texels[0], 0xFFFF0000u);
  EXPECT_EQ(texels[1], 0xFF0000FFu);
  EXPECT_EQ(texels[2], 0xFFAA0055u);
  EXPECT_EQ(texels[7], 0xFF5500AAu);
  // Re-encoding a two-colour block gives back the same texels.
  uint8_t encoded[8];
  uint32_t two[16];
  for (int i = 0; i < 16; ++i) two[i] = i % 2 ? 0xFF0000FFu : 0xFFFF0000u;
  ASSERT_TRUE(d3dfmt::EncodeRect(D3DFMT_DXT1, encoded, 8, 4, 4, two));
  ASSERT_TRUE(d3dfmt::DecodeRect(D3DFMT_DXT1, encoded, 8, 4, 4, texels));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(texels[i], two[i]) << i;

  // Depth pixels keep the field they are not asked to change.
  const uint32_t d = d3dfmt::EncodeDepthStencil(D3DFMT_D24S8, 0, 1.0f, 0xAB, true, true);
  EXPECT_EQ(d, 0xFFFFFFABu);
  EXPECT_EQ(d3dfmt::EncodeDepthStencil(D3DFMT_D24S8, d, 0.0f, 0, true, false), 0x000000ABu);
  EXPECT_EQ(d3dfmt::FvfStride(0x212), 40u);
  EXPECT_EQ(d3dfmt::FvfStride(0x104), 24u);
  EXPECT_EQ(d3dfmt::FvfStride(D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)), 24u);
}

}  // namespace

namespace {

// Every depth-stencil format and flag mix: a memory clear leaves each pixel as the per-pixel
// encoding of the old value would, inside the rectangle, and touches nothing outside it.
TEST(RendererDevice, DepthStencilClearMatchesThePerPixelEncodingForEveryFormat) {
  const D3DFORMAT formats[] = {D3DFMT_D16, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D24X4S4};
  const DWORD flagMixes[] = {D3DCLEAR_ZBUFFER, D3DCLEAR_STENCIL, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  host::Device device;
  IDirect3DSurface8* colour = nullptr;
  ASSERT_EQ(device.CreateRenderTarget(16, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, FALSE, &colour), D3D_OK);
  for (D3DFORMAT format : formats) {
    IDirect3DSurface8* made = nullptr;
    ASSERT_EQ(device.CreateDepthStencilSurface(16, 8, format, D3DMULTISAMPLE_NONE, &made), D3D_OK) << format;
    auto* depth = static_cast<host::Surface*>(made);
    ASSERT_EQ(device.SetRenderTarget(colour, depth), D3D_OK);
    d3dfmt::FormatInfo info;
    ASSERT_TRUE(d3dfmt::Describe(format, &info));
    const UINT bytes = info.bitsPerPixel / 8;
    for (DWORD flags : flagMixes) {
      if ((flags & D3DCLEAR_STENCIL) && !info.stencil) continue;
      for (uint8_t* p = depth->Bits(); p != depth->Bits() + depth->Pitch() * 8; ++p) *p = static_cast<uint8_t>(next());
      std::vector<uint8_t> before(depth->Bits(), depth->Bits() + depth->Pitch() * 8);
      const float z = static_cast<float>(next() % 1000) / 999.0f;
      const DWORD stencil = next() & 0xFF;
      const D3DRECT rect{3, 1, 13, 6};
      ASSERT_EQ(device.Clear(1, &rect, flags, 0, z, stencil), D3D_OK);
      for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 16; ++x) {
          const size_t at = y * depth->Pitch() + x * bytes;
          const uint32_t old = d3dfmt::LoadPixel(before.data() + at, bytes);
          const bool inside = x >= 3 && x < 13 && y >= 1 && y < 6;
          const uint32_t want = inside ? d3dfmt::EncodeDepthStencil(format, old, z, stencil, flags & D3DCLEAR_ZBUFFER,
                                                                   flags & D3DCLEAR_STENCIL)
                                       : old;
          const uint32_t mask = bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1u;
          ASSERT_EQ(d3dfmt::LoadPixel(depth->Bits() + at, bytes), want & mask)
              << "format " << format << " flags " << flags << " at " << x << "," << y;
        }
    }
    ASSERT_EQ(device.SetRenderTarget(device.BackBuffer(), device.AutoDepth()), D3D_OK);
    made->Release();
  }
  colour->Release();
}

}  // namespace
