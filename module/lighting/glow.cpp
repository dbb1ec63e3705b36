#include "lighting/glow.h"

#include <cmath>
#include <initializer_list>

#include "d3dx8/d3dx8tex.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"

namespace {

constexpr float kTexel = 1.0f / kGlowTargetSize;

void Release(IDirect3DSurface8** surface) {
  if (*surface != nullptr) (*surface)->Release();
  *surface = nullptr;
}

void Release(IDirect3DTexture8** texture) {
  if (*texture != nullptr) (*texture)->Release();
  *texture = nullptr;
}

// Top-left, top-right, bottom-left, bottom-right: a two-triangle strip over a w x h area
// centred on the origin.
void BuildQuad(GlowVertex* quad, float w, float h) {
  const float x = w * 0.5f, y = h * 0.5f;
  quad[0] = {-x, y, 0.0f, 0.0f, 0.0f};
  quad[1] = {x, y, 0.0f, 1.0f, 0.0f};
  quad[2] = {-x, -y, 0.0f, 0.0f, 1.0f};
  quad[3] = {x, -y, 0.0f, 1.0f, 1.0f};
}

}  // namespace

CGlow::CGlow() = default;

CGlow::~CGlow() {
  ReleaseTargetSurfaces();
  ReleaseDeviceObjects();
  renderer = nullptr;
}

bool CGlow::Init() {
  // Subscribed before anything can fail: every later call checks what Init made.
  SubscribeChannel("realize", -4095);
  SubscribeChannel("LostDevice", 0);
  SubscribeChannel("system_messages", 7);
  renderer = g_pHost != nullptr ? static_cast<IRenderer*>(g_pHost->GetService("dx8render")) : nullptr;
  if (renderer == nullptr) return false;

  const char* failure = nullptr;
  if (!CreateDeviceObjects(&failure)) {
    g_pHost->Log("%s", failure);
    return false;
  }
  const RendererSize* size = renderer->GetBackBufferSize();
  const float w = size != nullptr ? static_cast<float>(size->width) : 0.0f;
  const float h = size != nullptr ? static_cast<float>(size->height) : 0.0f;
  D3DXMatrixOrthoLH(&screenProjection, w, h, 0.0f, 1.0f);
  D3DXMatrixOrthoLH(&targetProjection, kGlowTargetSize, kGlowTargetSize, 0.0f, 1.0f);
  BuildQuad(screenQuad, w, h);
  BuildQuad(targetQuad, kGlowTargetSize, kGlowTargetSize);
  combineEffect = renderer->GetEffect("CombineGlowImage");
  blendEffect = renderer->GetEffect("BlendGlow");
  copyEffect = renderer->GetEffect("CopyImage");
  glowStrength = 0.8f;
  glowBlend = 0.3f;
  return true;
}

bool CGlow::CreateDeviceObjects(const char** failure) {
  const RendererSize* size = renderer->GetBackBufferSize();
  const UINT w = size != nullptr ? size->width : 0, h = size != nullptr ? size->height : 0;
  if (renderer->CreateTexture(w, h, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &backBufferTexture) != D3D_OK ||
      backBufferTexture == nullptr) {
    backBufferTexture = nullptr;
    *failure = "Create BackBuffer Texture Failed!!!";
    return false;
  }
  for (IDirect3DTexture8** target : {&downSampleTarget, &blurTarget}) {
    if (renderer->CreateTexture(kGlowTargetSize, kGlowTargetSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                D3DPOOL_DEFAULT, target) != D3D_OK ||
        *target == nullptr) {
      *target = nullptr;
      *failure = "Create Dynamic Texture Failed!!!";
      return false;
    }
  }
  return true;
}

void CGlow::ReleaseDeviceObjects() {
  Release(&downSampleTarget);
  Release(&blurTarget);
  Release(&backBufferTexture);
}

void CGlow::RestoreDeviceObjects() {
  // A reset without a loss before it would otherwise leak what is still held.
  ReleaseDeviceObjects();
  const char* failure = nullptr;
  CreateDeviceObjects(&failure);
}

// ---- The pass ------------------------------------------------------------------------------

void CGlow::RealizePost(uint32_t) {
  if (!enabled || !toggle) return;
  if (renderer == nullptr || backBufferTexture == nullptr || downSampleTarget == nullptr || blurTarget == nullptr)
    return;
  BeginPostEffect();
  CopyBackBuffer();
  // A refused target switch ends the effect for this frame; the frame itself goes on.
  if (DownSample() && BlurGlow()) CombineGlow();
  else renderer->SetViewport(&savedViewport);
  EndPostEffect();
}

void CGlow::BeginPostEffect() {
  renderer->GetTransform(D3DTS_VIEW, &savedView);
  renderer->GetTransform(D3DTS_PROJECTION, &savedProjection);
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  renderer->SetTransform(D3DTS_WORLD, &identity);
  renderer->SetTransform(D3DTS_VIEW, &identity);
  renderer->GetViewport(&savedViewport);
}

void CGlow::CopyBackBuffer() {
  IDirect3DSurface8* destination = nullptr;
  IDirect3DSurface8* source = nullptr;
  if (backBufferTexture->GetSurfaceLevel(0, &destination) != D3D_OK) destination = nullptr;
  IDirect3DDevice8* device = renderer->GetDevice();
  if (device == nullptr || device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &source) != D3D_OK) source = nullptr;
  if (source != nullptr && destination != nullptr) renderer->CopyRects(source, nullptr, 0, destination, nullptr);
  Release(&source);
  Release(&destination);
}

bool CGlow::DownSample() {
  const D3DVIEWPORT8 viewport{0, 0, kGlowTargetSize, kGlowTargetSize, 0.0f, 1.0f};
  renderer->SetViewport(&viewport);
  if (!SetRenderTarget(downSampleTarget, 0xFF000000u)) return false;
  renderer->SetTransform(D3DTS_PROJECTION, &targetProjection);
  renderer->SetBaseTexture(0, backBufferTexture);
  SetQuadTexCoords(0);
  DrawTargetQuad(copyEffect);
  RestoreRenderTarget();
  return true;
}

uint32_t CGlow::TextureFactorOf(float strength, float blend) {
  float a = strength * blend;
  // NaN would make the truncation below undefined; it gives no glow.
  if (std::isnan(a)) a = 0.0f;
  a = a < 0.0f ? 0.0f : (a > 1.0f ? 1.0f : a);
  return (static_cast<uint32_t>(a * 255.0f) & 0xFFu) << 24;
}

bool CGlow::BlurGlow() {
  if (!SetRenderTarget(blurTarget, 0xFF000000u)) return false;
  renderer->SetTransform(D3DTS_PROJECTION, &targetProjection);
  textureFactor = TextureFactorOf(glowStrength, glowBlend);
  renderer->SetRenderState(D3DRS_TEXTUREFACTOR, textureFactor);
  renderer->SetBaseTexture(0, downSampleTarget);
  for (int pass : {1, 3, 4, 2}) {
    SetQuadTexCoords(pass);
    DrawTargetQuad(blendEffect);
  }
  RestoreRenderTarget();
  D3DXFilterTexture(blurTarget, nullptr, D3DX_DEFAULT, D3DX_DEFAULT);
  return true;
}

void CGlow::CombineGlow() {
  renderer->SetViewport(&savedViewport);
  renderer->SetTransform(D3DTS_PROJECTION, &screenProjection);
  renderer->SetBaseTexture(0, blurTarget);
  renderer->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kGlowVertexFormat, 2, screenQuad, sizeof(GlowVertex),
                            combineEffect, 0);
}

void CGlow::EndPostEffect() {
  renderer->SetTransform(D3DTS_PROJECTION, &savedProjection);
  renderer->SetTransform(D3DTS_VIEW, &savedView);
  renderer->SetBaseTexture(0, nullptr);
  renderer->SetBaseTexture(1, nullptr);
}

void CGlow::DrawTargetQuad(int effect) {
  renderer->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, kGlowVertexFormat, 2, targetQuad, sizeof(GlowVertex), effect, 0);
}

void CGlow::SetQuadTexCoords(int pass) {
  // One texel up, down, left or right of the straight copy (pass 0).
  float du = 0.0f, dv = 0.0f;
  switch (pass) {
    case 0: break;
    case 1: dv = -kTexel; break;
    case 2: dv = kTexel; break;
    case 3: du = -kTexel; break;
    case 4: du = kTexel; break;
    default: return;
  }
  for (int i = 0; i < 4; ++i) {
    targetQuad[i].u = static_cast<float>(i & 1) + du;
    targetQuad[i].v = static_cast<float>(i >> 1) + dv;
  }
}

// ---- Target switching ----------------------------------------------------------------------

bool CGlow::SetRenderTarget(IDirect3DTexture8* texture, D3DCOLOR colour) {
  if (renderer->GetRenderTarget(&savedRenderTarget) != D3D_OK) savedRenderTarget = nullptr;
  if (renderer->GetDepthStencilSurface(&savedDepthStencil) != D3D_OK) savedDepthStencil = nullptr;
  bool ok = savedRenderTarget != nullptr && savedDepthStencil != nullptr;
  if (ok) ok = renderer->GetSurfaceLevel(texture, 0, &targetSurface) == D3D_OK && targetSurface != nullptr;
  // The device refuses a depth surface smaller than the target: a back buffer under 256.
  if (ok) ok = renderer->SetRenderTarget(targetSurface, savedDepthStencil) == D3D_OK;
  if (!ok) {
    ReleaseTargetSurfaces();
    return false;
  }
  renderer->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
  return true;
}

void CGlow::RestoreRenderTarget() {
  renderer->SetRenderTarget(savedRenderTarget, savedDepthStencil);
  ReleaseTargetSurfaces();
}

void CGlow::ReleaseTargetSurfaces() {
  Release(&targetSurface);
  Release(&savedRenderTarget);
  Release(&savedDepthStencil);
}

// ---- Events and keys -----------------------------------------------------------------------

int CGlow::OnEvent(IEventArgs* args) {
  if (args == nullptr) return 0;
  switch (args->ReadInt()) {
    case kEventDeviceLost:
      if (renderer != nullptr) ReleaseDeviceObjects();
      break;
    case kEventDeviceReset:
      if (renderer != nullptr) RestoreDeviceObjects();
      break;
    case kGlowEventBlend:
      glowBlend = args->ReadFloat();
      break;
    case kGlowEventStrength: {
      int n = args->ReadInt();
      n = n < 0 ? 0 : (n > 100 ? 100 : n);
      glowStrength = static_cast<float>(n) * 0.04f;
      enabled = glowStrength != 0.0f ? 1 : 0;
      break;
    }
    default:
      break;
  }
  return 0;
}

void CGlow::OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t) {
  if (message == kGlowToggleMessage && wParam == kGlowToggleKey) toggle = toggle ? 0 : 1;
}

void CGlow::SetToggle(uint8_t on) { toggle = on; }
