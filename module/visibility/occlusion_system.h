// The software occlusion culler. Each frame its owner sets the camera (SetupView), clears it
// (BeginFrame), hands it occluder polygons (AddOccluder), has it sweep them into a coverage
// record (RasterizeOccluders) and asks it, box by box, whether a box is hidden (IsOccluded).
// All work is in normalized device coordinates; there is no pixel grid. After the scene it
// draws the coverage edges (green) and the hidden boxes (blue).
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"
#include "frame/renderer.h"
#include "visibility/occlusion_records.h"

struct OcclusionSystemTestHook;

class COcclusionSystem : public CComponentBase {
 public:
  COcclusionSystem();
  ~COcclusionSystem() override;

  bool Init() override;                        // slot 0
  void Destroy() override;                     // slot 1
  void Execute(uint32_t elapsedMs) override;   // slot 2
  void RealizePost(uint32_t arg) override;     // slot 5: RenderDebugLines

  // Planes here are (a, b, c, d) for n.p = d, n = (a, b, c): the near plane's normal points away
  // from the eye, an occluder's towards the side it hides things from.
  //
  // The depth planes of occluders and boxes take the projection to be left-handed, w = view z
  // (the camera's and the command line's projections are): a perspective without skew or
  // offset whose third row column 4 is 1 and fourth column otherwise 0. A right-handed one
  // (w = -z), or any other, would misplace every depth plane; such a view is refused with one
  // warning in the host's log, and its frames hide nothing.
  void SetupView(const D3DXVECTOR3& eye, float fieldOfView, const D3DXMATRIX& view,
                 const D3DXMATRIX& projection, const D3DXPLANE& nearPlane);
  void BeginFrame();
  // A polygon of points[indices[0 .. count - 1]]; plane faces the side it occludes from.
  void AddOccluder(const uint32_t* indices, int count, const D3DXVECTOR3* points, const D3DXPLANE& plane);
  void RasterizeOccluders();
  // True when the axis-aligned box is hidden by this frame's occluders.
  bool IsOccluded(const D3DXVECTOR3& minimum, const D3DXVECTOR3& maximum);
  void RenderDebugLines(uint32_t arg);

 private:
  friend struct OcclusionSystemTestHook;

  // Intake.
  bool ClipToNearPlane(std::vector<D3DXVECTOR3>& polygon);
  // A world plane n.p = d as a screen depth plane (A, B, 1, D).
  D3DXPLANE ScreenDepthPlane(const D3DXPLANE& plane) const;
  int AddSurface(const D3DXPLANE& depthPlane);
  void ClipPolygon(const std::vector<D3DXVECTOR3>& polygon, int surfaceID, bool nearClipped);
  void AddEdge(const D3DXVECTOR3& a, const D3DXVECTOR3& b, int surfaceID);

  // Sweep.
  static bool CompareSurfaces(const OcclusionSurface& a, const OcclusionSurface& b);
  static bool CompareOccluderEdges(const OcclusionEdge& a, const OcclusionEdge& b);
  // Leaves out of the sweep the selected occluders that lie wholly behind other selected ones:
  // they can never be the front surface, and only cost the sweep events. Leaving one out can
  // only shrink the coverage, so a box is never called hidden for it.
  void DropHiddenSurfaces(std::vector<uint8_t>& selected) const;
  void ScanConvert();
  void CheckActiveEdgeList();
  // Along the active list x never decreases, nor, at one x, the slope (unless both end together).
  static void CheckActiveOrder(const OcclusionEdge& prev, const OcclusionEdge& edge);
  void AddEdgesAt(float y);
  // The next event y from `candidate` on, and the pair of neighbouring edges that cross there.
  // *atRow is set when a pair crosses closer to y than single precision tells apart.
  float FindNextEvent(float y, float candidate, OcclusionEdge** crossPrev, OcclusionEdge** crossEdge, bool* atRow);
  // Swaps the neighbouring pairs that cross at y itself.
  void ResolveCrossingsAt(float y);
  // Every active edge to its own x at y; an edge found before a smaller x has crossed it.
  // Answers how many edges it moved.
  int AdvanceActive(float y);
  // The pair `first`, `second` (neighbours, either way round) meets at this row: both take the
  // x of the one whose x depends less on y, and the one of smaller slope goes first.
  void MeetAtRow(OcclusionEdge* first, OcclusionEdge* second);
  // Carries the boundaries of the previous event down to y.
  void ExtendSpans(float y);
  void ProcessSpanEvents(float y);
  void EmitCoverageEdge(const OcclusionEdge& source, float y, int left, int right,
                        size_t& rowLast);

  // Query.
  static bool CompareEdgesByY(int a, int b);
  // Whether the screen rectangle of the projected corners lies, strip by strip, inside single
  // coverage cells whose occluder is nowhere farther than the nearest corner: hidden for sure.
  bool BehindCoverageCells(const D3DXVECTOR3* corners) const;
  int AddTestSurface(const D3DXPLANE& plane);
  void AddTestEdge(const D3DXVECTOR3& start, const D3DXVECTOR3& end, int first, int second);
  bool ScanTestEdges(OcclusionCoverage& box);
  static void CheckTestEdgeList(OcclusionCoverage& record);
  // Whether the box lies behind the occluders over the band from y0 to y1, where the box's
  // active edges and the coverage's edges of `strip` run without starting or ending: the depths
  // are compared at every corner of every piece of the band, along both rows and where a box
  // edge crosses a coverage edge.
  bool BandHidden(const OcclusionCoverage& box, size_t strip, float y0, float y1) const;
  // The comparison along the row at y, for the box's active edges and the coverage's edges of
  // `strip`. Where edges lie closer than rounding can order, every face and every occluder on
  // either side of them is compared.
  bool RowHidden(const OcclusionCoverage& box, size_t strip, float y) const;
  // The comparison where a box edge and a coverage edge cross inside the band.
  bool CrossingsHidden(const OcclusionCoverage& box, size_t strip, float y0, float y1) const;

  IRenderer* m_pRenderer = nullptr;
  std::vector<D3DXVECTOR3> m_NearPlaneVerts;
  OcclusionEdgeList m_OccluderEdges;
  OcclusionCoverage m_Coverage;
  D3DXVECTOR3 m_vecEye{0.0f, 0.0f, 0.0f};
  D3DXMATRIX m_matView;
  D3DXMATRIX m_matViewProj;
  D3DXPLANE m_NearPlane{0.0f, 0.0f, 1.0f, 0.0f};
  float m_ProjTerms[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  bool m_bViewSet = false;
  bool m_bLeftHanded = true;  // the last view's projection is one the depth planes fit
  float m_flNearPlaneDist = 0.0f;
  float m_flSizeFactor = 0.0f;
  int m_nTestCount = 0;
  int m_nHiddenCount = 0;
  std::vector<int32_t> m_TestEdges;
  // Pairs found crossing at the row the sweep has just reached.
  std::vector<std::pair<OcclusionEdge*, OcclusionEdge*>> m_Meets;
};
