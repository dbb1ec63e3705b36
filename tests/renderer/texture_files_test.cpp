#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "d3d8/pixel_format.h"
#include "d3dx8/d3dx8tex.h"
#include "host/renderer.h"
#include "win32/file_system.h"

namespace {

namespace fs = std::filesystem;

class RendererTextureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("footlight-renderer-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    win32::SetResourceRoot(dir_.string());  // D3DX and the renderer resolve file names under it
  }
  void TearDown() override {
    win32::SetResourceRoot("");
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A DDS file: magic, the 124-byte header, then the data.
std::vector<uint8_t> Dds(uint32_t width, uint32_t height, uint32_t mips, uint32_t pfFlags, uint32_t fourCC,
                         uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a,
                         const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
  Put32(out, 124);
  Put32(out, 0x1007 | (mips > 1 ? 0x20000u : 0u));  // caps, height, width, pixel format, mip count
  Put32(out, height);
  Put32(out, width);
  Put32(out, 0);  // pitch or linear size
  Put32(out, 0);  // depth
  Put32(out, mips);
  for (int i = 0; i < 11; ++i) Put32(out, 0);
  Put32(out, 32);
  Put32(out, pfFlags);
  Put32(out, fourCC);
  Put32(out, bits);
  Put32(out, r);
  Put32(out, g);
  Put32(out, b);
  Put32(out, a);
  Put32(out, 0x1000);  // caps: texture
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  EXPECT_EQ(out.size(), 128u);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

host::Texture* Fill(host::Device& device, UINT w, UINT h, D3DFORMAT format, uint32_t (*colour)(UINT, UINT)) {
  IDirect3DTexture8* texture = nullptr;
  EXPECT_EQ(device.CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &texture), D3D_OK);
  std::vector<uint32_t> argb(static_cast<size_t>(w) * h);
  for (UINT y = 0; y < h; ++y)
    for (UINT x = 0; x < w; ++x) argb[y * w + x] = colour(x, y);
  D3DLOCKED_RECT locked{};
  texture->LockRect(0, &locked, nullptr, 0);
  d3dfmt::EncodeRect(format, static_cast<uint8_t*>(locked.pBits), locked.Pitch, w, h, argb.data());
  texture->UnlockRect(0);
  return static_cast<host::Texture*>(texture);
}

uint32_t Pattern(UINT x, UINT y) { return (0x30u + 0x20u * x) << 24 | (x * 40u) << 16 | (y * 70u) << 8 | (x * y * 9u); }

TEST_F(RendererTextureFiles, SavedSurfacesLoadBackWithTheSamePixels) {
  host::Device device;
  host::Texture* source = Fill(device, 5, 3, D3DFMT_A8R8G8B8, Pattern);
  IDirect3DSurface8* surface = nullptr;
  source->GetSurfaceLevel(0, &surface);
  const struct {
    const char* name;
    D3DXIMAGE_FILEFORMAT format;
  } files[] = {{"a.png", D3DXIFF_PNG}, {"a.tga", D3DXIFF_TGA}, {"a.bmp", D3DXIFF_BMP}};
  for (const auto& file : files) {
    ASSERT_EQ(D3DXSaveSurfaceToFileA(file.name, file.format, surface, nullptr, nullptr), D3D_OK)
        << file.name;
    IDirect3DTexture8* loaded = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(&device, file.name, &loaded), D3D_OK) << file.name;
    auto* t = static_cast<host::Texture*>(loaded);
    EXPECT_EQ(t->Format(), D3DFMT_A8R8G8B8) << file.name;
    EXPECT_EQ(t->Pool(), D3DPOOL_MANAGED);
    EXPECT_EQ(t->GetLevelCount(), 3u);  // 5x3, 2x1, 1x1
    ASSERT_EQ(t->Level(0)->Width(), 5u);
    for (UINT y = 0; y < 3; ++y)
      for (UINT x = 0; x < 5; ++x) EXPECT_EQ(t->Level(0)->PixelArgb(x, y), Pattern(x, y)) << file.name << x << y;
    loaded->Release();
  }
  // A part of the surface.
  const RECT part{1, 1, 4, 3};
  ASSERT_EQ(D3DXSaveSurfaceToFileA("part.png", D3DXIFF_PNG, surface, nullptr, &part), D3D_OK);
  IDirect3DTexture8* loaded = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "part.png", &loaded), D3D_OK);
  auto* t = static_cast<host::Texture*>(loaded);
  EXPECT_EQ(t->Level(0)->Width(), 3u);
  EXPECT_EQ(t->Level(0)->Height(), 2u);
  EXPECT_EQ(t->Level(0)->PixelArgb(0, 0), Pattern(1, 1));
  EXPECT_EQ(t->Level(0)->PixelArgb(2, 1), Pattern(3, 2));
  loaded->Release();
  const RECT outside{0, 0, 6, 3};
  EXPECT_EQ(D3DXSaveSurfaceToFileA("x.png", D3DXIFF_PNG, surface, nullptr, &outside),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("x.jpg", D3DXIFF_JPG, surface, nullptr, nullptr), D3DERR_INVALIDCALL);
  WriteFile(Path("plain"), {1});
  EXPECT_EQ(D3DXSaveSurfaceToFileA("plain/x.png", D3DXIFF_PNG, surface, nullptr, nullptr), E_FAIL);
  surface->Release();
  source->Release();
}

TEST_F(RendererTextureFiles, OpaqueAndGreyFormatsKeepTheirKind) {
  host::Device device;
  host::Texture* rgb = Fill(device, 4, 4, D3DFMT_X8R8G8B8, [](UINT x, UINT y) { return 0xFF000000u | (x << 20) | (y << 4); });
  host::Texture* grey = Fill(device, 4, 4, D3DFMT_L8, [](UINT x, UINT y) { return 0xFF000000u | (x * 60 + y) * 0x010101u; });
  IDirect3DSurface8* s = nullptr;
  rgb->GetSurfaceLevel(0, &s);
  ASSERT_EQ(D3DXSaveSurfaceToFileA("rgb.bmp", D3DXIFF_BMP, s, nullptr, nullptr), D3D_OK);
  s->Release();
  grey->GetSurfaceLevel(0, &s);
  ASSERT_EQ(D3DXSaveSurfaceToFileA("grey.tga", D3DXIFF_TGA, s, nullptr, nullptr), D3D_OK);
  s->Release();

  IDirect3DTexture8* a = nullptr;
  IDirect3DTexture8* b = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "rgb.bmp", &a), D3D_OK);
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "grey.tga", &b), D3D_OK);
  EXPECT_EQ(static_cast<host::Texture*>(a)->Format(), D3DFMT_X8R8G8B8);
  EXPECT_EQ(static_cast<host::Texture*>(b)->Format(), D3DFMT_L8);
  for (UINT y = 0; y < 4; ++y)
    for (UINT x = 0; x < 4; ++x) {
      EXPECT_EQ(static_cast<host::Texture*>(a)->Level(0)->PixelArgb(x, y), rgb->Level(0)->PixelArgb(x, y));
      EXPECT_EQ(static_cast<host::Texture*>(b)->Level(0)->PixelValue(x, y), grey->Level(0)->PixelValue(x, y));
    }
  a->Release();
  b->Release();

  // A device without L8 gets the grey picture as A8R8G8B8.
  device.SetFormatSupported(D3DFMT_L8, false);
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "grey.tga", &b), D3D_OK);
  EXPECT_EQ(static_cast<host::Texture*>(b)->Format(), D3DFMT_A8R8G8B8);
  EXPECT_EQ(static_cast<host::Texture*>(b)->Level(0)->PixelArgb(2, 3), 0xFF7B7B7Bu);
  b->Release();
  rgb->Release();
  grey->Release();
}

TEST_F(RendererTextureFiles, DdsLevelsAreTakenAsStoredAndMissingOnesFiltered) {
  host::Device device;
  // 4 x 2 A8R8G8B8 with two of its three levels.
  std::vector<uint8_t> data;
  const uint32_t level0[8] = {0x10203040, 0x50607080, 0x11111111, 0x22222222,
                              0x33333333, 0x44444444, 0x55555555, 0x66666666};
  for (uint32_t v : level0) Put32(data, v);
  Put32(data, 0xFF000000);  // level 1: 2 x 1
  Put32(data, 0x01FF0203);
  WriteFile(Path("two.dds"), Dds(4, 2, 2, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, data));
  IDirect3DTexture8* loaded = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "two.dds", &loaded), D3D_OK);
  auto* t = static_cast<host::Texture*>(loaded);
  EXPECT_EQ(t->Format(), D3DFMT_A8R8G8B8);
  ASSERT_EQ(t->GetLevelCount(), 3u);
  EXPECT_EQ(t->Level(0)->PixelValue(1, 0), 0x50607080u);
  EXPECT_EQ(t->Level(0)->PixelValue(3, 1), 0x66666666u);
  EXPECT_EQ(t->Level(1)->PixelValue(1, 0), 0x01FF0203u);
  // Level 2 is the box of level 1: (0xFF + 0x01) / 2 = 0x80, (0 + 0xFF) / 2 rounded, ...
  EXPECT_EQ(t->Level(2)->PixelValue(0, 0), 0x80800102u);
  loaded->Release();

  // DXT1: one 8 x 8 level of solid blocks is kept byte for byte.
  std::vector<uint8_t> blocks;
  for (int i = 0; i < 4; ++i) {
    const uint8_t block[8] = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};  // blue
    blocks.insert(blocks.end(), block, block + 8);
  }
  WriteFile(Path("blue.dds"), Dds(8, 8, 1, 0x4, D3DFMT_DXT1, 0, 0, 0, 0, 0, blocks));
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "blue.dds", &loaded), D3D_OK);
  t = static_cast<host::Texture*>(loaded);
  EXPECT_EQ(t->Format(), D3DFMT_DXT1);
  EXPECT_EQ(t->GetLevelCount(), 4u);
  EXPECT_EQ(std::memcmp(t->Level(0)->Bits(), blocks.data(), blocks.size()), 0);
  EXPECT_EQ(t->Level(0)->PixelArgb(5, 6), 0xFF0000FFu);
  EXPECT_EQ(t->Level(3)->PixelArgb(0, 0), 0xFF0000FFu);
  loaded->Release();

  // 24-bit colour widens to X8R8G8B8; 8-bit luminance stays L8.
  const std::vector<uint8_t> rgb24 = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  WriteFile(Path("rgb.dds"), Dds(2, 1, 1, 0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0, rgb24));
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "rgb.dds", &loaded), D3D_OK);
  EXPECT_EQ(static_cast<host::Texture*>(loaded)->Format(), D3DFMT_X8R8G8B8);
  EXPECT_EQ(static_cast<host::Texture*>(loaded)->Level(0)->PixelValue(1, 0), 0xFF060504u);
  loaded->Release();
  WriteFile(Path("lum.dds"), Dds(2, 2, 1, 0x20000, 0, 8, 0xFF, 0, 0, 0, {9, 8, 7, 6}));
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "lum.dds", &loaded), D3D_OK);
  EXPECT_EQ(static_cast<host::Texture*>(loaded)->Format(), D3DFMT_L8);
  EXPECT_EQ(static_cast<host::Texture*>(loaded)->Level(0)->PixelValue(1, 1), 6u);
  loaded->Release();

  // Broken files.
  std::vector<uint8_t> shortFile = Dds(4, 4, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, {1, 2, 3});
  WriteFile(Path("short.dds"), shortFile);
  EXPECT_EQ(D3DXCreateTextureFromFileA(&device, "short.dds", &loaded), D3DXERR_INVALIDDATA);
  EXPECT_EQ(loaded, nullptr);
  WriteFile(Path("odd.dds"), Dds(4, 4, 1, 0x40, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0, std::vector<uint8_t>(64)));
  EXPECT_EQ(D3DXCreateTextureFromFileA(&device, "odd.dds", &loaded), D3DXERR_INVALIDDATA);
  WriteFile(Path("junk.png"), {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(D3DXCreateTextureFromFileA(&device, "junk.png", &loaded), D3DXERR_INVALIDDATA);
  EXPECT_EQ(D3DXCreateTextureFromFileA(&device, "none.png", &loaded), D3DXERR_FILENOTFOUND);
  EXPECT_EQ(device.LiveResources(), 0u);
}

TEST_F(RendererTextureFiles, WindowsStyleNamesFindFilesWhateverTheirCase) {
  host::Device device;
  host::Texture* source = Fill(device, 2, 2, D3DFMT_A8R8G8B8, Pattern);
  IDirect3DSurface8* s = nullptr;
  source->GetSurfaceLevel(0, &s);
  fs::create_directories(dir_ / "resource" / "models");
  ASSERT_EQ(D3DXSaveSurfaceToFileA("Resource\\MODELS\\Tex.PNG", D3DXIFF_PNG, s, nullptr, nullptr), D3D_OK);
  EXPECT_TRUE(fs::exists(dir_ / "resource" / "models" / "Tex.PNG"));
  IDirect3DTexture8* loaded = nullptr;
  EXPECT_EQ(D3DXCreateTextureFromFileA(&device, "RESOURCE\\models\\tex.png", &loaded), D3D_OK);
  if (loaded) loaded->Release();
  s->Release();
  source->Release();
}

TEST_F(RendererTextureFiles, FilterTextureBoxesDownTheChain) {
  host::Device device;
  IDirect3DTexture8* texture = nullptr;
  ASSERT_EQ(device.CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  auto* t = static_cast<host::Texture*>(texture);
  uint32_t* top = reinterpret_cast<uint32_t*>(t->Level(0)->Bits());
  for (int i = 0; i < 16; ++i) top[i] = static_cast<uint32_t>(i * 16) * 0x01010101u;
  ASSERT_EQ(D3DXFilterTexture(texture, nullptr, D3DX_DEFAULT, D3DX_DEFAULT), D3D_OK);
  // Level 1 (0, 0) averages texels 0, 1, 4, 5: (0 + 16 + 64 + 80) / 4 = 40.
  EXPECT_EQ(t->Level(1)->PixelValue(0, 0), 40u * 0x01010101u);
  EXPECT_EQ(t->Level(1)->PixelValue(1, 1), 200u * 0x01010101u);  // 10, 11, 14, 15
  // Level 2 averages level 1: (40 + 72 + 168 + 200) / 4 = 120.
  EXPECT_EQ(t->Level(2)->PixelValue(0, 0), 120u * 0x01010101u);

  ASSERT_EQ(D3DXFilterTexture(texture, nullptr, 0, D3DX_FILTER_POINT), D3D_OK);
  EXPECT_EQ(t->Level(1)->PixelValue(1, 1), 160u * 0x01010101u);  // texel (2, 2)
  top[0] = 0xFFFFFFFFu;
  ASSERT_EQ(D3DXFilterTexture(texture, nullptr, 0, D3DX_FILTER_NONE), D3D_OK);
  EXPECT_EQ(t->Level(1)->PixelValue(0, 0), 0u);  // unchanged since the point filter
  // From level 1 down: level 1 stays, level 2 follows it.
  ASSERT_EQ(D3DXFilterTexture(texture, nullptr, 1, D3DX_FILTER_BOX), D3D_OK);
  EXPECT_EQ(t->Level(1)->PixelValue(0, 0), 0u);
  EXPECT_EQ(t->Level(2)->PixelValue(0, 0), 80u * 0x01010101u);  // (0 + 32 + 128 + 160) / 4
  EXPECT_EQ(D3DXFilterTexture(texture, nullptr, 3, D3DX_DEFAULT), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFilterTexture(nullptr, nullptr, 0, D3DX_DEFAULT), D3DERR_INVALIDCALL);
  texture->Release();

  // A single-level render target has nothing to filter.
  ASSERT_EQ(device.CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture),
            D3D_OK);
  EXPECT_EQ(D3DXFilterTexture(texture, nullptr, D3DX_DEFAULT, D3DX_DEFAULT), D3D_OK);
  texture->Release();
}

TEST_F(RendererTextureFiles, DevicesThatWantPowersOfTwoGetTheImageStretched) {
  host::Device device;
  host::Texture* source = Fill(device, 5, 3, D3DFMT_A8R8G8B8, Pattern);
  IDirect3DSurface8* s = nullptr;
  source->GetSurfaceLevel(0, &s);
  ASSERT_EQ(D3DXSaveSurfaceToFileA("odd.png", D3DXIFF_PNG, s, nullptr, nullptr), D3D_OK);
  s->Release();
  source->Release();
  D3DCAPS8 caps = host::DefaultCaps();
  caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
  device.SetCaps(caps);
  IDirect3DTexture8* loaded = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(&device, "odd.png", &loaded), D3D_OK);
  auto* t = static_cast<host::Texture*>(loaded);
  EXPECT_EQ(t->Level(0)->Width(), 8u);
  EXPECT_EQ(t->Level(0)->Height(), 4u);
  EXPECT_EQ(t->Level(0)->PixelArgb(0, 0), Pattern(0, 0));
  EXPECT_EQ(t->Level(0)->PixelArgb(7, 3), Pattern(4, 2));
  loaded->Release();
}

TEST_F(RendererTextureFiles, RendererTextureHandlesGoThroughTheResolver) {
  host::Renderer r;
  host::Texture* source = Fill(r.device(), 4, 4, D3DFMT_A8R8G8B8, Pattern);
  IDirect3DSurface8* s = nullptr;
  source->GetSurfaceLevel(0, &s);
  fs::create_directories(dir_ / "resource" / "models");
  ASSERT_EQ(D3DXSaveSurfaceToFileA("resource/models/a.tga", D3DXIFF_TGA, s, nullptr, nullptr), D3D_OK);
  ASSERT_EQ(D3DXSaveSurfaceToFileA("resource/models/b.png", D3DXIFF_PNG, s, nullptr, nullptr), D3D_OK);
  s->Release();
  source->Release();

  const int a = r.LoadTexture("resource\\models\\a.tga", 0);
  const int b = r.LoadTexture("resource\\models\\b.png", 0);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  // The same file by another spelling is the same texture, loaded once more.
  EXPECT_EQ(r.LoadTexture("Resource/Models/A.TGA", 0), a);
  EXPECT_EQ(r.LoadTexture(".\\resource\\.\\models\\..\\models\\.\\a.tga", 0), a);
  EXPECT_EQ(r.LiveTextures(), 2u);
  EXPECT_EQ(r.TextureLoads(), 4u);
  EXPECT_EQ(r.LoadTexture("resource\\models\\missing.dds", 0), -1);
  EXPECT_EQ(r.LoadTexture("", 0), -1);
  EXPECT_EQ(r.LoadTexture(nullptr, 0), -1);
  r.FailTexture("RESOURCE\\MODELS\\B.PNG");
  EXPECT_EQ(r.LoadTexture("resource\\models\\b.png", 0), -1);
  EXPECT_EQ(r.TextureName(a), "resource\\models\\a.tga");

  IDirect3DTexture8* object = r.GetTextureObject(a);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(r.GetTextureObject(99), nullptr);
  EXPECT_EQ(static_cast<host::Texture*>(object)->Level(0)->PixelArgb(3, 2), Pattern(3, 2));

  // Bound textures go into the draw records; a stage keeps its texture alive.
  EXPECT_EQ(r.SetTexture(1, a), D3D_OK);
  EXPECT_EQ(r.SetTexture(2, 77), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.StageTextureHandle(2), -1);
  const float quad[3 * 3] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, D3DFVF_XYZ, 1, quad, 12, -1, 0);
  EXPECT_EQ(r.Draws().back().state->textureHandle[1], a);
  EXPECT_EQ(r.Draws().back().state->texture[1], object);
  for (int spelling = 0; spelling < 3; ++spelling) r.ReleaseTexture(a);
  EXPECT_EQ(r.LiveTextures(), 1u);
  EXPECT_EQ(r.GetTextureObject(a), nullptr);
  EXPECT_EQ(r.device().LiveTextures(D3DPOOL_MANAGED), 2u);  // b, and a kept by its stage
  r.SetTexture(1, -1);
  EXPECT_EQ(r.device().LiveTextures(D3DPOOL_MANAGED), 1u);
  // Handles are not reused.
  r.ClearFailures();
  EXPECT_EQ(r.LoadTexture("resource\\models\\a.tga", 0), 3);
}

TEST_F(RendererTextureFiles, ScreenCapturesAreWrittenAsBitmaps) {
  host::RendererConfig config;
  config.device.width = 8;
  config.device.height = 4;
  host::Renderer r(config);
  r.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060u, 1.0f, 0);
  r.CaptureScreen();  // no directory: counted only
  r.SetCaptureDirectory("Shots");
  r.CaptureScreen();
  EXPECT_EQ(r.Captures(), 2u);
  EXPECT_TRUE(fs::exists(dir_ / "Shots" / "screen0002.bmp"));
  IDirect3DTexture8* loaded = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(r.GetDevice(), "shots\\SCREEN0002.bmp", &loaded), D3D_OK);
  EXPECT_EQ(static_cast<host::Texture*>(loaded)->Level(0)->PixelArgb(7, 3), 0xFF204060u);
  loaded->Release();
}

}  // namespace
