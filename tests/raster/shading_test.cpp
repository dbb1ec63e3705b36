#include <cmath>

#include "tests/raster/raster_fixture.h"

namespace raster_test {
namespace {

class Lighting : public RasterTest {
 protected:
  Lighting() {
    r.SetRenderState(D3DRS_LIGHTING, TRUE);
    r.SetRenderState(D3DRS_AMBIENT, 0);
    const D3DMATRIX p = PixelOrtho();
    r.SetTransform(D3DTS_PROJECTION, &p);
  }
  // The whole target at depth 0.5, every normal (nx, ny, nz); the lit red channel at the centre.
  int LitRed(float nx = 0, float ny = 0, float nz = -1) {
    ClearAll(0xFF000000);
    LitVertex v[4] = {{0, 0, 0.5f, nx, ny, nz}, {16, 0, 0.5f, nx, ny, nz}, {0, 16, 0.5f, nx, ny, nz},
                      {16, 16, 0.5f, nx, ny, nz}};
    r.SetVertexShader(kLitFvf);
    r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kLitFvf, 2, v, sizeof(LitVertex), -1, 0);
    return static_cast<int>((Pixel(8, 8) >> 16) & 0xFF);
  }
  void Light(const D3DLIGHT8& light) {
    ASSERT_EQ(r.SetLight(0, &light), D3D_OK);
    ASSERT_EQ(r.LightEnable(0, TRUE), D3D_OK);
  }
  static D3DLIGHT8 White(D3DLIGHTTYPE type) {
    D3DLIGHT8 l{};
    l.Type = type;
    l.Diffuse = {1, 1, 1, 1};
    l.Direction = {0, 0, 1};
    l.Range = 1000.0f;
    l.Attenuation0 = 1.0f;
    return l;
  }
};

TEST_F(Lighting, DirectionalLightFollowsTheCosineOfItsAngle) {
  D3DLIGHT8 l = White(D3DLIGHT_DIRECTIONAL);
  Light(l);
  EXPECT_NEAR(LitRed(), 255, 1);
  const float a = 60.0f * 3.14159265f / 180.0f;
  l.Direction = {std::sin(a), 0, std::cos(a)};
  Light(l);
  EXPECT_NEAR(LitRed(), 127.5, 1.5);
  l.Direction = {0, 0, -1};  // from behind
  Light(l);
  EXPECT_EQ(LitRed(), 0);
}

TEST_F(Lighting, PointAndSpotLightsAttenuateReachAndNarrow) {
  // Over the centre, 8 in front of the quad: every vertex sees it at the same distance.
  D3DLIGHT8 l = White(D3DLIGHT_POINT);
  l.Position = {8, 8, -8};
  l.Attenuation0 = 1.0f;
  l.Attenuation1 = 0.05f;
  const double d = std::sqrt(64.0 + 64.0 + 8.5 * 8.5), cosine = 8.5 / d;
  Light(l);
  EXPECT_NEAR(LitRed(), 255.0 * cosine / (1.0 + 0.05 * d), 1.5);
  l.Range = static_cast<float>(d) - 0.1f;
  Light(l);
  EXPECT_EQ(LitRed(), 0);

  D3DLIGHT8 s = White(D3DLIGHT_SPOT);
  s.Position = {8, 8, -8};
  s.Falloff = 1.0f;
  s.Theta = 2.5f;
  s.Phi = 3.0f;
  Light(s);
  EXPECT_NEAR(LitRed(), 255.0 * cosine, 1.5);  // inside the inner cone
  s.Theta = 1.0f;
  s.Phi = 2.0f;
  Light(s);
  const double between = (cosine - std::cos(1.0)) / (std::cos(0.5) - std::cos(1.0));
  EXPECT_NEAR(LitRed(), 255.0 * cosine * between, 1.5);
  s.Phi = 1.5f;
  Light(s);
  EXPECT_EQ(LitRed(), 0);  // outside the outer cone
}

TEST_F(Lighting, AmbientMaterialVertexColourAndNormalisation) {
  r.SetRenderState(D3DRS_AMBIENT, 0x00404040);
  EXPECT_NEAR(LitRed(), 0x40, 1);
  r.SetRenderState(D3DRS_AMBIENT, 0);
  D3DLIGHT8 l = White(D3DLIGHT_DIRECTIONAL);
  l.Diffuse = {0.5f, 0.5f, 0.5f, 1};
  Light(l);
  EXPECT_NEAR(LitRed(0, 0, -2), 255, 1);  // the longer normal lights twice
  r.SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  EXPECT_NEAR(LitRed(0, 0, -2), 127.5, 1.5);
  // The host's material colours vertices without a colour of their own.
  D3DMATERIAL8 material{};
  material.Diffuse = {0, 1, 0, 1};
  r.SetMaterial(&material);
  EXPECT_EQ(LitRed(), 0);
  EXPECT_NEAR(static_cast<int>((Pixel(8, 8) >> 8) & 0xFF), 127.5, 1.5);
  r.SetMaterial(nullptr);
  // A vertex colour is the diffuse material.
  struct Vertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR colour;
  };
  const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
  const Vertex v[3] = {{0, 0, 0.5f, 0, 0, -1, 0xFF0000FF}, {32, 0, 0.5f, 0, 0, -1, 0xFF0000FF},
                       {0, 32, 0.5f, 0, 0, -1, 0xFF0000FF}};
  ClearAll(0xFF000000);
  r.SetVertexShader(fvf);
  r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, fvf, 1, v, sizeof(Vertex), -1, 0);
  EXPECT_TRUE(Near(Pixel(4, 4), 0x000080, 1)) << std::hex << Pixel(4, 4);
}

class Stages : public RasterTest {
 protected:
  // A screen-space quad over [x0, x1) x [0, 16) with u across [u0, u1] and v 0.5.
  void Strip(float x0, float x1, float u0, float u1, D3DCOLOR colour = 0xFFFFFFFF) {
    const ScreenTexVertex v[4] = {{x0, 0, 0.5f, 1, colour, u0, 0.5f}, {x1, 0, 0.5f, 1, colour, u1, 0.5f},
                                  {x0, 16, 0.5f, 1, colour, u0, 0.5f}, {x1, 16, 0.5f, 1, colour, u1, 0.5f}};
    r.SetVertexShader(kScreenTexFvf);
    ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kScreenTexFvf, 2, v, sizeof(ScreenTexVertex), -1, 0), D3D_OK);
  }
  void Stage(DWORD stage, DWORD op, DWORD arg1, DWORD arg2 = D3DTA_CURRENT, DWORD result = D3DTA_CURRENT) {
    r.SetTextureStageState(stage, D3DTSS_COLOROP, op);
    r.SetTextureStageState(stage, D3DTSS_COLORARG1, arg1);
    r.SetTextureStageState(stage, D3DTSS_COLORARG2, arg2);
    r.SetTextureStageState(stage, D3DTSS_RESULTARG, result);
  }
  // Red on the left texel, green on the right.
  IDirect3DTexture8* RedGreen() {
    IDirect3DTexture8* t = MakeTexture(r, 2, 1, {0xFFFF0000, 0xFF00FF00});
    r.SetBaseTexture(0, t);
    return t;
  }
  void TearDown() override { r.SetBaseTexture(0, nullptr); }
};

TEST_F(Stages, ModulateTwiceTextureFactorAndAMissingTexture) {
  ClearAll(0xFF000000);
  IDirect3DTexture8* grey = MakeTexture(r, 1, 1, {0xFF808080});
  r.SetBaseTexture(0, grey);
  Stage(0, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  Strip(0, 16, 0, 1, 0xFF808080);
  EXPECT_TRUE(Near(Pixel(4, 4), Grey(0x80), 1)) << std::hex << Pixel(4, 4);
  // No texture reads opaque white: the diffuse doubled.
  r.SetTexture(0, -1);
  Strip(0, 16, 0, 1, 0xFF404040);
  EXPECT_TRUE(Near(Pixel(4, 4), Grey(0x80), 1)) << std::hex << Pixel(4, 4);
  r.SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF00FF00);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TFACTOR);
  Strip(0, 16, 0, 1);
  EXPECT_EQ(Pixel(4, 4), 0x00FF00u);
  grey->Release();
}

TEST_F(Stages, ADisabledFirstStagePassesTheDiffuseAndAMissingSetReadsZero) {
  ClearAll(0xFF000000);
  IDirect3DTexture8* t = RedGreen();
  r.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
  Strip(0, 16, 0.9f, 0.9f, 0xFF0000FF);
  EXPECT_EQ(Pixel(4, 4), 0x0000FFu);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
  Strip(0, 16, 0.9f, 0.9f);
  EXPECT_EQ(Pixel(4, 4), 0x00FF00u);
  r.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 3);  // the vertices carry one set
  Strip(0, 16, 0.9f, 0.9f);
  EXPECT_EQ(Pixel(4, 4), 0xFF0000u);
  t->Release();
}

TEST_F(Stages, FiveStagesPassAValueThroughTemp) {
  ClearAll(0xFF000000);
  r.SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF808080);
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT, D3DTA_TEMP);  // temp = grey
  Stage(1, D3DTOP_SELECTARG1, D3DTA_DIFFUSE);                               // current = red
  Stage(2, D3DTOP_ADD, D3DTA_CURRENT, D3DTA_TEMP);                          // (1, .5, .5)
  Stage(3, D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_CURRENT);
  Stage(4, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TFACTOR);                  // halved
  Stage(5, D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_CURRENT);
  r.SetTextureStageState(5, D3DTSS_COLOROP, D3DTOP_DISABLE);  // the chain ends here
  Strip(0, 16, 0, 1, 0xFFFF0000);
  const double half = 128.0 / 255.0;
  const int red = static_cast<int>(std::lround(255.0 * half)), rest = static_cast<int>(std::lround(255.0 * half * half));
  const uint32_t expected = static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(rest) << 8 | static_cast<uint32_t>(rest);
  EXPECT_TRUE(Near(Pixel(4, 4), expected, 1))
      << std::hex << Pixel(4, 4);
}

TEST_F(Stages, TextureTransformsScrollAndProject) {
  ClearAll(0xFF000000);
  IDirect3DTexture8* t = RedGreen();
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
  D3DMATRIX scroll = Identity();
  scroll._31 = 0.5f;  // (u, v, 1) times the matrix: u + 0.5
  r.SetTransform(D3DTS_TEXTURE0, &scroll);
  r.SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  Strip(0, 16, 0, 1);
  EXPECT_EQ(Pixel(2, 4), 0x00FF00u);   // u 0.125 -> 0.625
  EXPECT_EQ(Pixel(12, 4), 0xFF0000u);  // u 0.75 -> 1.25, wrapped
  D3DMATRIX project = Identity();
  project._33 = 2.0f;  // the third component 2: u halved
  r.SetTransform(D3DTS_TEXTURE0, &project);
  r.SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
  Strip(0, 16, 0, 1);
  EXPECT_EQ(Pixel(12, 4), 0xFF0000u);
  r.SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  Strip(0, 16, 0, 1);
  EXPECT_EQ(Pixel(12, 4), 0x00FF00u);
  t->Release();
}

TEST_F(Stages, CameraSpaceCoordinatesComeFromThePositionAndTheReflection) {
  ClearAll(0xFF000000);
  IDirect3DTexture8* t = RedGreen();
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
  D3DMATRIX p = PixelOrtho();
  p._33 = 0.001f;  // depth 100 is still inside
  r.SetTransform(D3DTS_PROJECTION, &p);
  r.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
  D3DMATRIX scale = Identity();
  scale._11 = 1.0f / 16.0f;  // u = x / 16
  r.SetTransform(D3DTS_TEXTURE0, &scale);
  r.SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  const LitVertex v[4] = {{0, 0, 100, 0, 0, -1}, {16, 0, 100, 0, 0, -1}, {0, 16, 100, 0, 0, -1}, {16, 16, 100, 0, 0, -1}};
  r.SetVertexShader(kLitFvf);
  r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kLitFvf, 2, v, sizeof(LitVertex), -1, 0);
  EXPECT_EQ(Pixel(3, 4), 0xFF0000u);
  EXPECT_EQ(Pixel(12, 4), 0x00FF00u);
  // Facing the eye far ahead, the reflection points back: z near -1, so u = -0.75 z is near 0.75.
  r.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  D3DMATRIX pick{};
  pick._31 = -0.75f;
  pick._44 = 1.0f;
  r.SetTransform(D3DTS_TEXTURE0, &pick);
  ClearAll(0xFF000000);
  r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kLitFvf, 2, v, sizeof(LitVertex), -1, 0);
  EXPECT_EQ(Count(0x00FF00), 256);
  t->Release();
}

TEST_F(Stages, BilinearFilteringIsExactAtTexelCentres) {
  ClearAll(0xFF000000);
  IDirect3DTexture8* t = RedGreen();
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
  r.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  r.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  r.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  // Pixel centres 0 and 1 fall on the texel centres; 4 and 7 beyond them, 5 a quarter between.
  Strip(-0.5f, 1.5f, 0, 1);
  Strip(3.5f, 7.5f, 0, 1);
  EXPECT_EQ(Pixel(0, 4), 0xFF0000u);
  EXPECT_EQ(Pixel(1, 4), 0x00FF00u);
  EXPECT_EQ(Pixel(4, 4), 0xFF0000u);
  EXPECT_TRUE(Near(Pixel(5, 4), 0xBF4000, 1)) << std::hex << Pixel(5, 4);
  EXPECT_EQ(Pixel(7, 4), 0x00FF00u);
  t->Release();
}

TEST_F(Stages, AddressModesRepeatMirrorClampAndBorder) {
  IDirect3DTexture8* t = RedGreen();
  Stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE);
  r.SetTextureStageState(0, D3DTSS_BORDERCOLOR, 0xFF0000FF);
  struct Case {
    DWORD mode;
    uint32_t at10, at14;  // u 1.25 and 1.75
  } cases[] = {{D3DTADDRESS_WRAP, 0xFF0000, 0x00FF00},
               {D3DTADDRESS_MIRROR, 0x00FF00, 0xFF0000},
               {D3DTADDRESS_CLAMP, 0x00FF00, 0x00FF00},
               {D3DTADDRESS_BORDER, 0x0000FF, 0x0000FF}};
  for (const Case& c : cases) {
    ClearAll(0xFF000000);
    r.SetTextureStageState(0, D3DTSS_ADDRESSU, c.mode);
    Strip(0, 16, 0, 2);
    EXPECT_EQ(Pixel(10, 4), c.at10) << "mode " << c.mode;
    EXPECT_EQ(Pixel(14, 4), c.at14) << "mode " << c.mode;
  }
  t->Release();
}

using Techniques = RasterTest;

TEST_F(Techniques, TheLightHullAndTheAfterImageSetTheirStatesForTheirOwnDrawOnly) {
  ClearAll(0xFF000000);
  const int hull = r.GetEffect("lightHull");
  r.SetRenderState(D3DRS_TEXTUREFACTOR, 0x80FF0000);
  const ScreenVertex v[4] = {{0, 0, 0.25f, 1, 0xFF0000FF}, {16, 0, 0.25f, 1, 0xFF0000FF}, {0, 8, 0.25f, 1, 0xFF0000FF},
                             {16, 8, 0.25f, 1, 0xFF0000FF}};
  r.SetVertexShader(kScreenFvf);
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kScreenFvf, 2, v, sizeof(ScreenVertex), hull, 0), D3D_OK);
  EXPECT_TRUE(Near(Pixel(4, 4), 0x800000, 1)) << std::hex << Pixel(4, 4);
  EXPECT_NEAR(r.device().AutoDepth()->Depth(4, 4), 1.0f, 1e-6f);  // no depth written
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHABLENDENABLE), 0u);
  // The next draw, under a name without a table entry, uses the state in force.
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kScreenFvf, 2, v, sizeof(ScreenVertex), r.GetEffect("BoundingBox"),
                              0),
            D3D_OK);
  EXPECT_EQ(Pixel(4, 4), 0x0000FFu);
  // An after-image copy is the texture factor's colour over the blue, at the factor's alpha,
  // nearer than the blue but leaving its depth: 0x80 / 255 of 0xFFD700 and the rest of 0x0000FF.
  r.SetRenderState(D3DRS_TEXTUREFACTOR, 0x80FFD700);
  ScreenVertex nearer[4];
  for (int i = 0; i < 4; ++i) nearer[i] = ScreenVertex{v[i].x, v[i].y, 0.125f, 1, v[i].colour};
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kScreenFvf, 2, nearer, sizeof(ScreenVertex),
                              r.GetEffect("afterImage"), 0),
            D3D_OK);
  EXPECT_TRUE(Near(Pixel(4, 4), 0x806C7F, 2)) << std::hex << Pixel(4, 4);
  EXPECT_NEAR(r.device().AutoDepth()->Depth(4, 4), 0.25f, 1e-6f);
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(r.Raster().rasterised, 3u);
}

TEST_F(Techniques, ShaderOnlyTechniquesAreRecordedButNotDrawn) {
  ClearAll(0xFF000000);
  // The terrain's water has no program of the host's: nothing of the module draws with it.
  const int water = r.GetEffect("TerrainWater");
  const ScreenVertex v[3] = {{0, 0, 0.5f, 1, 0xFFFF0000}, {16, 0, 0.5f, 1, 0xFFFF0000}, {0, 16, 0.5f, 1, 0xFFFF0000}};
  r.SetVertexShader(kScreenFvf);
  ASSERT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, kScreenFvf, 1, v, sizeof(ScreenVertex), water, 0), D3D_OK);
  EXPECT_EQ(r.Draws().size(), 1u);
  EXPECT_FALSE(r.Draws()[0].rasterised);
  EXPECT_EQ(r.Raster().shaderOnly, 1u);
  EXPECT_EQ(Count(0xFF0000), 0);
}

}  // namespace
}  // namespace raster_test
