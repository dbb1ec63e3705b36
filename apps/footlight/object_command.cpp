#include "apps/footlight/object_command.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "apps/footlight/command_support.h"
#include "apps/footlight/object_walk.h"
#include "frame/component_base.h"
#include "host/generic_object.h"
#include "host/renderable.h"
#include "host/standard_host.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"

const char* const kObjectUsage =
    "  object ID [--resource DIR] [--wait] [--second ID] [--frames K]\n"
    "                               load scene object ID (resource\\ini\\objects\\ID.ini below\n"
    "                               DIR), waiting for its model with --wait, and a second model\n"
    "                               (of the object's own ID once it has one); run up to K\n"
    "                               frames (10) until the model is complete;\n"
    "                               print what was loaded and the messages to the renderables\n";

namespace {

struct ObjectOptions {
  long id = -1;
  bool wait = false;
  long second = -1;
  int frames = 10;
  std::string resource = ".";
  bool framesGiven = false;
  ObjectWalkOptions stage;
};

bool Whole(const std::string& option, const std::string& text, long high, long* out, std::string* error) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || n < 0 || n > high) {
    *error = option + " takes a whole number from 0 to " + std::to_string(high) + ", got \"" + text + "\"";
    return false;
  }
  *out = n;
  return true;
}

bool Parse(const std::vector<std::string>& args, ObjectOptions* o, std::string* error) {
  std::string id;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--wait") {
      o->wait = true;
    } else if (a == "--resource" || a == "--second" || a == "--frames") {
      if (i + 1 >= args.size()) {
        *error = "option " + a + " needs a value";
        return false;
      }
      const std::string& v = args[++i];
      long n = 0;
      if (a == "--resource") {
        o->resource = v;
      } else if (a == "--second") {
        if (!Whole("option --second", v, INT_MAX, &o->second, error)) return false;
      } else {
        if (!Whole("option --frames", v, 100000, &n, error)) return false;
        o->frames = static_cast<int>(n);
        o->framesGiven = true;
      }
    } else if (TakeObjectWalkOption(args, &i, &o->stage, error)) {
      continue;
    } else if (!error->empty() || !footlight::TakePositional(a, "object", "ID", &id, error)) {
      return false;
    }
  }
  if (id.empty()) {
    *error = "object needs an object ID (see footlight object --help)";
    return false;
  }
  if (!Whole("the object ID", id, INT_MAX, &o->id, error) || !CheckObjectWalkOptions(o->stage, error)) return false;
  return footlight::CheckResourceRoot(o->resource, error);
}

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

int RunObjectCommand(const std::vector<std::string>& args, DMAInterfaceFn entry) {
  ObjectOptions o;
  const std::string usage = std::string(kObjectUsage) + kObjectWalkUsage;
  if (const int status = footlight::TakeOptions(args, "usage: footlight\n", usage.c_str(), Parse, &o); status >= 0) return status;
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  auto effects = std::make_shared<host::RecordingClass>("effect");
  host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
  auto finish = [&](int status) {
    host.DestroyAll();
    const size_t left = host.Allocator().LiveBlocks();
    std::printf("live host blocks: %zu\n", left);
    return left == 0 ? status : 1;
  };
  CSceneSystem* scene = footlight::MakeSceneSystem(host, entry);
  if (scene == nullptr || !LoadObjectStage(scene, o.stage)) return finish(1);
  ComponentHandle handle{};
  host.CreateObject(&handle, "CSceneBaseObj");
  auto* object = static_cast<CSceneBaseObj*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
  if (object == nullptr) {
    std::fprintf(stderr, "footlight: no scene object could be made\n");
    return finish(1);
  }
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
    // The renderable's own line says why.
    std::string why = "its object file did not open";
    for (const auto& line : host.LogLines())
      if (line.rfind("[Renderable] ", 0) == 0) why = line.substr(13);
    std::fprintf(stderr, "footlight: object %ld did not load: %s\n", o.id, why.c_str());
    status = 1;
  } else if (object->waitingForModel) {
    std::fprintf(stderr, "footlight: object %ld was not complete after %d frames\n", o.id, frames);
    status = 1;
  } else if (!secondLoaded) {
    std::fprintf(stderr, "footlight: the second model %ld did not load\n", o.second);
    status = 1;
  }
  if (status == 0 && o.stage.scene >= 0) status = RunObjectWalk(standard, scene, object, o.stage, o.framesGiven ? o.frames : -1);
  return finish(status);
}
