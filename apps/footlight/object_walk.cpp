#include "apps/footlight/command_support.h"
#include "apps/footlight/object_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "host/renderable.h"
#include "math/angles.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"

namespace {

constexpr uint32_t kFrameMs = 100;
constexpr int kWalkFrames = 1000;
constexpr int kStandFrames = 10;

std::string WaypointOf(CSceneBaseObj* object) {
  if (object->currentWaypoint == object->path.waypoints.end()) return "-";
  const auto index = std::distance(object->path.waypoints.begin(), object->currentWaypoint);
  return std::to_string(index + 1) + "/" + std::to_string(object->path.waypoints.size());
}

std::string Value(const host::RecordedArg& a) {
  char text[96];
  switch (a.letter) {
    case 'l': return std::to_string(a.l);
    case 's': return a.null ? "NULL" : "\"" + a.s + "\"";
    case 'p': return a.null ? "NULL" : "ptr";
    case 'i': return "handle";
    case 'c': std::snprintf(text, sizeof text, "(%.3f,%.3f,%.3f)", a.c[0], a.c[1], a.c[2]); return text;
    case 'f': std::snprintf(text, sizeof text, "%.10g", a.f); return text;
    default: return "?";
  }
}

void PrintFrame(int frame, CSceneBaseObj* o) {
  const char* animation = o->GetAnimationName();
  std::printf("frame %4d  pos %7.3f,%7.3f,%7.3f  yaw %6.3f  %s  waypoint %-5s  animation %s\n", frame, o->position.x,
              o->position.y, o->position.z, o->yaw, o->moving ? "moving " : "placed ", WaypointOf(o).c_str(),
              animation != nullptr && animation[0] != '\0' ? animation : "-");
}

}  // namespace

bool ObjectWalkOptions::Any() const {
  return at || walkTo || pathTo || !play.empty() || sequence || !events.empty();
}

void DeclareObjectWalkOptions(CLI::App* cmd, ObjectWalkOptions* o) {
  using namespace footlight;
  cli::Value(cmd, "--at", &o->at, "stand the object at X,Z (default 0,0)");
  cli::Value(cmd, "--walk", &o->walkTo, "walk it straight to X,Z with MoveTo (1 unit/s)");
  cli::Value(cmd, "--path", &o->pathTo, "walk it along the scene's route to X,Z");
  cmd->add_option("--play", o->play, "play this animation")->type_name("NAME");
  cli::Custom<std::vector<std::string>>(
      cmd, "--sequence", &o->sequence, "A,B,..", "at most 8 names separated by commas",
      [](const std::string& text, std::vector<std::string>* names) {
        *names = cli::SplitCommas(text);
        const auto empty = [](const std::string& name) { return name.empty(); };
        return names->size() <= 8 && std::none_of(names->begin(), names->end(), empty);
      },
      "play these animations one after another");
  cmd->add_option("--event", o->events, "hand it this text event as its renderable would (again for more)")
      ->type_name("TEXT")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
}

std::string CheckObjectWalkOptions(const ObjectWalkOptions& o) {
  if (o.scene < 0 && o.Any()) return "--at, --walk, --path, --play, --sequence and --event need --scene N";
  if (o.walkTo && o.pathTo) return "give one of --walk and --path";
  return "";
}

bool LoadObjectStage(CSceneSystem* scene, const ObjectWalkOptions& o) {
  if (o.scene < 0) return true;
  if (scene != nullptr && scene->LoadScene(static_cast<uint32_t>(o.scene))) return true;
  std::fprintf(stderr, "footlight: %s\n", footlight::SceneLoadError(static_cast<int>(o.scene)).c_str());
  return false;
}

ObjectWalk StartObjectWalk(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object,
                           const ObjectWalkOptions& o, int frames) {
  host::ReferenceHost& host = standard.host;
  ObjectWalk run;
  run.host = &host;
  run.messagesSeen = host.MessagesSent();
  // However long the walk, the host holds two frames of messages; the walk keeps what it prints.
  host.KeepAllMessages(false);
  object->RegisterAnimationEvents();
  const D3DXVECTOR3 at(o.at ? o.at->x : 0.0f, 0.0f, o.at ? o.at->z : 0.0f);
  object->SetPositionAction(&at, 0.0f, 0);
  std::printf("placed at %.3f,%.3f,%.3f\n", object->position.x, object->position.y, object->position.z);

  if (!o.play.empty())
    std::printf("play %s: %s\n", o.play.c_str(),
                object->PlayAnimationRequest(o.play.c_str(), 1, 1.0f, 0, 0.0f, 0.0f, 0.0f, 1) ? "started" : "unknown");
  if (o.sequence) {
    std::vector<const char*> names;
    for (const std::string& s : *o.sequence) names.push_back(s.c_str());
    object->PlayAnimationSequence(names.data(), static_cast<int32_t>(names.size()), 1.0f, 0, 0.0f, 0.0f, 0.0f);
    std::printf("sequence of %zu: first %s\n", names.size(), names[0]);
  }
  // Text events reach the object as the renderable hands them over, through the callback the
  // object registered.
  auto* renderable = static_cast<host::RenderableObject*>(static_cast<IRenderableObject*>(host.GetObject(object->GetHandle())));
  for (const std::string& e : o.events) {
    if (renderable == nullptr || renderable->face.textEventCallback == nullptr) break;
    renderable->face.textEventCallback(renderable->face.textEventContext, &renderable->animator.Handed(), 0, e.c_str());
    std::printf("event \"%s\"\n", e.c_str());
  }

  bool walking = false;
  if (o.walkTo) {
    const float dx = o.walkTo->x - object->position.x, dz = o.walkTo->z - object->position.z;
    const float heading = dx == 0.0f && dz == 0.0f ? 0.0f : std::atan2(dx, dz);
    object->MoveTo(o.walkTo->x, o.walkTo->z, heading, 1.0f, kTwoPi, 3, 0, 0.0f);
    std::printf("walk to %.3f,%.3f\n", o.walkTo->x, o.walkTo->z);
    walking = true;
  } else if (o.pathTo) {
    const D3DXVECTOR3 to(o.pathTo->x, object->position.y, o.pathTo->z);
    const D3DXVECTOR3 from = object->position;
    if (scene->FindPath(object, nullptr, 0, &from, &to) && !object->path.waypoints.empty()) {
      std::printf("route of %zu waypoints:", object->path.waypoints.size());
      for (const NavWaypoint& w : object->path.waypoints) std::printf(" %.3f,%.3f,%.3f", w.point.x, w.point.y, w.point.z);
      std::printf("\n");
      walking = true;
    } else {
      std::printf("no route to %.3f,%.3f\n", o.pathTo->x, o.pathTo->z);
    }
  }

  run.walking = walking;
  run.limit = frames >= 0 ? frames : (walking ? kWalkFrames : kStandFrames);
  return run;
}

namespace {

// Takes the messages to the effect, sound and shader objects sent since it last ran.
void TakeMessages(ObjectWalk& run) {
  const auto messages = run.host->Messages();
  const size_t sent = run.host->MessagesSent();
  const size_t fresh = std::min(sent - run.messagesSeen, messages.size());
  run.messagesSeen = sent;
  for (auto m = messages.end() - static_cast<std::ptrdiff_t>(fresh); m != messages.end(); ++m)
    if (m->targetClass == "ActiveEffect" || m->targetClass == "Sound" || m->targetClass == "ShaderDrawMain")
      run.sent.push_back(*m);
}

}  // namespace

bool ObjectWalkFrame(ObjectWalk& run, CSceneBaseObj* object, int frame) {
  TakeMessages(run);
  PrintFrame(frame, object);
  if (run.walking && object->moving == 0 && object->path.waypoints.empty()) {
    std::printf("arrived after %d frames\n", frame);
    run.walking = false;
    run.arrived = true;
    return false;
  }
  return true;
}

void FinishObjectWalk(ObjectWalk& run, int framesRun) {
  TakeMessages(run);
  if (run.walking) std::printf("still walking after %d frames\n", framesRun);
  std::printf("== messages to effects, sounds and shaders ==\n");
  for (const host::RecordedMessage& m : run.sent) {
    std::printf("%s %d \"%s\"", m.targetClass.c_str(), m.id, m.signature.c_str());
    for (const host::RecordedArg& a : m.args) std::printf(" %s", Value(a).c_str());
    std::printf(" -> %d\n", m.result);
  }
  for (const std::string& line : run.host->LogLines())
    if (line.rfind("[Warnning]", 0) == 0 || line.rfind("Warning : ProcessAnimationEvent", 0) == 0)
      std::printf("log: %s\n", line.c_str());
}

int RunObjectWalk(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object, const ObjectWalkOptions& o,
                  int frames) {
  ObjectWalk run = StartObjectWalk(standard, scene, object, o, frames);
  int frame = 1;
  for (; frame <= run.limit; ++frame) {
    standard.Frame(kFrameMs);
    object->Execute(kFrameMs);
    object->ForwardToRenderable(kFrameMs);
    if (!ObjectWalkFrame(run, object, frame)) break;
  }
  FinishObjectWalk(run, run.arrived ? frame : run.limit);
  return 0;
}
