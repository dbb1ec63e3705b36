// The terrain as the renderer's technique programs draw it: its base layer, a painted layer
// through its blend map, and the light of the ambient colour and the sun, or of the fixed sun
// when no light is set.
#include <gtest/gtest.h>

#include "host/renderer.h"
#include "sample_generator.h"
#include "support/surface_pixels.h"
#include "terrain_fixture.h"

namespace {

using terrain_testing::Field;
using terrain_testing::TempTree;
using terrain_testing::TerrainHost;
using testing_support::Near;
using testing_support::SurfacePixel;

TEST(TerrainPicture, TheBaseLayerAndAPaintedLayerShowLitByTheAmbientAndTheSunOrTheFixedSun) {
  TerrainHost t([](const TempTree& tree) {
    // A checker whose texels average 0xC000 in green, read small enough that only the layer's
    // smaller levels give that average in every pixel.
    tree.Put("tex/grass.dds", terrain_samples::CheckerDds(8, 0xFF00E000u, 0xFF00A000u));
    tree.Put("tex/rock.dds", terrain_samples::CheckerDds(8, 0xFFC00000u, 0xFFC00000u));
  });
  CTerrainManager* m = t.terrain;
  Field flat;
  const TerrainHeightMap map = flat.Map();
  ASSERT_TRUE(m->UpdateAllBlocks(&map));
  m->SetName("tex/");
  const float offset[2] = {0.0f, 0.0f}, fine[2] = {64.0f, 64.0f};  // 8 texels every 10 / 64 units
  ASSERT_EQ(m->AddLayer("grass.dds", offset, fine, false), 0);
  // The whole mask over the brush's 8 x 8 quads from (320, 320): the rock covers them.
  m->SetBrushSize(9, 9, 5, 5);
  const std::vector<uint8_t> full(16 * 16, 255);
  m->SetBrushMask(full.data(), 16, 16, "rock.dds", nullptr, nullptr, false);
  const int32_t tl[2] = {320, 320}, br[2] = {328, 328};
  m->PaintBlendLayer(tl, br);

  host::Renderer& r = t.Renderer();
  // Straight down on the painted square's middle from 40 units: 80 units across the view.
  t.Look({324, 40, 324}, {324, 0, 324}, {0, 0, 1});
  r.SetRenderState(D3DRS_AMBIENT, 0xFF404040u);
  D3DLIGHT8 sun{};
  sun.Type = D3DLIGHT_DIRECTIONAL;
  sun.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
  sun.Direction = {0.0f, -1.0f, 0.0f};
  ASSERT_EQ(r.SetLight(0, &sun), D3D_OK);
  ASSERT_EQ(r.LightEnable(0, TRUE), D3D_OK);
  r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0);
  t.Frame();
  host::Surface* back = r.device().BackBuffer();
  // 10 pixels a unit, x to the right and z up the view: (400, 300) is in the stroke, (560, 140)
  // at (340, 340) in the layer's patch (320 to 352) beside it, where the blend map is clear,
  // and (100, 300) outside the patch.
  // Lit straight from above: 0xC0 x (0x40 / 255 + 0.5) = 144 in the layer's channel.
  EXPECT_TRUE(Near(SurfacePixel(back, 400, 300), 0x900000u, 4)) << std::hex << SurfacePixel(back, 400, 300);
  EXPECT_TRUE(Near(SurfacePixel(back, 560, 140), 0x009000u, 4)) << std::hex << SurfacePixel(back, 560, 140);
  EXPECT_TRUE(Near(SurfacePixel(back, 100, 300), 0x009000u, 4)) << std::hex << SurfacePixel(back, 100, 300);

  // Without a light the fixed sun lights flat ground by 0.4 + 0.6 x 0.8: 0xC0 x 0.88 = 169.
  r.LightEnable(0, FALSE);
  t.Frame();
  EXPECT_TRUE(Near(SurfacePixel(back, 400, 300), 0xA90000u, 4)) << std::hex << SurfacePixel(back, 400, 300);
  EXPECT_TRUE(Near(SurfacePixel(back, 100, 300), 0x00A900u, 4)) << std::hex << SurfacePixel(back, 100, 300);
  EXPECT_EQ(r.Raster().shaderOnly, 0u);
}

}  // namespace
