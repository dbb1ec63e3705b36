// footlight run --gizmo X,Y,Z: the scene system shows its debug gizmo at a point (its slots 62 and
// 60), and the run reports the gizmo's draws.
#pragma once
#include <string>

#include "apps/footlight/cli.h"
#include "host/host.h"
#include "host/renderer.h"

using GizmoPoint = footlight::cli::Point;

// Moves the first live scene system's gizmo to the point and shows it; false when no scene
// system was made.
bool ShowSceneGizmo(host::ReferenceHost& host, const GizmoPoint& point);

// Counts the gizmo's draws frame by frame from the renderer's recorded draws.
class GizmoWatch {
 public:
  // Counts the draws of the frame the renderer's records just ran.
  void EndFrame(const host::Renderer& renderer);
  // "gizmo at (X, Y, Z): N quad draws of 6 triangles, N axis draws of 3 lines, last in M of F
  // frames".
  std::string Line(const GizmoPoint& point) const;

 private:
  size_t quads_ = 0, lines_ = 0, last_ = 0, frames_ = 0;
};
