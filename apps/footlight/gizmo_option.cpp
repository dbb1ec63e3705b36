#include "apps/footlight/gizmo_option.h"

#include <cstdio>
#include <span>

#include "apps/footlight/gamma_option.h"
#include "scene/debug_gizmo.h"
#include "scene/scene_system.h"

bool ShowSceneGizmo(host::ReferenceHost& host, const GizmoPoint& point) {
  CSceneSystem* scene = FirstSceneSystem(host);
  if (scene == nullptr) return false;
  const D3DXVECTOR3 centre(point.x, point.y, point.z);
  scene->SetGizmoPosition(&centre);
  scene->SetGizmoVisible(1);
  // The passes run only with a scene: without one loaded the scene runs empty, as scene 0
  // without records.
  if (scene->GetCurrentSceneId() < 0) scene->sceneId = 0;
  return true;
}

namespace {
bool IsGizmoDraw(const host::DrawRecord& d, DWORD type, UINT primitives) {
  return d.slot == 56 && d.fvf == kGizmoVertexFormat && d.primitiveType == type && d.primitiveCount == primitives;
}
}  // namespace

void GizmoWatch::EndFrame(const host::Renderer& renderer) {
  const std::span<const host::DrawRecord> draws = renderer.FrameDraws();
  ++frames_;
  for (const host::DrawRecord& draw : draws) {
    quads_ += IsGizmoDraw(draw, D3DPT_TRIANGLELIST, 6) ? 1 : 0;
    lines_ += IsGizmoDraw(draw, D3DPT_LINELIST, 3) ? 1 : 0;
  }
  const size_t n = draws.size();
  if (n >= 2 && IsGizmoDraw(draws[n - 2], D3DPT_TRIANGLELIST, 6) && IsGizmoDraw(draws[n - 1], D3DPT_LINELIST, 3))
    ++last_;
}

std::string GizmoWatch::Line(const GizmoPoint& point) const {
  char line[256];
  std::snprintf(line, sizeof line,
                "gizmo at (%g, %g, %g): %zu quad draws of 6 triangles, %zu axis draws of 3 lines, last in %zu of %zu "
                "frames",
                static_cast<double>(point.x), static_cast<double>(point.y), static_cast<double>(point.z), quads_, lines_,
                last_, frames_);
  return line;
}
