#include "visibility/occlusion_records.h"

#include <algorithm>
#include <cstddef>

namespace {

void MakeTerminal(OcclusionEdge& e, float x) {
  e.m_vecPosition = D3DXVECTOR3(x, -FLT_MAX, -FLT_MAX);
  e.m_vecPositionEnd = D3DXVECTOR3(x, FLT_MAX, -FLT_MAX);
  e.m_flDxDy = 0.0f;
  e.m_flInvHeight = 0.0f;
  e.m_flX = x;
  e.m_nLeaveSurfID = -1;
  e.m_nEnterSurfID = -1;
  e.m_pPrevActiveEdge = nullptr;
  e.m_pNextActiveEdge = nullptr;
}

void Unlink(OcclusionEdge* e) {
  e->m_pPrevActiveEdge->m_pNextActiveEdge = e->m_pNextActiveEdge;
  e->m_pNextActiveEdge->m_pPrevActiveEdge = e->m_pPrevActiveEdge;
  e->m_pPrevActiveEdge = e->m_pNextActiveEdge = nullptr;
}

void LinkAfter(OcclusionEdge* p, OcclusionEdge* e) {
  e->m_pPrevActiveEdge = p;
  e->m_pNextActiveEdge = p->m_pNextActiveEdge;
  p->m_pNextActiveEdge->m_pPrevActiveEdge = e;
  p->m_pNextActiveEdge = e;
}

// The last edge at or before `from`, walking back, that `e` may follow: its x is smaller, or
// equal with a slope not greater.
OcclusionEdge* PlaceFor(OcclusionEdge* from, const OcclusionEdge* start, const OcclusionEdge* e) {
  OcclusionEdge* p = from;
  while (p != start && (p->m_flX > e->m_flX || (p->m_flX == e->m_flX && p->m_flDxDy > e->m_flDxDy)))
    p = p->m_pPrevActiveEdge;
  return p;
}

const OcclusionCubeEdge kCubeEdges[12] = {
    {0, 1, 2, 4, 0, 0}, {2, 0, 0, 4, 0, 0}, {1, 3, 1, 4, 0, 0}, {3, 2, 3, 4, 0, 0},
    {0, 4, 0, 2, 0, 0}, {5, 1, 1, 2, 0, 0}, {6, 2, 0, 3, 0, 0}, {3, 7, 1, 3, 0, 0},
    {5, 4, 2, 5, 0, 0}, {4, 6, 0, 5, 0, 0}, {7, 5, 1, 5, 0, 0}, {6, 7, 3, 5, 0, 0},
};

}  // namespace

OcclusionTerminals::OcclusionTerminals() {
  MakeTerminal(m_StartTerminal, -FLT_MAX);
  MakeTerminal(m_EndTerminal, FLT_MAX);
  ResetActive();
}

void OcclusionTerminals::ResetActive() {
  m_StartTerminal.m_pPrevActiveEdge = nullptr;
  m_StartTerminal.m_pNextActiveEdge = &m_EndTerminal;
  m_EndTerminal.m_pPrevActiveEdge = &m_StartTerminal;
  m_EndTerminal.m_pNextActiveEdge = nullptr;
}

void OcclusionTerminals::CheckTerminals(int startLine, int endLine) const {
  if (m_StartTerminal.m_pPrevActiveEdge != NULL)
    OcclusionAssertFailed(startLine, "m_StartTerminal.m_pPrevActiveEdge == NULL");
  if (m_EndTerminal.m_pNextActiveEdge != NULL) OcclusionAssertFailed(endLine, "m_EndTerminal.m_pNextActiveEdge == NULL");
}

bool OcclusionEdge::Span(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
  const bool swap = b.y < a.y;
  m_vecPosition = swap ? b : a;
  m_vecPositionEnd = swap ? a : b;
  const float dy = m_vecPositionEnd.y - m_vecPosition.y;
  if (dy == 0.0f) return false;
  m_flDxDy = (m_vecPositionEnd.x - m_vecPosition.x) / dy;
  m_flInvHeight = 1.0f / dy;
  return true;
}

void OcclusionTerminals::InsertByX(OcclusionEdge* e) {
  LinkAfter(PlaceFor(m_EndTerminal.m_pPrevActiveEdge, &m_StartTerminal, e), e);
}

void OcclusionTerminals::MoveBack(OcclusionEdge* e) {
  OcclusionEdge* prev = e->m_pPrevActiveEdge;
  Unlink(e);
  LinkAfter(PlaceFor(prev, &m_StartTerminal, e), e);
}

OcclusionEdgeList::OcclusionEdgeList() {
  m_EdgeIndices.reserve(256);
  m_SelectedEdges.reserve(256);
  m_Edges.reserve(256);
  m_NearSurface.m_Plane[3] = -FLT_MAX;
  m_NearSurface.m_flDepth = -FLT_MAX;
  m_FarSurface.m_Plane[3] = FLT_MAX;
  m_FarSurface.m_flDepth = FLT_MAX;
  ResetSurfaces();
}

void OcclusionEdgeList::Reset() {
  m_EdgeIndices.clear();
  m_SelectedEdges.clear();
  m_Surfaces.clear();
  m_SurfaceIDs.clear();
  m_Edges.clear();
  m_Spans[0].clear();
  m_Spans[1].clear();
  m_Boundary.clear();
  m_nCursor = 0;
  m_flNextEventY = FLT_MAX;
  ResetActive();
  ResetSurfaces();
}

void OcclusionEdgeList::ResetSurfaces() {
  m_NearSurface.m_pPrev = nullptr;
  m_NearSurface.m_pNext = &m_FarSurface;
  m_FarSurface.m_pPrev = &m_NearSurface;
  m_FarSurface.m_pNext = nullptr;
}

OcclusionCoverage::OcclusionCoverage() {
  m_Planes.reserve(128);
  m_Edges.reserve(256);
}

void OcclusionCoverage::Reset() {
  m_Planes.clear();
  m_Edges.clear();
  m_RowY.clear();
  m_RowStart.clear();
  m_RowEdges.clear();
  m_flMinX = FLT_MAX;
  m_flMaxX = m_flLastY = -FLT_MAX;
  m_flFirstEventY = FLT_MAX;
  Rewind();
}

void OcclusionCoverage::Rewind() {
  ResetActive();
  m_nCursor = 0;
  m_flNextEventY = FLT_MAX;
}

bool OcclusionCoverage::Advance(float y) {
  float next = FLT_MAX;
  for (OcclusionEdge* e = First(); !IsEnd(e);) {
    OcclusionEdge* following = e->m_pNextActiveEdge;
    if (e->m_vecPositionEnd.y > y) {
      e->m_flX = e->XAt(y);
      next = std::min(next, e->m_vecPositionEnd.y);
    } else {
      Unlink(e);
    }
    e = following;
  }
  for (; m_nCursor < m_Edges.size() && m_Edges[m_nCursor].m_vecPosition.y <= y; ++m_nCursor) {
    OcclusionEdge* e = &m_Edges[m_nCursor];
    if (e->m_vecPositionEnd.y <= y) continue;
    e->m_flX = e->XAt(y);
    next = std::min(next, e->m_vecPositionEnd.y);
    InsertByX(e);
  }
  if (m_nCursor < m_Edges.size()) next = std::min(next, m_Edges[m_nCursor].m_vecPosition.y);
  m_flNextEventY = next;
  return next != FLT_MAX;
}

void OcclusionCoverage::BuildRows() {
  m_RowY.clear();
  m_RowStart.clear();
  m_RowEdges.clear();
  m_flMinX = FLT_MAX;
  m_flMaxX = m_flLastY = -FLT_MAX;
  for (const OcclusionEdge& e : m_Edges) {
    if (!(e.m_vecPositionEnd.y > e.m_vecPosition.y)) continue;
    m_flMinX = std::min({m_flMinX, e.m_vecPosition.x, e.m_vecPositionEnd.x});
    m_flMaxX = std::max({m_flMaxX, e.m_vecPosition.x, e.m_vecPositionEnd.x});
    m_flLastY = std::max(m_flLastY, e.m_vecPositionEnd.y);
    m_RowY.push_back(e.m_vecPosition.y);
    m_RowY.push_back(e.m_vecPositionEnd.y);
  }
  std::sort(m_RowY.begin(), m_RowY.end());
  m_RowY.erase(std::unique(m_RowY.begin(), m_RowY.end()), m_RowY.end());
  // The edges are in order of their start (the sweep made them so).
  std::vector<uint32_t> strip;
  uint32_t next = 0;
  for (size_t k = 0; k < m_RowY.size(); ++k) {
    m_RowStart.push_back(static_cast<uint32_t>(m_RowEdges.size()));
    const float y = m_RowY[k];
    strip.erase(std::remove_if(strip.begin(), strip.end(), [&](uint32_t i) { return m_Edges[i].m_vecPositionEnd.y <= y; }),
                strip.end());
    for (; next < m_Edges.size() && m_Edges[next].m_vecPosition.y <= y; ++next)
      if (m_Edges[next].m_vecPositionEnd.y > y) strip.push_back(next);
    std::sort(strip.begin(), strip.end(), [&](uint32_t a, uint32_t b) {
      const float xa = m_Edges[a].XAt(y), xb = m_Edges[b].XAt(y);
      return xa != xb ? xa < xb : m_Edges[a].m_flDxDy < m_Edges[b].m_flDxDy;
    });
    m_RowEdges.insert(m_RowEdges.end(), strip.begin(), strip.end());
  }
  m_RowStart.push_back(static_cast<uint32_t>(m_RowEdges.size()));
}

size_t OcclusionCoverage::RowAt(float y) const {
  const auto it = std::upper_bound(m_RowY.begin(), m_RowY.end(), y);
  return it == m_RowY.begin() ? SIZE_MAX : static_cast<size_t>(it - m_RowY.begin()) - 1;
}

void OcclusionDebugLines::AddEdge(const OcclusionEdge& e) {
  if (m_nCount >= kMaxPoints - 1) return;
  m_Points[m_nCount++] = e.m_vecPosition;
  m_Points[m_nCount++] = e.m_vecPositionEnd;
}

OcclusionModuleState::OcclusionModuleState() {
  std::copy(std::begin(kCubeEdges), std::end(kCubeEdges), m_CubeEdges);
}

OcclusionModuleState g_OcclusionState;

void ResetOcclusionModuleState() {
  g_OcclusionState.m_ClipPool.clear();
  g_OcclusionState.m_ViewClip[0].clear();
  g_OcclusionState.m_ViewClip[1].clear();
  g_OcclusionState.m_OccluderLines.m_nCount = 0;
  g_OcclusionState.m_HiddenBoxLines.m_nCount = 0;
  g_OcclusionState.m_TestCoverage.Reset();
  std::copy(std::begin(kCubeEdges), std::end(kCubeEdges), g_OcclusionState.m_CubeEdges);
}
