#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "frame/renderer.h"
#include "host/host.h"
#include "host/renderer.h"

namespace {

D3DMATRIX Matrix(float seed) {
  D3DMATRIX m{};
  for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = seed + static_cast<float>(i);
  return m;
}

bool Same(const D3DMATRIX& a, const D3DMATRIX& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

float AsFloat(DWORD d) {
  float f;
  std::memcpy(&f, &d, sizeof f);
  return f;
}

TEST(RendererState, ServiceIsReachableThroughTheHostAsTheModuleInterface) {
  host::ReferenceHost host;
  host::Renderer renderer;
  host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  auto* service = static_cast<IRenderer*>(host.GetService("dx8render"));
  ASSERT_EQ(service, static_cast<IRenderer*>(&renderer));
  service->SetRenderState(D3DRS_FOGENABLE, 1);
  EXPECT_EQ(renderer.GetRenderState(D3DRS_FOGENABLE), 1u);
}

TEST(RendererState, RenderStatesStartAtTheStandingStateAndReadBack) {
  host::Renderer r;
  EXPECT_EQ(r.GetRenderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_TRUE));
  EXPECT_EQ(r.GetRenderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(r.GetRenderState(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
  EXPECT_EQ(r.GetRenderState(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_LESSEQUAL));
  // Alpha-tested, alpha-blended and unlit until the module says otherwise.
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHATESTENABLE), 1u);
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHAREF), 1u);
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_GREATEREQUAL));
  EXPECT_EQ(r.GetRenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_SRCALPHA));
  EXPECT_EQ(r.GetRenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
  EXPECT_EQ(r.GetRenderState(D3DRS_LIGHTING), 0u);
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(r.GetRenderState(D3DRS_STENCILFUNC), static_cast<DWORD>(D3DCMP_ALWAYS));
  EXPECT_EQ(r.GetRenderState(D3DRS_STENCILMASK), 0xFFFFFFFFu);
  EXPECT_EQ(r.GetRenderState(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
  EXPECT_EQ(r.GetRenderState(D3DRS_COLORWRITEENABLE), 0xFu);
  EXPECT_EQ(r.GetRenderState(D3DRS_FILLMODE), static_cast<DWORD>(D3DFILL_SOLID));
  EXPECT_FLOAT_EQ(AsFloat(r.GetRenderState(D3DRS_FOGEND)), 1.0f);
  EXPECT_FLOAT_EQ(AsFloat(r.GetRenderState(D3DRS_FOGDENSITY)), 1.0f);

  EXPECT_EQ(r.SetRenderState(D3DRS_STENCILREF, 7), D3D_OK);
  EXPECT_EQ(r.SetRenderState(D3DRS_COLORWRITEENABLE, 0), D3D_OK);
  EXPECT_EQ(r.GetRenderState(D3DRS_STENCILREF), 7u);
  EXPECT_EQ(r.GetRenderState(D3DRS_COLORWRITEENABLE), 0u);
  EXPECT_EQ(r.SetRenderState(4000, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.GetRenderState(4000), 0u);

  host::RendererConfig noDepth;
  noDepth.device.depthFormat = D3DFMT_UNKNOWN;
  host::Renderer withoutDepth(noDepth);
  EXPECT_EQ(withoutDepth.GetRenderState(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_FALSE));
}

TEST(RendererState, TextureStageStatesDefaultPerStage) {
  host::Renderer r;
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
  EXPECT_EQ(r.GetTextureStageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SELECTARG1));
  EXPECT_EQ(r.GetTextureStageState(3, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_DISABLE));
  EXPECT_EQ(r.GetTextureStageState(2, D3DTSS_COLORARG1), D3DTA_TEXTURE);
  EXPECT_EQ(r.GetTextureStageState(2, D3DTSS_COLORARG2), D3DTA_CURRENT);
  EXPECT_EQ(r.GetTextureStageState(5, D3DTSS_TEXCOORDINDEX), 5u);
  EXPECT_EQ(r.GetTextureStageState(7, D3DTSS_ADDRESSV), static_cast<DWORD>(D3DTADDRESS_WRAP));
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), 0u);

  EXPECT_EQ(r.SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR), D3D_OK);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_TEXCOORDINDEX), 0x30000u);
  EXPECT_EQ(r.GetTextureStageState(1, D3DTSS_TEXCOORDINDEX), 1u);
  EXPECT_EQ(r.SetTextureStageState(8, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.SetTextureStageState(0, 29, 1), D3DERR_INVALIDCALL);
}

TEST(RendererState, TransformsReadBackAndPushPopPerType) {
  host::Renderer r;
  D3DMATRIX out{};
  ASSERT_EQ(r.GetTransform(D3DTS_WORLD, &out), D3D_OK);
  EXPECT_EQ(out._11, 1.0f);
  EXPECT_EQ(out._41, 0.0f);

  const D3DMATRIX a = Matrix(1), b = Matrix(100), c = Matrix(500);
  for (DWORD type : {2u, 3u, 16u, 18u, 256u, 257u}) {
    EXPECT_EQ(r.SetTransform(type, &a), D3D_OK) << type;
    ASSERT_EQ(r.GetTransform(type, &out), D3D_OK);
    EXPECT_TRUE(Same(out, a)) << type;
  }
  EXPECT_EQ(r.SetTransform(1, &a), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.SetTransform(2, nullptr), D3DERR_INVALIDCALL);

  // Two levels on the projection; the view's stack is its own.
  r.SetTransform(3, &a);
  r.PushTransform(3);
  r.SetTransform(3, &b);
  r.PushTransform(3);
  r.SetTransform(3, &c);
  r.SetTransform(2, &c);
  EXPECT_EQ(r.TransformDepth(3), 2u);
  EXPECT_EQ(r.PopTransform(3), D3D_OK);
  r.GetTransform(3, &out);
  EXPECT_TRUE(Same(out, b));
  EXPECT_EQ(r.PopTransform(3), D3D_OK);
  r.GetTransform(3, &out);
  EXPECT_TRUE(Same(out, a));
  r.GetTransform(2, &out);
  EXPECT_TRUE(Same(out, c));
  // Popping an empty stack changes nothing and says so.
  EXPECT_EQ(r.PopTransform(3), D3DERR_INVALIDCALL);
  r.GetTransform(3, &out);
  EXPECT_TRUE(Same(out, a));
  EXPECT_EQ(r.PopTransform(2), D3DERR_INVALIDCALL);
}

TEST(RendererState, LookAtSetsALeftHandedViewAndReadsBack) {
  host::Renderer r;
  const D3DVECTOR eye{1, 2, -5}, at{1, 2, 5}, up{0, 1, 0};
  r.SetLookAt(&eye, &at, &up);
  D3DMATRIX view{};
  r.GetTransform(D3DTS_VIEW, &view);
  // Looking down +z from (1, 2, -5): the view moves the eye to the origin.
  EXPECT_FLOAT_EQ(view._11, 1.0f);
  EXPECT_FLOAT_EQ(view._22, 1.0f);
  EXPECT_FLOAT_EQ(view._33, 1.0f);
  EXPECT_FLOAT_EQ(view._41, -1.0f);
  EXPECT_FLOAT_EQ(view._42, -2.0f);
  EXPECT_FLOAT_EQ(view._43, 5.0f);
  D3DVECTOR e{}, a{}, u{};
  r.GetLookAt(&e, &a, &u);
  EXPECT_FLOAT_EQ(e.z, -5.0f);
  EXPECT_FLOAT_EQ(a.z, 5.0f);
  EXPECT_FLOAT_EQ(u.y, 1.0f);

  // A view set directly: the eye comes from the matrix.
  const D3DVECTOR eye2{3, 4, 5}, at2{3, 4, 6};
  host::Renderer other;
  other.SetLookAt(&eye2, &at2, &up);
  D3DMATRIX v2{};
  other.GetTransform(D3DTS_VIEW, &v2);
  r.SetTransform(D3DTS_VIEW, &v2);
  r.GetLookAt(&e, nullptr, nullptr);
  EXPECT_NEAR(e.x, 3.0f, 1e-5f);
  EXPECT_NEAR(e.y, 4.0f, 1e-5f);
  EXPECT_NEAR(e.z, 5.0f, 1e-5f);
}

TEST(RendererState, LightsAndTheirEnablesWithTheDeviceLimit) {
  host::Renderer r;
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
  light.Direction = {0, -1, 0};
  EXPECT_EQ(r.SetLight(3, &light), D3D_OK);
  ASSERT_NE(r.Light(3), nullptr);
  EXPECT_FLOAT_EQ(r.Light(3)->Diffuse.g, 0.25f);
  EXPECT_FALSE(r.LightEnabled(3));
  EXPECT_EQ(r.LightEnable(3, TRUE), D3D_OK);
  EXPECT_TRUE(r.LightEnabled(3));

  D3DLIGHT8 bad = light;
  bad.Direction = {0, 0, 0};
  EXPECT_EQ(r.SetLight(4, &bad), D3DERR_INVALIDCALL);
  bad.Type = static_cast<D3DLIGHTTYPE>(9);
  EXPECT_EQ(r.SetLight(4, &bad), D3DERR_INVALIDCALL);

  // Enabling an unset light gives the white directional default.
  EXPECT_EQ(r.LightEnable(10, TRUE), D3D_OK);
  ASSERT_NE(r.Light(10), nullptr);
  EXPECT_EQ(r.Light(10)->Type, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(r.Light(10)->Direction.z, 1.0f);

  // Eight at once is the device's limit; a ninth is refused until one goes off.
  for (DWORD i = 0; i < 6; ++i) EXPECT_EQ(r.LightEnable(20 + i, TRUE), D3D_OK);
  EXPECT_EQ(r.LightEnable(40, TRUE), D3DERR_INVALIDCALL);
  EXPECT_FALSE(r.LightEnabled(40));
  EXPECT_EQ(r.LightEnable(3, TRUE), D3D_OK);  // already on
  EXPECT_EQ(r.LightEnable(3, FALSE), D3D_OK);
  EXPECT_EQ(r.LightEnable(40, TRUE), D3D_OK);
}

TEST(RendererState, ClipPlanesShaderConstantsAndSwitches) {
  host::Renderer r;
  const float plane[4] = {0, 1, 0, -2.5f};
  EXPECT_EQ(r.SetClipPlane(0, plane), D3D_OK);
  EXPECT_FLOAT_EQ(r.ClipPlane(0)[3], -2.5f);
  EXPECT_EQ(r.SetClipPlane(6, plane), D3DERR_INVALIDCALL);

  float constants[8];
  for (int i = 0; i < 8; ++i) constants[i] = 0.5f * i;
  EXPECT_EQ(r.SetVertexShaderConstant(94, constants, 2), D3D_OK);
  EXPECT_FLOAT_EQ(r.VertexConstant(95)[3], 3.5f);
  EXPECT_EQ(r.SetVertexShaderConstant(95, constants, 2), D3DERR_INVALIDCALL);
  EXPECT_FLOAT_EQ(r.VertexConstant(95)[0], 2.0f);  // untouched by the refused call
  EXPECT_EQ(r.SetPixelShaderConstant(3, constants, 1), D3D_OK);
  EXPECT_FLOAT_EQ(r.PixelConstant(3)[1], 0.5f);
  EXPECT_EQ(r.SetPixelShaderConstant(7, constants, 2), D3DERR_INVALIDCALL);

  r.SetVertexShader(0x142);
  EXPECT_EQ(r.VertexShader(), 0x142u);
  r.SetLightingMode(TRUE);
  EXPECT_EQ(r.LightingMode(), TRUE);
  EXPECT_EQ(r.SetSwitchA(1), 0);
  EXPECT_EQ(r.SetSwitchB(1), 0);
  EXPECT_EQ(r.SwitchA(), 1);
  EXPECT_EQ(r.SwitchB(), 1);
}

TEST(RendererState, EffectsAndFontsByName) {
  host::Renderer r;
  const int smoke = r.GetEffect("disturbedSmoke");
  const int hull = r.GetEffect("lightHull");
  EXPECT_GE(smoke, 0);
  EXPECT_NE(smoke, hull);
  EXPECT_EQ(r.GetEffect("disturbedSmoke"), smoke);
  EXPECT_EQ(r.EffectName(hull), "lightHull");
  EXPECT_EQ(r.GetEffect(""), -1);
  EXPECT_EQ(r.GetEffect(nullptr), -1);
  r.FailEffect("PaintBrush");
  EXPECT_EQ(r.GetEffect("paintbrush"), -1);

  const int font = r.GetFont("Arial");
  EXPECT_GE(font, 0);
  EXPECT_EQ(r.GetFont("Arial"), font);
  EXPECT_EQ(r.GetFont(""), -1);
  // Widths are the face's: a count of characters measures only those, and wide letters measure wide.
  EXPECT_GT(r.GetTextWidth(L"abcd", font, -1, 0), 0);
  EXPECT_EQ(r.GetTextWidth(L"abcd", font, 2, 0), r.GetTextWidth(L"ab", font, -1, 0));
  EXPECT_GT(r.GetTextWidth(L"WWWW", font, -1, 0), r.GetTextWidth(L"iiii", font, -1, 0));
  EXPECT_EQ(r.GetTextWidth(L"abcd", -1, -1, 0), 0);

  r.DrawFontText(font, 0xFF00FF00u, 10, 20, 0.5f, L"caf\u00e9");
  r.DrawFontText(-1, 0xFFFFFFFFu, 0, 0, 0.0f, L"lost");
  r.DrawText(739, 180, "Visibility Determination Cost Time: %d ms", 12);
  ASSERT_EQ(r.Texts().size(), 2u);
  EXPECT_EQ(r.Texts()[0].text, "caf\xc3\xa9");
  EXPECT_EQ(r.Texts()[0].font, font);
  EXPECT_FLOAT_EQ(r.Texts()[0].z, 0.5f);
  EXPECT_EQ(r.Texts()[1].text, "Visibility Determination Cost Time: 12 ms");
  EXPECT_EQ(r.Texts()[1].x, 739);
  EXPECT_EQ(r.Texts()[1].font, -1);
}

TEST(RendererState, ViewportBackBufferSizeAndCaps) {
  host::RendererConfig config;
  config.device.width = 1024;
  config.device.height = 768;
  host::Renderer r(config);
  const RendererSize* size = r.GetBackBufferSize();
  EXPECT_EQ(size->width, 1024u);
  EXPECT_EQ(size->height, 768u);
  D3DVIEWPORT8 vp{};
  ASSERT_EQ(r.GetViewport(&vp), D3D_OK);
  EXPECT_EQ(vp.Width, 1024u);
  EXPECT_EQ(vp.Height, 768u);
  const D3DVIEWPORT8 small{10, 20, 256, 256, 0.0f, 1.0f};
  EXPECT_EQ(r.SetViewport(&small), D3D_OK);
  r.GetViewport(&vp);
  EXPECT_EQ(vp.X, 10u);
  EXPECT_EQ(vp.Width, 256u);
  const D3DVIEWPORT8 tooWide{900, 0, 256, 256, 0.0f, 1.0f};
  EXPECT_EQ(r.SetViewport(&tooWide), D3DERR_INVALIDCALL);

  D3DCAPS8 caps{};
  ASSERT_EQ(r.GetDeviceCaps(&caps), D3D_OK);
  EXPECT_TRUE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER);
  EXPECT_GT(caps.MaxSimultaneousTextures, 3u);
  EXPECT_EQ(D3DSHADER_VERSION_MAJOR(caps.PixelShaderVersion), 1u);
  EXPECT_EQ(D3DSHADER_VERSION_MINOR(caps.PixelShaderVersion), 4u);
  caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP;
  r.device().SetCaps(caps);
  D3DCAPS8 again{};
  r.GetDeviceCaps(&again);
  EXPECT_FALSE(again.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER);
}

TEST(RendererState, TickAndCursor) {
  host::Renderer r;
  EXPECT_EQ(r.Tick(), TRUE);
  EXPECT_EQ(r.Ticks(), 1u);
  IDirect3DDevice8* device = r.GetDevice();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->ShowCursor(FALSE), TRUE);
  EXPECT_FALSE(r.device().CursorVisible());
  EXPECT_EQ(device->ShowCursor(TRUE), FALSE);
}

}  // namespace
