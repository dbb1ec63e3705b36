// footlight run --scene N: loads a scene from the resource tree into a scene system, runs it for
// some frames, prints what the load made, then unloads it and destroys everything.
#pragma once
#include <cstdio>
#include <optional>
#include <string>

#include "apps/footlight/cli.h"
#include "apps/footlight/glow_options.h"
#include "apps/footlight/raster_options.h"
#include "apps/footlight/gizmo_option.h"
#include "apps/footlight/scene_session.h"
#include "host/standard_host.h"

class CSceneSystem;

namespace footlight {

struct SceneRunOptions {
  std::optional<int> scene;               // --scene N
  std::string root;                       // --root F: the scene root folder (slot 54); empty: the default
  std::optional<cli::GroundPoint> ground;  // --ground X,Z
  std::optional<cli::Pixel> pick;          // --pick X,Y
  int trace = 0;                          // --trace F: print frame F's renderer calls; 0: none
  // True when one of the scene options other than --scene was given.
  bool Extras() const { return !root.empty() || ground || pick || trace > 0; }
};

// Declares --scene, --root, --ground, --pick and --trace on a command.
void DeclareSceneOptions(CLI::App* cmd, SceneRunOptions* options);

// How a scene run draws, as the plain run does: the clear before each frame's render phases, a
// backdrop in its place, the glow made beside the scene and the last frame as a PNG picture.
struct SceneDrawOptions {
  RasterRunOptions raster;
  GlowRunOptions glow;
  std::optional<GizmoPoint> gizmo;  // --gizmo X,Y,Z: the scene shows its debug gizmo there
};

// Looks from the scene's origin camera with the camera's field of view, as the camera would place
// the view.
void PlaceOriginCamera(host::StandardHost& standard, CSceneSystem* scene);

// Makes the session's scene system (and the glow when an option speaks to it), loads the scene,
// runs `frames` frames of `elapsedMs`, writes the PNG, prints the report to `out`, unloads and
// closes the session. 0 on success; 1 (one line on `err`) when the scene does not load, the
// backdrop does not read, the PNG is not written or a host block is left.
int RunScene(SceneSession& session, const SceneRunOptions& options, const SceneDrawOptions& draw, int frames,
             int elapsedMs, FILE* out, FILE* err);

}  // namespace footlight
