#include "apps/footlight/record_command.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "apps/footlight/command_support.h"
#include "apps/footlight/play_command.h"
#include "frame/component_base.h"
#include "host/renderable.h"
#include "host/standard_host.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "playback/movie_data.h"
#include "playback/recording_scene_base_obj.h"
#include "playback/recording_scene_system.h"
#include "win32/win32.h"

namespace {

struct RecordOptions {
  std::string out;
  std::string resource = ".";
  std::string script;
  int scene = 0;
  int frames = 0;
  int elapsed = 16;
};

bool Whole(const std::string& text, long low, long* out) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno != 0 || n < low || n > INT_MAX) return false;
  *out = n;
  return true;
}

// ---- The script ----------------------------------------------------------------------------------


bool Number(const std::string& text, float* out) {
  char* end = nullptr;
  const float v = std::strtof(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

// The rest of a line after `count` words, without its leading blanks.
std::string Rest(const std::string& line, int count) {
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    at = line.find_first_not_of(" \t", at);
    at = line.find_first_of(" \t", at);
    if (at == std::string::npos) return std::string();
  }
  at = line.find_first_not_of(" \t", at);
  return at == std::string::npos ? std::string() : line.substr(at);
}

// One script line into an action; false with the reason. `objects` counts the object lines so
// far, `gone` marks the objects a destroy or an unload took.
bool ParseLine(const std::string& line, int number, int frames, std::vector<bool>* gone, RecordAction* a,
               std::string* why) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;) w.push_back(word);
  a->line = number;
  if (w.size() < 2 || !Whole(w[0], 0, &a->frame)) {
    *why = "a line starts with its frame and an action";
    return false;
  }
  if (a->frame >= frames) {
    *why = "frame " + w[0] + " is past the last frame " + std::to_string(frames - 1);
    return false;
  }
  a->verb = w[1];
  const auto words = [&](size_t n) {
    if (w.size() == n) return true;
    *why = a->verb + " takes " + std::to_string(n - 2) + " values";
    return false;
  };
  const auto object = [&](const std::string& k) {
    long n = 0;
    if (!Whole(k, 1, &n) || n > static_cast<long>(gone->size())) {
      *why = "no object " + k + " (objects are numbered from 1 by their object lines)";
      return false;
    }
    if ((*gone)[static_cast<size_t>(n - 1)]) {
      *why = "object " + k + " has left the scene";
      return false;
    }
    a->object = static_cast<int>(n);
    return true;
  };
  const auto point = [&](size_t at) {
    if (Number(w[at], &a->x) && Number(w[at + 1], &a->z)) return true;
    *why = "X and Z are numbers";
    return false;
  };
  const std::string& v = a->verb;
  if (v == "object") {
    if (!words(5)) return false;
    if (!Whole(w[2], 0, &a->id)) {
      *why = "ID is an object file number";
      return false;
    }
    if (!point(3)) return false;
    gone->push_back(false);
    a->object = static_cast<int>(gone->size());
    return true;
  }
  if (v == "walk") return words(5) && object(w[2]) && point(3);
  if (v == "title") {
    if (w.size() < 3) {
      *why = "title takes K and TEXT";
      return false;
    }
    if (!object(w[2])) return false;
    a->text = Rest(line, 3);
    return true;
  }
  if (v == "effect") {
    if (!words(7) || !object(w[2])) return false;
    a->text = w[3];
    a->text2 = w[4];
    if (!Whole(w[5], 0, &a->ms) || !(Whole(w[6], 0, &a->mode) || w[6] == "-1")) {
      *why = "MS is a whole number from 0 and MODE one from -1";
      return false;
    }
    if (w[6] == "-1") a->mode = -1;
    return true;
  }
  if (v == "param") {
    if (!words(5) || !object(w[2])) return false;
    a->text = w[3];
    a->text2 = w[4];
    return true;
  }
  if (v == "light") {
    if (!words(4)) return false;
    if (w[3] != "on" && w[3] != "off") {
      *why = "a light is switched on or off";
      return false;
    }
    a->text = w[2];
    a->on = w[3] == "on";
    return true;
  }
  if (v == "state") {
    a->text = Rest(line, 2);
    return true;
  }
  if (v == "destroy") {
    if (!words(3) || !object(w[2])) return false;
    (*gone)[static_cast<size_t>(a->object - 1)] = true;
    return true;
  }
  if (v == "unload") {
    if (!words(2)) return false;
    std::fill(gone->begin(), gone->end(), true);
    return true;
  }
  if (v == "load") {
    if (!words(3)) return false;
    if (!Whole(w[2], 0, &a->id)) {
      *why = "N is a scene number";
      return false;
    }
    return true;
  }
  *why = "unknown action \"" + v + "\"";
  return false;
}

}  // namespace

bool ReadRecordScript(std::istream& in, const std::string& path, int frames, std::vector<RecordAction>* actions,
                      std::string* error) {
  std::vector<bool> gone;
  int number = 0;
  long last = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    RecordAction a;
    std::string why;
    if (!ParseLine(line, number, frames, &gone, &a, &why)) {
      *error = path + " line " + std::to_string(number) + ": " + why;
      return false;
    }
    if (a.frame < last) {
      *error = path + " line " + std::to_string(number) + ": frame " + std::to_string(a.frame) +
               " comes before frame " + std::to_string(last);
      return false;
    }
    last = a.frame;
    actions->push_back(a);
  }
  return true;
}

namespace {

bool ReadScript(const std::string& path, int frames, std::vector<RecordAction>* actions, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!footlight::cli::ReadPlain(path, "script", kRecordScriptMaxBytes, &bytes, error)) return false;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  return ReadRecordScript(in, path, frames, actions, error);
}

// ---- Recording -----------------------------------------------------------------------------------

// The heading of a walk from (x, z) towards (toX, toZ), in [0, 2pi).
float Heading(float dx, float dz) {
  if (dx == 0.0f && dz == 0.0f) return 0.0f;
  const float h = std::atan2(dx, dz);
  return h < 0.0f ? h + 6.2831853f : h;
}

// Key of script object K in the scene.
void KeyOf(int k, uint32_t key[2]) {
  key[0] = static_cast<uint32_t>(k);
  key[1] = 0x5C12u;
}

class Recording {
 public:
  Recording(host::ReferenceHost& host, Playback::SceneSystem* scene) : host_(host), scene_(scene) {}

  // One action; false with the reason when the scene refused it.
  bool Apply(const RecordAction& a, std::string* why) {
    const std::string& v = a.verb;
    if (v == "load") {
      if (scene_->LoadScene(static_cast<uint32_t>(a.id)) != 0) return true;
      *why = "scene " + std::to_string(a.id) + " does not load";
      return false;
    }
    if (v == "unload") {
      scene_->UnloadSceneThunk();
      return true;
    }
    if (v == "state") {
      scene_->SetStateString(a.text.c_str(), 1, 0);
      return true;
    }
    if (v == "light") {
      CLightingSystem* lighting = scene_->GetLightingSystem();
      CLight* light = lighting != nullptr ? lighting->GetLightByName(a.text.c_str()) : nullptr;
      if (light == nullptr) {
        *why = "no light " + a.text + " in the scene";
        return false;
      }
      light->SetActive(a.on, 0);
      return true;
    }
    uint32_t key[2];
    KeyOf(a.object, key);
    if (v == "object") {
      CSceneBaseObj* object = scene_->CreateSceneObject(key);
      if (object == nullptr || !object->LoadFromIni(static_cast<uint32_t>(a.id), 1, 0, 0.0f)) {
        *why = "object file " + std::to_string(a.id) + " does not load";
        return false;
      }
      object->SetTag(0);
      const D3DXVECTOR3 where(a.x, 0.0f, a.z);
      object->SetPositionAction(&where, 0.0f, kScriptArrivalAction);
      return true;
    }
    if (v == "destroy") {
      scene_->DestroySceneObject(key);
      return true;
    }
    CSceneBaseObj* object = scene_->FindSceneObjectById(key);
    if (object == nullptr) {
      *why = "object " + std::to_string(a.object) + " is not in the scene";
      return false;
    }
    if (v == "walk") {
      D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
      float yaw = 0.0f;
      object->GetPosition(&at, &yaw);
      // The recording scene system makes its objects of the recording class.
      static_cast<Playback::SceneBaseObj*>(object)->MoveToRecorded(a.x, a.z, Heading(a.x - at.x, a.z - at.z), kScriptMoveSpeed, kScriptTurnSpeed,
                                kScriptWalkAction, kScriptArrivalAction);
      return true;
    }
    if (v == "title") {
      const std::wstring text = footlight::cli::Wide(a.text);
      object->SetTitle(text.c_str(), 0, 12, 1);
      return true;
    }
    if (v == "effect") {
      if (!object->PlayEffect(a.text.c_str(), a.text2.c_str(), static_cast<int32_t>(a.ms), static_cast<int32_t>(a.mode)))
        std::printf("frame %ld: the effect %s of object %d did not start\n", a.frame, a.text.c_str(), a.object);
      return true;
    }
    // param
    auto* renderable = static_cast<host::RenderableObject*>(
        static_cast<IRenderableObject*>(host_.GetObject(object->GetHandle())));
    if (renderable == nullptr || !renderable->SetParameter(a.text.c_str(), a.text2.c_str())) {
      *why = "object " + std::to_string(a.object) + " has no model whose parameters could change";
      return false;
    }
    return true;
  }

 private:
  host::ReferenceHost& host_;
  Playback::SceneSystem* scene_;
};

int Record(host::ReferenceHost& host, Playback::SceneSystem* scene, const std::vector<RecordAction>& actions,
           const RecordOptions& o) {
  if (scene->LoadScene(static_cast<uint32_t>(o.scene)) == 0) {
    std::fprintf(stderr, "footlight: %s\n", footlight::SceneLoadError(static_cast<int>(o.scene)).c_str());
    return 1;
  }
  Playback::Recorder* recorder = scene->StartRecording();
  Recording recording(host, scene);
  auto next = actions.begin();
  for (int frame = 0; frame < o.frames; ++frame) {
    for (; next != actions.end() && next->frame == frame; ++next) {
      std::string why;
      if (!recording.Apply(*next, &why)) {
        std::fprintf(stderr, "footlight: %s line %d (frame %d): %s\n", o.script.c_str(), next->line, frame,
                     why.c_str());
        scene->StopRecording(recorder);
        return 1;
      }
    }
    host.Execute(static_cast<uint32_t>(o.elapsed));
  }
  Playback::MovieDataPtr movie;
  recorder->GetMovie(&movie);
  scene->StopRecording(recorder);
  std::printf("recorded scene %d: %d frames of %d ms\n", o.scene, o.frames, o.elapsed);
  std::printf("scene events: %zu\n", movie->sceneEvents.size());
  for (const auto& [time, event] : movie->sceneEvents)
    std::printf("  %8d  %s\n", time, DescribeMovieEvent(*event).c_str());
  std::printf("tracks: %zu\n", movie->tracks.size());
  for (const auto& [id, track] : movie->tracks) std::printf("  track %u: %zu events\n", id, track->size());
  std::printf("duration: %d ms\n", movie->sceneEvents.empty() ? 0 : movie->sceneEvents.back().first);
  if (!scene->SaveMovie(movie, &o.out)) {
    std::fprintf(stderr, "footlight: cannot save the movie %s below %s\n", o.out.c_str(), o.resource.c_str());
    return 1;
  }
  footlight::cli::Wrote(footlight::cli::OnDisk(o.resource, o.out));
  return 0;
}

}  // namespace

namespace {

int RunRecord(const RecordOptions& o, DMAInterfaceFn entry) {
  std::vector<RecordAction> actions;
  std::string error;
  if (!o.script.empty() && !ReadScript(o.script, o.frames, &actions, &error)) {
    std::fprintf(stderr, "footlight: %s\n", error.c_str());
    return 1;
  }
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  auto* scene = static_cast<Playback::SceneSystem*>(footlight::MakeSceneSystem(host, entry, "SceneSystem"));
  if (scene == nullptr) return 1;
  const int status = Record(host, scene, actions, o);
  host.DestroyAll();
  const size_t live = host.Allocator().LiveBlocks();
  std::printf("live host blocks: %zu\n", live);
  return status != 0 ? status : (live == 0 ? 0 : 1);
}

}  // namespace

namespace footlight {

void AddRecordCommand(cli::Program& program) {
  auto* o = program.Keep<RecordOptions>();
  CLI::App* cmd = program.Command("record", "record a scene while a script acts on it and save the movie",
                                  [o](const cli::Context& context) { return RunRecord(*o, context.entry); });
  cli::ResourcePath(cmd, "OUT", &o->out, "the movie to write")->required();
  cli::Whole(cmd, "--scene", &o->scene, 0, INT_MAX, "the scene to load")->required();
  cli::Whole(cmd, "--frames", &o->frames, 0, INT_MAX, "frames to record")->required();
  cli::Whole(cmd, "--elapsed", &o->elapsed, 0, INT_MAX, "milliseconds a frame (default 16)")->type_name("MS");
  cli::PlainPath(cmd, "--script", &o->script, "the script of timed actions (see docs/formats/record-script.md)");
  cli::ResourceRoot(cmd, &o->resource);
  program.Check(cmd, [o] {
    if (std::string line; !cli::Writable(o->resource, o->out, &line)) return line;
    // The movie's clock is a signed 32-bit count of milliseconds.
    const int64_t span = int64_t{o->frames} * o->elapsed;
    if (span <= INT32_MAX) return std::string();
    return "--frames " + std::to_string(o->frames) + " x --elapsed " + std::to_string(o->elapsed) + " is " +
           std::to_string(span) + " ms, past the movie clock's " + std::to_string(INT32_MAX) + " ms";
  });
}

}  // namespace footlight
