#include <thread>

#include "support/wait.h"
#include "tests/raster/raster_fixture.h"

namespace raster_test {
namespace {

class Cache : public RasterTest {
 protected:
  // A screen-space quad over the whole target sampling stage 0 across u, v in [0, 1].
  void TexturedQuad(float x0, float y0, float x1, float y1, float u1 = 1.0f, float v1 = 1.0f) {
    r.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    r.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    const ScreenTexVertex v[4] = {{x0, y0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {x1, y0, 0.5f, 1, 0xFFFFFFFF, u1, 0},
                                  {x0, y1, 0.5f, 1, 0xFFFFFFFF, 0, v1}, {x1, y1, 0.5f, 1, 0xFFFFFFFF, u1, v1}};
    r.SetVertexShader(kScreenTexFvf);
    ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kScreenTexFvf, 2, v, sizeof(ScreenTexVertex), -1, 0), D3D_OK);
  }
};

TEST_F(Cache, DrawnPixelsReachLocksAndCopies) {
  ClearAll(0xFF000000);
  Quad(0, 0, 8, 8, 0xFFFF0000);
  host::Surface* back = r.device().BackBuffer();
  EXPECT_EQ(back->Fresh(), host::Freshness::Cache);
  // A copy of the drawn source runs between the mirrors; its destination is read back when read.
  IDirect3DTexture8* copy = nullptr;
  ASSERT_EQ(r.CreateTexture(kSize, kSize, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy), D3D_OK);
  auto* level = static_cast<host::Texture*>(copy)->Level(0);
  ASSERT_EQ(r.CopyRects(back, nullptr, 0, level, nullptr), D3D_OK);
  EXPECT_EQ(level->Fresh(), host::Freshness::Cache);
  EXPECT_EQ(level->PixelValue(3, 3) & 0xFFFFFFu, 0xFF0000u);
  EXPECT_EQ(level->PixelValue(12, 12) & 0xFFFFFFu, 0x000000u);
  EXPECT_EQ(back->Fresh(), host::Freshness::Cache);
  copy->Release();
  // Host inspection reads back too.
  Quad(8, 8, 16, 16, 0xFF00FF00);
  EXPECT_EQ(back->PixelArgb(12, 12) & 0xFFFFFFu, 0x00FF00u);
}

// The oracle is the copy through memory of the same drawn source, once it has been read back.
TEST_F(Cache, ACopyBetweenMirrorsGivesWhatACopyThroughMemoryGives) {
  struct Rects {
    std::vector<RECT> from;
    std::vector<POINT> to;
  };
  const Rects cases[] = {{{}, {}},  // the whole surface
                         {{{2, 3, 9, 12}}, {{5, 1}}},
                         {{{0, 0, 4, 4}, {10, 6, 16, 16}}, {{12, 12}, {0, 0}}}};
  IDirect3DSurface8* back = nullptr;
  r.GetRenderTarget(&back);
  const host::Rasterizer& raster = *r.Raster3D();
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
    for (const Rects& c : cases) {
      SCOPED_TRACE(testing::Message() << "format " << format << ", " << c.from.size() << " rectangles");
      IDirect3DSurface8* source = nullptr;
      ASSERT_EQ(r.device().CreateRenderTarget(kSize, kSize, format, D3DMULTISAMPLE_NONE, TRUE, &source), D3D_OK);
      ASSERT_EQ(r.SetRenderTarget(source, nullptr), D3D_OK);
      ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET, 0x40102030, 1.0f, 0), D3D_OK);
      Quad(1, 2, 11, 9, 0x80FF8040);
      Quad(6, 5, 15, 14, 0xC020A0E0);
      // Destinations newer in memory, whose pixels outside the copy must survive it.
      IDirect3DTexture8* textures[2] = {};
      host::Surface* copies[2] = {};
      for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(r.CreateTexture(kSize, kSize, 1, 0, format, D3DPOOL_MANAGED, &textures[i]), D3D_OK);
        copies[i] = static_cast<host::Texture*>(textures[i])->Level(0);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(copies[i]->LockRect(&locked, nullptr, 0), D3D_OK);
        auto* bytes = static_cast<uint8_t*>(locked.pBits);
        for (size_t b = 0; b < copies[i]->Size(); ++b) bytes[b] = static_cast<uint8_t>(b * 37 + 11);
        copies[i]->UnlockRect();
      }
      const RECT* from = c.from.empty() ? nullptr : c.from.data();
      const POINT* to = c.to.empty() ? nullptr : c.to.data();
      const UINT n = static_cast<UINT>(c.from.size());
      const size_t readBacks = raster.ReadBacks();
      ASSERT_EQ(r.CopyRects(source, from, n, copies[0], to), D3D_OK);
      // Packed formats are copied through memory: their mirrors hold more than memory keeps.
      if (format != D3DFMT_R5G6B5) {
        EXPECT_EQ(raster.ReadBacks(), readBacks);
      }
      D3DLOCKED_RECT locked{};
      ASSERT_EQ(source->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
      source->UnlockRect();
      ASSERT_EQ(r.CopyRects(source, from, n, copies[1], to), D3D_OK);
      for (UINT y = 0; y < kSize; ++y)
        for (UINT x = 0; x < kSize; ++x)
          ASSERT_EQ(copies[0]->PixelArgb(x, y), copies[1]->PixelArgb(x, y)) << "at " << x << "," << y;
      ASSERT_EQ(r.SetRenderTarget(back, nullptr), D3D_OK);
      for (IDirect3DTexture8* texture : textures) texture->Release();
      source->Release();
    }
  }
  back->Release();
}

TEST_F(Cache, AWriteThroughAnUnlockIsDrawnAgain) {
  ClearAll(0xFF000000);
  IDirect3DTexture8* texture = MakeTexture(r, 1, 1, {0xFFFF0000});
  r.SetBaseTexture(0, texture);
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(Pixel(5, 5), 0xFF0000u);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  *static_cast<uint32_t*>(locked.pBits) = 0xFF00FF00;
  texture->UnlockRect(0);
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(Pixel(5, 5), 0x00FF00u);
  // A read-only lock leaves the mirror as it is.
  const size_t uploads = r.Raster3D()->Uploads();
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  texture->UnlockRect(0);
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(r.Raster3D()->Uploads(), uploads);
  // A copy destination is newer in memory and is drawn anew.
  IDirect3DTexture8* blue = MakeTexture(r, 1, 1, {0xFF0000FF});
  ASSERT_EQ(r.CopyRects(static_cast<host::Texture*>(blue)->Level(0), nullptr, 0,
                        static_cast<host::Texture*>(texture)->Level(0), nullptr),
            D3D_OK);
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(Pixel(5, 5), 0x0000FFu);
  blue->Release();
  r.SetBaseTexture(0, nullptr);
  texture->Release();
}

TEST_F(Cache, ATargetDrawnIntoIsSampledWithoutAReadBack) {
  IDirect3DTexture8* target = nullptr;
  ASSERT_EQ(r.CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target), D3D_OK);
  IDirect3DSurface8* level = nullptr;
  IDirect3DSurface8* back = nullptr;
  IDirect3DSurface8* depth = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
  r.GetRenderTarget(&back);
  r.GetDepthStencilSurface(&depth);
  ASSERT_EQ(r.SetRenderTarget(level, nullptr), D3D_OK);
  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
  Quad(0, 0, 8, 16, 0xFFFF0000);
  ASSERT_EQ(r.SetRenderTarget(back, depth), D3D_OK);
  ClearAll(0xFF000000);
  r.SetBaseTexture(0, target);
  const size_t readBacks = r.Raster3D()->ReadBacks();
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(Pixel(3, 3), 0xFF0000u);
  EXPECT_EQ(r.Raster3D()->ReadBacks() - readBacks, 1u);  // the back buffer, for the Lock only
  EXPECT_EQ(Pixel(12, 3), 0x0000FFu);
  r.SetBaseTexture(0, nullptr);
  level->Release();
  back->Release();
  depth->Release();
  target->Release();
}

TEST_F(Cache, MirrorsDieWithTheirSurfacesAndAResetMakesNewOnes) {
  ClearAll(0xFF000000);
  const size_t targets = r.Raster3D()->Mirrors();
  EXPECT_EQ(targets, 2u);  // the back buffer and the depth buffer
  IDirect3DTexture8* texture = MakeTexture(r, 2, 2, {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000});
  r.SetBaseTexture(0, texture);
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(r.Raster3D()->Mirrors(), targets + 1);
  r.SetBaseTexture(0, nullptr);
  texture->Release();
  EXPECT_EQ(r.Raster3D()->Mirrors(), targets);

  r.SetRenderState(D3DRS_ALPHAREF, 0x40);
  ASSERT_TRUE(r.OnDeviceReset());
  EXPECT_EQ(r.Raster3D()->Mirrors(), 0u);
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHAREF), 0x40u);  // the state outlives the device's resources
  r.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  ClearAll(0xFF00FF00);
  Quad(0, 0, 4, 4, 0xFFFF0000);
  EXPECT_EQ(r.Raster3D()->Mirrors(), 2u);
  EXPECT_TRUE(Covers(0, 0, 4, 4, 0xFF0000));
  EXPECT_EQ(Count(0x00FF00), 256 - 16);
}

TEST_F(Cache, TurningRasterisingOffReadsBackAndLeavesDrawsRecordedOnly) {
  ClearAll(0xFF000000);
  Quad(0, 0, 8, 8, 0xFFFF0000);
  r.SetRasterizing(false);
  host::Surface* back = r.device().BackBuffer();
  // Memory holds the drawn pixels without any further read.
  uint32_t first;
  std::memcpy(&first, back->Bits(), 4);
  EXPECT_EQ(first & 0xFFFFFFu, 0xFF0000u);
  ClearAll(0xFF0000FF);  // on the memory copy
  Quad(0, 0, 8, 8, 0xFF00FF00);
  EXPECT_EQ(Count(0x0000FF), 256);
  EXPECT_EQ(r.Raster().rasterised, 1u);
  EXPECT_EQ(r.Draws().size(), 2u);
  // On again: memory is newer and is uploaded before the next draw.
  r.SetRasterizing(true);
  Quad(8, 8, 16, 16, 0xFF00FF00);
  EXPECT_EQ(Count(0x0000FF), 256 - 64);
  EXPECT_EQ(Count(0x00FF00), 64);
}

TEST(CacheOff, ARendererMadeWithoutRasterisingClearsMemoryOnly) {
  host::RendererConfig config = SmallConfig();
  config.rasterize = false;
  host::Renderer r(config);
  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0), D3D_OK);
  EXPECT_EQ(r.device().BackBuffer()->PixelArgb(4, 4) & 0xFFFFFFu, 0x123456u);
  EXPECT_EQ(r.Raster3D(), nullptr);
  EXPECT_FALSE(r.Rasterizing());
}

TEST_F(Cache, LocksOnAnotherThreadOnlyMarkTheirSurface) {
  ClearAll(0xFF000000);
  IDirect3DTexture8* texture = MakeTexture(r, 1, 1, {0xFFFF0000});
  r.SetBaseTexture(0, texture);
  TexturedQuad(0, 0, 16, 16);
  // A decoder thread writes the texture while the drawing thread draws from the old mirror.
  testing_support::Steps steps;
  HRESULT locked = E_FAIL, backLock = D3D_OK;
  std::thread decoder([&] {
    D3DLOCKED_RECT rect{};
    locked = texture->LockRect(0, &rect, nullptr, 0);
    if (SUCCEEDED(locked)) *static_cast<uint32_t*>(rect.pBits) = 0xFF00FF00;
    // The drawn back buffer cannot be read back off the drawing thread.
    D3DLOCKED_RECT other{};
    backLock = r.device().BackBuffer()->LockRect(&other, nullptr, D3DLOCK_READONLY);
    steps.Reach(1);
    EXPECT_TRUE(steps.Await(2, "the drawing thread done with the old mirror"));
    texture->UnlockRect(0);
  });
  EXPECT_TRUE(steps.Await(1, "the decoder's lock"));
  EXPECT_EQ(locked, D3D_OK);
  EXPECT_EQ(backLock, D3DERR_INVALIDCALL);
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(Pixel(5, 5), 0xFF0000u);
  steps.Reach(2);
  decoder.join();
  TexturedQuad(0, 0, 16, 16);
  EXPECT_EQ(Pixel(5, 5), 0x00FF00u);
  r.SetBaseTexture(0, nullptr);
  texture->Release();
}

TEST_F(Cache, ClearsRunInTheMirrorsAndKeepTheStencilBitsOfADepthClear) {
  ClearAll(0xFF000000, 0.25f);
  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 7), D3D_OK);
  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.75f, 0), D3D_OK);
  host::Surface* depth = r.device().AutoDepth();
  EXPECT_EQ(depth->Fresh(), host::Freshness::Cache);
  EXPECT_NEAR(depth->Depth(3, 3), 0.75f, 1e-6f);
  EXPECT_EQ(depth->Stencil(3, 3), 7u);
  // A rectangle clear touches only its rectangle.
  const D3DRECT rect{2, 3, 6, 5};
  ASSERT_EQ(r.Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
  EXPECT_TRUE(Covers(2, 3, 6, 5, 0xFFFFFF));
}

TEST(CacheOff, WhenNoContextCanBeMadeItSaysSoOnceAndStopsRasterising) {
  host::Renderer r(SmallConfig());
  r.SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  // Made on this thread, first used on another: no context is made there.
  std::thread other([&] {
    const ScreenVertex v[3] = {{0, 0, 0.5f, 1, 0xFFFF0000}, {16, 0, 0.5f, 1, 0xFFFF0000}, {0, 16, 0.5f, 1, 0xFFFF0000}};
    r.SetVertexShader(kScreenFvf);
    for (int i = 0; i < 3; ++i) r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 1, v, sizeof(ScreenVertex), -1, 0);
  });
  other.join();
  EXPECT_EQ(r.Draws().size(), 3u);
  EXPECT_FALSE(r.Rasterizing());
  EXPECT_EQ(r.Raster().rasterised, 0u);
  int said = 0;
  for (const std::string& line : r.Log()) said += line.find("rasterising is off") != std::string::npos ? 1 : 0;
  EXPECT_EQ(said, 1);
  // The device goes on in memory.
  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
  EXPECT_EQ(r.device().BackBuffer()->PixelArgb(1, 1) & 0xFFFFFFu, 0x00FF00u);
}

TEST(CacheDepth, A16BitDepthBufferKeepsItsBits) {
  host::Renderer r(SmallConfig(D3DFMT_X8R8G8B8, D3DFMT_D16_LOCKABLE));
  ASSERT_EQ(r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.5f, 0), D3D_OK);
  r.SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  const ScreenVertex v[3] = {{0, 0, 0.25f, 1, 0xFFFF0000}, {16, 0, 0.25f, 1, 0xFFFF0000}, {0, 16, 0.25f, 1, 0xFFFF0000}};
  r.SetVertexShader(kScreenFvf);
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 1, v, sizeof(ScreenVertex), -1, 0), D3D_OK);
  host::Surface* depth = r.device().AutoDepth();
  // The 16-bit values GL wrote, exactly: 0.25 and 0.5 of 65535, rounded.
  EXPECT_EQ(depth->PixelValue(2, 2), 16384u);
  EXPECT_EQ(depth->PixelValue(15, 15), 32768u);
}

}  // namespace
}  // namespace raster_test
