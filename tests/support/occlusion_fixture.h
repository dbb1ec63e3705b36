// The occlusion system in a reference host with a renderer, and the friend hook through which
// tests read its edges, surfaces and coverage.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/renderer.h"
#include "support/module_host.h"
#include "support/occlusion_scenes.h"
#include "visibility/occlusion_system.h"

struct OcclusionSystemTestHook {
  static const std::vector<OcclusionEdge>& Edges(const COcclusionSystem& s) { return s.m_OccluderEdges.m_Edges; }
  static const std::vector<uint16_t>& EdgeIndices(const COcclusionSystem& s) { return s.m_OccluderEdges.m_EdgeIndices; }
  static const std::vector<uint16_t>& Selected(const COcclusionSystem& s) { return s.m_OccluderEdges.m_SelectedEdges; }
  static const std::vector<OcclusionSurface>& Surfaces(const COcclusionSystem& s) { return s.m_OccluderEdges.m_Surfaces; }
  static const std::vector<OcclusionEdge>& Coverage(const COcclusionSystem& s) { return s.m_Coverage.m_Edges; }
  static const std::vector<D3DXPLANE>& CoveragePlanes(const COcclusionSystem& s) { return s.m_Coverage.m_Planes; }
  static const std::vector<D3DXVECTOR3>& NearPlaneVerts(const COcclusionSystem& s) { return s.m_NearPlaneVerts; }
  static float NearDistance(const COcclusionSystem& s) { return s.m_flNearPlaneDist; }
  static int TestCount(const COcclusionSystem& s) { return s.m_nTestCount; }
  static int HiddenCount(const COcclusionSystem& s) { return s.m_nHiddenCount; }
  static float SizeFactor(const COcclusionSystem& s) { return s.m_flSizeFactor; }
  static D3DXPLANE ScreenDepthPlane(const COcclusionSystem& s, const D3DXPLANE& p) { return s.ScreenDepthPlane(p); }
};

namespace occlusion_testing {

struct OcclusionHost {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  COcclusionSystem* sys = nullptr;
  ComponentHandle handle{};

  OcclusionHost() {
    ResetOcclusionModuleState();
    module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    module.host.CreateObject(&handle, "COcclusionSystem");
    sys = dynamic_cast<COcclusionSystem*>(static_cast<CComponentBase*>(module.host.GetObject(&handle)));
  }
  ~OcclusionHost() { module.host.DestroyAll(); }

  void Setup(const OcclusionCamera& cam) {
    sys->SetupView(cam.eye, kFieldOfView, cam.view, cam.projection, cam.nearPlane);
    sys->BeginFrame();
  }
  void Add(const OracleOccluder& occ) {
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < occ.points.size(); ++i) indices.push_back(i);
    sys->AddOccluder(indices.data(), static_cast<int>(indices.size()), occ.points.data(),
                     D3DXPLANE(occ.normal.x, occ.normal.y, occ.normal.z, occ.d));
  }
  void Add(const Triangle& t) {
    static const uint32_t kIndices[3] = {0, 1, 2};
    sys->AddOccluder(kIndices, 3, t.p, t.plane);
  }
  // Registry log lines that contain `text`.
  int RegistryLines(const std::string& text) {
    int n = 0;
    for (const std::string& line : module.host.Registry().LogLines())
      if (line.find(text) != std::string::npos) ++n;
    return n;
  }
};

// An occluder through the given points, its plane facing the camera.
inline OracleOccluder Polygon(const OcclusionCamera& cam, std::vector<D3DXVECTOR3> points) {
  OracleOccluder occ;
  D3DXVECTOR3 e1 = points[1] - points[0], e2 = points[2] - points[0];
  D3DXVec3Cross(&occ.normal, &e1, &e2);
  D3DXVec3Normalize(&occ.normal, &occ.normal);
  occ.d = D3DXVec3Dot(&occ.normal, &points[0]);
  if (D3DXVec3Dot(&occ.normal, &cam.eye) < occ.d) {
    occ.normal = -occ.normal;
    occ.d = -occ.d;
  }
  if (ScreenCross(cam, points) > 0.0f) std::reverse(points.begin(), points.end());
  occ.points = std::move(points);
  return occ;
}

// A camera at the origin looking along +z, for hand-built scenes.
inline const OcclusionCamera& AxisCamera() {
  static const OcclusionCamera cam(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 1.0f));
  return cam;
}

// The point of AxisCamera's view at normalized device coordinates (x, y) and view depth z.
inline D3DXVECTOR3 Ndc(float x, float y, float z) {
  return D3DXVECTOR3(x * z / AxisCamera().projection._11, y * z / AxisCamera().projection._22, z);
}

// A wall facing AxisCamera at depth z over the screen rectangle [x0, x1] x [y0, y1].
inline OracleOccluder Wall(float x0, float y0, float x1, float y1, float z) {
  return Polygon(AxisCamera(), {Ndc(x0, y0, z), Ndc(x1, y0, z), Ndc(x1, y1, z), Ndc(x0, y1, z)});
}

// Occluders in AxisCamera's view, rasterised.
struct AxisScene : OcclusionHost {
  explicit AxisScene(const std::vector<OracleOccluder>& occluders) {
    Setup(AxisCamera());
    for (const auto& occ : occluders) Add(occ);
    sys->RasterizeOccluders();
  }
};

}  // namespace occlusion_testing
