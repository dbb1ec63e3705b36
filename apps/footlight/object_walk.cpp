#include "apps/footlight/object_walk.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "host/renderable.h"
#include "math/angles.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"

const char* const kObjectWalkUsage =
    "      [--scene N [--at X,Z] [--walk X,Z | --path X,Z] [--play NAME] [--sequence A,B,..]\n"
    "       [--event TEXT]...]\n"
    "                               load scene N first and place the object on its stage at X,Z\n"
    "                               (default 0,0); walk it straight to X,Z or along the scene's\n"
    "                               route there (1 unit/s), play an animation or a sequence, hand\n"
    "                               it text events (\"effect,spark\", \"sound,step\", ...); run\n"
    "                               frames of 100 ms until the walk ends (at most K, default 10\n"
    "                               without a walk and 1000 with one) and print each frame's\n"
    "                               position, yaw, walk, waypoint and animation, then the messages\n"
    "                               to the effect, sound and shader objects and the live effects\n";

namespace {

constexpr uint32_t kFrameMs = 100;
constexpr int kWalkFrames = 1000;
constexpr int kStandFrames = 10;

bool ParsePair(const std::string& text, float* x, float* z) {
  const char* p = text.c_str();
  char* end = nullptr;
  const float a = std::strtof(p, &end);
  if (end == p || *end != ',' || !std::isfinite(a)) return false;
  p = end + 1;
  const float b = std::strtof(p, &end);
  if (end == p || *end != '\0' || !std::isfinite(b)) return false;
  *x = a;
  *z = b;
  return true;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

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
  return at || walk != Walk::None || !play.empty() || !sequence.empty() || !events.empty();
}

bool TakeObjectWalkOption(const std::vector<std::string>& args, size_t* i, ObjectWalkOptions* o, std::string* error) {
  error->clear();
  const std::string& a = args[*i];
  if (a != "--scene" && a != "--at" && a != "--walk" && a != "--path" && a != "--play" && a != "--sequence" &&
      a != "--event")
    return false;
  if (*i + 1 >= args.size()) {
    *error = "option " + a + " needs a value";
    return false;
  }
  const std::string& v = args[++*i];
  if (a == "--scene") {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || errno != 0 || n < 0 || n > INT_MAX) {
      *error = "option --scene takes a scene number from 0 to " + std::to_string(INT_MAX) + ", got \"" + v + "\"";
      return false;
    }
    o->scene = n;
  } else if (a == "--at") {
    if (!ParsePair(v, &o->atX, &o->atZ)) {
      *error = "option --at takes X,Z, got \"" + v + "\"";
      return false;
    }
    o->at = true;
  } else if (a == "--walk" || a == "--path") {
    if (o->walk != ObjectWalkOptions::Walk::None) {
      *error = "give one of --walk and --path, once";
      return false;
    }
    if (!ParsePair(v, &o->toX, &o->toZ)) {
      *error = "option " + a + " takes X,Z, got \"" + v + "\"";
      return false;
    }
    o->walk = a == "--walk" ? ObjectWalkOptions::Walk::Straight : ObjectWalkOptions::Walk::Path;
  } else if (a == "--play") {
    if (v.empty()) {
      *error = "option --play needs an animation name";
      return false;
    }
    o->play = v;
  } else if (a == "--sequence") {
    o->sequence = Split(v);
    for (const std::string& name : o->sequence)
      if (name.empty()) {
        *error = "option --sequence takes names separated by commas, got \"" + v + "\"";
        return false;
      }
    if (o->sequence.size() > 8) {
      *error = "option --sequence takes at most 8 names";
      return false;
    }
  } else {
    o->events.push_back(v);
  }
  return true;
}

bool CheckObjectWalkOptions(const ObjectWalkOptions& o, std::string* error) {
  if (o.scene < 0 && o.Any()) {
    *error = "--at, --walk, --path, --play, --sequence and --event need --scene N";
    return false;
  }
  return true;
}

bool LoadObjectStage(CSceneSystem* scene, const ObjectWalkOptions& o) {
  if (o.scene < 0) return true;
  if (scene != nullptr && scene->LoadScene(static_cast<uint32_t>(o.scene))) return true;
  std::fprintf(stderr, "footlight: scene %ld did not load\n", o.scene);
  return false;
}

int RunObjectWalk(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object, const ObjectWalkOptions& o,
                  int frames) {
  host::ReferenceHost& host = standard.host;
  const size_t firstMessage = host.Messages().size();
  object->RegisterAnimationEvents();
  const D3DXVECTOR3 at(o.atX, 0.0f, o.atZ);
  object->SetPositionAction(&at, 0.0f, 0);
  std::printf("placed at %.3f,%.3f,%.3f\n", object->position.x, object->position.y, object->position.z);

  if (!o.play.empty())
    std::printf("play %s: %s\n", o.play.c_str(),
                object->PlayAnimationRequest(o.play.c_str(), 1, 1.0f, 0, 0.0f, 0.0f, 0.0f, 1) ? "started" : "unknown");
  if (!o.sequence.empty()) {
    std::vector<const char*> names;
    for (const std::string& s : o.sequence) names.push_back(s.c_str());
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
  if (o.walk == ObjectWalkOptions::Walk::Straight) {
    const float dx = o.toX - object->position.x, dz = o.toZ - object->position.z;
    const float heading = dx == 0.0f && dz == 0.0f ? 0.0f : std::atan2(dx, dz);
    object->MoveTo(o.toX, o.toZ, heading, 1.0f, kTwoPi, 3, 0, 0.0f);
    std::printf("walk to %.3f,%.3f\n", o.toX, o.toZ);
    walking = true;
  } else if (o.walk == ObjectWalkOptions::Walk::Path) {
    const D3DXVECTOR3 to(o.toX, object->position.y, o.toZ);
    const D3DXVECTOR3 from = object->position;
    if (scene->FindPath(object, nullptr, 0, &from, &to) && !object->path.waypoints.empty()) {
      std::printf("route of %zu waypoints:", object->path.waypoints.size());
      for (const NavWaypoint& w : object->path.waypoints) std::printf(" %.3f,%.3f,%.3f", w.point.x, w.point.y, w.point.z);
      std::printf("\n");
      walking = true;
    } else {
      std::printf("no route to %.3f,%.3f\n", o.toX, o.toZ);
    }
  }

  const int limit = frames >= 0 ? frames : (walking ? kWalkFrames : kStandFrames);
  for (int frame = 1; frame <= limit; ++frame) {
    standard.Frame(kFrameMs);
    object->Execute(kFrameMs);
    object->ForwardToRenderable(kFrameMs);
    PrintFrame(frame, object);
    if (walking && object->moving == 0 && object->path.waypoints.empty()) {
      std::printf("arrived after %d frames\n", frame);
      walking = false;
      break;
    }
  }
  if (walking) std::printf("still walking after %d frames\n", limit);

  std::printf("== messages to effects, sounds and shaders ==\n");
  const auto& messages = host.Messages();
  for (size_t i = firstMessage; i < messages.size(); ++i) {
    const host::RecordedMessage& m = messages[i];
    if (m.targetClass != "ActiveEffect" && m.targetClass != "Sound" && m.targetClass != "ShaderDrawMain") continue;
    std::printf("%s %d \"%s\"", m.targetClass.c_str(), m.id, m.signature.c_str());
    for (const host::RecordedArg& a : m.args) std::printf(" %s", Value(a).c_str());
    std::printf(" -> %d\n", m.result);
  }
  for (const std::string& line : host.LogLines())
    if (line.rfind("[Warnning]", 0) == 0 || line.rfind("Warning : ProcessAnimationEvent", 0) == 0)
      std::printf("log: %s\n", line.c_str());
  return 0;
}
