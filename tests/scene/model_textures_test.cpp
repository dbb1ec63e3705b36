// A normal-style record's host model draws with its own map: in the scene's frame and in the
// planform picture alike, whatever texture and stages the module left set before it.
#include <cstring>

#include "scene_fixture.h"
#include "support/surface_pixels.h"

namespace {
using scene_testing::SceneHost;
using testing_support::Near;
using testing_support::SurfacePixel;

// A 2 x 2 uncompressed 32-bit TGA of one colour (B, G, R, A each texel).
std::string OneColourTga(uint32_t argb) {
  std::string t = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
  for (int i = 0; i < 4; ++i)
    for (int shift : {0, 8, 16, 24}) t += static_cast<char>((argb >> shift) & 0xFF);
  return t;
}

// The 24- or 32-bit pixel at (x, y) (top row 0) of a BMP file's bytes.
uint32_t BmpPixel(const std::string& bmp, int x, int y) {
  if (bmp.size() < 54) return 0xDEADBEEFu;
  int32_t offset = 0, width = 0, height = 0;
  uint16_t bits = 0;
  std::memcpy(&offset, bmp.data() + 10, 4);
  std::memcpy(&width, bmp.data() + 18, 4);
  std::memcpy(&height, bmp.data() + 22, 4);
  std::memcpy(&bits, bmp.data() + 28, 2);
  const int bytes = bits / 8, stride = (width * bytes + 3) / 4 * 4;
  const int row = height > 0 ? height - 1 - y : y;
  const size_t at = static_cast<size_t>(offset) + static_cast<size_t>(row) * stride + static_cast<size_t>(x) * bytes;
  if (at + 3 > bmp.size()) return 0xDEADBEEFu;
  const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + i])); };
  return b(2) << 16 | b(1) << 8 | b(0);
}

TEST(ModelTextures, ANormalRecordShowsItsOwnMapInTheFrameAndInThePlanform) {
  SceneHost s;
  // An 8 x 8 square of floor at y 0 with a map of one colour, and a walk patch under it.
  s.WriteFile("stage/floor.obj",
              "mtllib floor.mtl\nv -4 0 -4\nv 4 0 -4\nv 4 0 4\nv -4 0 4\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
              "usemtl tiles\nf 4/4 3/3 2/2 1/1\n");
  s.WriteFile("stage/floor.mtl", "newmtl tiles\nKd 0.5 0.5 0.5\nmap_Kd tiles.tga\n");
  s.WriteFile("stage/tiles.tga", OneColourTga(0xFF3080C0u));
  s.WriteFile("stage/other.tga", OneColourTga(0xFFFF4040u));
  s.WriteFile("resource/ini/scene/1.ini",
              "[walk_patch]\nModelType=1\nVisible=0\nModelPath=stage\\\nModelName=floor.obj\n"
              "[floor]\nModelType=1\nVisible=1\nRenderStyle=normal\nModelPath=stage\\\nModelName=floor.obj\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  host::Renderer& r = s.standard.renderer;
  // What another draw left bound must not show on the floor, nor the stages another record's
  // hooks left switched on after stage 0 (the map reads through a doubling stage, so the
  // mid-grey Kd shows it as it is).
  const int other = r.LoadTexture("stage\\other.tga", 0);
  r.SetTexture(0, other);
  r.SetTexture(1, other);
  r.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  r.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
  r.SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  r.SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);

  scene->RenderScenePlanform(16, 16, 100.0f, "plan.bmp");
  std::ifstream in(s.root + "/plan.bmp", std::ios::binary);
  const std::string bmp((std::istreambuf_iterator<char>(in)), {});
  EXPECT_TRUE(Near(BmpPixel(bmp, 8, 8), 0x3080C0u, 2)) << std::hex << BmpPixel(bmp, 8, 8);

  const D3DVECTOR eye{0, 10, -6}, at{0, 0, 0}, up{0, 1, 0};
  r.SetLookAt(&eye, &at, &up);
  D3DXMATRIX projection;
  D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 4.0f / 3.0f, 0.5f, 100.0f);
  r.SetTransform(D3DTS_PROJECTION, &projection);
  r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  scene->Realize(0);
  host::Surface* back = r.device().BackBuffer();
  EXPECT_TRUE(Near(SurfacePixel(back, 400, 300), 0x3080C0u, 2)) << std::hex << SurfacePixel(back, 400, 300);
  // The model gave the stages back as it found them.
  EXPECT_EQ(r.TextureName(r.StageTextureHandle(0)), "stage\\other.tga");
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_SELECTARG2));
  EXPECT_EQ(r.GetTextureStageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE2X));
}

}  // namespace
