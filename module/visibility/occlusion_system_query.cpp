// The box query: cheap rejects, then the box's camera-facing faces become depth planes and
// its edges a second coverage record, and one sweep over y compares the box's depth with the
// occluders' wherever either changes. "True" means hidden; a doubtful box is visible.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "visibility/occlusion_system.h"

namespace {

// Corner i (1-7) = corner kParent[i] + edge vector kAxis[i].
constexpr int kParent[8] = {-1, 0, 0, 1, 0, 1, 2, 3};
constexpr int kAxis[8] = {-1, 0, 1, 1, 2, 2, 2, 2};
constexpr int kFaceEdges[6][4] = {{4, 9, 6, 1}, {2, 7, 10, 5}, {0, 5, 8, 4},
                                  {6, 11, 7, 3}, {1, 3, 2, 0}, {8, 10, 11, 9}};

const D3DXVECTOR3& StartCorner(const OcclusionCubeEdge& e) {
  return g_OcclusionState.m_Corners[e.m_nOrientation == 0 ? e.m_nCornerA : e.m_nCornerB];
}
const D3DXVECTOR3& EndCorner(const OcclusionCubeEdge& e) {
  return g_OcclusionState.m_Corners[e.m_nOrientation == 0 ? e.m_nCornerB : e.m_nCornerA];
}

// The y below `y` where two neighbouring edges of a row, a left of b, meet; FLT_MAX when
// they part.
float CrossingBelow(const OcclusionEdge& a, const OcclusionEdge& b, float y) {
  if (!(a.m_flDxDy > b.m_flDxDy)) return FLT_MAX;
  const float yc = a.m_vecPosition.y + ((b.m_vecPosition.y - a.m_vecPosition.y) * b.m_flDxDy -
                                        (b.m_vecPosition.x - a.m_vecPosition.x)) /
                                           (b.m_flDxDy - a.m_flDxDy);
  return yc > y ? yc : FLT_MAX;
}

float Depth(const float* plane, float x, float y) { return plane[3] - plane[0] * x - plane[1] * y; }

}  // namespace

bool COcclusionSystem::IsOccluded(const D3DXVECTOR3& minimum, const D3DXVECTOR3& maximum) {
  if (m_Coverage.m_Edges.empty()) return false;
  const D3DXVECTOR3 centre = (minimum + maximum) * 0.5f;
  const D3DXVECTOR3 toCentre = centre - m_vecEye;
  const float c = toCentre.x * m_NearPlane.a + toCentre.y * m_NearPlane.b + toCentre.z * m_NearPlane.c;
  if (c <= 0.0f) return false;
  const float d = c + m_flNearPlaneDist;
  const D3DXVECTOR3 size = maximum - minimum;
  if ((size.x * size.x + size.y * size.y + size.z * size.z) * 0.25f * m_flSizeFactor / (d * d) >= 1.0f) return false;

  ++m_nTestCount;
  OcclusionCoverage& box = g_OcclusionState.m_TestCoverage;
  box.m_Planes.clear();
  box.m_Edges.clear();

  // Corners: the minimum corner and the three edge vectors in clip space, the rest by sums.
  D3DXVECTOR4 clip[8];
  D3DXVec3Transform(&clip[0], &minimum, &m_matViewProj);
  D3DXVECTOR4 axis[3];
  const float extent[3] = {size.x, size.y, size.z};
  const D3DXMATRIX& m = m_matViewProj;
  for (int k = 0; k < 3; ++k)
    axis[k] = D3DXVECTOR4(extent[k] * m.m[k][0], extent[k] * m.m[k][1], extent[k] * m.m[k][2], extent[k] * m.m[k][3]);
  for (int i = 1; i < 8; ++i) clip[i] = clip[kParent[i]] + axis[kAxis[i]];
  D3DXVECTOR3* corners = g_OcclusionState.m_Corners;
  for (int i = 0; i < 8; ++i) {
    if (clip[i].w <= 0.0f) return false;
    corners[i] = D3DXVECTOR3(clip[i].x / clip[i].w, clip[i].y / clip[i].w, clip[i].z / clip[i].w);
    if (!(corners[i].z > 0.0f)) return false;
  }
  // A corner on the screen's rows outside everything the coverage spans is seen: the sweep
  // below would find it so at that corner's row.
  for (int i = 0; i < 8; ++i) {
    const D3DXVECTOR3& p = corners[i];
    if (p.y < m_Coverage.m_flFirstEventY) return false;
    if (p.y <= 1.0f && (p.x < m_Coverage.m_flMinX || (p.x > m_Coverage.m_flMaxX && p.x < 1.0f) || p.y > m_Coverage.m_flLastY))
      return false;
  }
  // Most hidden boxes lie behind one occluder cell: then the sweep is not needed, and once the
  // debug lines are full neither are the box's edges.
  const bool behindOneCell = BehindCoverageCells(corners);
  if (behindOneCell && g_OcclusionState.m_HiddenBoxLines.m_nCount >= OcclusionDebugLines::kMaxPoints - 1) {
    ++m_nHiddenCount;
    return true;
  }

  OcclusionCubeEdge* table = g_OcclusionState.m_CubeEdges;
  const uint32_t stamp = static_cast<uint32_t>(m_nTestCount);
  const float lo[3] = {minimum.x, minimum.y, minimum.z};
  const float hi[3] = {maximum.x, maximum.y, maximum.z};
  const float eye[3] = {m_vecEye.x, m_vecEye.y, m_vecEye.z};
  int faceSurface[6];
  for (int f = 0; f < 6; ++f) {
    const int k = f / 2;
    const bool maxSide = (f % 2) == 1;
    const bool facing = maxSide ? eye[k] - hi[k] > 0.0f : lo[k] - eye[k] > 0.0f;
    faceSurface[f] = -1;
    if (!facing) continue;
    const float s = maxSide ? 1.0f : -1.0f;
    D3DXPLANE plane(0.0f, 0.0f, 0.0f, s * (maxSide ? hi[k] : lo[k]));
    (k == 0 ? plane.a : k == 1 ? plane.b : plane.c) = s;
    faceSurface[f] = AddTestSurface(ScreenDepthPlane(plane));
    for (int e : kFaceEdges[f]) table[e].m_nStamp = stamp;
  }

  m_TestEdges.clear();
  for (int e = 0; e < 12; ++e) {
    if (table[e].m_nStamp != stamp) continue;
    table[e].m_nOrientation = corners[table[e].m_nCornerB].y <= corners[table[e].m_nCornerA].y ? 1u : 0u;
    m_TestEdges.push_back(e);
  }
  std::sort(m_TestEdges.begin(), m_TestEdges.end(), CompareEdgesByY);

  for (int index : m_TestEdges) {
    const OcclusionCubeEdge& e = table[index];
    const D3DXVECTOR3& start = StartCorner(e);
    const D3DXVECTOR3& end = EndCorner(e);
    // Which face lies left of the edge on screen depends on the handedness of the view, so it
    // is read from where a camera-facing face's centre projects.
    const int front = faceSurface[e.m_nFaceC] != -1 ? e.m_nFaceC : e.m_nFaceD;
    const int other = front == e.m_nFaceC ? e.m_nFaceD : e.m_nFaceC;
    const int k = front / 2, side = front % 2;
    float cx = 0.0f, cy = 0.0f;
    for (int i = 0; i < 8; ++i) {
      if (((i >> k) & 1) != side) continue;
      cx += corners[i].x * 0.25f;
      cy += corners[i].y * 0.25f;
    }
    const bool frontLeft = (end.x - start.x) * (cy - start.y) - (end.y - start.y) * (cx - start.x) > 0.0f;
    const int first = faceSurface[frontLeft ? front : other];
    const int second = faceSurface[frontLeft ? other : front];
    if (start.x > -1.0f && end.x < -1.0f && end.y > 1.0f) {
      const float t = (start.x + 1.0f) / (start.x - end.x);
      const float yc = start.y + t * (end.y - start.y);
      if (yc < 1.0f) {
        const D3DXVECTOR3 cut(-1.0f, yc, 0.0f);
        AddTestEdge(start, cut, first, second);
        AddTestEdge(cut, end, first, second);
        continue;
      }
    }
    AddTestEdge(start, end, first, second);
  }
  // The lower half of an edge split at x = -1 starts further down than the edges after it;
  // the sweep takes edges in order of their start.
  std::vector<OcclusionEdge>& added = box.m_Edges;
  for (size_t i = 1; i < added.size(); ++i)
    for (size_t k = i; k > 0 && CompareOccluderEdges(added[k], added[k - 1]); --k) std::swap(added[k], added[k - 1]);

  const bool hidden = behindOneCell || ScanTestEdges(box);
  if (hidden) {
    for (const OcclusionEdge& e : box.m_Edges) g_OcclusionState.m_HiddenBoxLines.AddEdge(e);
    ++m_nHiddenCount;
  }
  return hidden;
}

bool COcclusionSystem::BehindCoverageCells(const D3DXVECTOR3* corners) const {
  const OcclusionCoverage& cover = m_Coverage;
  float x0 = FLT_MAX, y0 = FLT_MAX, x1 = -FLT_MAX, y1 = -FLT_MAX, nearest = FLT_MAX;
  for (int i = 0; i < 8; ++i) {
    x0 = std::min(x0, corners[i].x);
    x1 = std::max(x1, corners[i].x);
    y0 = std::min(y0, corners[i].y);
    y1 = std::max(y1, corners[i].y);
    nearest = std::min(nearest, corners[i].z);
  }
  size_t strip = cover.RowAt(y0);
  if (strip == SIZE_MAX) return false;
  for (; strip + 1 < cover.m_RowStart.size(); ++strip) {
    const float ya = std::max(cover.m_RowY[strip], y0), yb = std::min(cover.RowEnd(strip), y1);
    const uint32_t* first = cover.m_RowEdges.data() + cover.m_RowStart[strip];
    const uint32_t* last = cover.m_RowEdges.data() + cover.m_RowStart[strip + 1];
    const uint32_t* right = std::partition_point(first, last, [&](uint32_t i) { return cover.m_Edges[i].XAt(ya) <= x0; });
    if (right == first || right == last) return false;
    // The box's screen rectangle, over this strip's rows, lies between two neighbouring
    // boundaries (edges do not cross inside a strip)...
    const OcclusionEdge& l = cover.m_Edges[right[-1]];
    const OcclusionEdge& r = cover.m_Edges[*right];
    if (!(l.XAt(yb) <= x0 && r.XAt(ya) >= x1 && r.XAt(yb) >= x1) || l.m_nEnterSurfID == -1) return false;
    // ... and the occluder there is nowhere farther than the box's nearest corner.
    const float* plane = cover.Plane(l.m_nEnterSurfID);
    for (float x : {x0, x1})
      for (float y : {ya, yb})
        if (Depth(plane, x, y) > nearest) return false;
    if (yb >= y1) return true;
  }
  return false;
}

bool COcclusionSystem::CompareEdgesByY(int a, int b) {
  const OcclusionCubeEdge& e1 = g_OcclusionState.m_CubeEdges[a];
  const OcclusionCubeEdge& e2 = g_OcclusionState.m_CubeEdges[b];
  const D3DXVECTOR3& s1 = StartCorner(e1);
  const D3DXVECTOR3& s2 = StartCorner(e2);
  if (s1.y != s2.y) return s1.y < s2.y;
  if (s1.x != s2.x) return s1.x < s2.x;
  const D3DXVECTOR3 dEdge1 = EndCorner(e1) - s1;
  const D3DXVECTOR3 dEdge2 = EndCorner(e2) - s2;
  OCCLUSION_ASSERT(dEdge1.y >= 0.0f, 641);
  OCCLUSION_ASSERT(dEdge2.y >= 0.0f, 642);
  return dEdge1.x * dEdge2.y < dEdge2.x * dEdge1.y;
}

int COcclusionSystem::AddTestSurface(const D3DXPLANE& plane) {
  std::vector<D3DXPLANE>& planes = g_OcclusionState.m_TestCoverage.m_Planes;
  planes.push_back(plane);
  return static_cast<int>(planes.size()) - 1;
}

void COcclusionSystem::AddTestEdge(const D3DXVECTOR3& start, const D3DXVECTOR3& end, int first, int second) {
  OcclusionEdge e;
  const bool sloped = e.Span(start, end);
  const D3DXVECTOR3& vecStartVert = e.m_vecPosition;
  const D3DXVECTOR3& vecEndVert = e.m_vecPositionEnd;
  OCCLUSION_ASSERT((vecStartVert.z >= 0.0) && (vecEndVert.z >= 0.0), 1975);
  if (!sloped) return;
  e.m_nLeaveSurfID = static_cast<int16_t>(first);
  e.m_nEnterSurfID = static_cast<int16_t>(second);
  g_OcclusionState.m_TestCoverage.m_Edges.push_back(e);
}

void COcclusionSystem::CheckTestEdgeList(OcclusionCoverage& record) {
  auto EdgeCount = [&record] { return record.m_Edges.size(); };
  OCCLUSION_ASSERT(EdgeCount(), 2152);
  record.Rewind();
  record.CheckTerminals(2162, 2163);
  record.m_flFirstEventY = record.m_Edges.front().m_vecPosition.y;
}

bool COcclusionSystem::ScanTestEdges(OcclusionCoverage& box) {
  if (box.m_Edges.empty()) return true;
  OcclusionCoverage& cover = m_Coverage;
  CheckTestEdgeList(box);
  CheckTestEdgeList(cover);
  if (cover.m_flFirstEventY > box.m_flFirstEventY) return false;
  if (box.m_flFirstEventY >= 1.0f) return true;
  float y = box.m_flFirstEventY;
  box.Advance(y);
  // The coverage's edges come from its strip table: the strip under y, its edges in x order.
  size_t strip = cover.RowAt(y);
  if (strip == SIZE_MAX) return false;
  for (;;) {
    float crossY = FLT_MAX;
    if (!RowHidden(box, strip, y, true, &crossY)) return false;
    float next = std::min({box.m_flNextEventY, cover.RowEnd(strip), crossY});
    const bool last = next >= 1.0f;
    if (last) next = 1.0f;
    // The row where the strip from y ends, with the strip's own edges: the depths at the
    // lower corners of every piece, including the points where edges end.
    box.MoveTo(next);
    if (!RowHidden(box, strip, next, false, nullptr)) return false;
    if (last) return true;
    if (!box.Advance(next)) return true;
    while (cover.RowEnd(strip) <= next) ++strip;
    y = next;
  }
}

bool COcclusionSystem::RowHidden(OcclusionCoverage& box, size_t strip, float y, bool opening, float* crossY) {
  const OcclusionCoverage& cover = m_Coverage;
  const OcclusionEdge* q = box.First();
  if (box.IsEnd(q) || q->m_flX >= 1.0f) return true;
  // Which comes first at one x: below the row, the smaller slope; above it, the greater.
  auto before = [opening](float xa, const OcclusionEdge* a, float xb, const OcclusionEdge* b) {
    if (xa != xb) return xa < xb;
    return opening ? a->m_flDxDy <= b->m_flDxDy : a->m_flDxDy >= b->m_flDxDy;
  };
  const uint32_t* const first = cover.m_RowEdges.data() + cover.m_RowStart[strip];
  const uint32_t* const last = cover.m_RowEdges.data() + cover.m_RowStart[strip + 1];
  auto coverEdge = [&cover](const uint32_t* v) { return &cover.m_Edges[*v]; };
  // The coverage edges that come before the first box edge only set the occluder on its left.
  const uint32_t* v = std::partition_point(first, last, [&](uint32_t i) {
    const OcclusionEdge* e = &cover.m_Edges[i];
    return !before(q->m_flX, q, e->XAt(y), e);
  });
  // Between breakpoints: the box face right of the last box edge passed and the occluder
  // surface right of the last coverage edge passed; -1 outside either.
  const float* boxPlane = nullptr;
  const float* occPlane = v == first ? cover.m_SentinelPlane : cover.Plane(coverEdge(v - 1)->m_nEnterSurfID);
  const OcclusionEdge* passed = v == first ? nullptr : coverEdge(v - 1);
  bool passedBox = false;
  for (;;) {
    const bool vLeft = v != last;
    const float vx = vLeft ? coverEdge(v)->XAt(y) : FLT_MAX;
    if (box.IsEnd(q)) {
      if (crossY != nullptr && passedBox && vLeft) *crossY = std::min(*crossY, CrossingBelow(*passed, *coverEdge(v), y));
      return true;
    }
    const bool takeBox = !vLeft || before(q->m_flX, q, vx, coverEdge(v));
    const OcclusionEdge* e = takeBox ? q : coverEdge(v);
    const float x = takeBox ? q->m_flX : vx;
    if (boxPlane != nullptr && Depth(occPlane, x, y) > Depth(boxPlane, x, y)) return false;
    if (crossY != nullptr && passed != nullptr && passedBox != takeBox)
      *crossY = std::min(*crossY, CrossingBelow(*passed, *e, y));
    if (takeBox) {
      boxPlane = e->m_nEnterSurfID == -1 ? nullptr : box.Plane(e->m_nEnterSurfID);
      q = q->m_pNextActiveEdge;
    } else {
      occPlane = cover.Plane(e->m_nEnterSurfID);
      ++v;
    }
    if (boxPlane != nullptr && Depth(occPlane, x, y) > Depth(boxPlane, x, y)) return false;
    passed = e;
    passedBox = takeBox;
  }
}
