#include "apps/footlight/play_command.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "apps/footlight/command_support.h"
#include "frame/component_base.h"
#include "host/standard_host.h"
#include "playback/movie_data.h"
#include "playback/recording_scene_system.h"
#include "win32/win32.h"

namespace {

struct PlayOptions {
  std::string movie;
  std::string resource = ".";
  float speed = 1.0f;
  int elapsed = 16;
  int frames = -1;  // -1: until the movie ends
  bool list = false;
};

std::string Check(const PlayOptions& o) {
  if (!o.list && o.frames < 0 && static_cast<int64_t>(o.speed * static_cast<float>(o.elapsed)) == 0)
    return "at --speed " + std::to_string(o.speed) + " and --elapsed " + std::to_string(o.elapsed) +
           " the movie time stands still; give --frames N";
  return "";
}

// ---- Text of events ------------------------------------------------------------------------------

// Wide text as UTF-8, through the platform's conversion.
std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.3f", static_cast<double>(v));
  return text;
}

std::string Field(uint8_t v) { return std::to_string(v); }
std::string Field(uint32_t v) { return std::to_string(v); }
std::string Field(int32_t v) { return std::to_string(v); }
std::string Field(float v) { return Number(v); }
std::string Field(const D3DXVECTOR3& v) { return "(" + Number(v.x) + "," + Number(v.y) + "," + Number(v.z) + ")"; }
std::string Field(const D3DXMATRIX& m) {
  return "matrix(pos " + Number(m._41) + "," + Number(m._42) + "," + Number(m._43) + ")";
}
std::string Field(const ComponentHandle& h) {
  std::string s = "handle(";
  for (int i = 0; i < 6; ++i) s += (i ? "," : "") + std::to_string(h.words[i]);
  return s + ")";
}
std::string Field(const D3DLIGHT8& l) { return "light(type " + std::to_string(static_cast<int>(l.Type)) + ")"; }
std::string Field(const std::string& s) { return "\"" + s + "\""; }
std::string Field(const std::u16string& s) {
  return "\"" + footlight::cli::Utf8(Playback::Utf16ToWide(s)) + "\"";
}
std::string Field(const Playback::FullStateRecord&) { return "state(374 bytes)"; }

template <class Tuple>
std::string Payload(const Tuple& fields) {
  std::string text;
  Playback::detail::ForEachField(fields, [&](const auto& f) { text += " " + Field(f); });
  return text;
}

std::string Describe(const Playback::SceneEvent& e) {
  std::string text = Playback::SceneEventName(e.type);
  Playback::VisitSceneType(e.type, [&](auto code) {
    text += Payload(static_cast<const Playback::SceneEventOf<decltype(code)::value>&>(e).fields);
  });
  return text;
}

std::string Describe(const Playback::ObjectEvent& e) {
  std::string text = Playback::ObjectEventName(e.type);
  Playback::VisitObjectType(e.type, [&](auto code) {
    text += Payload(static_cast<const Playback::ObjectEventOf<decltype(code)::value>&>(e).fields);
  });
  return text;
}

void List(const Playback::MovieData& movie) {
  std::printf("scene events: %zu\n", movie.sceneEvents.size());
  for (const auto& [time, event] : movie.sceneEvents) std::printf("  %8d  %s\n", time, Describe(*event).c_str());
  std::printf("tracks: %zu\n", movie.tracks.size());
  for (const auto& [id, track] : movie.tracks) {
    std::printf("track %u: %zu events\n", id, track->size());
    for (const auto& [time, event] : *track) std::printf("  %8d  %s\n", time, Describe(*event).c_str());
  }
}

// ---- Playing -------------------------------------------------------------------------------------

// The object of a replayed entry, or null when it has none or it is gone.
CSceneBaseObj* ObjectOf(host::ReferenceHost& host, const Playback::MoviePlayer::Replayed& entry) {
  return entry.hasObject ? static_cast<CSceneBaseObj*>(static_cast<CComponentBase*>(host.GetObject(&entry.handle)))
                         : nullptr;
}

void PrintObjects(host::ReferenceHost& host, const Playback::MoviePlayer& player) {
  for (const auto& [id, entry] : player.ReplayedObjects()) {
    CSceneBaseObj* object = ObjectOf(host, entry);
    if (object == nullptr) {
      std::printf("  object %u: none\n", id);
      continue;
    }
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    float yaw = 0.0f;
    object->GetPosition(&position, &yaw);
    const wchar_t* title = object->GetTitle();
    std::printf("  object %u at %s yaw %s title \"%s\"\n", id, Field(position).c_str(), Number(yaw).c_str(),
                footlight::cli::Utf8(title != nullptr ? title : L"").c_str());
  }
}

// A stretch of at least this many frames in which nothing of the movie is due runs as one step
// and prints one line: a movie whose next event lies days ahead plays through in moments.
constexpr int64_t kIdleStretch = 100;

// The movie time of the next event the player has still to apply: the scene list's next, or
// the next of a replayed object's track. Tracks of entries without an object are passed over
// by the player and so are never due.
std::optional<int32_t> NextDue(const Playback::MoviePlayer& shown) {
  const Playback::MovieData& movie = *shown.Movie();
  std::optional<int32_t> due;
  if (shown.SceneCursor() != movie.sceneEvents.end()) due = shown.SceneCursor()->first;
  for (const auto& [id, entry] : shown.ReplayedObjects()) {
    const auto track = movie.tracks.find(id);
    if (!entry.hasObject || track == movie.tracks.end() || entry.cursor == track->second->end()) continue;
    if (!due || entry.cursor->first < *due) due = entry.cursor->first;
  }
  return due;
}

// Frames from now that pass with nothing due: those whose movie time stays below the next event
// (all that are left when nothing is), at most `most`. The player's own cost of a frame only
// slows its time, so the count never runs past an event. None while a replayed object walks
// (its turn goes with its walk): the walk is stepped frame by frame as it would be, since one
// long step may end it elsewhere (past the edge of the ground it stops where it stood).
int64_t IdleFrames(host::ReferenceHost& host, const Playback::MoviePlayer& shown, int32_t time, double step,
                   int64_t most) {
  if (step <= 0.0) return 0;
  for (const auto& [id, entry] : shown.ReplayedObjects())
    if (CSceneBaseObj* object = ObjectOf(host, entry); object != nullptr && object->IsMoving() != 0) return 0;
  const std::optional<int32_t> due = NextDue(shown);
  if (!due) return most;
  const double gap = static_cast<double>(*due) - static_cast<double>(time);
  if (gap <= step) return 0;
  return std::min<int64_t>(most, static_cast<int64_t>(std::ceil(gap / step)) - 1);
}

// What one step applied: the scene events from `cursor`, each object's events from where it
// stood before (its track's start for one made in the step), the objects that left with the
// events they had applied before they went, and the host's lines of the step.
void PrintStep(host::ReferenceHost& host, Playback::SceneSystem* scene, const Playback::MoviePlayer& shown,
               Playback::MovieData::SceneList::const_iterator cursor,
               std::map<uint32_t, Playback::MovieData::Track::const_iterator> from) {
  const Playback::MovieData& movie = *shown.Movie();
  std::optional<uint32_t> loaded;
  for (; cursor != shown.SceneCursor(); ++cursor) {
    std::printf("  scene %8d  %s\n", cursor->first, Describe(*cursor->second).c_str());
    if (cursor->second->type == Playback::kSceneLoadScene)
      loaded = std::get<0>(static_cast<const Playback::SceneEventOf<Playback::kSceneLoadScene>&>(*cursor->second).fields);
  }
  const auto printTrack = [&](uint32_t id, Playback::MovieData::Track::const_iterator until) {
    const auto known = from.find(id);
    auto event = known != from.end() ? known->second : movie.tracks.at(id)->cbegin();
    for (; event != until; ++event)
      std::printf("  object %u %5d  %s\n", id, event->first, Describe(*event->second).c_str());
  };
  // An id made again in the step left once already: its new object's events start afresh, and
  // its first object, when it still lives, stays in the scene beside the new one.
  const auto& left = shown.RemovedObjects();
  for (auto it = left.begin(); it != left.end(); ++it) {
    const auto id = it->first;
    const auto& entry = it->second;
    printTrack(id, entry.cursor);
    const bool madeAgain = shown.ReplayedObjects().count(id) != 0 ||
                           std::any_of(it + 1, left.end(), [&](const auto& later) { return later.first == id; });
    if (madeAgain && ObjectOf(host, entry) != nullptr)
      std::printf("  object %u created again; the first stays\n", id);
    else
      std::printf("  object %u removed\n", id);
    from.erase(id);
  }
  for (const auto& [id, entry] : shown.ReplayedObjects()) printTrack(id, entry.cursor);
  for (const auto& [id, at] : from)
    if (shown.ReplayedObjects().count(id) == 0) std::printf("  object %u removed\n", id);
  if (loaded && scene->recordedSceneId != *loaded)
    std::printf("  %s\n", footlight::SceneLoadError(static_cast<int>(*loaded), scene->GetPendingStateName()).c_str());
  for (const std::string& line : host.LogLines()) std::printf("  host: %s\n", line.c_str());
  host.ClearLog();
}

int Play(host::ReferenceHost& host, Playback::SceneSystem* scene, const Playback::MovieDataPtr& movie,
         const PlayOptions& o) {
  // The player's operations are reached through its table (the module is loaded at run time);
  // only what it shows of a replay is read directly.
  Playback::Player* player = scene->StartPlaying();
  const auto* shown = static_cast<const Playback::MoviePlayer*>(player);
  player->Load(movie);
  player->SetSpeed(o.speed);
  player->Play();
  const double step = static_cast<double>(o.elapsed) * static_cast<double>(o.speed);
  int64_t frame = 0;
  host.ClearLog();
  while (player->IsPlaying() && (o.frames < 0 || frame < o.frames)) {
    const auto cursor = shown->SceneCursor();
    std::map<uint32_t, Playback::MovieData::Track::const_iterator> before;
    for (const auto& [id, entry] : shown->ReplayedObjects()) before.emplace(id, entry.cursor);
    // One step holds at most what the scene's 32-bit elapsed time does.
    int64_t most = o.elapsed > 0 ? INT32_MAX / o.elapsed : 1;
    if (o.frames >= 0) most = std::min<int64_t>(most, o.frames - frame);
    const int64_t idle = IdleFrames(host, *shown, player->GetTime(), step, most);
    const int64_t span = idle >= kIdleStretch ? idle : 1;
    host.Execute(static_cast<uint32_t>(span * o.elapsed));
    if (span == 1)
      std::printf("frame %lld: movie time %d\n", static_cast<long long>(frame + 1), player->GetTime());
    else
      std::printf("frames %lld-%lld: nothing due, movie time %d\n", static_cast<long long>(frame + 1),
                  static_cast<long long>(frame + span), player->GetTime());
    frame += span;
    PrintStep(host, scene, *shown, cursor, std::move(before));
    if (span == 1) PrintObjects(host, *shown);
    // A movie without its end stops once every event is behind it.
    if (o.frames < 0 && !NextDue(*shown)) break;
  }
  std::printf("%s after %lld frames\n", player->IsPlaying() ? "stopped" : "ended", static_cast<long long>(frame));
  scene->StopPlaying(player);
  return 0;
}

}  // namespace

std::string DescribeMovieEvent(const Playback::SceneEvent& event) { return Describe(event); }

namespace {

int RunPlay(const PlayOptions& o, DMAInterfaceFn entry) {
  if (std::string line; !footlight::cli::Readable(o.resource, o.movie, &line)) return footlight::cli::Fail(line);
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  auto* scene = static_cast<Playback::SceneSystem*>(footlight::MakeSceneSystem(host, entry, "SceneSystem"));
  if (scene == nullptr) return 1;
  int status = 0;
  Playback::MovieDataPtr movie;
  host.ClearLog();
  if (!scene->LoadMovie(&movie, &o.movie)) {
    std::string reason = "it does not read";
    const std::string prefix = "[ERR]:SceneSystem::LoadMovie " + o.movie + ": ";
    for (const std::string& line : host.LogLines())
      if (line.rfind(prefix, 0) == 0) reason = line.substr(prefix.size());
    std::fprintf(stderr, "footlight: cannot read the movie %s below %s: %s\n", o.movie.c_str(), o.resource.c_str(),
                 reason.c_str());
    status = 1;
  } else {
    Playback::MovieInfo info;
    scene->GetMovieInfo(movie, &info);
    std::printf("movie %s: scene %u, state \"%s\", %zu scene events, %zu tracks\n", o.movie.c_str(), info.sceneId,
                info.state.c_str(), movie->sceneEvents.size(), movie->tracks.size());
    if (o.list)
      List(*movie);
    else
      status = Play(host, scene, movie, o);
  }
  movie.reset();
  host.DestroyAll();
  const size_t live = host.Allocator().LiveBlocks();
  std::printf("live host blocks: %zu\n", live);
  return status != 0 ? status : (live == 0 ? 0 : 1);
}

}  // namespace

namespace footlight {

void AddPlayCommand(cli::Program& program) {
  auto* o = program.Keep<PlayOptions>();
  CLI::App* cmd = program.Command("play", "play a recorded movie in the recording scene system",
                                  [o](const cli::Context& context) { return RunPlay(*o, context.entry); });
  cli::ResourcePath(cmd, "MOVIE", &o->movie, "the movie")->required();
  cli::ResourceRoot(cmd, &o->resource);
  cli::Number(cmd, "--speed", &o->speed, "the speed (default 1)", cli::Range::From(0.0));
  cli::Whole(cmd, "--elapsed", &o->elapsed, 0, INT_MAX, "milliseconds a frame (default 16)")->type_name("MS");
  cli::Whole(cmd, "--frames", &o->frames, 0, INT_MAX, "frames to play (default: until the movie ends)");
  cmd->add_flag("--list", o->list, "print every event of the movie instead");
  program.Check(cmd, [o] { return Check(*o); });
}

}  // namespace footlight
