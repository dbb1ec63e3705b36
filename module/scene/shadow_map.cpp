#include "scene/shadow_map.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "d3d8/d3d8.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"

namespace {

constexpr UINT kOverlayVertexFormat = 0x104;  // x, y, z, rhw, u, v
constexpr UINT kOverlayStride = 24;
constexpr UINT kOverlayBytes = 4 * kOverlayStride;
// Tap offsets of the four samples: half a texel of the 1024 map and a little more, kept by their
// exact bits.
const float kTapA = std::bit_cast<float>(0x3F000666u);
const float kTapB = std::bit_cast<float>(0x3F00399Au);
// Clip volumes are fitted with this much room, so corners on the edge stay inside.
constexpr float kFitMargin = 1.001f;

void Release(IDirect3DTexture8*& texture) {
  if (texture != nullptr) texture->Release();
  texture = nullptr;
}
void Release(IDirect3DSurface8*& surface) {
  if (surface != nullptr) surface->Release();
  surface = nullptr;
}

D3DXMATRIX Transposed(const D3DXMATRIX& m) {
  D3DXMATRIX t;
  D3DXMatrixTranspose(&t, &m);
  return t;
}

D3DXMATRIX Product(const D3DXMATRIX& a, const D3DXMATRIX& b) {
  D3DXMATRIX out;
  D3DXMatrixMultiply(&out, &a, &b);
  return out;
}

// An up vector for a look along `direction`: y, or x when the look is within 0.99 of y.
D3DXVECTOR3 UpFor(const D3DXVECTOR3& direction) {
  D3DXVECTOR3 unit;
  D3DXVec3Normalize(&unit, &direction);
  return std::fabs(unit.y) > 0.99f ? D3DXVECTOR3(1.0f, 0.0f, 0.0f) : D3DXVECTOR3(0.0f, 1.0f, 0.0f);
}

void Bounds(const std::vector<D3DXVECTOR3>& points, D3DXVECTOR3* lo, D3DXVECTOR3* hi) {
  *lo = D3DXVECTOR3(1e32f, 1e32f, 1e32f);
  *hi = D3DXVECTOR3(-1e32f, -1e32f, -1e32f);
  for (const D3DXVECTOR3& p : points) {
    lo->x = std::min(lo->x, p.x), lo->y = std::min(lo->y, p.y), lo->z = std::min(lo->z, p.z);
    hi->x = std::max(hi->x, p.x), hi->y = std::max(hi->y, p.y), hi->z = std::max(hi->z, p.z);
  }
}

// The points through a projective matrix, divided by w (every w the fittings make is positive).
std::vector<D3DXVECTOR3> Projected(const std::vector<D3DXVECTOR3>& points, const D3DXMATRIX& m) {
  std::vector<D3DXVECTOR3> out;
  out.reserve(points.size());
  for (const D3DXVECTOR3& p : points) {
    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, &p, &m);
    out.emplace_back(h.x / h.w, h.y / h.w, h.z / h.w);
  }
  return out;
}

// An orthographic projection onto the unit clip volume around points already in view space.
D3DXMATRIX OrthoAround(const std::vector<D3DXVECTOR3>& points) {
  D3DXVECTOR3 lo, hi;
  Bounds(points, &lo, &hi);
  const D3DXVECTOR3 pad = (hi - lo) * (kFitMargin - 1.0f) + D3DXVECTOR3(1e-4f, 1e-4f, 1e-4f);
  D3DXMATRIX ortho;
  D3DXMatrixOrthoOffCenterLH(&ortho, lo.x - pad.x, hi.x + pad.x, lo.y - pad.y, hi.y + pad.y, lo.z - pad.z, hi.z + pad.z);
  return ortho;
}

void BoxCorners(const ShadowBox& box, std::vector<D3DXVECTOR3>* out) {
  for (int k = 0; k < 8; ++k)
    out->emplace_back(k & 1 ? box.max.x : box.min.x, k & 2 ? box.max.y : box.min.y, k & 4 ? box.max.z : box.min.z);
}

}  // namespace

CShadowMap::CShadowMap() {
  D3DXMatrixIdentity(&lightViewProjection);
  for (D3DXMATRIX& m : tapMatrices) D3DXMatrixIdentity(&m);
}

CShadowMap::~CShadowMap() {
  Release(rampTexture);
  Release(shadowTexture);
  Release(depthSurface);
  Release(shadowSurface);
  Release(savedTarget);
  Release(savedDepth);
  if (renderer != nullptr) {
    if (overlayQuad0 >= 0) renderer->ReleaseVertexBuffer(overlayQuad0);
    if (overlayQuad1 >= 0) renderer->ReleaseVertexBuffer(overlayQuad1);
  }
  overlayQuad0 = overlayQuad1 = -1;
}

bool CShadowMap::Init() {
  renderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  if (renderer == nullptr) {
    g_pHost->Log("Can't create an instance of 'dx8render'.");
    return false;
  }
  if (rampTexture == nullptr) {
    if (FAILED(renderer->CreateTexture(kShadowRampSize, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &rampTexture)) ||
        rampTexture == nullptr)
      return false;
    D3DLOCKED_RECT locked{};
    if (FAILED(rampTexture->LockRect(0, &locked, nullptr, 0)) || locked.pBits == nullptr) return false;
    auto* texels = static_cast<uint32_t*>(locked.pBits);
    for (uint32_t i = 0; i < kShadowRampSize; ++i) texels[i] = ShadowRampTexel(i);
    rampTexture->UnlockRect(0);
  }
  if (shadowTexture == nullptr &&
      (FAILED(renderer->CreateTexture(kShadowMapSize, kShadowMapSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                      D3DPOOL_DEFAULT, &shadowTexture)) ||
       shadowTexture == nullptr))
    return false;
  if (shadowSurface == nullptr && (FAILED(renderer->GetSurfaceLevel(shadowTexture, 0, &shadowSurface)) || shadowSurface == nullptr))
    return false;
  if (depthSurface == nullptr &&
      (FAILED(renderer->CreateDepthStencilSurface(kShadowMapSize, kShadowMapSize, D3DFMT_D16, D3DMULTISAMPLE_NONE,
                                                  &depthSurface)) ||
       depthSurface == nullptr))
    return false;

  generateEffect = renderer->GetEffect("shadow_map_generate");
  projectEffect = renderer->GetEffect("project_shadow_map_apply");
  selfEffect = renderer->GetEffect("self_shadow_map_apply");
  int* quads[2] = {&overlayQuad0, &overlayQuad1};
  for (int q = 0; q < 2; ++q) {
    if (*quads[q] < 0) *quads[q] = renderer->CreateVertexBuffer(kOverlayVertexFormat, kOverlayBytes, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
    if (*quads[q] < 0) return false;
    auto* v = static_cast<float*>(renderer->LockVertexBuffer(*quads[q], 0, kOverlayBytes, 0));
    if (v == nullptr) return false;
    // A 256-pixel square as a strip, the second beside the first.
    const float x0 = 256.0f * static_cast<float>(q), x1 = x0 + 256.0f;
    const float quad[4][6] = {{x0, 256, 0, 1, 0, 0}, {x0, 0, 0, 1, 0, 1}, {x1, 256, 0, 1, 1, 0}, {x1, 0, 0, 1, 1, 1}};
    std::memcpy(v, quad, sizeof quad);
    renderer->UnlockVertexBuffer(*quads[q]);
  }
  overlayEffect = renderer->GetEffect("drawShadowMapOverlay");
  boundsMin = D3DXVECTOR3(1e32f, 1e32f, 1e32f);
  boundsMax = D3DXVECTOR3(-1e32f, -1e32f, -1e32f);
  factor = 1.5f;
  fitEnabled = 1;
  fitVariant = 1;
  return true;
}

void CShadowMap::AddCasterBox(const float* min, const float* max) {
  if (min == nullptr || max == nullptr) return;
  const ShadowBox box{D3DXVECTOR3(min[0], min[1], min[2]), D3DXVECTOR3(max[0], max[1], max[2])};
  casterBoxes.push_back(box);
  viewBoxes.push_back(box);
  boundsMin = D3DXVECTOR3(std::min(boundsMin.x, box.min.x), std::min(boundsMin.y, box.min.y), std::min(boundsMin.z, box.min.z));
  boundsMax = D3DXVECTOR3(std::max(boundsMax.x, box.max.x), std::max(boundsMax.y, box.max.y), std::max(boundsMax.z, box.max.z));
}

void CShadowMap::ComputeDepthRange(const D3DXMATRIX* m) {
  if (m == nullptr) return;
  float nearest = 1e32f, farthest = -1e32f;
  for (size_t i = 0; i < casterBoxes.size(); ++i) {
    std::vector<D3DXVECTOR3> corners;
    BoxCorners(casterBoxes[i], &corners);
    std::vector<D3DXVECTOR3> moved;
    for (const D3DXVECTOR3& c : corners) {
      D3DXVECTOR3 t;
      D3DXVec3TransformCoord(&t, &c, m);
      moved.push_back(t);
    }
    Bounds(moved, &viewBoxes[i].min, &viewBoxes[i].max);
    nearest = std::min(nearest, viewBoxes[i].min.z);
    farthest = std::max(farthest, viewBoxes[i].max.z);
  }
  nearZ = std::max(nearest, -1000.0f);
  farZ = std::min(farthest, 1000.0f);
  cameraSlide = 0.0f;
}

void CShadowMap::SetLightView(const D3DXVECTOR3* target, const D3DXVECTOR3* direction, float distance, float width) {
  if (target == nullptr || direction == nullptr) return;
  lightDirection = *direction;
  const D3DXVECTOR3 eye = *target + *direction * distance;
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  D3DXMATRIX view, projection;
  D3DXMatrixLookAtLH(&view, &eye, target, &up);
  D3DXMatrixOrthoLH(&projection, width, width, 0.0f, 2.0f * distance);
  lightViewProjection = Product(view, projection);
  SetTaps();
  lightScale = 1.0f;
}

void CShadowMap::SetTaps() {
  const float offsets[4][2] = {{kTapA, kTapA}, {kTapA, kTapB}, {kTapB, kTapA}, {kTapB, kTapB}};
  for (int k = 0; k < 4; ++k) {
    const D3DXMATRIX bias(0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 0, 0, offsets[k][0], offsets[k][1], 1, 1);
    tapMatrices[k] = Product(lightViewProjection, bias);
  }
}

std::vector<D3DXVECTOR3> CShadowMap::ViewCorners() const {
  std::vector<D3DXVECTOR3> corners;
  for (const ShadowBox& box : viewBoxes) BoxCorners(box, &corners);
  return corners;
}

D3DXMATRIX CShadowMap::FitOrthographic(const D3DXVECTOR3& direction, const std::vector<D3DXVECTOR3>& points) {
  D3DXVECTOR3 lo, hi, towards;
  Bounds(points, &lo, &hi);
  D3DXVec3Normalize(&towards, &direction);
  const D3DXVECTOR3 centre = (lo + hi) * 0.5f, half = (hi - lo) * 0.5f;
  const float radius = std::max(D3DXVec3Length(&half), 1e-3f);
  const D3DXVECTOR3 eye = centre + towards * (2.0f * radius), up = UpFor(towards);
  D3DXMATRIX view;
  D3DXMatrixLookAtLH(&view, &eye, &centre, &up);
  return Product(view, OrthoAround(Projected(points, view)));
}

// Perspective shadow maps. The casters' view boxes are taken into the post-projective space of a
// camera moved back until every caster lies in front of it, the nearest a tenth of the casters'
// depth away or 0.001 (slide = what the nearest corner lacks of that, plus 0.0001). Its
// frustum: near = 0.3 x the nearest caster distance, at least
// 0.001; far = the farthest caster + 1; a square field of view that holds every corner, at least
// 60 degrees (tan 30 = 0.57735026), widened by lightScale. There the directional light becomes a
// point (or, when its w is zero, stays a direction): a perspective light from that point looks at
// the casters' bounding sphere with the cone that holds it (near and far where the sphere starts
// and ends); a light behind the camera (w below 0) keeps its depth order by storing 1 - depth;
// a direction, or a point inside the sphere, gets an orthographic fit.
void CShadowMap::FitToCamera(const ShadowCamera* camera) {
  if (camera == nullptr || !fitEnabled || casterBoxes.empty()) return;
  if (!fitVariant) {
    FitToCameraAlt(camera);
    return;
  }
  if (D3DXVec3Length(&lightDirection) <= 0.0f) return;
  ComputeDepthRange(&camera->view);
  std::vector<D3DXVECTOR3> corners = ViewCorners();
  D3DXVECTOR3 lo, hi;
  Bounds(corners, &lo, &hi);
  // Depth in post-projective space is spent mostly near the camera's near plane: the nearest
  // caster is kept a tenth of the casters' depth away (at least 0.001).
  const float nearest = std::max(0.001f, 0.1f * (hi.z - lo.z));
  cameraSlide = lo.z < nearest ? nearest - lo.z + 0.0001f : 0.0f;
  nearZ += cameraSlide;
  farZ += cameraSlide;
  float tanHalf = 0.57735026f * lightScale;
  for (D3DXVECTOR3& c : corners) {
    c.z += cameraSlide;
    tanHalf = std::max(tanHalf, std::max(std::fabs(c.x), std::fabs(c.y)) / c.z * kFitMargin);
  }
  const float zn = std::max(0.3f * (lo.z + cameraSlide), 0.001f);
  const float zf = hi.z + cameraSlide + 1.0f;
  D3DXMATRIX slide, perspective;
  D3DXMatrixTranslation(&slide, 0.0f, 0.0f, cameraSlide);
  D3DXMatrixPerspectiveLH(&perspective, 2.0f * zn * tanHalf, 2.0f * zn * tanHalf, zn, zf);
  const D3DXMATRIX postProjective = Product(slide, perspective);
  const D3DXMATRIX cameraToClip = Product(camera->view, postProjective);

  const std::vector<D3DXVECTOR3> points = Projected(corners, perspective);  // the corners are slid already
  D3DXVECTOR4 light;
  const D3DXVECTOR4 direction(lightDirection.x, lightDirection.y, lightDirection.z, 0.0f);
  D3DXVec4Transform(&light, &direction, &cameraToClip);
  behindFlag = light.w < 0.0f;
  const D3DXVECTOR3 lightXyz(light.x, light.y, light.z);
  D3DXMATRIX fit;
  if (std::fabs(light.w) <= 1e-6f * D3DXVec3Length(&lightXyz)) {
    fit = FitOrthographic(lightXyz, points);
  } else {
    const D3DXVECTOR3 point = lightXyz / light.w;
    Bounds(points, &lo, &hi);
    const D3DXVECTOR3 centre = (lo + hi) * 0.5f;
    float radius = 1e-4f;
    for (const D3DXVECTOR3& p : points) {
      const D3DXVECTOR3 offset = p - centre;
      radius = std::max(radius, D3DXVec3Length(&offset) * kFitMargin);
    }
    const D3DXVECTOR3 toCentre = centre - point;
    const float distance = D3DXVec3Length(&toCentre);
    if (distance <= radius * 1.01f) {
      fit = FitOrthographic(behindFlag ? toCentre : -toCentre, points);
    } else {
      const D3DXVECTOR3 up = UpFor(toCentre);
      D3DXMATRIX view, projection;
      D3DXMatrixLookAtLH(&view, &point, &centre, &up);
      const float fov = 2.0f * std::asin(radius / distance) * kFitMargin;
      D3DXMatrixPerspectiveFovLH(&projection, fov, 1.0f, (distance - radius) * 0.999f, (distance + radius) * kFitMargin);
      fit = Product(view, projection);
      if (behindFlag) fit = Product(fit, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 1, 1));
    }
  }
  lightViewProjection = Product(cameraToClip, fit);
  SetTaps();
}

// Light-space perspective shadow maps. The light looks along its rays with the camera's view
// direction as up; in that space a perspective along the up axis, fitted to every caster corner,
// gives the near part of the view more of the map. Its eye stands warpNear before the casters:
// (n + sqrt(n f)) / sin(angle of view and light) x warpWeight + 0.1, with n and f the casters'
// depth range in the camera (n at least 0.1). A final orthographic fit maps the warped corners
// onto the clip volume. A view within 0.999 of the light's direction has nothing to warp: the
// light is fitted orthographically.
void CShadowMap::FitToCameraAlt(const ShadowCamera* camera) {
  if (camera == nullptr || !fitEnabled || casterBoxes.empty()) return;
  if (D3DXVec3Length(&lightDirection) <= 0.0f) return;
  ComputeDepthRange(&camera->view);
  std::vector<D3DXVECTOR3> corners;
  for (const ShadowBox& box : casterBoxes) BoxCorners(box, &corners);
  D3DXVECTOR3 view(camera->view._13, camera->view._23, camera->view._33), light;
  D3DXVec3Normalize(&view, &view);
  D3DXVec3Normalize(&light, &lightDirection);
  const float cosine = D3DXVec3Dot(&view, &light);
  behindFlag = 0;
  if (std::fabs(cosine) >= 0.999f) {
    lightViewProjection = FitOrthographic(light, corners);
    SetTaps();
    return;
  }
  const float sine = std::sqrt(1.0f - cosine * cosine);
  D3DXVECTOR3 up = view - light * cosine;
  D3DXVec3Normalize(&up, &up);
  const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f), at = -light;
  D3DXMATRIX lightView;
  D3DXMatrixLookAtLH(&lightView, &origin, &at, &up);
  const std::vector<D3DXVECTOR3> inLight = Projected(corners, lightView);
  D3DXVECTOR3 lo, hi;
  Bounds(inLight, &lo, &hi);

  const float n = std::max(nearZ, 0.1f), f = std::max(farZ, n + 0.1f);
  warpNear = (n + std::sqrt(n * f)) / sine * warpWeight + 0.1f;
  D3DXMATRIX toEye;
  D3DXMatrixTranslation(&toEye, -(lo.x + hi.x) * 0.5f, -(lo.y - warpNear), -(lo.z + hi.z) * 0.5f);
  // The perspective's depth axis is the up axis: swap y and z around it.
  const D3DXMATRIX swap(1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
  const D3DXMATRIX toWarp = Product(toEye, swap);
  float spanX = 1e-6f, spanY = 1e-6f;
  for (const D3DXVECTOR3& p : Projected(inLight, toWarp)) {
    spanX = std::max(spanX, std::fabs(p.x) / p.z);
    spanY = std::max(spanY, std::fabs(p.y) / p.z);
  }
  const float depth = warpNear + (hi.y - lo.y);
  D3DXMATRIX perspective;
  D3DXMatrixPerspectiveLH(&perspective, 2.0f * warpNear * spanX * kFitMargin, 2.0f * warpNear * spanY * kFitMargin,
                          warpNear * 0.999f, depth * kFitMargin);
  const D3DXMATRIX warp = Product(Product(Product(lightView, toWarp), perspective), swap);
  lightViewProjection = Product(warp, OrthoAround(Projected(corners, warp)));
  SetTaps();
}

void CShadowMap::BeginShadowPass() {
  if (renderer == nullptr) return;
  // A pass begun twice keeps the first saved target and gives back nothing twice.
  Release(savedTarget);
  Release(savedDepth);
  renderer->GetRenderTarget(&savedTarget);
  renderer->GetDepthStencilSurface(&savedDepth);
  renderer->GetViewport(&savedViewport);
  renderer->SetRenderTarget(shadowSurface, depthSurface);
  const D3DVIEWPORT8 viewport{0, 0, kShadowMapSize, kShadowMapSize, 0.0f, 1.0f};
  renderer->SetViewport(&viewport);
  renderer->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kShadowClearColour, 1.0f, 0);
  renderer->SetBaseTexture(0, rampTexture);
}

void CShadowMap::EndShadowPass() {
  if (renderer == nullptr) return;
  renderer->SetRenderTarget(savedTarget, savedDepth);
  // Cleared with the release, so the destructor never releases them again.
  Release(savedTarget);
  Release(savedDepth);
  renderer->SetViewport(&savedViewport);
}

void CShadowMap::SetCasterConstants(const D3DXMATRIX* world) {
  if (renderer == nullptr || world == nullptr) return;
  const D3DXMATRIX m = Transposed(Product(*world, lightViewProjection));
  renderer->SetVertexShaderConstant(0, &m, 4);
}

void CShadowMap::SetProjectConstants(const D3DXMATRIX* m) {
  if (renderer == nullptr || m == nullptr) return;
  for (DWORD stage = 1; stage <= 4; ++stage) renderer->SetBaseTexture(stage, shadowTexture);
  renderer->SetVertexShaderConstant(0, m, 4);
  for (DWORD k = 0; k < 4; ++k) renderer->SetVertexShaderConstant(8 + 4 * k, &tapMatrices[k], 4);
}

void CShadowMap::SetSelfShadowConstants(const D3DXMATRIX* m) {
  if (renderer == nullptr || m == nullptr) return;
  for (DWORD stage = 1; stage <= 4; ++stage) renderer->SetBaseTexture(stage, shadowTexture);
  renderer->SetVertexShaderConstant(0, m, 4);
  const D3DXMATRIX light = Transposed(lightViewProjection);
  renderer->SetVertexShaderConstant(4, &light, 4);
  for (DWORD k = 0; k < 4; ++k) renderer->SetVertexShaderConstant(8 + 4 * k, &tapMatrices[0], 4);
}

void CShadowMap::DrawOverlay() {
  if (renderer == nullptr) return;
  renderer->SetBaseTexture(0, shadowTexture);
  renderer->DrawPrimitive(D3DPT_TRIANGLESTRIP, overlayQuad0, kOverlayStride, 0, 2, overlayEffect, 0);
}
