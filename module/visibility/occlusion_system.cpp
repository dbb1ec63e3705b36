// The occlusion system component, its view set-up, the intake of occluder polygons up to
// their screen-space edges and depth planes, and the debug lines.
#include "visibility/occlusion_system.h"

#include <climits>
#include <cmath>

#include "frame/exception.h"
#include "frame/module_globals.h"

namespace {

// Where an occluder or a box must lie: n.p >= d.
float PlaneSide(const D3DXPLANE& plane, const D3DXVECTOR3& p) {
  return plane.a * p.x + plane.b * p.y + plane.c * p.z - plane.d;
}

bool Finite(const D3DXVECTOR3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// One stage of the view clip: keeps the side sign * coordinate <= 1 of one axis.
void ClipStage(const std::vector<D3DXVECTOR3>& in, std::vector<D3DXVECTOR3>& out, int axis, float sign) {
  out.clear();
  if (in.empty()) return;
  const float limit = sign;  // x <= 1 or x >= -1 (likewise y)
  auto coord = [axis](const D3DXVECTOR3& v) { return axis == 0 ? v.x : v.y; };
  auto inside = [&](const D3DXVECTOR3& v) { return sign * coord(v) <= 1.0f; };
  // Always from the inside end a towards the outside end b: an edge that two polygons share
  // runs one way in one and the other way in the other, and only a cut made from the same end
  // gives both the same point to the last bit.
  auto crossing = [&](const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const float t = (limit - coord(a)) / (coord(b) - coord(a));
    D3DXVECTOR3 p(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z));
    // On the limit exactly, so rounding never leaves the point outside the view.
    (axis == 0 ? p.x : p.y) = limit;
    return p;
  };
  D3DXVECTOR3 prev = in.back();
  bool prevIn = inside(prev);
  for (const D3DXVECTOR3& cur : in) {
    const bool curIn = inside(cur);
    if (curIn) {
      if (!prevIn) out.push_back(crossing(cur, prev));
      out.push_back(cur);
    } else if (prevIn) {
      out.push_back(crossing(prev, cur));
    }
    prev = cur;
    prevIn = curIn;
  }
}

// The edge indices are 16 bits and a coverage edge keeps its surfaces in 16-bit fields.
constexpr size_t kMaxEdges = 65536;
constexpr size_t kMaxSurfaces = 32768;

const D3DXMATRIX kIdentity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

// A left-handed perspective: x, y and depth scaled, w = view z, nothing mixed in. The
// projection terms of a depth plane (ScreenDepthPlane) hold for this shape only.
bool LeftHandedPerspective(const D3DXMATRIX& p) {
  return p._34 == 1.0f && p._44 == 0.0f && p._14 == 0.0f && p._24 == 0.0f && p._12 == 0.0f && p._13 == 0.0f &&
         p._21 == 0.0f && p._23 == 0.0f && p._31 == 0.0f && p._32 == 0.0f && p._41 == 0.0f && p._42 == 0.0f &&
         std::isnormal(p._11) && std::isnormal(p._22) && std::isnormal(p._43) && std::isfinite(p._33);
}

}  // namespace

void OcclusionAssertFailed(int line, const char* expression) {
  if (g_pRegistry != nullptr)
    g_pRegistry->Log("Assert failed in %s line %d, expression string %s", "OcclusionSystem", line, expression);
  throw static_cast<const char*>("assert");
}

COcclusionSystem::COcclusionSystem() {
  D3DXMatrixIdentity(&m_matView);
  D3DXMatrixIdentity(&m_matViewProj);
}

COcclusionSystem::~COcclusionSystem() = default;

bool COcclusionSystem::Init() {
  m_pRenderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  SubscribeChannel("realize", INT_MIN);
  m_TestEdges.reserve(12);
  m_NearPlaneVerts.reserve(128);
  return true;
}

void COcclusionSystem::Destroy() {}
void COcclusionSystem::Execute(uint32_t) {}
void COcclusionSystem::RealizePost(uint32_t arg) { RenderDebugLines(arg); }

void COcclusionSystem::SetupView(const D3DXVECTOR3& eye, float fieldOfView, const D3DXMATRIX& view,
                                 const D3DXMATRIX& projection, const D3DXPLANE& nearPlane) {
  m_vecEye = eye;
  m_matView = view;
  m_ProjTerms[0] = -(projection._43 / projection._11);
  m_ProjTerms[1] = -(projection._43 / projection._22);
  m_ProjTerms[2] = -projection._43;
  m_ProjTerms[3] = -projection._33;
  D3DXMatrixMultiply(&m_matViewProj, &view, &projection);
  m_NearPlane = nearPlane;
  m_bViewSet = true;
  const bool leftHanded = LeftHandedPerspective(projection);
  if (!leftHanded && m_bLeftHanded && g_pHost != nullptr)
    g_pHost->Log("[WARNING] COcclusionSystem::SetupView: the projection is not a left-handed perspective, "
                 "nothing is culled.");
  m_bLeftHanded = leftHanded;
  m_flNearPlaneDist = -PlaneSide(nearPlane, eye);
  OCCLUSION_ASSERT(m_flNearPlaneDist > 0.0f, 119);
  const float t = std::tan(fieldOfView * 0.5f);
  const float r = m_flNearPlaneDist / (m_flNearPlaneDist * t);
  m_flSizeFactor = r * r;
}

void COcclusionSystem::BeginFrame() {
  m_OccluderEdges.Reset();
  m_Coverage.Reset();
  m_NearPlaneVerts.clear();
  m_nTestCount = 0;
  m_nHiddenCount = 0;
  g_OcclusionState.m_OccluderLines.m_nCount = 0;
  g_OcclusionState.m_HiddenBoxLines.m_nCount = 0;
}

void COcclusionSystem::AddOccluder(const uint32_t* indices, int count, const D3DXVECTOR3* points,
                                   const D3DXPLANE& plane) {
  if (!m_bLeftHanded || indices == nullptr || points == nullptr || count < 3) return;
  if (!std::isfinite(plane.a) || !std::isfinite(plane.b) || !std::isfinite(plane.c) || !std::isfinite(plane.d))
    return;
  if (!(PlaneSide(plane, m_vecEye) > 0.0f)) return;  // seen from behind, or edge on

  std::vector<D3DXVECTOR3>& polygon = g_OcclusionState.m_ClipPool;
  polygon.clear();
  for (int i = 0; i < count; ++i) {
    const D3DXVECTOR3& p = points[indices[i]];
    if (!Finite(p)) return;
    polygon.push_back(p);
  }
  const bool nearClipped = ClipToNearPlane(polygon);
  if (polygon.size() < 3) return;
  // Surface IDs above 32,767 would wrap in the coverage edges; such an occluder is dropped.
  if (m_OccluderEdges.m_Surfaces.size() >= kMaxSurfaces) return;
  const int id = AddSurface(ScreenDepthPlane(plane));
  ClipPolygon(polygon, id, nearClipped);
}

bool COcclusionSystem::ClipToNearPlane(std::vector<D3DXVECTOR3>& polygon) {
  std::vector<D3DXVECTOR3>& out = g_OcclusionState.m_ViewClip[0];
  out.clear();
  bool crossed = false;
  if (polygon.size() >= 3) {
    // From the inside end p0, as the view clip cuts, so that a shared edge is cut alike in both
    // of its polygons.
    auto crossing = [this](const D3DXVECTOR3& p0, const D3DXVECTOR3& p1) {
      const D3DXVECTOR3 dir = p1 - p0;
      const float denom = m_NearPlane.a * dir.x + m_NearPlane.b * dir.y + m_NearPlane.c * dir.z;
      const float t = denom != 0.0f ? -PlaneSide(m_NearPlane, p0) / denom : 0.0f;
      return p0 + dir * t;
    };
    D3DXVECTOR3 prev = polygon.back();
    bool prevIn = PlaneSide(m_NearPlane, prev) >= 0.0f;
    for (const D3DXVECTOR3& cur : polygon) {
      const bool curIn = PlaneSide(m_NearPlane, cur) >= 0.0f;
      if (curIn) {
        if (!prevIn) {
          out.push_back(crossing(cur, prev));
          crossed = true;
        }
        out.push_back(cur);
      } else if (prevIn) {
        out.push_back(crossing(prev, cur));
        crossed = true;
      }
      prev = cur;
      prevIn = curIn;
    }
  }
  polygon.swap(out);
  return crossed;
}

D3DXPLANE COcclusionSystem::ScreenDepthPlane(const D3DXPLANE& plane) const {
  const D3DXMATRIX& m = m_matView;
  const float nx = plane.a * m._11 + plane.b * m._21 + plane.c * m._31;
  const float ny = plane.a * m._12 + plane.b * m._22 + plane.c * m._32;
  const float nz = plane.a * m._13 + plane.b * m._23 + plane.c * m._33;
  const float d = plane.d * (nx * nx + ny * ny + nz * nz) + nx * m._41 + ny * m._42 + nz * m._43;
  const float s = d != 0.0f ? 1.0f / d : 0.0f;
  return D3DXPLANE(m_ProjTerms[0] * nx * s, m_ProjTerms[1] * ny * s, 1.0f, -(m_ProjTerms[2] * nz * s + m_ProjTerms[3]));
}

int COcclusionSystem::AddSurface(const D3DXPLANE& depthPlane) {
  OcclusionSurface surface;
  surface.m_Plane[0] = depthPlane.a;
  surface.m_Plane[1] = depthPlane.b;
  surface.m_Plane[2] = 1.0f;
  surface.m_Plane[3] = depthPlane.d;
  surface.m_nSurfID = static_cast<int32_t>(m_OccluderEdges.m_Surfaces.size());
  m_OccluderEdges.m_Surfaces.push_back(surface);
  m_OccluderEdges.m_SurfaceIDs.push_back(surface.m_nSurfID);
  return surface.m_nSurfID;
}

void COcclusionSystem::ClipPolygon(const std::vector<D3DXVECTOR3>& polygon, int surfaceID, bool nearClipped) {
  // Projected copies: the stages below never write over the near clip's output.
  std::vector<D3DXVECTOR3>* buffers = g_OcclusionState.m_ViewClip;
  std::vector<D3DXVECTOR3>& projected = buffers[0];
  projected.clear();
  for (const D3DXVECTOR3& p : polygon) {
    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, &p, &m_matViewProj);
    if (!(h.w > 0.0f)) return;  // at or behind the eye: the near plane does not cut the view
    D3DXVECTOR3 v(h.x / h.w, h.y / h.w, h.z / h.w);
    if (v.z < 0.0f) v.z = 0.0f;
    if (!Finite(v)) return;
    projected.push_back(v);
  }

  const int nMaxClipVerts = 4 * static_cast<int>(projected.size());
  std::vector<D3DXVECTOR3>& stage1 = buffers[1];
  ClipStage(projected, stage1, 0, 1.0f);  // x <= 1
  int nClipCount1 = static_cast<int>(stage1.size());
  if (nClipCount1 < 3) return;
  OCCLUSION_ASSERT(nClipCount1 < nMaxClipVerts, 481);
  ClipStage(stage1, projected, 0, -1.0f);  // x >= -1
  int nClipCount = static_cast<int>(projected.size());
  if (nClipCount < 3) return;
  OCCLUSION_ASSERT(nClipCount < nMaxClipVerts, 487);
  ClipStage(projected, stage1, 1, -1.0f);  // y >= -1
  nClipCount1 = static_cast<int>(stage1.size());
  if (nClipCount1 < 3) return;
  OCCLUSION_ASSERT(nClipCount1 < nMaxClipVerts, 493);
  ClipStage(stage1, projected, 1, 1.0f);  // y <= 1
  nClipCount = static_cast<int>(projected.size());
  if (nClipCount < 3) return;
  OCCLUSION_ASSERT(nClipCount < nMaxClipVerts, 499);

  std::vector<D3DXVECTOR3>& v = projected;
  const size_t n = v.size();
  float area = 0.0f;
  for (size_t i = 1; i + 1 < n; ++i) {
    const float ax = v[i].x - v[0].x, ay = v[i].y - v[0].y;
    const float bx = v[i + 1].x - v[0].x, by = v[i + 1].y - v[0].y;
    area -= ax * by - ay * bx;
  }
  OcclusionSurface& surface = m_OccluderEdges.m_Surfaces[static_cast<size_t>(surfaceID)];
  // Wrapped 16-bit edge indices would sweep the wrong edges; an occluder that would pass the
  // limit is dropped for the frame.
  size_t edgeCount = 0;
  for (size_t i = 0; i < n; ++i) edgeCount += v[i].y != v[(i + 1) % n].y ? 1 : 0;
  if (m_OccluderEdges.m_Edges.size() + edgeCount > kMaxEdges) return;
  surface.m_flArea = area;

  if (nearClipped) {
    // Occluders that share an edge cut by the near plane get identical cut points.
    for (D3DXVECTOR3& p : v) {
      if (std::fabs(p.z) > 0.001f) continue;
      bool welded = false;
      for (size_t k = m_NearPlaneVerts.size(); k-- > 0;) {
        const D3DXVECTOR3& w = m_NearPlaneVerts[k];
        if (std::fabs(w.x - p.x) <= 0.001f && std::fabs(w.y - p.y) <= 0.001f && std::fabs(w.z - p.z) <= 0.001f) {
          p = w;
          welded = true;
          break;
        }
      }
      if (!welded) m_NearPlaneVerts.push_back(p);
    }
  }

  AddEdge(v[n - 1], v[0], surfaceID);
  for (size_t i = 0; i + 1 < n; ++i) AddEdge(v[i], v[i + 1], surfaceID);
}

void COcclusionSystem::AddEdge(const D3DXVECTOR3& a, const D3DXVECTOR3& b, int surfaceID) {
  OcclusionEdge e;
  const bool sloped = e.Span(a, b);
  const D3DXVECTOR3& vecStartVert = e.m_vecPosition;
  const D3DXVECTOR3& vecEndVert = e.m_vecPositionEnd;
  OCCLUSION_ASSERT((vecStartVert.z >= 0.0f) && (vecEndVert.z >= 0.0f), 1198);
  if (!sloped) return;
  e.m_nLeaveSurfID = static_cast<int16_t>(surfaceID);
  m_OccluderEdges.m_EdgeIndices.push_back(static_cast<uint16_t>(m_OccluderEdges.m_Edges.size()));
  m_OccluderEdges.m_Edges.push_back(e);
}

void COcclusionSystem::RenderDebugLines(uint32_t) {
  OcclusionDebugLines& occluders = g_OcclusionState.m_OccluderLines;
  OcclusionDebugLines& hidden = g_OcclusionState.m_HiddenBoxLines;
  if (occluders.m_nCount <= 0 || m_pRenderer == nullptr) return;
  IRenderer* r = m_pRenderer;
  r->PushTransform(D3DTS_PROJECTION);
  r->PushTransform(D3DTS_VIEW);
  r->SetTransform(D3DTS_VIEW, &kIdentity);
  r->SetTransform(D3DTS_PROJECTION, &kIdentity);
  r->SetTransform(D3DTS_WORLD, &kIdentity);
  r->SetRenderState(D3DRS_FOGENABLE, 0);
  r->SetRenderState(D3DRS_LIGHTING, 0);
  r->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  r->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  r->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF00FF00u);
  r->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  r->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  r->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  r->DrawPrimitiveUP(D3DPT_LINELIST, D3DFVF_XYZ, static_cast<UINT>(occluders.m_nCount / 2), occluders.m_Points,
                     sizeof(D3DXVECTOR3), -1, 0);
  if (m_nHiddenCount > 0) {
    r->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF0000FFu);
    r->DrawPrimitiveUP(D3DPT_LINELIST, D3DFVF_XYZ, static_cast<UINT>(hidden.m_nCount / 2), hidden.m_Points,
                       sizeof(D3DXVECTOR3), -1, 0);
  }
  r->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  r->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  r->PopTransform(D3DTS_PROJECTION);
  r->PopTransform(D3DTS_VIEW);
}
