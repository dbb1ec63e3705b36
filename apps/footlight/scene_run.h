// footlight run --scene N: loads a scene from the resource tree into a scene system, runs it for
// some frames, prints what the load made, then unloads it and destroys everything.
#pragma once
#include <cstdio>
#include <string>

#include "apps/footlight/glow_options.h"
#include "apps/footlight/raster_options.h"
#include "apps/footlight/gizmo_option.h"
#include "host/standard_host.h"

class CSceneSystem;

namespace footlight {

struct SceneRunOptions {
  bool wanted = false;   // --scene was given
  int scene = 0;         // --scene N
  std::string root;      // --root F: the scene root folder (slot 54); empty: the default
  bool ground = false;   // --ground X,Z
  float groundX = 0.0f, groundZ = 0.0f;
  bool pick = false;     // --pick X,Y
  int pickX = 0, pickY = 0;
  int trace = 0;         // --trace F: print frame F's renderer calls; 0: none
  // True when one of the scene options other than --scene was given.
  bool Extras() const { return !root.empty() || ground || pick || trace > 0; }
};

extern const char* const kSceneUsage;

// True for the options this file parses (--scene, --root, --ground, --pick, --trace).
bool IsSceneOption(const std::string& option);
// Parses one of them with its value; false and an error line for a bad value.
bool ParseSceneOption(const std::string& option, const char* value, SceneRunOptions* out, std::string* error);

// How a scene run draws, as the plain run does: the clear before each frame's render phases, a
// backdrop in its place, the glow made beside the scene and the last frame as a PNG picture.
struct SceneDrawOptions {
  RasterRunOptions raster;
  GlowRunOptions glow;
  bool showGizmo = false;  // --gizmo X,Y,Z: the scene shows its debug gizmo there
  GizmoPoint gizmo;
};

// Looks from the scene's origin camera with the camera's field of view, as the camera would place
// the view.
void PlaceOriginCamera(host::StandardHost& standard, CSceneSystem* scene);

// Makes a scene system (and the glow when an option speaks to it), loads the scene, runs
// `frames` frames of `elapsedMs`, writes the PNG, prints the report to `out`, unloads and
// destroys. 0 on success; 1 (one line on `err`) when the scene does not load, the backdrop does
// not read, the PNG is not written or a host block is left.
int RunScene(host::StandardHost& standard, const SceneRunOptions& options, const SceneDrawOptions& draw, int frames,
             int elapsedMs, FILE* out, FILE* err);

}  // namespace footlight
