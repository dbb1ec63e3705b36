// The box query: cheap rejects, then the box's camera-facing faces become depth planes and
// its edges a second coverage record, and one sweep over y compares the box's depth with the
// occluders' at every corner of every piece the two records cut the screen into: along the rows
// where either changes, and where their edges cross. "True" means hidden; where rounding cannot
// tell which side of an edge a point lies on, both sides are compared, and a doubtful box is
// visible.
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

// How far apart two x of one row must be for rounding to have ordered them rightly.
float Tolerance(float x) { return 2e-6f * std::max(1.0f, std::fabs(x)); }

// One edge of a row: its x there and the surfaces on its left and right.
struct RowEdge {
  float x;
  int left, right;
};

// The surfaces on either side of a tight group of edges; a group with more than it holds
// cannot be compared whole, and counts as visible.
struct Sides {
  static constexpr int kMax = 16;
  int ids[kMax];
  int count = 0;
  bool full = false;
  void Add(int id) {
    for (int i = 0; i < count; ++i)
      if (ids[i] == id) return;
    if (count < kMax)
      ids[count++] = id;
    else
      full = true;
  }
};

float Depth(const float* plane, float x, float y) { return plane[3] - plane[0] * x - plane[1] * y; }

}  // namespace

bool COcclusionSystem::IsOccluded(const D3DXVECTOR3& minimum, const D3DXVECTOR3& maximum) {
  if (!m_bLeftHanded || m_Coverage.m_Edges.empty()) return false;
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
  // The count starts again every frame, and other systems share the table: a stamp left by an
  // earlier query could equal this one's and bring in an edge of a face turned away.
  for (int e = 0; e < 12; ++e) table[e].m_nStamp = 0;
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
    if (!(l.XAt(yb) <= x0 && r.XAt(ya) >= x1 && r.XAt(yb) >= x1) || l.m_nEnterSurfID == -1 ||
        r.m_nLeaveSurfID != l.m_nEnterSurfID)
      return false;
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
    float next = std::min(box.m_flNextEventY, cover.RowEnd(strip));
    const bool last = next >= 1.0f;
    if (last) next = 1.0f;
    if (!BandHidden(box, strip, y, next)) return false;
    if (last) return true;
    if (!box.Advance(next)) return true;
    while (cover.RowEnd(strip) <= next) ++strip;
    y = next;
  }
}

bool COcclusionSystem::BandHidden(const OcclusionCoverage& box, size_t strip, float y0, float y1) const {
  return RowHidden(box, strip, y0) && CrossingsHidden(box, strip, y0, y1) && RowHidden(box, strip, y1);
}

bool COcclusionSystem::RowHidden(const OcclusionCoverage& box, size_t strip, float y) const {
  const OcclusionCoverage& cover = m_Coverage;
  // The box's edges along the row, in x order (a box has at most a dozen).
  constexpr int kMaxRowEdges = 24;  // a box's dozen edges, each cut once at most at x = -1
  RowEdge qs[kMaxRowEdges];
  int nq = 0;
  for (const OcclusionEdge* q = box.m_StartTerminal.m_pNextActiveEdge; !box.IsEnd(q); q = q->m_pNextActiveEdge) {
    if (nq == kMaxRowEdges) return false;
    RowEdge r{q->XAt(y), q->m_nLeaveSurfID, q->m_nEnterSurfID};
    int k = nq++;
    for (; k > 0 && qs[k - 1].x > r.x; --k) qs[k] = qs[k - 1];
    qs[k] = r;
  }
  if (nq == 0 || qs[0].x >= 1.0f) return true;
  const float x0 = qs[0].x - Tolerance(qs[0].x), x1 = qs[nq - 1].x + Tolerance(qs[nq - 1].x);
  // The coverage's edges from just left of the box to just right of it.
  const uint32_t* const first = cover.m_RowEdges.data() + cover.m_RowStart[strip];
  const uint32_t* const last = cover.m_RowEdges.data() + cover.m_RowStart[strip + 1];
  const uint32_t* v = std::partition_point(first, last, [&](uint32_t i) { return cover.m_Edges[i].XAt(y) < x0; });
  int occ = v == first ? -1 : cover.m_Edges[v[-1]].m_nEnterSurfID;
  int face = -1;
  int iq = 0;
  auto coverX = [&](const uint32_t* e) { return e == last ? FLT_MAX : cover.m_Edges[*e].XAt(y); };
  float vx = coverX(v);
  while (iq < nq || vx <= x1) {
    // A group of edges each within rounding of the one before: every surface on either side
    // of any of them may be the one at any of their x.
    Sides faces, occs;
    faces.Add(face);
    occs.Add(occ);
    float gx0 = FLT_MAX, gx1 = -FLT_MAX;
    for (;;) {
      const bool takeBox = iq < nq && (vx > x1 || qs[iq].x <= vx);
      const float x = takeBox ? qs[iq].x : vx;
      if (gx1 != -FLT_MAX && x > gx1 + Tolerance(gx1)) break;
      gx0 = std::min(gx0, x);
      gx1 = std::max(gx1, x);
      if (takeBox) {
        faces.Add(qs[iq].left);
        faces.Add(qs[iq].right);
        face = qs[iq].right;
        ++iq;
      } else {
        const OcclusionEdge& e = cover.m_Edges[*v];
        occs.Add(e.m_nLeaveSurfID);
        occs.Add(e.m_nEnterSurfID);
        occ = e.m_nEnterSurfID;
        vx = coverX(++v);
      }
      if (iq >= nq && vx > x1) break;
    }
    // What lies right of the group, as the next edges on either side see it.
    if (iq < nq) faces.Add(qs[iq].left);
    if (v != last) occs.Add(cover.m_Edges[*v].m_nLeaveSurfID);
    if (faces.full || occs.full) return false;
    for (int f = 0; f < faces.count; ++f) {
      if (faces.ids[f] < 0) continue;
      const float* facePlane = box.Plane(faces.ids[f]);
      for (int o = 0; o < occs.count; ++o) {
        const float* occPlane = cover.Plane(occs.ids[o]);
        if (Depth(occPlane, gx0, y) > Depth(facePlane, gx0, y) || Depth(occPlane, gx1, y) > Depth(facePlane, gx1, y))
          return false;
      }
    }
  }
  return true;
}

bool COcclusionSystem::CrossingsHidden(const OcclusionCoverage& box, size_t strip, float y0, float y1) const {
  if (!(y1 > y0)) return true;
  const OcclusionCoverage& cover = m_Coverage;
  const uint32_t* const first = cover.m_RowEdges.data() + cover.m_RowStart[strip];
  const uint32_t* const last = cover.m_RowEdges.data() + cover.m_RowStart[strip + 1];
  if (first == last) return true;
  for (const OcclusionEdge* q = box.m_StartTerminal.m_pNextActiveEdge; !box.IsEnd(q); q = q->m_pNextActiveEdge) {
    if (q->m_nLeaveSurfID < 0 && q->m_nEnterSurfID < 0) continue;
    const float xq0 = q->XAt(y0), xq1 = q->XAt(y1);
    if (xq0 >= 1.0f && xq1 >= 1.0f) continue;
    // The coverage edges on the other side of q at y1 than at y0 cross it in the band; one
    // more on either side in case rounding misplaced a near one.
    const auto side = [&](float y, float xq) {
      return std::partition_point(first, last, [&](uint32_t i) { return cover.m_Edges[i].XAt(y) < xq; });
    };
    const uint32_t* a = side(y0, xq0);
    const uint32_t* b = side(y1, xq1);
    if (a > b) std::swap(a, b);
    if (a != first) --a;
    if (b != last) ++b;
    for (const uint32_t* v = a; v != b; ++v) {
      const OcclusionEdge& e = cover.m_Edges[*v];
      // Where the lines meet, in double precision: one of them may be nearly level.
      const double sq = q->m_flDxDy, sv = e.m_flDxDy;
      if (sq == sv) continue;
      const double yc = (static_cast<double>(e.m_vecPosition.x) - q->m_vecPosition.x +
                         static_cast<double>(q->m_vecPosition.y) * sq - static_cast<double>(e.m_vecPosition.y) * sv) /
                        (sq - sv);
      if (!(yc >= y0) || !(yc <= y1)) continue;
      // x on the steeper line, where a step in y moves it least.
      const OcclusionEdge& steep = std::fabs(sq) <= std::fabs(sv) ? *q : e;
      const float x = static_cast<float>(steep.m_vecPosition.x + (yc - steep.m_vecPosition.y) * steep.m_flDxDy);
      const float y = static_cast<float>(yc);
      for (int f : {static_cast<int>(q->m_nLeaveSurfID), static_cast<int>(q->m_nEnterSurfID)}) {
        if (f < 0) continue;
        for (int o : {static_cast<int>(e.m_nLeaveSurfID), static_cast<int>(e.m_nEnterSurfID)})
          if (Depth(cover.Plane(o), x, y) > Depth(box.Plane(f), x, y)) return false;
      }
    }
  }
  return true;
}
