// The glow pass: what Init makes, the six draws of a frame and what they leave behind, the
// events and the key, device loss and reset, refused target switches, and the pixels the
// device draws (read back from its memory, tolerances stated per check).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/dma_interface.h"
#include "host/standard_host.h"
#include "lighting/glow.h"

namespace {

// llvmpipe draws the small targets here on two threads, whoever runs the tests.
const bool kFewThreads = setenv("LP_NUM_THREADS", "2", 0) == 0;

host::RendererConfig Config(UINT w, UINT h) {
  host::RendererConfig config;
  config.device.width = w;
  config.device.height = h;
  return config;
}

struct GlowHost {
  host::StandardHost standard;
  host::Renderer& renderer;
  CGlow* glow = nullptr;

  explicit GlowHost(UINT w = 256, UINT h = 256) : standard(".", Config(w, h)), renderer(standard.renderer) {
    standard.host.LoadModule(&DMAInterface);
    ComponentHandle handle{};
    standard.host.CreateObject(&handle, "CGlow");
    glow = static_cast<CGlow*>(static_cast<CComponentBase*>(standard.host.GetObject(&handle)));
  }
  ~GlowHost() {
    standard.host.DestroyAll();
    EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
    EXPECT_EQ(renderer.device().LiveResources(), 0u);
  }

  void Home() { standard.host.SystemMessage(0x101, 0x24, 0); }
  void Strength(int n) { standard.host.SendEvent(222, {{false, n, 0.0f}}); }
  void Blend(float f) { standard.host.SendEvent(111, {{true, 0, f}}); }
  void Frame() { standard.Frame(16); }

  host::Surface& Back() { return *renderer.device().BackBuffer(); }
  void Fill(uint32_t (*pixel)(UINT x, UINT y)) {
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(Back().LockRect(&locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < Back().Height(); ++y)
      for (UINT x = 0; x < Back().Width(); ++x) {
        const uint32_t value = pixel(x, y);
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &value, 4);
      }
    Back().UnlockRect();
  }
  std::vector<uint8_t> Bits() {
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(Back().LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* p = static_cast<const uint8_t*>(locked.pBits);
    std::vector<uint8_t> bits(p, p + locked.Pitch * Back().Height());
    Back().UnlockRect();
    return bits;
  }
  int Red(UINT x, UINT y) { return static_cast<int>((Back().PixelArgb(x, y) >> 16) & 0xFF); }
};

D3DMATRIX Scaled(float s) {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = s;
  m._44 = 1.0f;
  m._41 = 3.0f;
  return m;
}

bool Same(const D3DMATRIX& a, const D3DMATRIX& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool Same(const D3DVIEWPORT8& a, const D3DVIEWPORT8& b) {
  return a.X == b.X && a.Y == b.Y && a.Width == b.Width && a.Height == b.Height && a.MinZ == b.MinZ &&
         a.MaxZ == b.MaxZ;
}

host::Surface* LevelOf(IDirect3DTexture8* texture) {
  IDirect3DSurface8* surface = nullptr;
  if (texture->GetSurfaceLevel(0, &surface) != D3D_OK) return nullptr;
  surface->Release();  // the texture keeps its level alive
  return static_cast<host::Surface*>(surface);
}

D3DSURFACE_DESC DescOf(IDirect3DTexture8* texture) {
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
  return desc;
}

TEST(Glow, InitSubscribesMakesItsTexturesQuadsAndProjections) {
  GlowHost h(400, 300);
  CGlow& g = *h.glow;
  const std::pair<const char*, int> subscriptions[] = {{"realize", -4095}, {"LostDevice", 0}, {"system_messages", 7}};
  for (const auto& [channel, order] : subscriptions) {
    const auto subscribers = h.standard.host.Subscribers(channel);
    ASSERT_EQ(subscribers.size(), 1u) << channel;
    EXPECT_EQ(subscribers[0].second, order) << channel;
  }
  const D3DSURFACE_DESC copy = DescOf(g.backBufferTexture);
  EXPECT_EQ(copy.Width, 400u);
  EXPECT_EQ(copy.Height, 300u);
  EXPECT_EQ(copy.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(copy.Pool, D3DPOOL_MANAGED);
  EXPECT_EQ(copy.Usage, 0u);
  for (IDirect3DTexture8* target : {g.downSampleTarget, g.blurTarget}) {
    const D3DSURFACE_DESC desc = DescOf(target);
    EXPECT_EQ(desc.Width, 256u);
    EXPECT_EQ(desc.Height, 256u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(target->GetLevelCount(), 1u);
  }
  EXPECT_NE(g.downSampleTarget, g.blurTarget);
  // Asked for in this order, so handed out in it.
  EXPECT_EQ(h.renderer.EffectName(g.combineEffect), "CombineGlowImage");
  EXPECT_EQ(h.renderer.EffectName(g.blendEffect), "BlendGlow");
  EXPECT_EQ(h.renderer.EffectName(g.copyEffect), "CopyImage");
  EXPECT_LT(g.combineEffect, g.blendEffect);
  EXPECT_LT(g.blendEffect, g.copyEffect);
  EXPECT_FLOAT_EQ(g.glowStrength, 0.8f);
  EXPECT_FLOAT_EQ(g.glowBlend, 0.3f);
  EXPECT_EQ(g.enabled, 1);
  EXPECT_EQ(g.toggle, 0);
  // Left-handed orthographic, depth 0..1: x and y scaled by 2 / size, z by 1.
  EXPECT_FLOAT_EQ(g.screenProjection._11, 2.0f / 400);
  EXPECT_FLOAT_EQ(g.screenProjection._22, 2.0f / 300);
  EXPECT_FLOAT_EQ(g.screenProjection._33, 1.0f);
  EXPECT_FLOAT_EQ(g.screenProjection._43, 0.0f);
  EXPECT_FLOAT_EQ(g.screenProjection._44, 1.0f);
  EXPECT_FLOAT_EQ(g.targetProjection._11, 2.0f / 256);
  EXPECT_FLOAT_EQ(g.targetProjection._22, 2.0f / 256);
  const float screen[4][4] = {{-200, 150, 0, 0}, {200, 150, 1, 0}, {-200, -150, 0, 1}, {200, -150, 1, 1}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g.screenQuad[i].x, screen[i][0]);
    EXPECT_EQ(g.screenQuad[i].y, screen[i][1]);
    EXPECT_EQ(g.screenQuad[i].z, 0.0f);
    EXPECT_EQ(g.screenQuad[i].u, screen[i][2]);
    EXPECT_EQ(g.screenQuad[i].v, screen[i][3]);
    EXPECT_EQ(std::fabs(g.targetQuad[i].x), 128.0f);
    EXPECT_EQ(g.targetQuad[i].x < 0, screen[i][0] < 0);
    EXPECT_EQ(g.targetQuad[i].y > 0, screen[i][1] > 0);
  }
  EXPECT_TRUE(h.standard.host.LogLines().empty());
}

TEST(Glow, FailedInitLogsItsLineAndLaterFramesDrawNothing) {
  for (int skip : {0, 1, 2}) {
    host::StandardHost standard(".", Config(256, 256));
    standard.renderer.device().FailCall(host::DeviceCall::CreateTexture, E_FAIL, 1, skip);
    standard.host.LoadModule(&DMAInterface);
    ComponentHandle handle{};
    standard.host.CreateObject(&handle, "CGlow");
    auto* glow = static_cast<CGlow*>(static_cast<CComponentBase*>(standard.host.GetObject(&handle)));
    ASSERT_NE(glow, nullptr);
    const auto& log = standard.host.LogLines();
    const char* expected = skip == 0 ? "Create BackBuffer Texture Failed!!!" : "Create Dynamic Texture Failed!!!";
    EXPECT_NE(std::find(log.begin(), log.end(), expected), log.end()) << "skip " << skip;
    // Still subscribed: the key, frames, a loss and a reset reach it.
    EXPECT_EQ(standard.host.Subscribers("realize").size(), 1u);
    glow->SetToggle(1);
    standard.Frame(16);
    EXPECT_EQ(standard.renderer.DrawCount(), 0u) << "skip " << skip;
    EXPECT_TRUE(standard.LoseAndResetDevice());
    standard.host.DestroyAll();
    EXPECT_EQ(standard.renderer.device().LiveResources(), 0u);
    EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
  }
}

TEST(Glow, WithoutARendererInitFailsAndEventsDoNothing) {
  host::ReferenceHost host;
  host.LoadModule(&DMAInterface);
  ComponentHandle handle{};
  host.CreateObject(&handle, "CGlow");
  auto* glow = static_cast<CGlow*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
  ASSERT_NE(glow, nullptr);
  EXPECT_EQ(glow->renderer, nullptr);
  glow->SetToggle(1);
  host.SendEvent(30001);
  host.SendEvent(30002);
  host.Realize(16);
  EXPECT_EQ(glow->backBufferTexture, nullptr);
  host.DestroyAll();
  EXPECT_EQ(host.Allocator().LiveBlocks(), 0u);
}

TEST(Glow, TextureFactorClampsInfinitiesAndGivesNaNNoGlow) {
  EXPECT_EQ(CGlow::TextureFactorOf(0.8f, -1.0f), 0u);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(CGlow::TextureFactorOf(0.8f, inf), 0xFF000000u);
  EXPECT_EQ(CGlow::TextureFactorOf(0.8f, -inf), 0u);
  EXPECT_EQ(CGlow::TextureFactorOf(0.8f, nan), 0u);
  EXPECT_EQ(CGlow::TextureFactorOf(0.0f, inf), 0u);  // 0 x infinity is NaN
}

TEST(Glow, EventsSetStrengthBlendAndEnabledAndTheFactorReachesTheDevice) {
  GlowHost h;
  CGlow& g = *h.glow;
  auto factorOfFrame = [&]() -> int64_t {
    h.renderer.ClearRenderStateCalls();
    h.Frame();
    int64_t factor = -1;
    for (const auto& [state, value] : h.renderer.RenderStateCalls())
      if (state == D3DRS_TEXTUREFACTOR) factor = value;
    return factor;
  };
  g.SetToggle(1);
  EXPECT_EQ(factorOfFrame(), 0x3D000000);  // 0.8 x 0.3 x 255 = 61.2
  h.Strength(150);
  EXPECT_FLOAT_EQ(g.glowStrength, 4.0f);
  EXPECT_EQ(factorOfFrame(), 0xFF000000);  // 1.2 clamps to 1
  h.Strength(25);  // 1.0 x 0.3
  EXPECT_EQ(factorOfFrame(), 0x4C000000);
  h.Blend(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(factorOfFrame(), 0);
  h.Blend(0.5f);
  EXPECT_FLOAT_EQ(g.glowBlend, 0.5f);
  EXPECT_EQ(factorOfFrame(), 0x7F000000);  // 0.5 x 255 = 127.5
  h.Strength(-5);
  EXPECT_EQ(g.glowStrength, 0.0f);
  EXPECT_EQ(g.enabled, 0);
  h.renderer.ClearRecords();
  h.Frame();
  EXPECT_TRUE(h.renderer.Draws().empty());
  h.Strength(1);
  EXPECT_EQ(g.enabled, 1);
  EXPECT_FLOAT_EQ(g.glowStrength, 0.04f);
  h.standard.host.SendEvent(4242, {{false, 7, 0.0f}});  // someone else's event
  EXPECT_FLOAT_EQ(g.glowStrength, 0.04f);
  EXPECT_FLOAT_EQ(g.glowBlend, 0.5f);
}

TEST(Glow, TheHomeKeyReleaseTogglesAndNothingDrawsWhileOff) {
  GlowHost h;
  CGlow& g = *h.glow;
  h.Frame();
  EXPECT_EQ(h.renderer.DrawCount(), 0u);
  h.standard.host.SystemMessage(0x100, 0x24, 0);  // key down
  h.standard.host.SystemMessage(0x101, 0x23, 0);  // End released
  EXPECT_EQ(g.toggle, 0);
  h.Home();
  EXPECT_EQ(g.toggle, 1);
  h.Frame();
  EXPECT_EQ(h.renderer.DrawCount(), 6u);
  h.Home();
  EXPECT_EQ(g.toggle, 0);
  h.Frame();
  EXPECT_EQ(h.renderer.DrawCount(), 6u);
}

TEST(Glow, AFrameIsSixDrawsWithThePassesCoordinatesTargetsAndEffects) {
  GlowHost h(400, 300);
  CGlow& g = *h.glow;
  g.SetToggle(1);
  h.renderer.ClearRecords();
  h.Frame();
  const auto& draws = h.renderer.Draws();
  ASSERT_EQ(draws.size(), 6u);
  constexpr float t = 1.0f / 256;
  // Pass 0, then 1, 3, 4 and 2: v up and down, u left and right by one texel.
  const float du[5] = {0, 0, -t, t, 0}, dv[5] = {0, -t, 0, 0, t};
  const host::Surface* a = LevelOf(g.downSampleTarget);
  const host::Surface* b = LevelOf(g.blurTarget);
  for (size_t i = 0; i < 6; ++i) {
    const host::DrawRecord& d = draws[i];
    EXPECT_EQ(d.slot, 56);
    EXPECT_EQ(d.primitiveType, static_cast<DWORD>(D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(d.fvf, 0x102u);
    EXPECT_EQ(d.stride, 20u);
    EXPECT_EQ(d.primitiveCount, 2u);
    EXPECT_TRUE(d.rasterised) << i;
    if (i == 5) break;
    for (UINT v = 0; v < 4; ++v) {
      EXPECT_FLOAT_EQ(d.VertexFloat(v, 12), static_cast<float>(v & 1) + du[i]) << "draw " << i << " vertex " << v;
      EXPECT_FLOAT_EQ(d.VertexFloat(v, 16), static_cast<float>(v >> 1) + dv[i]) << "draw " << i << " vertex " << v;
      EXPECT_EQ(std::fabs(d.VertexFloat(v, 0)), 128.0f);
    }
    EXPECT_TRUE(Same(d.state->projection, g.targetProjection));
    EXPECT_EQ(d.state->viewport.Width, 256u);
    EXPECT_EQ(d.state->viewport.Height, 256u);
  }
  EXPECT_EQ(draws[0].state->renderTarget, a);
  EXPECT_EQ(draws[0].state->texture[0], g.backBufferTexture);
  EXPECT_EQ(h.renderer.EffectName(draws[0].effect), "CopyImage");
  for (size_t i = 1; i < 5; ++i) {
    EXPECT_EQ(draws[i].state->renderTarget, b);
    EXPECT_EQ(draws[i].state->texture[0], g.downSampleTarget);
    EXPECT_EQ(h.renderer.EffectName(draws[i].effect), "BlendGlow");
    EXPECT_EQ(draws[i].state->RenderState(D3DRS_TEXTUREFACTOR), 0x3D000000u);
  }
  const host::DrawRecord& combine = draws[5];
  EXPECT_EQ(combine.state->renderTarget, &h.Back());
  EXPECT_EQ(combine.state->texture[0], g.blurTarget);
  EXPECT_EQ(h.renderer.EffectName(combine.effect), "CombineGlowImage");
  EXPECT_TRUE(Same(combine.state->projection, g.screenProjection));
  EXPECT_EQ(combine.state->viewport.Width, 400u);
  EXPECT_EQ(combine.VertexFloat(3, 0), 200.0f);
  EXPECT_EQ(combine.VertexFloat(3, 4), -150.0f);
  // Each target is cleared to opaque black once, before its passes.
  int blackClears = 0;
  for (const auto& c : h.renderer.Clears()) blackClears += c.colour == 0xFF000000u && c.flags == D3DCLEAR_TARGET;
  EXPECT_EQ(blackClears, 2);
}

TEST(Glow, AFrameLeavesViewProjectionViewportTargetAndStagesAsItFoundThem) {
  GlowHost h(400, 300);
  h.glow->SetToggle(1);
  const D3DMATRIX view = Scaled(2.0f), projection = Scaled(0.5f), world = Scaled(3.0f);
  const D3DVIEWPORT8 viewport{10, 20, 100, 80, 0.25f, 0.75f};
  IDirect3DTexture8* stage1 = nullptr;
  ASSERT_EQ(h.renderer.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &stage1), D3D_OK);
  const ULONG backRefs = h.Back().RefCount();
  for (int frame = 0; frame < 3; ++frame) {
    h.renderer.SetTransform(D3DTS_VIEW, &view);
    h.renderer.SetTransform(D3DTS_PROJECTION, &projection);
    h.renderer.SetTransform(D3DTS_WORLD, &world);
    h.renderer.SetViewport(&viewport);
    h.renderer.SetBaseTexture(1, stage1);
    h.renderer.ClearRecords();
    h.Frame();
    ASSERT_EQ(h.renderer.Draws().size(), 6u);
    // The combine draw fills the viewport that was in force.
    EXPECT_TRUE(Same(h.renderer.Draws()[5].state->viewport, viewport));
    D3DMATRIX m;
    h.renderer.GetTransform(D3DTS_VIEW, &m);
    EXPECT_TRUE(Same(m, view));
    h.renderer.GetTransform(D3DTS_PROJECTION, &m);
    EXPECT_TRUE(Same(m, projection));
    h.renderer.GetTransform(D3DTS_WORLD, &m);
    EXPECT_EQ(m._11, 1.0f);  // the world is left identity
    EXPECT_EQ(m._41, 0.0f);
    D3DVIEWPORT8 after{};
    h.renderer.GetViewport(&after);
    EXPECT_TRUE(Same(after, viewport));
    EXPECT_EQ(h.renderer.device().CurrentRenderTarget(), &h.Back());
    EXPECT_EQ(h.renderer.device().CurrentDepthStencil(), h.renderer.device().AutoDepth());
    EXPECT_EQ(h.renderer.StageTexture(0), nullptr);
    EXPECT_EQ(h.renderer.StageTexture(1), nullptr);
    EXPECT_EQ(h.Back().RefCount(), backRefs);
    EXPECT_EQ(h.glow->targetSurface, nullptr);
    EXPECT_EQ(h.glow->savedRenderTarget, nullptr);
  }
  stage1->Release();
}

TEST(Glow, LossAndResetAtANewSizeBalanceTheDeviceAndKeepInitsQuad) {
  GlowHost h(400, 300);
  CGlow& g = *h.glow;
  g.SetToggle(1);
  h.Frame();
  const size_t managed = h.renderer.LiveResources(D3DPOOL_MANAGED);
  const size_t defaults = h.renderer.LiveResources(D3DPOOL_DEFAULT);
  EXPECT_EQ(managed, 1u);
  EXPECT_EQ(defaults, 2u);
  h.standard.host.SendEvent(30001);
  EXPECT_EQ(g.backBufferTexture, nullptr);
  EXPECT_EQ(g.downSampleTarget, nullptr);
  EXPECT_EQ(g.blurTarget, nullptr);
  h.renderer.OnDeviceLost();
  ASSERT_TRUE(h.renderer.OnDeviceReset(640, 480)) << h.renderer.ResetError();
  h.standard.host.SendEvent(30002);
  EXPECT_EQ(DescOf(g.backBufferTexture).Width, 640u);
  EXPECT_EQ(DescOf(g.backBufferTexture).Height, 480u);
  EXPECT_EQ(h.renderer.LiveResources(D3DPOOL_MANAGED), managed);
  EXPECT_EQ(h.renderer.LiveResources(D3DPOOL_DEFAULT), defaults);
  // A reset without a loss first remakes them without leaking the old ones.
  h.standard.host.SendEvent(30002);
  EXPECT_EQ(h.renderer.LiveResources(D3DPOOL_MANAGED), managed);
  EXPECT_EQ(h.renderer.LiveResources(D3DPOOL_DEFAULT), defaults);
  h.renderer.ClearRecords();
  h.Frame();
  ASSERT_EQ(h.renderer.Draws().size(), 6u);
  EXPECT_EQ(h.renderer.Draws()[5].VertexFloat(3, 0), 200.0f);  // Init's quad and projection
  EXPECT_TRUE(Same(h.renderer.Draws()[5].state->projection, g.screenProjection));
  EXPECT_EQ(h.renderer.LiveResources(D3DPOOL_DEFAULT), defaults);
}

TEST(Glow, AFailedRemakeKeepsTheEffectOffUntilALaterResetMakesAllThree) {
  GlowHost h;
  h.glow->SetToggle(1);
  h.standard.host.SendEvent(30001);
  h.renderer.device().FailCall(host::DeviceCall::CreateTexture, E_FAIL, 1, 1);  // the first target
  h.standard.host.SendEvent(30002);
  EXPECT_NE(h.glow->backBufferTexture, nullptr);
  EXPECT_EQ(h.glow->downSampleTarget, nullptr);
  h.Frame();
  EXPECT_EQ(h.renderer.DrawCount(), 0u);
  h.standard.host.SendEvent(30002);
  h.Frame();
  EXPECT_EQ(h.renderer.DrawCount(), 6u);
  EXPECT_EQ(h.renderer.LiveResources(D3DPOOL_MANAGED), 1u);
  EXPECT_EQ(h.renderer.LiveResources(D3DPOOL_DEFAULT), 2u);
}

uint32_t Stripes(UINT x, UINT y) { return ((x / 8 + y / 8) % 2) ? 0xFF808080u : 0xFF2040C0u; }

TEST(Glow, ARefusedSwitchLeavesTheFrameBitForBitWithItsViewport) {
  struct Case {
    UINT w, h;
    host::DeviceCall fail;
    int skip;
  };
  const Case cases[] = {{256, 256, host::DeviceCall::GetDepthStencilSurface, 0},
                        {256, 256, host::DeviceCall::GetRenderTarget, 0},
                        {256, 256, host::DeviceCall::SetRenderTarget, 2},  // the blur target's
                        {200, 150, host::DeviceCall::kCount, 0}};          // depth smaller than the target
  for (const Case& c : cases) {
    GlowHost h(c.w, c.h);
    h.glow->SetToggle(1);
    const D3DVIEWPORT8 viewport{10, 10, 100, 100, 0.0f, 1.0f};
    h.Fill(Stripes);
    const std::vector<uint8_t> before = h.Bits();
    if (c.fail != host::DeviceCall::kCount) h.renderer.device().FailCall(c.fail, E_FAIL, 1, c.skip);
    h.renderer.SetViewport(&viewport);
    h.Frame();
    EXPECT_EQ(h.Bits(), before) << c.w << "x" << c.h;
    D3DVIEWPORT8 after{};
    h.renderer.GetViewport(&after);
    EXPECT_TRUE(Same(after, viewport)) << c.w << "x" << c.h;
    EXPECT_EQ(h.renderer.device().CurrentRenderTarget(), &h.Back()) << c.w << "x" << c.h << " " << int(c.fail);
    EXPECT_EQ(h.renderer.StageTexture(0), nullptr);
    EXPECT_EQ(h.glow->savedRenderTarget, nullptr);
    EXPECT_EQ(h.glow->savedDepthStencil, nullptr);
    EXPECT_EQ(h.glow->targetSurface, nullptr);
  }
}

// ---- Pixels: a 256 x 256 back buffer, read back from the device's memory ----

uint32_t Grey100(UINT, UINT) { return 0xFF646464u; }
uint32_t WhiteSquare(UINT x, UINT y) {
  return x >= 120 && x < 136 && y >= 120 && y < 136 ? 0xFFFFFFFFu : 0xFF000000u;
}

TEST(GlowPixels, UniformGreyGainsFourBlendsOfItselfScreenedOver) {
  GlowHost h;
  h.glow->SetToggle(1);
  h.Fill(Grey100);
  h.Frame();
  // The glow is g = 4 x 100 x 61 / 255 = 95.7; screened over 100 it gives
  // 100 + g x (255 - 100) / 255 = 158.2, within 2 for the device's rounding.
  for (UINT y = 0; y < 256; y += 5)
    for (UINT x = 0; x < 256; x += 5) ASSERT_NEAR(h.Red(x, y), 158, 2) << x << "," << y;
  EXPECT_EQ(h.Back().PixelArgb(128, 128) & 0xFFFFFF, h.Red(128, 128) * 0x010101u);
}

TEST(GlowPixels, FullStrengthSaturatesGrey) {
  GlowHost h;
  h.glow->SetToggle(1);
  h.Strength(100);
  h.Fill(Grey100);
  h.Frame();
  for (UINT y = 0; y < 256; y += 5)
    for (UINT x = 0; x < 256; x += 5) ASSERT_EQ(h.Red(x, y), 255) << x << "," << y;
}

TEST(GlowPixels, AWhiteSquareLightsItsNeighboursAndNothingFarther) {
  std::vector<int> weak, strong;
  for (int strength : {20, 100}) {  // 20 is the default 0.8
    GlowHost h;
    h.glow->SetToggle(1);
    h.Strength(strength);
    h.Fill(WhiteSquare);
    h.Frame();
    for (UINT y = 0; y < 256; ++y)
      for (UINT x = 0; x < 256; ++x) {
        const int dx = x < 120 ? 120 - static_cast<int>(x) : (x > 135 ? static_cast<int>(x) - 135 : 0);
        const int dy = y < 120 ? 120 - static_cast<int>(y) : (y > 135 ? static_cast<int>(y) - 135 : 0);
        const int distance = std::max(dx, dy);
        if (distance == 0) {
          ASSERT_EQ(h.Red(x, y), 255) << x << "," << y;
        } else if (distance >= 5) {
          ASSERT_EQ(h.Red(x, y), 0) << x << "," << y;
        }
      }
    // The four neighbours at the middle of each side.
    std::vector<int>& lit = strength == 20 ? weak : strong;
    for (auto [x, y] : {std::pair<UINT, UINT>{119, 128}, {136, 128}, {128, 119}, {128, 136}}) {
      lit.push_back(h.Red(x, y));
      EXPECT_GT(h.Red(x, y), 0) << x << "," << y << " at strength " << strength;
    }
  }
  for (size_t i = 0; i < weak.size(); ++i) EXPECT_GT(strong[i], weak[i]) << "neighbour " << i;
}

TEST(GlowPixels, OffOrAtStrengthZeroTheFrameIsUntouched) {
  for (bool toggled : {false, true}) {
    GlowHost h;
    h.glow->SetToggle(toggled ? 1 : 0);
    if (toggled) h.Strength(0);
    h.Fill(WhiteSquare);
    const std::vector<uint8_t> before = h.Bits();
    h.Frame();
    EXPECT_EQ(h.Bits(), before);
  }
}

}  // namespace
