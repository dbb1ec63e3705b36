#include "apps/footlight/scene_run.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <span>
#include <vector>

#include "camera/base_camera.h"
#include "scene/dynamic_flag_system.h"
#include "frame/component_base.h"
#include "host/generic_object.h"
#include "host/renderable.h"
#include "host/renderer.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"

namespace footlight {

namespace {

const char* StyleName(int32_t style) {
  static const char* const kNames[] = {"all",     "normal",      "blend",         "blendadd",     "transparency",
                                       "lightmap", "alphasahder", "videoTexture", "bumpmap",      "decalnormal",
                                       "decalmodulate", "decaladd", "lightmapblend", "lightmapblendoverlay",
                                       "mirror",  "reflection",  "diffaddref"};
  return style >= 0 && style <= 16 ? kNames[style] : "?";
}

void PrintReport(FILE* out, host::StandardHost& standard, CSceneSystem* scene) {
  host::ReferenceHost& host = standard.host;
  std::fprintf(out, "== scene %d ==\n", scene->GetCurrentSceneId());
  std::fprintf(out, "records: %zu\n", scene->modelRecords.size());
  for (const SceneModelRecord& r : scene->modelRecords) {
    auto* model = static_cast<IHostModel*>(host.GetObject(&r.modelObject));
    int parts = 0;
    while (model != nullptr && model->GetGeometry(parts) != nullptr) ++parts;
    std::fprintf(out, "  %-20s type %d  style %-12s %s  model %s", r.name, r.ModelType, StyleName(r.RenderStyle),
                 r.Visible ? "visible  " : "invisible", model != nullptr ? "yes" : "no");
    if (model != nullptr) std::fprintf(out, " (%d part%s)", parts, parts == 1 ? "" : "s");
    if (r.ClassName[0] != '\0') std::fprintf(out, "  class %s", r.ClassName);
    std::fprintf(out, "\n");
  }
  CLightingSystem* lighting = scene->GetLightingSystem();
  const int32_t lights = lighting != nullptr ? lighting->GetLightCount() : 0;
  std::fprintf(out, "lights: %d\n", lights);
  for (int32_t i = 0; i < lights; ++i) {
    CLight* light = lighting->GetLight(static_cast<uint32_t>(i));
    if (light == nullptr) continue;
    std::fprintf(out, "  %-20s type %d  %s%s%s\n", light->GetName(), light->GetType(), light->IsActive() ? "on" : "off",
                 light->IsGlobalLight() ? ", global" : "", light->IsRuntimeOnly() ? ", from a model" : "");
  }
  std::fprintf(out, "scene objects: %u\n", scene->GetSceneObjectCount());
  for (uint32_t i = 0; i < scene->GetSceneObjectCount(); ++i) {
    CSceneBaseObj* object = scene->GetSceneObject(i);
    if (object == nullptr) continue;
    const uint32_t* id = object->GetUserWords();
    std::fprintf(out, "  id 0x%08x  title \"%s\"\n", id != nullptr ? id[0] : 0u, cli::Utf8(object->GetTitle()).c_str());
    // Its model: what the renderable was asked to load, and what the object took of it.
    auto* renderable = static_cast<host::RenderableObject*>(
        static_cast<IRenderableObject*>(host.GetObject(object->GetHandle())));
    D3DXVECTOR3 position(0.0f, 0.0f, 0.0f);
    float yaw = 0.0f;
    object->GetPosition(&position, &yaw);
    std::fprintf(out, "    object %d  %s  %s", object->objectId, renderable != nullptr ? renderable->path.c_str() : "-",
                 renderable != nullptr && renderable->Loaded() ? "loaded" : "not loaded");
    if (renderable != nullptr && renderable->Loaded()) {
      std::fprintf(out, "  height %.2f  head bone ", object->modelHeight);
      const int32_t head = object->headBoneIndex;
      if (head >= 0 && static_cast<size_t>(head) < renderable->model.bones.size())
        std::fprintf(out, "%d \"%s\"", head, renderable->model.bones[static_cast<size_t>(head)].name.c_str());
      else
        std::fprintf(out, "none");
    }
    std::fprintf(out, "  at %.2f,%.2f,%.2f\n", position.x, position.y, position.z);
  }
  std::fprintf(out, "helper groups: %zu\n", scene->helperGroups.size());
  for (const HelperPointGroup& g : scene->helperGroups) {
    std::fprintf(out, "  %s:", g.name.c_str());
    for (const HelperPoint& p : g.points)
      std::fprintf(out, " %s (%.2f,%.2f,%.2f)", p.name.c_str(), p.frame._41, p.frame._42, p.frame._43);
    std::fprintf(out, "\n");
  }
  std::fprintf(out, "light sockets: %zu\n", scene->lightSockets.size());
  for (const LightSocket& s : scene->lightSockets)
    std::fprintf(out, "  %s (%.2f,%.2f,%.2f) hash 0x%08x\n", s.name.c_str(), s.frame._41, s.frame._42, s.frame._43,
                 s.hash);
  size_t flagCount = 0;
  for (const DynamicFlagType& t : scene->flags.types) flagCount += t.instances.size();
  std::fprintf(out, "flags: %zu\n", flagCount);
  for (const DynamicFlagType& t : scene->flags.types)
    std::fprintf(out, "  %s: %zu, %d x %d quads\n", t.name.c_str(), t.instances.size(), t.horizontalSegments,
                 t.verticalSegments);
  std::map<std::string, int> made;
  for (const ComponentHandle& h : host.LiveObjects()) ++made[host.ClassOf(h)];
  std::fprintf(out, "host objects:");
  const char* separator = " ";
  for (const auto& [name, count] : made) {
    std::fprintf(out, "%s%s %d", separator, name.c_str(), count);
    separator = ", ";
  }
  std::fprintf(out, "\n");
}

}  // namespace

// The camera's modes come later: the run looks from the scene's origin camera, with the scene's
// field of view, as the camera would place the view.
void PlaceOriginCamera(host::StandardHost& standard, CSceneSystem* scene) {
  CBaseCamera* camera = scene->GetCamera();
  if (camera == nullptr) return;
  camera->SetLookAt(&scene->originCameraEye, &scene->originCameraTarget);
  D3DXMATRIX view, projection;
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  D3DXMatrixLookAtLH(&view, &scene->originCameraEye, &scene->originCameraTarget, &up);
  D3DVIEWPORT8 viewport{};
  standard.renderer.GetViewport(&viewport);
  const float aspect = viewport.Height != 0 ? static_cast<float>(viewport.Width) / viewport.Height : 1.0f;
  D3DXMatrixPerspectiveFovLH(&projection, camera->GetFieldOfView() * D3DX_PI / 180.0f, aspect, 1.0f, 1000.0f);
  standard.renderer.SetTransform(D3DTS_VIEW, &view);
  standard.renderer.SetTransform(D3DTS_PROJECTION, &projection);
}

void DeclareSceneOptions(CLI::App* cmd, SceneRunOptions* o) {
  cli::Whole(cmd, "--scene", &o->scene, 0, INT_MAX, "load scene N of the resource tree and run it");
  cli::ResourcePath(cmd, "--root", &o->root, "the scene root folder (default resource\\ini\\scene)");
  cli::Value(cmd, "--ground", &o->ground, "print the ground height at X,Z");
  cli::Value(cmd, "--pick", &o->pick, "print the scene point under the pixel X,Y");
  cli::Whole(cmd, "--trace", &o->trace, 1, INT_MAX, "print frame F's renderer calls in order")->type_name("F");
}

int RunScene(SceneSession& session, const SceneRunOptions& options, const SceneDrawOptions& draw, int frames,
             int elapsedMs, FILE* out, FILE* err) {
  host::StandardHost& standard = session.standard();
  host::ReferenceHost& host = standard.host;
  auto finish = [&](int status) { return session.Close(status, out); };
  if (!session.Load(options.scene.value_or(0), options.root)) return finish(1);
  CSceneSystem* scene = session.scene();
  PlaceOriginCamera(standard, scene);
  Backdrop backdrop;
  if (std::string error; !draw.glow.backdrop.empty() && !backdrop.Load(standard.renderer, draw.glow.backdrop, &error)) {
    std::fprintf(err, "footlight: %s\n", error.c_str());
    return finish(1);
  }
  // A scene needs a fresh depth buffer each frame: without --clear or a backdrop (which clears
  // depth itself) the frame is cleared to black.
  if (draw.raster.clear || !backdrop.Loaded()) standard.ClearEachFrame(draw.raster.ClearColour());
  if (draw.glow.TalksToGlow()) {
    // The glow draws over what the scene drew, from its own place in the realize channel.
    if (session.Make<CComponentBase>("CGlow") == nullptr) return finish(1);
    StartGlow(host, draw.glow);
  }
  host::Renderer& renderer = standard.renderer;
  if (draw.gizmo) {
    const D3DXVECTOR3 centre(draw.gizmo->x, draw.gizmo->y, draw.gizmo->z);
    scene->SetGizmoPosition(&centre);
    scene->SetGizmoVisible(1);
  }
  GizmoWatch gizmoDraws;
  for (int frame = 1; frame <= frames; ++frame) {
    if (backdrop.Loaded()) backdrop.Put(standard);
    const size_t firstDraw = renderer.DrawCount();
    standard.Frame(static_cast<uint32_t>(elapsedMs));
    gizmoDraws.EndFrame(renderer);
    const CSceneSystem::PassCounts& c = scene->passCounts;
    std::fprintf(out,
                 "frame %d: draws main %u, blend %u, post %u, in mirrors %u; mirrors %u; objects sorted %u, "
                 "hidden %u; light slots lent %u; renderer draws %zu\n",
                 frame, c.mainDraws, c.blendDraws, c.postDraws, c.mirrorDraws, c.mirrors, c.sorted, c.hidden,
                 c.lightsLent, renderer.DrawCount() - firstDraw);
    // The characters' name plates are the texts drawn in a font.
    for (const host::TextRecord& t : renderer.FrameTexts()) {
      if (t.font >= 0)
        std::fprintf(out, "frame %d: name plate \"%s\" in font \"%s\" at %d,%d depth %.3f\n", frame, t.text.c_str(),
                     renderer.FontName(t.font).c_str(), t.x, t.y, t.z);
    }
    if (draw.gizmo) {
      // The flags draw in their own vertex format; a projection draws with a projected texture
      // transform on stage 0.
      size_t flagDraws = 0, projectedDraws = 0;
      for (const host::DrawRecord& d : renderer.FrameDraws()) {
        if (d.fvf == kFlagVertexFormat) ++flagDraws;
        if (d.state->StageState(0, D3DTSS_TEXTURETRANSFORMFLAGS) & D3DTTFF_PROJECTED) ++projectedDraws;
      }
      std::fprintf(out, "frame %d: flag draws %zu, projected-texture draws %zu\n", frame, flagDraws, projectedDraws);
    }
    if (frame == options.trace) {
      const std::span<const host::RendererLogEntry> calls = renderer.FrameCalls();
      std::fprintf(out, "== trace of frame %d: %zu calls ==\n", frame, calls.size());
      for (const host::RendererLogEntry& call : calls) std::fprintf(out, "%s\n", call.Text().c_str());
      std::fprintf(out, "== end of trace ==\n");
    }
  }

  if (WritePicture(draw.raster, renderer, out, err) != 0) return finish(1);
  if (draw.gizmo) std::fprintf(out, "%s\n", gizmoDraws.Line(*draw.gizmo).c_str());
  PrintReport(out, standard, scene);
  if (options.ground) {
    const cli::GroundPoint& g = *options.ground;
    D3DXVECTOR3 position(g.x, 0.0f, g.z);
    if (scene->GetGroundHeight(&position, 0) == 0)
      std::fprintf(out, "ground at %.2f,%.2f: height %.3f\n", g.x, g.z, position.y);
    else
      std::fprintf(out, "ground at %.2f,%.2f: no ground\n", g.x, g.z);
  }
  if (options.pick) {
    const cli::Pixel& p = *options.pick;
    ScenePick pick{};
    if (scene->PickScenePoint(&pick, p.x, p.y, 0))
      std::fprintf(out, "pick at %d,%d: %.3f,%.3f,%.3f%s\n", p.x, p.y, pick.x, pick.y, pick.z,
                   pick.object != nullptr ? " (a scene object)" : "");
    else
      std::fprintf(out, "pick at %d,%d: nothing\n", p.x, p.y);
  }

  scene->UnloadSceneThunk();
  std::fprintf(out, "== unloaded ==\n");
  std::fprintf(out, "records: %zu, scene objects: %u, scene id %d\n", scene->modelRecords.size(),
               scene->GetSceneObjectCount(), scene->GetCurrentSceneId());
  std::fprintf(out, "== host log ==\n");
  cli::PrintLog(out, host.LogLines());
  return finish(0);
}

}  // namespace footlight
