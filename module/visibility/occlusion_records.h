// The records of the occlusion culler: screen-space edges, occluder surfaces with their depth
// planes, the occluder edge list with its sweep state, the coverage record that the sweep
// produces, and the module-wide scratch state shared by every occlusion system.
//
// Coordinates are normalized device coordinates: x and y in [-1, 1], depth z >= 0. The
// sweep runs over y from -1 to 1; "left" is the side of smaller x.
#pragma once
#include <cfloat>
#include <cstdint>
#include <vector>

#include "d3dx8/d3dx8math.h"

// A failed consistency check of the occlusion code: the registry log line, then the text
// "assert" thrown as a character pointer.
[[noreturn]] void OcclusionAssertFailed(int line, const char* expression);
#define OCCLUSION_ASSERT(expr, line) \
  do {                               \
    if (!(expr)) OcclusionAssertFailed(line, #expr); \
  } while (0)

// A screen-space edge. Occluder edges carry the surface ID of their polygon; coverage and
// box edges carry the surface on their left and on their right, -1 for none.
struct OcclusionEdge {
  D3DXVECTOR3 m_vecPosition;     // start: the end point with the smaller y
  D3DXVECTOR3 m_vecPositionEnd;  // end
  float m_flDxDy = 0.0f;         // (end x - start x) / (end y - start y)
  float m_flInvHeight = 0.0f;    // 1 / (end y - start y)
  float m_flX = 0.0f;            // x at the current sweep y
  int16_t m_nLeaveSurfID = -1;   // occluder edges: the surface ID; else the left surface
  int16_t m_nEnterSurfID = -1;   // the right surface (coverage and box edges)
  OcclusionEdge* m_pPrevActiveEdge = nullptr;
  OcclusionEdge* m_pNextActiveEdge = nullptr;

  int SurfaceID() const { return m_nLeaveSurfID; }
  // The edge from a to b, its start the end with the smaller y (a when equal); false when it is
  // horizontal, which no sweep can use.
  bool Span(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
  // x on the edge's line at y.
  float XAt(float y) const { return m_vecPosition.x + (y - m_vecPosition.y) * m_flDxDy; }
};

// The two ends of a list of active edges. Neither ever moves: both are members of their
// list's record and the active edges link to them.
struct OcclusionTerminals {
  OcclusionEdge m_StartTerminal;
  OcclusionEdge m_EndTerminal;

  OcclusionTerminals();
  // The active edges link to the terminals' addresses.
  OcclusionTerminals(const OcclusionTerminals&) = delete;
  OcclusionTerminals& operator=(const OcclusionTerminals&) = delete;
  // Start terminal <-> end terminal, nothing between.
  void ResetActive();
  // Both terminals free of outer links (asserting at the given lines otherwise).
  void CheckTerminals(int startLine, int endLine) const;
  OcclusionEdge* First() { return m_StartTerminal.m_pNextActiveEdge; }
  bool IsEnd(const OcclusionEdge* e) const { return e == &m_EndTerminal; }
  // Inserts `e` after the last active edge whose x is smaller, or equal with a slope not
  // greater (walking back from the end terminal).
  void InsertByX(OcclusionEdge* e);
  // Moves `e` back past the edges with a greater x, or its x and a greater slope.
  void MoveBack(OcclusionEdge* e);
};

// The depth plane of one occluder polygon (or one box face): depth at screen point (x, y)
// is D - A x - B y, the plane being stored as (A, B, 1, D).
struct OcclusionSurface {
  float m_Plane[4] = {0.0f, 0.0f, 1.0f, 0.0f};
  float m_flDepth = 0.0f;  // at the current sweep position
  OcclusionSurface* m_pPrev = nullptr;
  OcclusionSurface* m_pNext = nullptr;
  int32_t m_nSurfID = -1;
  float m_flArea = 0.0f;  // minus twice the signed screen area after clipping

  float DepthAt(float x, float y) const { return m_Plane[3] - m_Plane[0] * x - m_Plane[1] * y; }
};

// A span entry of the sweep: a coverage edge and the occluder edge that carries it on.
struct OcclusionSpan {
  uint32_t m_nCoverageEdge = 0;  // a frame may make more coverage edges than 16 bits count
  const OcclusionEdge* m_pSource = nullptr;
};

struct OcclusionEdgeList : OcclusionTerminals {
  std::vector<uint16_t> m_EdgeIndices;
  std::vector<uint16_t> m_SelectedEdges;
  std::vector<OcclusionSurface> m_Surfaces;
  std::vector<int32_t> m_SurfaceIDs;
  OcclusionSurface m_NearSurface;  // bounds the active-surface list in front
  OcclusionSurface m_FarSurface;   // and behind
  // Sweep state.
  size_t m_nCursor = 0;
  float m_flNextEventY = FLT_MAX;
  std::vector<OcclusionSpan> m_Spans[2];
  int m_nCurrentSpans = 0;
  // Per edge: whether it made a coverage boundary at the last row the sweep went along.
  std::vector<uint8_t> m_Boundary;
  std::vector<OcclusionEdge> m_Edges;

  OcclusionEdgeList();
  // Empties every list; reserved capacity stays.
  void Reset();
  // The active-surface list: nothing between the two sentinels.
  void ResetSurfaces();
};

// The result of a sweep: covered spans as boundary edges with the surface on either side,
// and the planes of those surfaces by surface ID. A second record of the kind holds the box
// under test.
struct OcclusionCoverage : OcclusionTerminals {
  float m_SentinelPlane[4] = {0.0f, 0.0f, 1.0f, FLT_MAX};
  float m_flFirstEventY = FLT_MAX;
  size_t m_nCursor = 0;
  float m_flNextEventY = FLT_MAX;
  std::vector<D3DXPLANE> m_Planes;
  std::vector<OcclusionEdge> m_Edges;

  OcclusionCoverage();
  void Reset();
  // The plane of a surface ID, the sentinel for -1.
  const float* Plane(int id) const {
    return id < 0 ? m_SentinelPlane : static_cast<const float*>(m_Planes[static_cast<size_t>(id)]);
  }
  // Sweep position back to before the first edge, nothing active.
  void Rewind();
  // Moves the sweep to y: active edges that end below y get their x at y, the others leave;
  // edges that start at or above y join. Answers whether any event is left.
  bool Advance(float y);

  // The coverage as a table of strips, for the queries of a frame: strip k runs from
  // m_RowY[k] to m_RowY[k + 1] and holds the edges that cross it, in x order (edges never cross
  // inside a strip). Built once after the sweep.
  std::vector<float> m_RowY;
  std::vector<uint32_t> m_RowStart;  // strip k's edges: m_RowEdges[m_RowStart[k] .. m_RowStart[k + 1])
  std::vector<uint32_t> m_RowEdges;
  // The least and greatest x of the coverage and its last y.
  float m_flMinX = FLT_MAX, m_flMaxX = -FLT_MAX, m_flLastY = -FLT_MAX;
  void BuildRows();
  // The strip that holds y: the last one starting at or above it; SIZE_MAX above the first.
  size_t RowAt(float y) const;
  float RowEnd(size_t k) const { return k + 1 < m_RowY.size() ? m_RowY[k + 1] : FLT_MAX; }
};

// One line per pair of points, in normalized device coordinates.
struct OcclusionDebugLines {
  static constexpr int kMaxPoints = 1024;
  D3DXVECTOR3 m_Points[kMaxPoints];
  int m_nCount = 0;
  // Appends both ends while fewer than kMaxPoints - 1 points are stored.
  void AddEdge(const OcclusionEdge& e);
};

// A box edge of the cube table: two corners, two faces, the query that last stamped it and
// which end starts it on screen.
struct OcclusionCubeEdge {
  int m_nCornerA, m_nCornerB, m_nFaceC, m_nFaceD;
  uint32_t m_nStamp;
  uint32_t m_nOrientation;
};

// Scratch state of the occlusion culler, one set for the module: one occlusion system at a
// time may be driven.
struct OcclusionModuleState {
  // The polygon as the near clip leaves it, and the two stage buffers of the view clip; each
  // grows with the polygon, so an outline of any size fits. The view clip works on copies of
  // the projected points, never on the near clip's output in place.
  std::vector<D3DXVECTOR3> m_ClipPool;
  std::vector<D3DXVECTOR3> m_ViewClip[2];
  OcclusionDebugLines m_OccluderLines;
  OcclusionDebugLines m_HiddenBoxLines;
  OcclusionCoverage m_TestCoverage;
  OcclusionCubeEdge m_CubeEdges[12];
  D3DXVECTOR3 m_Corners[8];  // the box under test, projected

  OcclusionModuleState();
};

extern OcclusionModuleState g_OcclusionState;
// Everything back to how the module starts (for tests).
void ResetOcclusionModuleState();
