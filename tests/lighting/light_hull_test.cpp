// Light beams: the shapes and their vertices, the device checks for the smoke effect and the
// constants it is drawn with.
#include <gtest/gtest.h>

#include <cmath>

#include "frame/renderer.h"
#include "lighting/light_hull.h"
#include "light_test_host.h"
#include "support/surface_pixels.h"

using light_testing::FloatBits;
using LightHost = light_testing::RenderHost;

namespace {

struct Hull {
  CLightHull* hull;
  explicit Hull(IRenderer* r, int32_t type, int32_t n, float start = 0.2f, const char* distortion = nullptr)
      : hull(CLightHull::NewArray(1)) {
    hull->Init(r, type, n, start, distortion);
  }
  ~Hull() { CLightHull::DeleteArray(hull); }
  CLightHull* operator->() { return hull; }
};

const host::DrawRecord& DrawOnce(LightHost& h, CLightHull* hull, uint32_t argb = 0xFFFFFFFFu) {
  h.renderer.ClearRecords();
  D3DXMATRIX world;
  D3DXMatrixIdentity(&world);
  hull->Draw(&h.renderer, -1, argb, D3DXVECTOR4(1, 1, 1, 1), world);
  EXPECT_EQ(h.renderer.Draws().size(), 1u);
  return h.renderer.Draws().back();
}

float X(const host::DrawRecord& d, UINT i) { return d.VertexFloat(d.minIndex + i, 0); }
float Y(const host::DrawRecord& d, UINT i) { return d.VertexFloat(d.minIndex + i, 4); }
float Z(const host::DrawRecord& d, UINT i) { return d.VertexFloat(d.minIndex + i, 8); }
float V(const host::DrawRecord& d, UINT i) { return d.VertexFloat(d.minIndex + i, 16); }

TEST(LightHull, StartsWithTheEndRadiusOfItsLengthAndAngle) {
  LightHost h;
  Hull hull(&h.renderer, kHullCrossedPlanes, 3);
  EXPECT_FLOAT_EQ(hull->length, 10.0f);
  EXPECT_FLOAT_EQ(hull->tanHalfAngle, 1.0f);
  EXPECT_FLOAT_EQ(hull->endRadius, 10.0f);
  EXPECT_EQ(hull->distortionTexture, -1);
}

TEST(LightHull, CrossedPlanesAreOnePlanePerSegment) {
  LightHost h;
  Hull hull(&h.renderer, kHullCrossedPlanes, 3, 2.0f);
  hull->endRadius = 4.0f;
  hull->length = 8.0f;
  const host::DrawRecord& d = DrawOnce(h, hull.hull);
  EXPECT_TRUE(d.error.empty()) << d.error;
  EXPECT_EQ(d.primitiveType, static_cast<DWORD>(D3DPT_TRIANGLELIST));
  EXPECT_EQ(d.primitiveCount, 6u);
  EXPECT_EQ(d.vertexCount, 18u);
  EXPECT_EQ(d.stride, 20u);
  EXPECT_EQ(d.fvf, 0x102u);
  const float kPi = 3.14159265f;
  for (UINT i = 0; i < 3; ++i) {
    const float c = std::cos(i * kPi / 3), s = std::sin(i * kPi / 3);  // 0, 60 and 120 degrees
    const UINT k = 6 * i;
    EXPECT_NEAR(X(d, k + 0), 2 * c, 1e-5f);
    EXPECT_NEAR(Y(d, k + 0), 2 * s, 1e-5f);
    EXPECT_EQ(Z(d, k + 0), 0.0f);
    EXPECT_NEAR(X(d, k + 1), 4 * c, 1e-5f);
    EXPECT_NEAR(Y(d, k + 1), 4 * s, 1e-5f);
    EXPECT_EQ(Z(d, k + 1), 8.0f);
    EXPECT_NEAR(X(d, k + 4), -4 * c, 1e-5f);
    EXPECT_NEAR(X(d, k + 5), -2 * c, 1e-5f);
    EXPECT_FLOAT_EQ(V(d, k + 0), 0.75f);  // 0.5 + (2 / 4) x 0.5
    EXPECT_FLOAT_EQ(V(d, k + 5), 0.25f);
    EXPECT_EQ(V(d, k + 1), 1.0f);
    EXPECT_EQ(V(d, k + 2), 0.0f);
  }
}

TEST(LightHull, FanAndStripCloseTheirRing) {
  LightHost h;
  Hull fan(&h.renderer, kHullFan, 5);
  const host::DrawRecord& f = DrawOnce(h, fan.hull);
  EXPECT_EQ(f.primitiveType, static_cast<DWORD>(D3DPT_TRIANGLEFAN));
  EXPECT_EQ(f.primitiveCount, 5u);
  ASSERT_EQ(f.vertexCount, 7u);
  EXPECT_EQ(X(f, 0), 0.0f);
  EXPECT_EQ(Z(f, 0), 0.0f);
  EXPECT_EQ(X(f, 6), X(f, 1));
  EXPECT_EQ(Y(f, 6), Y(f, 1));
  EXPECT_EQ(Z(f, 6), Z(f, 1));
  EXPECT_NEAR(Y(f, 2), 10.0f * std::sin(2 * 3.14159265f / 5), 1e-4f);  // a full circle

  Hull strip(&h.renderer, kHullStrip, 4, 0.5f);
  const host::DrawRecord& s = DrawOnce(h, strip.hull);
  EXPECT_EQ(s.primitiveType, static_cast<DWORD>(D3DPT_TRIANGLESTRIP));
  EXPECT_EQ(s.primitiveCount, 8u);
  ASSERT_EQ(s.vertexCount, 10u);
  EXPECT_FLOAT_EQ(X(s, 0), 0.5f);
  EXPECT_EQ(Z(s, 1), 10.0f);
  EXPECT_NEAR(Y(s, 2), 0.5f, 1e-6f);  // segment 1 at 90 degrees, start radius
  EXPECT_EQ(X(s, 8), X(s, 0));
  EXPECT_EQ(Z(s, 9), Z(s, 1));
}

TEST(LightHull, OtherShapesDrawNothing) {
  LightHost h;
  for (int32_t type : {3, 4, 5, 0, 99}) {
    Hull hull(&h.renderer, type, 4);
    int buffer = 0;
    UINT first = 0, count = 0;
    DWORD primitive = 0;
    EXPECT_FALSE(hull->BuildGeometry(&h.renderer, &buffer, &first, &primitive, &count)) << type;
    h.renderer.ClearRecords();
    D3DXMATRIX w;
    D3DXMatrixIdentity(&w);
    hull->Draw(&h.renderer, -1, 0, D3DXVECTOR4(0, 0, 0, 0), w);
    EXPECT_TRUE(h.renderer.Draws().empty()) << type;
  }
  // Types 4 and 5 still build a half circle, type 3 a full one.
  Hull half(&h.renderer, 4, 4);
  EXPECT_NEAR(half->ring[2][0], 0.0f, 1e-6f);  // 90 degrees
  Hull full(&h.renderer, 3, 4);
  EXPECT_NEAR(full->ring[2][0], -1.0f, 1e-6f);  // 180 degrees
}

TEST(LightHull, SegmentCountsAreClampedAndAZeroRadiusNeverDivides) {
  LightHost h;
  Hull none(&h.renderer, kHullCrossedPlanes, 0);
  EXPECT_EQ(none->segments, 1);
  Hull many(&h.renderer, kHullCrossedPlanes, 100000);
  EXPECT_EQ(many->segments, kHullMaxSegments);
  EXPECT_EQ(DrawOnce(h, many.hull).vertexCount, 6u * kHullMaxSegments);

  Hull flat(&h.renderer, kHullCrossedPlanes, 2, 0.3f);
  flat->endRadius = 0.0f;
  const host::DrawRecord& d = DrawOnce(h, flat.hull);
  for (UINT i = 0; i < d.vertexCount; ++i) EXPECT_FALSE(std::isnan(V(d, i))) << i;
  EXPECT_EQ(V(d, 0), 0.5f);
}

TEST(LightHull, AFailedLockDrawsNothing) {
  LightHost h;
  Hull hull(&h.renderer, kHullCrossedPlanes, 3);
  h.renderer.FailCall(host::RendererCall::LockDynamicVertices);
  h.renderer.ClearRecords();
  D3DXMATRIX w;
  D3DXMatrixIdentity(&w);
  hull->Draw(&h.renderer, -1, 0, D3DXVECTOR4(0, 0, 0, 0), w);
  EXPECT_TRUE(h.renderer.Draws().empty());
  EXPECT_EQ(h.RendererWarnings("not locked"), 0u);
}

TEST(LightHull, DistortionTextureNeedsFourStagesAndPixelShaders14) {
  struct Case {
    DWORD textures;
    DWORD ps;
    bool loaded;
  };
  const Case cases[] = {
      {4, D3DPS_VERSION(1, 4), true},  {3, D3DPS_VERSION(1, 4), false}, {8, D3DPS_VERSION(1, 3), false},
      {4, D3DPS_VERSION(2, 0), true},  {4, D3DPS_VERSION(3, 0), true},  {4, D3DPS_VERSION(0, 9), false},
  };
  for (const Case& c : cases) {
    LightHost h;
    D3DCAPS8 caps = h.renderer.device().Caps();
    caps.MaxSimultaneousTextures = c.textures;
    caps.PixelShaderVersion = c.ps;
    h.renderer.device().SetCaps(caps);
    Hull hull(&h.renderer, kHullCrossedPlanes, 3, 0.2f, "fx\\smoke.tga");
    EXPECT_EQ(hull->distortionTexture >= 0, c.loaded) << c.textures << " " << std::hex << c.ps;
  }
}

TEST(LightHull, SmokePathSetsTheShaderConstantsAndStages) {
  LightHost h;
  CLightHull::ResetSmokeTime();
  Hull hull(&h.renderer, kHullCrossedPlanes, 3, 0.2f, "fx\\smoke.tga");
  ASSERT_GE(hull->distortionTexture, 0);
  const int hullTexture = h.renderer.LoadTexture("fx\\beam.tga", 0);
  D3DXMATRIX world, view, projection;
  D3DXMatrixTranslation(&world, 1, 2, 3);
  D3DXMatrixRotationY(&view, 0.5f);
  D3DXMatrixPerspectiveFovLH(&projection, 0.8f, 1.33f, 0.1f, 100.0f);
  h.renderer.SetTransform(D3DTS_VIEW, &view);
  h.renderer.SetTransform(D3DTS_PROJECTION, &projection);
  h.renderer.ClearRecords();
  hull->Draw(&h.renderer, hullTexture, 0xFF112233u, D3DXVECTOR4(0.1f, 0.2f, 0.3f, 0.4f), world);
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  const host::RenderSnapshot& s = *h.renderer.Draws()[0].state;
  EXPECT_EQ(h.renderer.EffectName(h.renderer.Draws()[0].effect), "disturbedSmoke");

  D3DXMATRIX m;
  D3DXMatrixMultiply(&m, &world, &view);
  D3DXMatrixMultiply(&m, &m, &projection);
  D3DXMatrixTranspose(&m, &m);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(s.vertexConstants[i], m.m[i / 4][i % 4]) << i;
  EXPECT_FLOAT_EQ(s.vertexConstants[4 * 4 + 1], 0.2f);  // c4: the colour
  EXPECT_FLOAT_EQ(s.vertexConstants[4 * 4 + 3], 0.4f);
  EXPECT_EQ(s.vertexConstants[5 * 4], 0.0f);  // c5: the shared time
  EXPECT_EQ(FloatBits(s.vertexConstants[6 * 4]), 0x3F3001F7u);
  EXPECT_FLOAT_EQ(s.vertexConstants[6 * 4 + 1], 0.52f);
  EXPECT_FLOAT_EQ(s.vertexConstants[6 * 4 + 2], 0.7534f);
  EXPECT_FLOAT_EQ(s.vertexConstants[6 * 4 + 3], 1.0f);
  for (int k = 0; k < 4; ++k) {
    EXPECT_FLOAT_EQ(s.pixelConstants[0 * 4 + k], 0.123f);
    EXPECT_FLOAT_EQ(s.pixelConstants[1 * 4 + k], 0.091f);
    EXPECT_FLOAT_EQ(s.pixelConstants[2 * 4 + k], 0.0723f);
  }
  EXPECT_FLOAT_EQ(s.pixelConstants[3 * 4 + 0], 0.24f);
  EXPECT_FLOAT_EQ(s.pixelConstants[3 * 4 + 1], 0.2f);
  EXPECT_FLOAT_EQ(s.pixelConstants[3 * 4 + 3], 1.0f);
  EXPECT_EQ(s.textureHandle[0], hullTexture);
  for (int stage = 1; stage <= 3; ++stage) EXPECT_EQ(s.textureHandle[stage], hull->distortionTexture) << stage;

  // Each smoke draw moves the shared time on.
  EXPECT_FLOAT_EQ(CLightHull::SmokeTime(), 0.001f);
  h.renderer.ClearRecords();
  hull->Draw(&h.renderer, hullTexture, 0xFF112233u, D3DXVECTOR4(0, 0, 0, 0), world);
  EXPECT_FLOAT_EQ(h.renderer.Draws()[0].state->vertexConstants[5 * 4], 0.001f);
  h.renderer.ReleaseTexture(hullTexture);
}

TEST(LightHull, TheSmokyBeamAddsItsTextureInItsColourWhereItIsSeen) {
  LightHost h;
  Hull hull(&h.renderer, kHullCrossedPlanes, 1, 0.2f, "fx\\smoke.tga");
  const int hullTexture = h.renderer.LoadTexture("fx\\beam.tga", 0);
  // Straight down on the one plane of the beam (y = 0, from the light along +z for 10 units).
  D3DXMATRIX world, view, projection;
  D3DXMatrixIdentity(&world);
  const D3DXVECTOR3 eye(0, 20, 5), at(0, 0, 5), up(0, 0, 1);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, 1.5707964f, 4.0f / 3.0f, 1.0f, 100.0f);
  h.renderer.SetTransform(D3DTS_VIEW, &view);
  h.renderer.SetTransform(D3DTS_PROJECTION, &projection);
  h.renderer.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  hull->Draw(&h.renderer, hullTexture, 0xFFFF80FFu, D3DXVECTOR4(1.0f, 0.5f, 1.0f, 1.0f), world);
  // The test tree's textures are one opaque colour, (0xC0, 0x80, 0x40): added in the colour.
  host::Surface* back = h.renderer.device().BackBuffer();
  EXPECT_TRUE(testing_support::Near(testing_support::SurfacePixel(back, 400, 300), 0xC04040u, 3))
      << std::hex << testing_support::SurfacePixel(back, 400, 300);
  EXPECT_EQ(testing_support::SurfacePixel(back, 5, 5), 0u);
  EXPECT_EQ(h.renderer.Raster().shaderOnly, 0u);
  h.renderer.ReleaseTexture(hullTexture);
}

TEST(LightHull, PlainPathUsesTheTextureFactorAndTheWorld) {
  LightHost h;
  CLightHull::ResetSmokeTime();
  Hull hull(&h.renderer, kHullFan, 8);
  D3DXMATRIX world;
  D3DXMatrixTranslation(&world, 4, 5, 6);
  h.renderer.ClearRecords();
  hull->Draw(&h.renderer, -1, 0x80402010u, D3DXVECTOR4(0, 0, 0, 0), world);
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  const host::DrawRecord& d = h.renderer.Draws()[0];
  EXPECT_EQ(h.renderer.EffectName(d.effect), "lightHull");
  EXPECT_EQ(d.state->RenderState(D3DRS_TEXTUREFACTOR), 0x80402010u);
  EXPECT_EQ(d.state->world._42, 5.0f);
  EXPECT_EQ(CLightHull::SmokeTime(), 0.0f);

  // Texture handle 0 is a texture: it takes the smoke path.
  hull->distortionTexture = 0;
  h.renderer.ClearRecords();
  hull->Draw(&h.renderer, -1, 0, D3DXVECTOR4(0, 0, 0, 0), world);
  EXPECT_EQ(h.renderer.EffectName(h.renderer.Draws()[0].effect), "disturbedSmoke");
  hull->distortionTexture = -1;
}

TEST(LightHull, EmptyDistortionNameReleasesTheTextureAndDestructionToo) {
  LightHost h;
  {
    Hull hull(&h.renderer, kHullCrossedPlanes, 3, 0.2f, "fx\\smoke.tga");
    ASSERT_GE(hull->distortionTexture, 0);
    EXPECT_EQ(h.renderer.LiveTextures(), 1u);
    hull->Init(&h.renderer, kHullCrossedPlanes, 3, 0.2f, "");
    EXPECT_EQ(hull->distortionTexture, -1);
    EXPECT_EQ(h.renderer.LiveTextures(), 0u);
    hull->Init(&h.renderer, kHullCrossedPlanes, 3, 0.2f, "fx\\smoke.tga");
    hull->Init(&h.renderer, kHullCrossedPlanes, 3, 0.2f, "fx\\other.tga");  // the first one goes
    EXPECT_EQ(h.renderer.LiveTextures(), 1u);
    hull->Init(&h.renderer, kHullCrossedPlanes, 3, 0.2f, nullptr);
    EXPECT_EQ(h.renderer.LiveTextures(), 0u);
    hull->Init(&h.renderer, kHullCrossedPlanes, 3, 0.2f, "fx\\smoke.tga");
  }
  EXPECT_EQ(h.renderer.LiveTextures(), 0u);
  EXPECT_EQ(h.RendererWarnings("unknown texture"), 0u);
}

}  // namespace
