#include "apps/footlight/object_command.h"

#include <climits>
#include <cstdio>
#include <memory>

#include "apps/footlight/object_draw_options.h"
#include "apps/footlight/object_walk.h"
#include "apps/footlight/scene_session.h"
#include "frame/component_base.h"
#include "host/renderable.h"
#include "host/standard_host.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"

namespace {

struct ObjectOptions {
  long id = -1;
  bool wait = false;
  long second = -1;
  int frames = 10;
  std::string resource = ".";
  footlight::ObjectDrawOptions drawing;
  std::optional<int> framesGiven;
  ObjectWalkOptions stage;
};

host::RenderableObject* RenderableOf(host::ReferenceHost& host, const ComponentHandle* handle) {
  return static_cast<host::RenderableObject*>(static_cast<IRenderableObject*>(host.GetObject(handle)));
}

std::string Describe(const host::RecordedArg& a) {
  char text[96];
  switch (a.letter) {
    case 'l': return std::to_string(a.l);
    case 's': return a.null ? "NULL" : "\"" + a.s + "\"";
    case 'p': return a.null ? "NULL" : "out";
    case 'c':
      std::snprintf(text, sizeof text, "(%.3f,%.3f,%.3f)", a.c[0], a.c[1], a.c[2]);
      return text;
    case 'f':
      std::snprintf(text, sizeof text, "%.3f", a.f);
      return text;
    default: return "?";
  }
}

void PrintModel(const char* label, CSceneBaseObj* object, host::RenderableObject* r) {
  std::printf("%s: %s\n", label, r->path.c_str());
  if (!r->Loaded()) {
    std::printf("  not loaded\n");
    return;
  }
  std::printf("  completed: %s\n", r->IsComplete() ? ("on tick " + std::to_string(r->completedOnTick)).c_str() : "no");
  std::printf("  height: %.3f (object %.3f)\n", r->model.height, object->modelHeight);
  std::printf("  bones: %zu\n", r->model.bones.size());
  std::printf("  first part: %s\n", r->parts.empty() ? "none" : r->parts[0]->name.c_str());
  std::printf("  parameters:");
  if (r->parameters == nullptr || r->parameters->count == 0) std::printf(" none");
  for (uint32_t i = 0; r->parameters != nullptr && i < r->parameters->count; ++i) {
    const RenderableParameter* item = r->parameters->items[i];
    const char* key = r->parameters->keys->KeyName(item->keyId);
    std::printf(" %s=%s", key != nullptr ? key : "?", item->value != nullptr ? item->value : "");
  }
  std::printf("\n");
}

}  // namespace

namespace {

int RunObject(ObjectOptions o, DMAInterfaceFn entry) {
  // One stage serves the drawing and the walk.
  o.drawing.scene = o.stage.scene;
  if (o.framesGiven) o.frames = *o.framesGiven;
  host::RendererConfig config = o.drawing.picture.Config();
  // Without drawing options the command prints text only; nothing drawn would be looked at.
  config.rasterize = o.drawing.Wanted();
  footlight::SceneSession session(o.resource, entry, config);
  host::StandardHost& standard = session.standard();
  host::ReferenceHost& host = standard.host;
  // The messages to renderables are listed from the whole load, not only its last two frames.
  host.KeepAllMessages(true);
  auto finish = [&](int status) { return session.Close(status); };
  if (!session.Start()) return finish(1);
  CSceneSystem* scene = session.scene();
  if (!LoadObjectStage(scene, o.stage)) return finish(1);
  auto* object = session.Make<CSceneBaseObj>("CSceneBaseObj");
  if (object == nullptr) return finish(1);
  const bool loaded = object->LoadFromIni(static_cast<uint32_t>(o.id), 0, o.wait ? 1 : 0, 0.0f);
  std::printf("load %ld: %s%s\n", o.id, loaded ? "accepted" : "refused", loaded && o.wait ? ", waiting" : "");
  bool secondLoaded = true;
  if (loaded && o.second >= 0) {
    secondLoaded = object->LoadSecondModel(static_cast<uint32_t>(o.second), 0);
    std::printf("second model %ld: %s\n", o.second, secondLoaded ? "accepted" : "refused");
  }
  int frames = 0;
  while (loaded && object->waitingForModel && frames < o.frames) {
    standard.Frame(16);
    ++frames;
  }
  std::printf("frames run: %d\n", frames);
  host::RenderableObject* main = RenderableOf(host, object->GetHandle());
  if (main != nullptr) PrintModel("model", object, main);
  if (host::RenderableObject* second = RenderableOf(host, object->GetSecondHandle())) PrintModel("second model", object, second);
  if (loaded) {
    const int32_t head = object->headBoneIndex;
    if (head >= 0 && main != nullptr && static_cast<size_t>(head) < main->model.bones.size())
      std::printf("head bone: %d \"%s\" at %.3f,%.3f,%.3f\n", head, main->model.bones[static_cast<size_t>(head)].name.c_str(),
                  object->headBoneMatrix._41, object->headBoneMatrix._42, object->headBoneMatrix._43);
    else
      std::printf("head bone: none\n");
    std::printf("base model: %s\n", object->baseModel ? "yes" : "no");
    std::printf("after-image buffers: %d bytes each\n", object->bytesPerBuffer);
  }
  std::printf("== messages to renderables ==\n");
  for (const host::RecordedMessage& m : host.Messages()) {
    if (m.targetClass != "Renderable") continue;
    std::printf("%d \"%s\"", m.id, m.signature.c_str());
    for (const host::RecordedArg& a : m.args) std::printf(" %s", Describe(a).c_str());
    std::printf(" -> %d\n", m.result);
  }
  int status = 0;
  if (!loaded) {
    // A file that does not open is named as every command names one; otherwise the
    // renderable's own line says why.
    const std::string file = "resource\\ini\\objects\\" + std::to_string(o.id) + ".ini";
    std::string why;
    if (footlight::cli::Readable(o.resource, file, &why)) {
      why = "its object file " + file + " opened but the model was not made";
      for (const auto& line : host.LogLines())
        if (line.rfind("[Renderable] ", 0) == 0) why = line.substr(13);
    }
    std::fprintf(stderr, "footlight: object %ld did not load: %s\n", o.id, why.c_str());
    status = 1;
  } else if (object->waitingForModel) {
    std::fprintf(stderr, "footlight: object %ld was not complete after %d frames\n", o.id, frames);
    status = 1;
  } else if (!secondLoaded) {
    std::fprintf(stderr, "footlight: the second model %ld did not load\n", o.second);
    status = 1;
  } else if (o.drawing.Wanted() && o.stage.scene >= 0) {
    // Walking and drawing share the frames: the walk is printed after each update, then the
    // frame's draws.
    ObjectWalk walk = StartObjectWalk(standard, scene, object, o.stage, o.frames);
    int framesRun = 0;
    status = footlight::DrawObject(standard, scene, object, o.drawing, walk.limit, stdout, [&](int frame) {
      object->ForwardToRenderable(16);
      framesRun = frame;
      return ObjectWalkFrame(walk, object, frame);
    });
    FinishObjectWalk(walk, framesRun);
  } else if (o.drawing.Wanted()) {
    status = footlight::DrawObject(standard, scene, object, o.drawing, o.frames, stdout);
  } else if (o.stage.scene >= 0) {
    status = RunObjectWalk(standard, scene, object, o.stage, o.framesGiven ? o.frames : -1);
  }
  return finish(status);
}

}  // namespace

namespace footlight {

void AddObjectCommand(cli::Program& program) {
  auto* o = program.Keep<ObjectOptions>();
  CLI::App* cmd = program.Command(
      "object", "load a scene object's model; stand it in a scene to draw it or walk it",
      [o](const cli::Context& context) { return RunObject(*o, context.entry); });
  cli::Whole(cmd, "ID", &o->id, 0, INT_MAX, "the object file resource\\ini\\objects\\ID.ini")->required();
  cli::ResourceRoot(cmd, &o->resource);
  cmd->add_flag("--wait", o->wait, "load with the wait flag");
  cli::Whole(cmd, "--second", &o->second, 0, INT_MAX, "load a second model (of the object's own ID once it has one)")
      ->type_name("ID");
  cli::Whole(cmd, "--frames", &o->framesGiven, 0, 100000,
             "frames to run (default 10; with a walk 1000 at most, until it arrives)")
      ->type_name("K");
  cli::Whole(cmd, "--scene", &o->stage.scene, 0, INT_MAX, "load scene N first and stand the object on its stage");
  DeclareObjectDrawOptions(cmd, &o->drawing);
  DeclareObjectWalkOptions(cmd, &o->stage);
  program.Check(cmd, [o] {
    if (std::string line = CheckObjectWalkOptions(o->stage); !line.empty()) return line;
    if (std::string line = footlight::CheckObjectDrawOptions(o->drawing); !line.empty()) return line;
    // Only a stage places the view: the picture of an object alone would be black.
    if (!o->drawing.picture.png.empty() && o->stage.scene < 0)
      return std::string("--png needs --scene N: without a stage there is no view to draw");
    return std::string();
  });
}

}  // namespace footlight
