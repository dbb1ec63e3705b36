// The shadow map on the host renderer's device: its resources, constants, pass and fittings.
#include <bit>
#include <cmath>

#include "d3d8/d3d8.h"
#include "scene/shadow_map.h"
#include "scene_fixture.h"
#include "support/surface_pixels.h"

namespace {
using scene_testing::SceneHost;

struct ShadowHost {
  SceneHost s;
  host::Renderer& r = s.standard.renderer;
};

D3DXMATRIX TapBias(uint32_t xBits, uint32_t yBits) {
  return D3DXMATRIX(0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 0, 0, std::bit_cast<float>(xBits), std::bit_cast<float>(yBits),
                    1, 1);
}

void ExpectRegisters(host::Renderer& r, DWORD first, const D3DXMATRIX& rows) {
  for (DWORD k = 0; k < 4; ++k)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(r.VertexConstant(first + k)[j], rows.m[k][j], 1e-6f) << first + k << "," << j;
}

// Looking from (0, 0, -10) at the origin: x / 10, y / 10, (z + 10) / 20.
const D3DXMATRIX kLightFromFront(0.1f, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 0.05f, 0, 0, 0, 0.5f, 1);

void LightFromFront(CShadowMap& map) {
  const D3DXVECTOR3 target(0, 0, 0), direction(0, 0, -1);
  map.SetLightView(&target, &direction, 10.0f, 20.0f);
}

TEST(ShadowMap, InitFillsTheRampThroughItsLockAndMakesTheTargetsQuadsAndEffects) {
  ShadowHost h;
  CShadowMap map;
  ASSERT_TRUE(map.Init());
  D3DSURFACE_DESC desc{};
  map.rampTexture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 2048u);
  EXPECT_EQ(desc.Height, 1u);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(map.rampTexture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  const auto* texels = static_cast<const uint32_t*>(locked.pBits);
  EXPECT_EQ(texels[0], 0u);
  EXPECT_EQ(texels[255], 0x00FF0000u);   // low byte in red
  EXPECT_EQ(texels[256], 0x00002000u);   // bit 8 at the top of green
  EXPECT_EQ(texels[2047], 0x00FFE000u);  // the clear colour's RGB: the farthest depth
  map.rampTexture->UnlockRect(0);

  map.shadowTexture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 1024u);
  EXPECT_EQ(desc.Usage, D3DUSAGE_RENDERTARGET);
  EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
  map.depthSurface->GetDesc(&desc);
  EXPECT_EQ(desc.Format, D3DFMT_D16);
  EXPECT_EQ(h.r.EffectName(map.generateEffect), "shadow_map_generate");
  EXPECT_EQ(h.r.EffectName(map.projectEffect), "project_shadow_map_apply");
  EXPECT_EQ(h.r.EffectName(map.selfEffect), "self_shadow_map_apply");
  EXPECT_EQ(h.r.EffectName(map.overlayEffect), "drawShadowMapOverlay");
  EXPECT_EQ(map.factor, 1.5f);
  EXPECT_EQ(map.fitEnabled, 1);
  EXPECT_EQ(map.fitVariant, 1);

  const auto* quad = static_cast<const float*>(h.r.LockVertexBuffer(map.overlayQuad1, 0, 96, 0));
  ASSERT_NE(quad, nullptr);
  const float third[6] = {512, 256, 0, 1, 1, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(quad[12 + i], third[i]) << i;
  h.r.UnlockVertexBuffer(map.overlayQuad1);
}

TEST(ShadowMap, WithoutTheRendererInitSaysSoAndFails) {
  host::ReferenceHost bare;
  bare.LoadModule(&DMAInterface);
  {
    CShadowMap map;
    EXPECT_FALSE(map.Init());
  }
  ASSERT_FALSE(bare.LogLines().empty());
  EXPECT_EQ(bare.LogLines().back(), "Can't create an instance of 'dx8render'.");
  bare.DestroyAll();
}

TEST(ShadowMap, TheLightViewAndItsFourTapsCarryTheExactOffsets) {
  ShadowHost h;
  CShadowMap map;
  ASSERT_TRUE(map.Init());
  map.lightScale = 3.0f;
  LightFromFront(map);
  EXPECT_EQ(map.lightScale, 1.0f);
  EXPECT_EQ(map.lightDirection.z, -1.0f);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(map.lightViewProjection.m[i][j], kLightFromFront.m[i][j], 1e-6f);
  const uint32_t a = 0x3F000666u, b = 0x3F00399Au;
  const D3DXMATRIX biases[4] = {TapBias(a, a), TapBias(a, b), TapBias(b, a), TapBias(b, b)};
  for (int k = 0; k < 4; ++k) {
    D3DXMATRIX expected;
    D3DXMatrixMultiply(&expected, &kLightFromFront, &biases[k]);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_NEAR(map.tapMatrices[k].m[i][j], expected.m[i][j], 1e-6f) << k;
  }
  EXPECT_EQ(std::bit_cast<uint32_t>(map.tapMatrices[1]._42 - 0.0f), b);  // row 3 of the light is (0, 0, 0.5, 1)
}

TEST(ShadowMap, EachSetterFillsItsConstantRegistersAndTextures) {
  ShadowHost h;
  CShadowMap map;
  ASSERT_TRUE(map.Init());
  LightFromFront(map);
  D3DXMATRIX world;
  D3DXMatrixTranslation(&world, 1.0f, 2.0f, 3.0f);
  map.SetCasterConstants(&world);
  // (world x light) transposed: register k is column k.
  ExpectRegisters(h.r, 0, D3DXMATRIX(0.1f, 0, 0, 0.1f, 0, 0.1f, 0, 0.2f, 0, 0, 0.05f, 0.65f, 0, 0, 0, 1));

  const D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  map.SetProjectConstants(&m);
  ExpectRegisters(h.r, 0, m);
  for (DWORD k = 0; k < 4; ++k) ExpectRegisters(h.r, 8 + 4 * k, map.tapMatrices[k]);
  for (DWORD stage = 1; stage <= 4; ++stage) EXPECT_EQ(h.r.StageTexture(stage), map.shadowTexture) << stage;

  h.r.SetBaseTexture(3, nullptr);
  map.SetSelfShadowConstants(&world);
  ExpectRegisters(h.r, 0, world);
  ExpectRegisters(h.r, 4, D3DXMATRIX(0.1f, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 0.05f, 0.5f, 0, 0, 0, 1));
  for (DWORD k = 0; k < 4; ++k) ExpectRegisters(h.r, 8 + 4 * k, map.tapMatrices[0]);
  EXPECT_EQ(h.r.StageTexture(3), map.shadowTexture);

  h.r.ClearRecords();
  map.DrawOverlay();
  ASSERT_EQ(h.r.Draws().size(), 1u);
  const host::DrawRecord& d = h.r.Draws()[0];
  EXPECT_EQ(d.slot, 55);
  EXPECT_EQ(d.primitiveType, 5u);
  EXPECT_EQ(d.vertexBuffer, map.overlayQuad0);
  EXPECT_EQ(d.stride, 24u);
  EXPECT_EQ(d.primitiveCount, 2u);
  EXPECT_EQ(d.effect, map.overlayEffect);
  EXPECT_EQ(d.state->texture[0], map.shadowTexture);
}

TEST(ShadowMap, APassDrawsIntoTheMapAndGivesTheTargetAndViewportBack) {
  ShadowHost h;
  IDirect3DSurface8* backBuffer = nullptr;
  h.r.GetRenderTarget(&backBuffer);
  const ULONG references = backBuffer->AddRef() - 1;
  backBuffer->Release();
  const size_t defaults = h.r.LiveResources(D3DPOOL_DEFAULT), managed = h.r.LiveResources(D3DPOOL_MANAGED);
  const D3DVIEWPORT8 screen{10, 20, 300, 200, 0.0f, 1.0f};
  h.r.SetViewport(&screen);
  {
    CShadowMap map;
    ASSERT_TRUE(map.Init());
    map.BeginShadowPass();
    IDirect3DSurface8* target = nullptr;
    h.r.GetRenderTarget(&target);
    EXPECT_EQ(target, map.shadowSurface);
    target->Release();
    D3DVIEWPORT8 viewport{};
    h.r.GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 1024u);
    EXPECT_EQ(viewport.X, 0u);
    ASSERT_FALSE(h.r.Clears().empty());
    EXPECT_EQ(h.r.Clears().back().flags, 3u);
    EXPECT_EQ(h.r.Clears().back().colour, 0xFFFFE000u);
    EXPECT_EQ(h.r.Clears().back().z, 1.0f);
    EXPECT_EQ(h.r.StageTexture(0), map.rampTexture);
    map.EndShadowPass();
    EXPECT_EQ(map.savedTarget, nullptr);
    EXPECT_EQ(map.savedDepth, nullptr);
    h.r.GetRenderTarget(&target);
    EXPECT_EQ(target, backBuffer);
    target->Release();
    h.r.GetViewport(&viewport);
    EXPECT_EQ(viewport.X, 10u);
    EXPECT_EQ(viewport.Height, 200u);
    h.r.SetBaseTexture(0, nullptr);
  }
  {
    CShadowMap unused;  // made and destroyed without a pass
    ASSERT_TRUE(unused.Init());
  }
  {
    CShadowMap open;  // a pass never ended: the destructor gives back what it saved
    ASSERT_TRUE(open.Init());
    open.BeginShadowPass();
    h.r.SetRenderTarget(backBuffer, nullptr);
    h.r.SetBaseTexture(0, nullptr);
  }
  EXPECT_EQ(h.r.LiveResources(D3DPOOL_DEFAULT), defaults);
  EXPECT_EQ(h.r.LiveResources(D3DPOOL_MANAGED), managed);
  EXPECT_EQ(backBuffer->AddRef() - 1, references);
  backBuffer->Release();
  backBuffer->Release();
}

// An upright square at depth z, x and y in [-half, half], through the effect given.
void Square(host::Renderer& r, float half, float z, int effect) {
  const float v[6][3] = {{-half, -half, z}, {-half, half, z}, {half, half, z},
                         {-half, -half, z}, {half, half, z},  {half, -half, z}};
  r.SetVertexShader(D3DFVF_XYZ);
  r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, D3DFVF_XYZ, 2, v, sizeof v[0], effect, 0);
}

TEST(ShadowMap, ACasterWritesItsDepthCodeAndDarkensTheReceiversBehindIt) {
  ShadowHost h;
  CShadowMap map;
  ASSERT_TRUE(map.Init());
  LightFromFront(map);
  // A caster 4 wide at z = 0: depth (0 + 10) / 20 = 0.5, code 1024: red 0, green 4 << 5.
  map.BeginShadowPass();
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  map.SetCasterConstants(&identity);
  Square(h.r, 2.0f, 0.0f, map.generateEffect);
  map.EndShadowPass();
  host::Surface* shadow = static_cast<host::Surface*>(map.shadowSurface);
  EXPECT_EQ(testing_support::SurfacePixel(shadow, 512, 512), 0x008000u);
  EXPECT_EQ(testing_support::SurfacePixel(shadow, 100, 100), 0xFFE000u);  // the clear colour: nothing there

  // Receivers seen through the light's own view on white: x, y -> pixel (400 + 40 x, 300 - 30 y).
  D3DXMATRIX light;
  D3DXMatrixTranspose(&light, &map.lightViewProjection);
  host::Surface* back = h.r.device().BackBuffer();
  h.r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFFu, 1.0f, 0);
  map.SetProjectConstants(&light);
  Square(h.r, 8.0f, 1.0f, map.projectEffect);
  // Behind the caster all four taps find it: black at half strength; beside it, nothing.
  EXPECT_TRUE(testing_support::Near(testing_support::SurfacePixel(back, 400, 300), 0x808080u, 2))
      << std::hex << testing_support::SurfacePixel(back, 400, 300);
  EXPECT_EQ(testing_support::SurfacePixel(back, 600, 300), 0xFFFFFFu);

  // Self-shadowing compares depths: a receiver behind the caster (z 1) is darkened, one in front
  // of it (z -1) is not.
  h.r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFFu, 1.0f, 0);
  map.SetSelfShadowConstants(&light);
  Square(h.r, 1.0f, 1.0f, map.selfEffect);
  EXPECT_TRUE(testing_support::Near(testing_support::SurfacePixel(back, 400, 300), 0x808080u, 2));
  h.r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFFu, 1.0f, 0);
  Square(h.r, 1.0f, -1.0f, map.selfEffect);
  EXPECT_EQ(testing_support::SurfacePixel(back, 400, 300), 0xFFFFFFu);
  EXPECT_EQ(h.r.Raster().shaderOnly, 0u);
  for (DWORD stage = 0; stage <= 4; ++stage) h.r.SetBaseTexture(stage, nullptr);
}

TEST(ShadowMap, AFailedInitKeepsWhatItMadeForTheDestructorToGiveBack) {
  ShadowHost h;
  const size_t defaults = h.r.LiveResources(D3DPOOL_DEFAULT), managed = h.r.LiveResources(D3DPOOL_MANAGED);
  const size_t buffers = h.r.LiveVertexBuffers();
  {
    CShadowMap map;
    h.r.FailCall(host::RendererCall::CreateVertexBuffer);
    EXPECT_FALSE(map.Init());
    EXPECT_NE(map.shadowSurface, nullptr);
    EXPECT_EQ(map.overlayQuad0, -1);
    h.r.FailCall(host::RendererCall::LockVertexBuffer);
    EXPECT_FALSE(map.Init());  // the second try makes the quads but cannot fill the first
    EXPECT_EQ(h.r.LiveVertexBuffers(), buffers + 1);
    EXPECT_TRUE(map.Init());   // and the third completes without making anything twice
    EXPECT_EQ(h.r.LiveVertexBuffers(), buffers + 2);
  }
  EXPECT_EQ(h.r.LiveResources(D3DPOOL_DEFAULT), defaults);
  EXPECT_EQ(h.r.LiveResources(D3DPOOL_MANAGED), managed);
  EXPECT_EQ(h.r.LiveVertexBuffers(), buffers);
}

TEST(ShadowMap, BoxesBelowZeroKeepTheirMaximumAndTheDepthRangeIsHeldTo1000) {
  ShadowHost h;
  CShadowMap map;
  ASSERT_TRUE(map.Init());
  const float lo[3] = {-5, -6, -7}, hi[3] = {-2, -3, -1};
  map.AddCasterBox(lo, hi);
  EXPECT_EQ(map.boundsMax, D3DXVECTOR3(-2, -3, -1));
  EXPECT_EQ(map.boundsMin, D3DXVECTOR3(-5, -6, -7));
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  map.ComputeDepthRange(&identity);
  EXPECT_EQ(map.farZ, -1.0f);
  EXPECT_EQ(map.nearZ, -7.0f);
  const float farLo[3] = {0, 0, 1500}, farHi[3] = {1, 1, 2500};
  map.AddCasterBox(farLo, farHi);
  D3DXMATRIX turn;
  D3DXMatrixRotationY(&turn, 3.14159265f);  // z becomes -z
  map.ComputeDepthRange(&turn);
  EXPECT_EQ(map.nearZ, -1000.0f);
  EXPECT_NEAR(map.farZ, 7.0f, 1e-4f);
  EXPECT_NEAR(map.viewBoxes[1].min.z, -2500.0f, 1e-2f);
}

// Every corner of every caster box, through the light's matrix, lands inside the clip volume;
// returns the largest |x| or |y| over w, to show the fit is tight rather than a speck.
float ExpectCastersInside(const CShadowMap& map) {
  float reach = 0.0f;
  for (const ShadowBox& box : map.casterBoxes) {
    for (int k = 0; k < 8; ++k) {
      const D3DXVECTOR3 c(k & 1 ? box.max.x : box.min.x, k & 2 ? box.max.y : box.min.y, k & 4 ? box.max.z : box.min.z);
      D3DXVECTOR4 h;
      D3DXVec3Transform(&h, &c, &map.lightViewProjection);
      EXPECT_GT(h.w, 0.0f);
      const float tolerance = 1e-3f * std::fabs(h.w);
      EXPECT_LE(std::fabs(h.x), h.w + tolerance) << c.x << " " << c.y << " " << c.z;
      EXPECT_LE(std::fabs(h.y), h.w + tolerance) << c.x << " " << c.y << " " << c.z;
      EXPECT_GE(h.z, -tolerance) << c.x << " " << c.y << " " << c.z;
      EXPECT_LE(h.z, h.w + tolerance) << c.x << " " << c.y << " " << c.z;
      reach = std::max(reach, std::max(std::fabs(h.x), std::fabs(h.y)) / h.w);
    }
  }
  return reach;
}

TEST(ShadowMap, BothFittingsHoldEveryCasterCornerForLightsAroundTheCamera) {
  ShadowHost h;
  CShadowMap map;
  ASSERT_TRUE(map.Init());
  const float boxes[][6] = {{-5, 0, -5, 5, 2, 5}, {8, 0, 10, 12, 6, 14}, {-3, 0, -40, -1, 3, -30}, {-50, -1, -50, 50, 0, 50}};
  for (const auto& b : boxes) map.AddCasterBox(b, b + 3);
  ShadowCamera camera;
  const D3DXVECTOR3 eye(0, 5, -20), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&camera.view, &eye, &at, &up);
  const D3DXVECTOR3 target(0, 0, 0);
  struct Case {
    D3DXVECTOR3 direction;
    int behind;  // -1: either
  };
  const Case cases[] = {{{0.3f, 1.0f, 0.2f}, -1}, {{0.0f, 1.0f, -1.0f}, 1}, {{0.0f, 1.0f, 1.0f}, 0}, {{1.0f, 0.0f, 0.0f}, -1},
                        {{0.0f, 0.2425f, -0.9701f}, 1}, {{-0.4f, 0.6f, 0.7f}, 0}};
  for (const Case& c : cases) {
    D3DXVECTOR3 direction;
    D3DXVec3Normalize(&direction, &c.direction);
    map.SetLightView(&target, &direction, 100.0f, 100.0f);
    map.fitVariant = 1;
    map.FitToCamera(&camera);
    SCOPED_TRACE(testing::Message() << "light " << direction.x << " " << direction.y << " " << direction.z);
    if (c.behind >= 0) {
      EXPECT_EQ(map.behindFlag, c.behind);
    }
    EXPECT_GT(ExpectCastersInside(map), 0.9f);
    EXPECT_GT(map.cameraSlide, 20.0f);  // the box at z = -40 lies 20 behind the eye
    map.SetLightView(&target, &direction, 100.0f, 100.0f);
    map.fitVariant = 0;
    map.FitToCamera(&camera);
    EXPECT_GT(ExpectCastersInside(map), 0.9f);
  }
  // The light along the view has no warp to give: fitted orthographically.
  map.FitToCameraAlt(&camera);
  const D3DXVECTOR3 along(0, -0.2425f, 0.9701f);
  map.SetLightView(&target, &along, 100.0f, 100.0f);
  map.FitToCameraAlt(&camera);
  EXPECT_GT(ExpectCastersInside(map), 0.9f);
}

TEST(ShadowMap, FittingOffLeavesTheLightView) {
  ShadowHost h;
  CShadowMap map;
  ASSERT_TRUE(map.Init());
  const float lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
  map.AddCasterBox(lo, hi);
  LightFromFront(map);
  map.fitEnabled = 0;
  ShadowCamera camera;
  D3DXMatrixIdentity(&camera.view);
  map.FitToCamera(&camera);
  map.FitToCameraAlt(&camera);
  EXPECT_EQ(map.lightViewProjection._33, kLightFromFront._33);
  EXPECT_EQ(map.lightViewProjection._43, kLightFromFront._43);
}

TEST(ShadowMap, TheSceneMakesItsShadowMapWithoutResources) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  EXPECT_EQ(scene->shadowMap.renderer, nullptr);
  EXPECT_EQ(scene->shadowMap.rampTexture, nullptr);
  EXPECT_EQ(scene->shadowMap.overlayQuad0, -1);
}

}  // namespace
