#include "host/renderable_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "frame/renderer.h"
#include "host/host.h"
#include "host/renderable.h"
#include "host/renderer.h"

namespace host {

namespace {

constexpr float kMiss = 2.0f;

struct BoxVertex {
  float x, y, z;
  D3DCOLOR colour;
};

// The twelve triangles of a box over corners numbered by bits: x (1), y (2), z (4).
constexpr uint16_t kBoxTriangles[36] = {0, 2, 3, 0, 3, 1,   // -z
                                        4, 5, 7, 4, 7, 6,   // +z
                                        0, 4, 6, 0, 6, 2,   // -x
                                        1, 3, 7, 1, 7, 5,   // +x
                                        0, 1, 5, 0, 5, 4,   // -y
                                        2, 6, 7, 2, 7, 3};  // +y

IRenderer* RendererOf(ReferenceHost* host) {
  return host != nullptr ? static_cast<IRenderer*>(host->GetService("dx8render")) : nullptr;
}

bool AnyPartVisible(const std::vector<std::unique_ptr<RenderablePart>>& parts) {
  if (parts.empty()) return true;
  return std::any_of(parts.begin(), parts.end(), [](const auto& part) { return part->visible; });
}

bool AnyMesh(const std::vector<std::unique_ptr<RenderablePart>>& parts) {
  return std::any_of(parts.begin(), parts.end(), [](const auto& part) { return !part->mesh.indices.empty(); });
}

D3DCOLOR AlphaWhite(float alpha) {
  const float a = std::clamp(std::isfinite(alpha) ? alpha : 0.0f, 0.0f, 1.0f);
  return (static_cast<D3DCOLOR>(std::lround(a * 255.0f)) << 24) | 0x00FFFFFFu;
}

}  // namespace

float SegmentBoxFraction(const float lo[3], const float hi[3], const D3DMATRIX& world, const D3DVECTOR& start,
                         const D3DVECTOR& end) {
  // The box is tested in its own space: a fraction along a segment survives the inverse transform.
  D3DXMATRIX inverse;
  const D3DXMATRIX placed(world);
  if (D3DXMatrixInverse(&inverse, nullptr, &placed) == nullptr) return kMiss;
  D3DXVECTOR3 a, b;
  const D3DXVECTOR3 s(start), e(end);
  D3DXVec3TransformCoord(&a, &s, &inverse);
  D3DXVec3TransformCoord(&b, &e, &inverse);
  const float from[3] = {a.x, a.y, a.z};
  const float delta[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
  float enter = 0.0f, leave = 1.0f;
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(from[axis]) || !std::isfinite(delta[axis])) return kMiss;
    if (delta[axis] == 0.0f) {
      if (from[axis] < lo[axis] || from[axis] > hi[axis]) return kMiss;
      continue;
    }
    float t0 = (lo[axis] - from[axis]) / delta[axis];
    float t1 = (hi[axis] - from[axis]) / delta[axis];
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
    if (enter > leave) return kMiss;
  }
  return enter;
}

void DrawBox(IRenderer& renderer, const float lo[3], const float hi[3], const D3DMATRIX* bone, const D3DMATRIX& world,
             D3DCOLOR colour, int effect) {
  BoxVertex corners[8];
  for (int i = 0; i < 8; ++i) {
    D3DXVECTOR3 p((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
    if (bone != nullptr) {
      const D3DXMATRIX m(*bone);
      const D3DXVECTOR3 q = p;
      D3DXVec3TransformCoord(&p, &q, &m);
    }
    corners[i] = BoxVertex{p.x, p.y, p.z, colour};
  }
  // The box has no texture coordinates: a texture left bound by an earlier draw would tint it
  // with one texel, and with that texel's alpha hide it.
  StageBinding stage = SaveStage(&renderer, 0);
  renderer.SetTexture(0, -1);
  renderer.SetTransform(D3DTS_WORLD, &world);
  renderer.SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  renderer.DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 8, 12, kBoxTriangles, D3DFMT_INDEX16, corners,
                                  sizeof(BoxVertex), effect, 0);
  RestoreStage(&renderer, 0, stage);
}

void DrawMesh(IRenderer& renderer, const MeshData& mesh, const D3DMATRIX* bone, const D3DMATRIX& world,
              uint8_t alpha, bool white, int effect) {
  struct LitVertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR colour;
  };
  static_assert(sizeof(LitVertex) == 28);
  std::vector<LitVertex> vertices(mesh.vertices.size());
  const D3DXMATRIX moved = bone != nullptr ? D3DXMATRIX(*bone) : D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  for (size_t i = 0; i < vertices.size(); ++i) {
    const MeshVertex& m = mesh.vertices[i];
    D3DXVECTOR3 p, n;
    const D3DXVECTOR3 position(m.position[0], m.position[1], m.position[2]), normal(m.normal[0], m.normal[1], m.normal[2]);
    D3DXVec3TransformCoord(&p, &position, &moved);
    D3DXVec3TransformNormal(&n, &normal, &moved);
    const uint32_t colour = white || i >= mesh.colours.size() ? 0xFFFFFFFFu : mesh.colours[i];
    vertices[i] = LitVertex{p.x, p.y, p.z, n.x, n.y, n.z, (colour & 0x00FFFFFFu) | static_cast<uint32_t>(alpha) << 24};
  }
  StageBinding stage = SaveStage(&renderer, 0);
  renderer.SetTexture(0, -1);
  renderer.SetTransform(D3DTS_WORLD, &world);
  constexpr DWORD kFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
  renderer.SetVertexShader(kFormat);
  renderer.DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                  static_cast<UINT>(mesh.indices.size() / 3), mesh.indices.data(), D3DFMT_INDEX16,
                                  vertices.data(), sizeof(LitVertex), effect, 0);
  RestoreStage(&renderer, 0, stage);
}

// ---- The Renderable's drawing and picking slots ----

void RenderableObject::Draw(uint32_t) {
  ++draws;
  RenderableNode* root = Root();
  IRenderer* renderer = RendererOf(host);
  if (!loaded_ || root == nullptr || renderer == nullptr || wholeModel == 2 || !AnyPartVisible(parts)) return;
  if (!(face.alpha >= 1.0f)) return;  // a see-through model is drawn with the blended pass
  DrawModel(*renderer, nullptr, root->world, AlphaWhite(1.0f), false, -1);
}

void RenderableObject::DrawModel(IRenderer& renderer, const D3DMATRIX* bone, const D3DMATRIX& world, D3DCOLOR colour,
                                 bool white, int effect) {
  if (!AnyMesh(parts)) {
    DrawBox(renderer, model.boxMin, model.boxMax, bone, world, colour, effect);
    return;
  }
  for (const auto& part : parts)
    if (part->visible && !part->mesh.indices.empty())
      DrawMesh(renderer, part->mesh, bone, world, static_cast<uint8_t>(colour >> 24), white, effect);
}

void RenderableObject::DrawBlend(uint32_t) {
  ++blendDraws;
  RenderableNode* root = Root();
  IRenderer* renderer = RendererOf(host);
  if (!loaded_ || root == nullptr || renderer == nullptr || wholeModel == 2 || !AnyPartVisible(parts)) return;
  if (face.alpha >= 1.0f) return;
  DrawModel(*renderer, nullptr, root->world, AlphaWhite(face.alpha), false, -1);
}

float RenderableObject::IntersectSegment(const D3DVECTOR* start, const D3DVECTOR* end) {
  RenderableNode* root = Root();
  if (!loaded_ || root == nullptr || start == nullptr || end == nullptr) return kMiss;
  return SegmentBoxFraction(model.boxMin, model.boxMax, root->world, *start, *end);
}

void RenderableInterface::DrawCopy(int32_t, int effect) {
  RenderableNode* root = owner_->Root();
  IRenderer* renderer = RendererOf(owner_->host);
  if (root == nullptr || renderer == nullptr) return;
  ++owner_->copies;
  IRenderableSkeleton* skeleton = root->GetSkeleton();
  const D3DMATRIX* bone = skeleton != nullptr ? skeleton->GetBoneMatrix(0) : nullptr;
  owner_->DrawModel(*renderer, bone, root->world, 0xFFFFFFFFu, true, effect);
}

float RenderableInterface::IntersectSegment(const D3DVECTOR* start, const D3DVECTOR* end) {
  return owner_->IntersectSegment(start, end);
}

}  // namespace host
