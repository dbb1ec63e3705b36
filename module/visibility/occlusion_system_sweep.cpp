// The sweep of the occluders: the largest surfaces are chosen, their edges sorted, and an
// exact scan over y turns them into the coverage record, the boundaries where the frontmost
// occluder changes, each with the surface on its left and on its right.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "visibility/occlusion_system.h"

namespace {

bool SameEnd(const OcclusionEdge& a, const OcclusionEdge& b) {
  return a.m_vecPositionEnd.x == b.m_vecPositionEnd.x && a.m_vecPositionEnd.y == b.m_vecPositionEnd.y;
}

// Where the lines of two edges of different slopes meet, in double precision: an edge that is
// nearly level moves far in x for a small step in y, and single precision would put the
// meeting well away from where the two outlines cross.
double CrossingY(const OcclusionEdge& a, const OcclusionEdge& b) {
  const double sa = a.m_flDxDy, sb = b.m_flDxDy;
  return (static_cast<double>(b.m_vecPosition.x) - a.m_vecPosition.x + static_cast<double>(a.m_vecPosition.y) * sa -
          static_cast<double>(b.m_vecPosition.y) * sb) /
         (sa - sb);
}

double XAtWide(const OcclusionEdge& e, double y) { return e.m_vecPosition.x + (y - e.m_vecPosition.y) * e.m_flDxDy; }

// Whether two neighbours, a before b, close in on each other below the row.
bool Converging(const OcclusionEdge& a, const OcclusionEdge& b) { return a.m_flDxDy > b.m_flDxDy && !SameEnd(a, b); }

bool Coincide(const OcclusionEdge& a, const OcclusionEdge& b) { return a.m_flX == b.m_flX && a.m_flDxDy == b.m_flDxDy; }

// Whether e now comes before p with nothing between but their copies (an edge two polygons
// share comes twice).
bool Swapped(OcclusionEdgeList& list, const OcclusionEdge* e, const OcclusionEdge* p) {
  for (const OcclusionEdge* c = e->m_pNextActiveEdge; !list.IsEnd(c); c = c->m_pNextActiveEdge) {
    if (c == p) return true;
    if (!Coincide(*c, *e) && !Coincide(*c, *p)) return false;
  }
  return false;
}

// x of an edge at the sweep's current row y: an edge that ended there ends at its own end
// point; one still active is where the sweep holds it.
float RowX(const OcclusionEdge& e, float y) { return y >= e.m_vecPositionEnd.y ? e.m_vecPositionEnd.x : e.m_flX; }

void UnlinkSurface(OcclusionSurface* s) {
  s->m_pPrev->m_pNext = s->m_pNext;
  s->m_pNext->m_pPrev = s->m_pPrev;
  s->m_pPrev = s->m_pNext = nullptr;
}

void LinkSurfaceAfter(OcclusionSurface* p, OcclusionSurface* s) {
  s->m_pPrev = p;
  s->m_pNext = p->m_pNext;
  p->m_pNext->m_pPrev = s;
  p->m_pNext = s;
}

// Whether a lies in front of b at (x, y): nearer by more than 1e-6, or as near and nearer just
// below the row (its depth falls faster along y).
bool InFront(OcclusionSurface& a, OcclusionSurface& b, float x, float y) {
  a.m_flDepth = a.DepthAt(x, y);
  b.m_flDepth = b.DepthAt(x, y);
  const float diff = b.m_flDepth - a.m_flDepth;
  return !(diff <= -1e-6f || (diff < 1e-6f && a.m_Plane[1] <= b.m_Plane[1]));
}

using Outline = std::vector<const OcclusionEdge*>;

// Whether (x, y) lies inside the outline (crossings to its left are odd).
bool Inside(const Outline& outline, float x, float y) {
  bool inside = false;
  for (const OcclusionEdge* e : outline)
    if (e->m_vecPosition.y <= y && y < e->m_vecPositionEnd.y && e->XAt(y) < x) inside = !inside;
  return inside;
}

// Whether two edges meet at all (touching counts).
bool Meet(const OcclusionEdge& a, const OcclusionEdge& b) {
  auto side = [](const D3DXVECTOR3& p, const D3DXVECTOR3& q, const D3DXVECTOR3& r) {
    return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
  };
  const float d1 = side(a.m_vecPosition, a.m_vecPositionEnd, b.m_vecPosition);
  const float d2 = side(a.m_vecPosition, a.m_vecPositionEnd, b.m_vecPositionEnd);
  const float d3 = side(b.m_vecPosition, b.m_vecPositionEnd, a.m_vecPosition);
  const float d4 = side(b.m_vecPosition, b.m_vecPositionEnd, a.m_vecPositionEnd);
  return !((d1 > 0.0f && d2 > 0.0f) || (d1 < 0.0f && d2 < 0.0f) || (d3 > 0.0f && d4 > 0.0f) || (d3 < 0.0f && d4 < 0.0f));
}

// Whether the occluder with outline `s` and plane `sPlane` lies wholly inside the outline `t`
// and behind its plane everywhere: it can then never be the front surface.
bool WhollyBehind(const Outline& s, const OcclusionSurface& sPlane, const Outline& t, const OcclusionSurface& tPlane) {
  for (const OcclusionEdge* e : s)
    for (const D3DXVECTOR3* p : {&e->m_vecPosition, &e->m_vecPositionEnd}) {
      if (!(sPlane.DepthAt(p->x, p->y) > tPlane.DepthAt(p->x, p->y) + 1e-5f)) return false;
      if (!Inside(t, p->x, p->y)) return false;
    }
  for (const OcclusionEdge* a : s)
    for (const OcclusionEdge* b : t)
      if (Meet(*a, *b)) return false;
  return true;
}

}  // namespace

bool COcclusionSystem::CompareSurfaces(const OcclusionSurface& a, const OcclusionSurface& b) {
  return a.m_flArea > b.m_flArea;
}

bool COcclusionSystem::CompareOccluderEdges(const OcclusionEdge& a, const OcclusionEdge& b) {
  if (a.m_vecPosition.y != b.m_vecPosition.y) return a.m_vecPosition.y < b.m_vecPosition.y;
  if (a.m_vecPosition.x != b.m_vecPosition.x) return a.m_vecPosition.x < b.m_vecPosition.x;
  return a.m_flDxDy < b.m_flDxDy;
}

void COcclusionSystem::RasterizeOccluders() {
  OcclusionEdgeList& list = m_OccluderEdges;
  const std::vector<OcclusionSurface>& surfaces = list.m_Surfaces;
  std::sort(list.m_SurfaceIDs.begin(), list.m_SurfaceIDs.end(), [&](int32_t a, int32_t b) {
    return CompareSurfaces(surfaces[static_cast<size_t>(a)], surfaces[static_cast<size_t>(b)]);
  });
  std::vector<uint8_t> selected(surfaces.size(), 0);
  for (size_t i = 0; i < list.m_SurfaceIDs.size(); ++i) {
    const int32_t id = list.m_SurfaceIDs[i];
    if (i >= 6 && surfaces[static_cast<size_t>(id)].m_flArea < 0.06f) break;
    selected[static_cast<size_t>(id)] = 1;
  }
  const std::vector<OcclusionEdge>& edges = list.m_Edges;
  DropHiddenSurfaces(selected);
  // The selected edges in sweep order (sorting only those gives the same list as sorting all).
  list.m_SelectedEdges.clear();
  for (uint16_t index : list.m_EdgeIndices)
    if (selected[static_cast<size_t>(edges[index].SurfaceID())]) list.m_SelectedEdges.push_back(index);
  std::sort(list.m_SelectedEdges.begin(), list.m_SelectedEdges.end(),
            [&](uint16_t a, uint16_t b) { return CompareOccluderEdges(edges[a], edges[b]); });

  ScanConvert();

  for (const OcclusionEdge& e : m_Coverage.m_Edges) g_OcclusionState.m_OccluderLines.AddEdge(e);
}

void COcclusionSystem::DropHiddenSurfaces(std::vector<uint8_t>& selected) const {
  const std::vector<OcclusionSurface>& surfaces = m_OccluderEdges.m_Surfaces;
  std::vector<Outline> outlines(surfaces.size());
  for (const OcclusionEdge& e : m_OccluderEdges.m_Edges)
    if (selected[static_cast<size_t>(e.SurfaceID())]) outlines[static_cast<size_t>(e.SurfaceID())].push_back(&e);
  // Selected occluders in one plane (the pieces of one face) hide as one: their outlines
  // together, less the edges they share.
  std::vector<size_t> order;
  for (size_t i = 0; i < surfaces.size(); ++i)
    if (selected[i] && !outlines[i].empty()) order.push_back(i);
  auto planeLess = [&](size_t a, size_t b) {
    return std::lexicographical_compare(std::begin(surfaces[a].m_Plane), std::end(surfaces[a].m_Plane),
                                        std::begin(surfaces[b].m_Plane), std::end(surfaces[b].m_Plane));
  };
  std::sort(order.begin(), order.end(), planeLess);
  struct Bounds {
    float x0 = FLT_MAX, y0 = FLT_MAX, x1 = -FLT_MAX, y1 = -FLT_MAX;
    void Add(const Outline& outline) {
      for (const OcclusionEdge* e : outline) {
        x0 = std::min({x0, e->m_vecPosition.x, e->m_vecPositionEnd.x});
        x1 = std::max({x1, e->m_vecPosition.x, e->m_vecPositionEnd.x});
        y0 = std::min(y0, e->m_vecPosition.y);
        y1 = std::max(y1, e->m_vecPositionEnd.y);
      }
    }
    bool Holds(const Bounds& b) const { return x0 <= b.x0 && b.x1 <= x1 && y0 <= b.y0 && b.y1 <= y1; }
  };
  struct Group {
    size_t surface;  // one of them, for the plane
    Outline outline;
    Bounds bounds;
  };
  std::vector<Group> groups;
  for (size_t k = 0; k < order.size(); ++k) {
    if (k == 0 || planeLess(order[k - 1], order[k])) groups.push_back(Group{order[k], {}, {}});
    Outline& outline = groups.back().outline;
    for (const OcclusionEdge* e : outlines[order[k]]) {
      const auto twin = std::find_if(outline.begin(), outline.end(), [e](const OcclusionEdge* o) {
        return o->m_vecPosition == e->m_vecPosition && o->m_vecPositionEnd == e->m_vecPositionEnd;
      });
      if (twin != outline.end()) outline.erase(twin);
      else outline.push_back(e);
    }
    groups.back().bounds.Add(outlines[order[k]]);
  }
  for (size_t si : order) {
    Bounds own;
    own.Add(outlines[si]);
    for (const Group& g : groups)
      if (g.surface != si && g.bounds.Holds(own) &&
          WhollyBehind(outlines[si], surfaces[si], g.outline, surfaces[g.surface])) {
        selected[si] = 0;
        break;
      }
  }
}

void COcclusionSystem::CheckActiveEdgeList() {
  OcclusionEdgeList& list = m_OccluderEdges;
  auto ActualEdgeCount = [&list] { return list.m_SelectedEdges.size(); };
  OCCLUSION_ASSERT(ActualEdgeCount(), 1331);
  list.ResetActive();
  list.CheckTerminals(1338, 1339);
  float flLastY = -FLT_MAX, flLastX = -FLT_MAX, flLastDxDy = -FLT_MAX;
  for (uint16_t index : list.m_SelectedEdges) {
    const OcclusionEdge* pEdge = &list.m_Edges[index];
    OCCLUSION_ASSERT(pEdge->m_vecPosition.y >= flLastY, 2066);
    if (pEdge->m_vecPosition.y == flLastY) {
      OCCLUSION_ASSERT(pEdge->m_vecPosition.x >= flLastX, 2069);
      if (pEdge->m_vecPosition.x == flLastX) OCCLUSION_ASSERT(pEdge->m_flDxDy >= flLastDxDy, 2072);
    }
    flLastY = pEdge->m_vecPosition.y;
    flLastX = pEdge->m_vecPosition.x;
    flLastDxDy = pEdge->m_flDxDy;
  }
  list.m_flNextEventY = list.m_Edges[list.m_SelectedEdges.front()].m_vecPosition.y;
}

void COcclusionSystem::CheckActiveOrder(const OcclusionEdge& prev, const OcclusionEdge& edge) {
  const OcclusionEdge* pPrevEdge = &prev;
  const OcclusionEdge* pEdge = &edge;
  OCCLUSION_ASSERT(pEdge->m_flX >= pPrevEdge->m_flX, 1800);
  if (pEdge->m_flX == pPrevEdge->m_flX)
    OCCLUSION_ASSERT(pEdge->m_flDxDy >= pPrevEdge->m_flDxDy || SameEnd(*pEdge, *pPrevEdge), 1804);
}

void COcclusionSystem::ScanConvert() {
  OcclusionEdgeList& list = m_OccluderEdges;
  m_Coverage.Reset();
  if (list.m_SelectedEdges.empty()) return;

  for (const OcclusionSurface& s : list.m_Surfaces)
    m_Coverage.m_Planes.emplace_back(s.m_Plane[0], s.m_Plane[1], s.m_Plane[2], s.m_Plane[3]);
  CheckActiveEdgeList();
  for (std::vector<OcclusionSpan>& spans : list.m_Spans) {
    spans.clear();
    spans.reserve(list.m_SelectedEdges.size());
  }
  list.ResetSurfaces();

  float y = std::max(list.m_flNextEventY, -1.0f);
  list.m_flNextEventY = FLT_MAX;
  list.m_nCursor = 0;
  list.m_Boundary.assign(list.m_Edges.size(), 0);
  AddEdgesAt(y);
  float next = y;
  // A row where only two edges cross that made no boundary at the last row gone along changes
  // no boundary: whatever lies in front beside them lies in front of both their surfaces, on
  // either side of them, so the row is not gone along (most crossings of a city's outlines lie
  // behind nearer faces).
  bool quiet = false;
  for (;;) {
    OcclusionEdge* crossPrev = nullptr;
    OcclusionEdge* crossEdge = nullptr;
    bool atRow = false;
    next = FindNextEvent(y, list.m_flNextEventY, &crossPrev, &crossEdge, &atRow);
    if (atRow) {
      ResolveCrossingsAt(y);
      crossPrev = crossEdge = nullptr;
      next = FindNextEvent(y, list.m_flNextEventY, &crossPrev, &crossEdge, &atRow);
      quiet = false;
    }
    const bool last = next >= 1.0f;
    if (last) next = 1.0f;
    if (!quiet) {
      list.m_nCurrentSpans ^= 1;
      list.m_Spans[list.m_nCurrentSpans].clear();
      ProcessSpanEvents(y);
    }
    const int moved = AdvanceActive(next);
    if (last) break;
    quiet = false;
    // The pair found crossing here meets here, even where their own x at this row, a
    // rounded y, have not yet changed places.
    if (crossPrev != nullptr) {
      const bool adjacent = crossPrev->m_pNextActiveEdge == crossEdge;
      if (adjacent) MeetAtRow(crossPrev, crossEdge);
      quiet = moved == (adjacent ? 0 : 1) && Swapped(list, crossEdge, crossPrev) &&
              !list.m_Boundary[static_cast<size_t>(crossPrev - list.m_Edges.data())] &&
              !list.m_Boundary[static_cast<size_t>(crossEdge - list.m_Edges.data())];
    }
    AddEdgesAt(next);
    if (list.m_flNextEventY == FLT_MAX) break;
    y = next;
  }
  // The boundaries found at the last event run on to where the sweep stopped.
  list.m_nCurrentSpans ^= 1;
  ExtendSpans(next);
  list.m_Spans[0].clear();
  list.m_Spans[1].clear();
  list.ResetActive();
  // Each boundary is the straight line between the points the sweep put it through: the slope
  // of the occluder edge it follows, taken from a start the sweep may have moved to a crossing,
  // would carry it off that edge.
  for (OcclusionEdge& c : m_Coverage.m_Edges) {
    const float dy = c.m_vecPositionEnd.y - c.m_vecPosition.y;
    if (!(dy > 0.0f)) continue;
    c.m_flDxDy = (c.m_vecPositionEnd.x - c.m_vecPosition.x) / dy;
    c.m_flInvHeight = 1.0f / dy;
  }
  if (!m_Coverage.m_Edges.empty()) m_Coverage.m_flFirstEventY = m_Coverage.m_Edges.front().m_vecPosition.y;
  m_Coverage.BuildRows();
}

void COcclusionSystem::AddEdgesAt(float y) {
  OcclusionEdgeList& list = m_OccluderEdges;
  const std::vector<uint16_t>& selected = list.m_SelectedEdges;
  for (; list.m_nCursor < selected.size(); ++list.m_nCursor) {
    OcclusionEdge* e = &list.m_Edges[selected[list.m_nCursor]];
    if (e->m_vecPosition.y > y) break;
    if (e->m_vecPositionEnd.y <= y) continue;
    e->m_flX = e->XAt(y);
    list.m_flNextEventY = std::min(list.m_flNextEventY, e->m_vecPositionEnd.y);
    list.InsertByX(e);
  }
  if (list.m_nCursor < selected.size())
    list.m_flNextEventY = std::min(list.m_flNextEventY, list.m_Edges[selected[list.m_nCursor]].m_vecPosition.y);
}

float COcclusionSystem::FindNextEvent(float y, float candidate, OcclusionEdge** crossPrev,
                                      OcclusionEdge** crossEdge, bool* atRow) {
  OcclusionEdgeList& list = m_OccluderEdges;
  const float flCurrY = y;
  for (OcclusionEdge* pCurEdge = list.First(); !list.IsEnd(pCurEdge); pCurEdge = pCurEdge->m_pNextActiveEdge) {
    OCCLUSION_ASSERT(pCurEdge->m_vecPositionEnd.y >= flCurrY, 1642);
    OcclusionEdge* pPrevEdge = pCurEdge->m_pPrevActiveEdge;
    if (pPrevEdge == &list.m_StartTerminal) continue;
    CheckActiveOrder(*pPrevEdge, *pCurEdge);
    if (!Converging(*pPrevEdge, *pCurEdge)) continue;
    // Only a pair that has changed places by the candidate crosses before it.
    if (XAtWide(*pCurEdge, candidate) > XAtWide(*pPrevEdge, candidate)) continue;
    OCCLUSION_ASSERT(pPrevEdge->m_flDxDy != pCurEdge->m_flDxDy, 1658);
    const float yc = static_cast<float>(CrossingY(*pPrevEdge, *pCurEdge));
    if (!(yc > y)) {
      *atRow = true;
    } else if (yc < candidate) {
      candidate = yc;
      *crossPrev = pPrevEdge;
      *crossEdge = pCurEdge;
    }
  }
  return candidate;
}

void COcclusionSystem::ResolveCrossingsAt(float y) {
  OcclusionEdgeList& list = m_OccluderEdges;
  OcclusionEdge* e = list.First();
  while (!list.IsEnd(e)) {
    OcclusionEdge* prev = e->m_pPrevActiveEdge;
    if (prev != &list.m_StartTerminal && Converging(*prev, *e) && static_cast<float>(CrossingY(*prev, *e)) <= y) {
      MeetAtRow(prev, e);
      // e now comes before prev, and may meet the edge before it in turn; every swap leaves a
      // pair that parts below the row, so the walk ends.
      continue;
    }
    e = e->m_pNextActiveEdge;
  }
}

int COcclusionSystem::AdvanceActive(float y) {
  OcclusionEdgeList& list = m_OccluderEdges;
  float next = FLT_MAX;
  int moved = 0;
  for (OcclusionEdge* e = list.First(); !list.IsEnd(e);) {
    OcclusionEdge* following = e->m_pNextActiveEdge;
    if (e->m_vecPositionEnd.y > y) {
      e->m_flX = e->XAt(y);
      next = std::min(next, e->m_vecPositionEnd.y);
      OcclusionEdge* prev = e->m_pPrevActiveEdge;
      if (prev != &list.m_StartTerminal &&
          (e->m_flX < prev->m_flX || (e->m_flX == prev->m_flX && e->m_flDxDy < prev->m_flDxDy))) {
        // It has crossed the edge before it without an event (a crossing too close to the row
        // to be told apart from it in single precision): below the row it runs on the other
        // side, and when the crossing lies at the row the two meet there.
        list.MoveBack(e);
        ++moved;
        if (e->m_pNextActiveEdge == prev && prev->m_flDxDy != e->m_flDxDy &&
            std::fabs(CrossingY(*prev, *e) - y) <= 1e-6 * (1.0 + std::fabs(y)))
          m_Meets.emplace_back(e, prev);
      }
    } else {
      e->m_pPrevActiveEdge->m_pNextActiveEdge = following;
      following->m_pPrevActiveEdge = e->m_pPrevActiveEdge;
      e->m_pPrevActiveEdge = e->m_pNextActiveEdge = nullptr;
    }
    e = following;
  }
  list.m_flNextEventY = next;
  // Once every edge stands at this row, so that each meeting point is kept between its
  // neighbours' x.
  for (const auto& [first, second] : m_Meets)
    if (first->m_pNextActiveEdge == second) MeetAtRow(first, second);
  m_Meets.clear();
  return moved;
}

void COcclusionSystem::MeetAtRow(OcclusionEdge* first, OcclusionEdge* second) {
  OcclusionEdgeList& list = m_OccluderEdges;
  // The x of the steeper edge (on screen) is the crossing's x to within rounding; the other's
  // x at a rounded y may lie far along its own line.
  float x = std::fabs(first->m_flDxDy) <= std::fabs(second->m_flDxDy) ? first->m_flX : second->m_flX;
  // An edge that two polygons share comes twice, and its copy crosses with it.
  OcclusionEdge* from = first;
  while (from->m_pPrevActiveEdge != &list.m_StartTerminal && from->m_pPrevActiveEdge->m_flX == first->m_flX &&
         from->m_pPrevActiveEdge->m_flDxDy == first->m_flDxDy)
    from = from->m_pPrevActiveEdge;
  OcclusionEdge* to = second;
  while (!list.IsEnd(to->m_pNextActiveEdge) && to->m_pNextActiveEdge->m_flX == second->m_flX &&
         to->m_pNextActiveEdge->m_flDxDy == second->m_flDxDy)
    to = to->m_pNextActiveEdge;
  x = std::max(x, from->m_pPrevActiveEdge->m_flX);
  x = std::min(x, to->m_pNextActiveEdge->m_flX);
  OcclusionEdge* const after = to->m_pNextActiveEdge;
  for (OcclusionEdge* e = from; e != after; e = e->m_pNextActiveEdge) e->m_flX = x;
  // The run of x, with whatever already stood there, in slope order.
  while (from->m_pPrevActiveEdge != &list.m_StartTerminal && from->m_pPrevActiveEdge->m_flX == x)
    from = from->m_pPrevActiveEdge;
  for (OcclusionEdge* e = from; !list.IsEnd(e) && e->m_flX == x;) {
    OcclusionEdge* next = e->m_pNextActiveEdge;
    if (e->m_pPrevActiveEdge != &list.m_StartTerminal && e->m_pPrevActiveEdge->m_flX == x &&
        e->m_pPrevActiveEdge->m_flDxDy > e->m_flDxDy)
      list.MoveBack(e);
    e = next;
  }
}

void COcclusionSystem::ExtendSpans(float y) {
  OcclusionEdgeList& list = m_OccluderEdges;
  for (const OcclusionSpan& span : list.m_Spans[list.m_nCurrentSpans ^ 1]) {
    OcclusionEdge& c = m_Coverage.m_Edges[span.m_nCoverageEdge];
    const OcclusionEdge* pEdge = span.m_pSource;
    OCCLUSION_ASSERT((y >= pEdge->m_vecPosition.y) && (y <= pEdge->m_vecPositionEnd.y), 1157);
    const float x = RowX(*pEdge, y);
    const OcclusionSurface& s = list.m_Surfaces[static_cast<size_t>(c.m_nEnterSurfID != -1 ? c.m_nEnterSurfID
                                                                                         : c.m_nLeaveSurfID)];
    c.m_vecPositionEnd = D3DXVECTOR3(x, y, s.DepthAt(x, y));
  }
}

void COcclusionSystem::ProcessSpanEvents(float y) {
  OcclusionEdgeList& list = m_OccluderEdges;
  // Every boundary of the previous event holds down to here.
  ExtendSpans(y);

  list.ResetSurfaces();
  OcclusionSurface* const nearS = &list.m_NearSurface;
  OcclusionSurface* const farS = &list.m_FarSurface;
  int front = -1;
  size_t rowLast = SIZE_MAX;
  for (OcclusionEdge* e = list.First(); !list.IsEnd(e); e = e->m_pNextActiveEdge) {
    const float x = e->m_flX;
    OcclusionSurface* surface = &list.m_Surfaces[static_cast<size_t>(e->SurfaceID())];
    // The active surfaces are held with the frontmost first and the rest in no order: only the
    // front decides a boundary, and the rest are compared when the front leaves.
    if (surface->m_pPrev != nullptr) {
      const bool wasFront = nearS->m_pNext == surface;
      UnlinkSurface(surface);
      if (wasFront && nearS->m_pNext != farS) {
        OcclusionSurface* best = nearS->m_pNext;
        for (OcclusionSurface* s = best->m_pNext; s != farS; s = s->m_pNext)
          if (InFront(*s, *best, x, y)) best = s;
        if (best != nearS->m_pNext) {
          UnlinkSurface(best);
          LinkSurfaceAfter(nearS, best);
        }
      }
    } else {
      OcclusionSurface* head = nearS->m_pNext;
      LinkSurfaceAfter(head == farS || InFront(*surface, *head, x, y) ? nearS : head, surface);
    }
    const int frontNow = nearS->m_pNext == farS ? -1 : nearS->m_pNext->m_nSurfID;
    const OcclusionEdge* n = e->m_pNextActiveEdge;
    const bool coincide = !list.IsEnd(n) && Coincide(*n, *e);
    list.m_Boundary[static_cast<size_t>(e - list.m_Edges.data())] = 0;
    if (coincide || frontNow == front) continue;
    // Occluders in one plane meeting along an edge are one surface to whatever is behind them.
    if (frontNow != -1 && front != -1 &&
        std::equal(std::begin(list.m_Surfaces[static_cast<size_t>(frontNow)].m_Plane),
                   std::end(list.m_Surfaces[static_cast<size_t>(frontNow)].m_Plane),
                   std::begin(list.m_Surfaces[static_cast<size_t>(front)].m_Plane)))
      continue;
    const int nLeaveSurfID = front, nEnterSurfID = frontNow;
    OCCLUSION_ASSERT(( nLeaveSurfID != -1 ) || ( nEnterSurfID != -1 ), 1551);
    EmitCoverageEdge(*e, y, nLeaveSurfID, nEnterSurfID, rowLast);
    front = frontNow;
    // Its copies (an edge two polygons share) stand where it does and cross with it.
    for (OcclusionEdge* c = e; c != &list.m_StartTerminal && Coincide(*c, *e); c = c->m_pPrevActiveEdge)
      list.m_Boundary[static_cast<size_t>(c - list.m_Edges.data())] = 1;
  }
  const int nLeaveSurfID = front;
  OCCLUSION_ASSERT(nLeaveSurfID == -1, 1621);
}

void COcclusionSystem::EmitCoverageEdge(const OcclusionEdge& source, float y, int left, int right,
                                        size_t& rowLast) {
  OcclusionEdgeList& list = m_OccluderEdges;
  std::vector<OcclusionEdge>& coverage = m_Coverage.m_Edges;
  const std::vector<OcclusionSpan>& previous = list.m_Spans[list.m_nCurrentSpans ^ 1];
  // Where the sweep holds the edge at this row: its own x, or the point where it crosses
  // another edge here.
  const float x = source.m_flX;
  size_t index = SIZE_MAX;
  // A boundary of the row above that ends exactly here with the same surfaces and slope runs on
  // (the next edge of a straight outline): any other would bend the boundary off its edge.
  for (size_t k = previous.size(); k-- > 0;) {
    const OcclusionEdge& c = coverage[previous[k].m_nCoverageEdge];
    if (c.m_nLeaveSurfID == left && c.m_nEnterSurfID == right && c.m_flDxDy == source.m_flDxDy &&
        c.m_vecPositionEnd.x == x) {
      index = previous[k].m_nCoverageEdge;
      break;
    }
  }
  if (index == SIZE_MAX) {
    const OcclusionEdge* pEdge = &source;
    OCCLUSION_ASSERT((y >= pEdge->m_vecPosition.y) && (y <= pEdge->m_vecPositionEnd.y), 1157);
    const OcclusionSurface& s = list.m_Surfaces[static_cast<size_t>(right != -1 ? right : left)];
    OcclusionEdge c;
    c.m_vecPosition = D3DXVECTOR3(x, y, s.DepthAt(x, y));
    c.m_vecPositionEnd = c.m_vecPosition;
    c.m_flDxDy = source.m_flDxDy;
    c.m_flX = x;
    c.m_nLeaveSurfID = static_cast<int16_t>(left);
    c.m_nEnterSurfID = static_cast<int16_t>(right);
    index = coverage.size();
    coverage.push_back(c);
  }
  const OcclusionEdge& c = coverage[index];
  if (rowLast != SIZE_MAX) {
    const OcclusionEdge& r = coverage[rowLast];
    OCCLUSION_ASSERT(r.m_nEnterSurfID == c.m_nLeaveSurfID, 2092);
    OCCLUSION_ASSERT(c.m_vecPositionEnd.x >= r.m_vecPositionEnd.x, 2093);
  }
  OCCLUSION_ASSERT(c.m_nLeaveSurfID != c.m_nEnterSurfID, 2094);
  rowLast = index;
  list.m_Spans[list.m_nCurrentSpans].push_back(OcclusionSpan{static_cast<uint32_t>(index), &source});
}
