#include "lighting/light_hull.h"

#include <cmath>
#include <cstring>
#include <new>

#include "frame/host_blocks.h"
#include "frame/renderer.h"

namespace {

constexpr DWORD kHullFvf = D3DFVF_XYZ | D3DFVF_TEX1;  // 0x102
constexpr UINT kHullStride = 20;
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

float g_smokeTime = 0.0f;

struct HullVertex {
  float x, y, z, u, v;
};
static_assert(sizeof(HullVertex) == kHullStride);

void Put(uint8_t* base, UINT index, const HullVertex& v) {
  std::memcpy(base + static_cast<size_t>(index) * kHullStride, &v, sizeof v);
}

// A half circle for the shapes that are symmetric about the axis.
bool HalfRing(int32_t hullType) { return hullType == 4 || hullType == 5 || hullType == kHullCrossedPlanes; }

}  // namespace

CLightHull::CLightHull() : coneAngle(kPi / 2), tanHalfAngle(std::tan(coneAngle * 0.5f)) {
  endRadius = length * tanHalfAngle;
  std::memset(ring, 0, sizeof ring);
}

CLightHull::~CLightHull() {
  if (renderer != nullptr && distortionTexture >= 0) renderer->ReleaseTexture(distortionTexture);
  distortionTexture = -1;
}

CLightHull* CLightHull::NewArray(uint32_t count) {
  auto* hulls = HostNewArray<CLightHull>(count);
  if (hulls == nullptr) return nullptr;
  const uint32_t n = HostBlockCount(hulls);
  for (uint32_t i = 0; i < n; ++i) new (&hulls[i]) CLightHull();
  return hulls;
}

void CLightHull::DeleteArray(CLightHull* hulls) {
  if (hulls == nullptr) return;
  const uint32_t n = HostBlockCount(hulls);
  for (uint32_t i = 0; i < n; ++i) hulls[i].~CLightHull();
  HostDeleteArray(hulls);
}

float CLightHull::SmokeTime() { return g_smokeTime; }
void CLightHull::ResetSmokeTime() { g_smokeTime = 0.0f; }

void CLightHull::Init(IRenderer* r, int32_t type, int32_t n, float radius, const char* distortionMap) {
  renderer = r;
  if (distortionMap != nullptr && distortionMap[0] != '\0') {
    D3DCAPS8 caps{};
    if (renderer != nullptr && SUCCEEDED(renderer->GetDeviceCaps(&caps))) {
      const DWORD major = D3DSHADER_VERSION_MAJOR(caps.PixelShaderVersion);
      const DWORD minor = D3DSHADER_VERSION_MINOR(caps.PixelShaderVersion);
      const bool shaders = major > 1 || (major == 1 && minor >= 4);
      if (caps.MaxSimultaneousTextures > 3 && shaders) {
        if (distortionTexture >= 0) renderer->ReleaseTexture(distortionTexture);
        distortionTexture = renderer->LoadTexture(distortionMap, 0);
      }
    }
  } else if (distortionTexture >= 0) {
    if (renderer != nullptr) renderer->ReleaseTexture(distortionTexture);
    distortionTexture = -1;
  }

  segments = n < 1 ? 1 : (n > kHullMaxSegments ? kHullMaxSegments : n);
  const float step = (HalfRing(type) ? kPi : kTwoPi) / static_cast<float>(segments);
  float angle = 0.0f;
  for (int32_t i = 0; i < segments; ++i) {
    ring[i][0] = std::cos(angle);
    ring[i][1] = std::sin(angle);
    angle += step;
  }
  startRadius = radius;
  hullType = type;
  smokeEffect = renderer != nullptr ? renderer->GetEffect("disturbedSmoke") : -1;
  hullEffect = renderer != nullptr ? renderer->GetEffect("lightHull") : -1;
}

bool CLightHull::BuildGeometry(IRenderer* r, int* buffer, UINT* firstVertex, DWORD* primitiveType,
                               UINT* primitiveCount) {
  if (r == nullptr || segments < 1) return false;
  const UINT n = static_cast<UINT>(segments);
  UINT vertexCount = 0;
  switch (hullType) {
    case kHullFan:
      vertexCount = n + 2;
      *primitiveType = D3DPT_TRIANGLEFAN;
      *primitiveCount = n;
      break;
    case kHullStrip:
      vertexCount = 2 * n + 2;
      *primitiveType = D3DPT_TRIANGLESTRIP;
      *primitiveCount = 2 * n;
      break;
    case kHullCrossedPlanes:
      vertexCount = 6 * n;
      *primitiveType = D3DPT_TRIANGLELIST;
      *primitiveCount = 2 * n;
      break;
    default:
      return false;
  }
  *buffer = -1;
  *firstVertex = 0;
  auto* base = static_cast<uint8_t*>(r->LockDynamicVertices(kHullFvf, kHullStride, vertexCount, buffer, firstVertex));
  if (base == nullptr) return false;  // nothing was locked: no vertices to draw

  const float R = endRadius, rs = startRadius, L = length;
  switch (hullType) {
    case kHullFan: {
      Put(base, 0, HullVertex{0, 0, 0, 0, 0.5f});
      for (UINT i = 0; i < n; ++i) Put(base, i + 1, HullVertex{ring[i][0] * R, ring[i][1] * R, L, 1, 0.5f});
      Put(base, n + 1, HullVertex{ring[0][0] * R, ring[0][1] * R, L, 1, 0.5f});
      break;
    }
    case kHullStrip: {
      for (UINT i = 0; i < n; ++i) {
        const float x = ring[i][0] * rs, y = ring[i][1] * rs;
        Put(base, 2 * i, HullVertex{x, y, 0, 0, 0.5f});
        Put(base, 2 * i + 1, HullVertex{x, y, L, 1, 0.5f});
      }
      Put(base, 2 * n, HullVertex{ring[0][0] * rs, ring[0][1] * rs, 0, 0, 0.5f});
      Put(base, 2 * n + 1, HullVertex{ring[0][0] * rs, ring[0][1] * rs, L, 1, 0.5f});
      break;
    }
    case kHullCrossedPlanes: {
      const float q = R != 0.0f ? (rs / R) * 0.5f : 0.0f;
      for (UINT i = 0; i < n; ++i) {
        const float c = ring[i][0], s = ring[i][1];
        const UINT k = 6 * i;
        Put(base, k + 0, HullVertex{c * rs, s * rs, 0, 0, 0.5f + q});
        Put(base, k + 1, HullVertex{c * R, s * R, L, 1, 1});
        Put(base, k + 2, HullVertex{-c * R, -s * R, L, 1, 0});
        Put(base, k + 3, HullVertex{c * rs, s * rs, 0, 0, 0.5f + q});
        Put(base, k + 4, HullVertex{-c * R, -s * R, L, 1, 0});
        Put(base, k + 5, HullVertex{-c * rs, -s * rs, 0, 0, 0.5f - q});
      }
      break;
    }
  }
  r->UnlockDynamicVertices(*buffer);
  return true;
}

void CLightHull::Draw(IRenderer* r, int hullTexture, uint32_t colorARGB, const D3DXVECTOR4& color,
                      const D3DXMATRIX& world) {
  int buffer = -1;
  UINT first = 0, count = 0;
  DWORD type = 0;
  if (!BuildGeometry(r, &buffer, &first, &type, &count)) return;

  int effect = hullEffect;
  const bool smoke = distortionTexture >= 0;
  if (!smoke) {
    r->SetTexture(0, hullTexture);
    r->SetRenderState(D3DRS_TEXTUREFACTOR, colorARGB);
    r->SetTransform(D3DTS_WORLD, &world);
  } else {
    D3DXMATRIX view, projection;
    D3DXMatrixIdentity(&view);
    D3DXMatrixIdentity(&projection);
    r->GetTransform(D3DTS_VIEW, &view);
    r->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, &world, &view);
    D3DXMatrixMultiply(&m, &m, &projection);
    D3DXMatrixTranspose(&m, &m);
    r->SetVertexShaderConstant(0, &m, 4);
    const float c4[4] = {color.x, color.y, color.z, color.w};
    r->SetVertexShaderConstant(4, c4, 1);
    const float c5[4] = {g_smokeTime, 0, 0, 0};
    r->SetVertexShaderConstant(5, c5, 1);
    const float c6[4] = {0.68753f, 0.52f, 0.7534f, 1.0f};
    r->SetVertexShaderConstant(6, c6, 1);
    const float p0[4] = {0.123f, 0.123f, 0.123f, 0.123f};
    const float p1[4] = {0.091f, 0.091f, 0.091f, 0.091f};
    const float p2[4] = {0.0723f, 0.0723f, 0.0723f, 0.0723f};
    const float p3[4] = {0.24f, 0.2f, 0.0f, 1.0f};
    r->SetPixelShaderConstant(0, p0, 1);
    r->SetPixelShaderConstant(1, p1, 1);
    r->SetPixelShaderConstant(2, p2, 1);
    r->SetPixelShaderConstant(3, p3, 1);
    r->SetTexture(0, hullTexture);
    for (DWORD stage = 1; stage <= 3; ++stage) r->SetTexture(stage, distortionTexture);
    effect = smokeEffect;
  }
  r->DrawPrimitive(type, buffer, kHullStride, first, count, effect, 0);
  if (smoke) g_smokeTime += 0.001f;
}
