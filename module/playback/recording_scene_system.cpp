#include "playback/recording_scene_system.h"

#include <fstream>
#include <vector>

#include "frame/module_globals.h"
#include "playback/playback_clock.h"
#include "playback/recording_scene_base_obj.h"
#include "win32/file_system.h"

namespace Playback {

namespace {
// A module path below the resource root; "" when it does not resolve (an escape among them).
std::string MoviePath(const std::string* path, win32::PathMode mode) {
  const std::string text = path != nullptr ? *path : std::string();
  return win32::ResolvePath(win32::GetResourceRoot(), text.c_str(), mode);
}

// Drops the first entry of the list that holds `item`; an unknown pointer changes nothing.
template <class List, class T>
void EraseFirst(List& list, T* item) {
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->get() == item) {
      list.erase(it);
      return;
    }
  }
}
}  // namespace

SceneSystem::SceneSystem() : stateClock(PlaybackClock()) {}

// Recorders detach through the object-id map, which is declared after them: they go first.
SceneSystem::~SceneSystem() {
  recorders.clear();
  currentPlayer.reset();
  players.clear();
}

int32_t SceneSystem::GetClock() { return PlaybackClock(); }

void SceneSystem::Destroy() {
  recorders.clear();
  players.clear();
}

void SceneSystem::Execute(uint32_t elapsedMs) {
  const auto elapsed = static_cast<int32_t>(elapsedMs);
  // A player's events may start or stop players; the update runs over the list as it stood.
  const std::vector<boost::shared_ptr<MoviePlayer>> running(players.begin(), players.end());
  for (const auto& player : running) player->Update(elapsed);
  int32_t scaled = elapsed;
  if (currentPlayer)
    scaled = currentPlayer->IsPlaying()
                 ? SaturatingInt32(static_cast<double>(currentPlayer->GetSpeed()) * static_cast<double>(elapsed))
                 : 0;
  CSceneSystem::Execute(static_cast<uint32_t>(scaled));
  AdvancePlaybackClock(scaled);
}

CSceneBaseObj* SceneSystem::CreateSceneObject(const uint32_t* idPair) {
  CSceneBaseObj* object = CSceneSystem::CreateSceneObject(idPair);
  if (object == nullptr || FindObjectId(object) != kNoObjectId) return object;
  objectIds[nextObjectId++] = object->handle;
  const std::vector<boost::shared_ptr<MovieRecorder>> active(recorders.begin(), recorders.end());
  for (const auto& recorder : active) AttachObjectToRecorder(recorder.get(), object);
  return object;
}

uint32_t SceneSystem::FindObjectId(CSceneBaseObj* object) const {
  if (object == nullptr) return kNoObjectId;
  for (const auto& [id, handle] : objectIds)
    if (handle == object->handle) return id;
  return kNoObjectId;
}

void SceneSystem::AttachObjectToRecorder(MovieRecorder* recorder, CSceneBaseObj* object) {
  const uint32_t id = FindObjectId(object);
  if (id == kNoObjectId) return;
  recorder->AddSceneEvent(MakeSceneEvent<kSceneObjectCreated>(id));
  const ObjectRecorderPtr listener = recorder->AttachObject(object);
  // Only recording objects report; a plain one has its track and creation but nothing more.
  if (auto* recording = dynamic_cast<SceneBaseObj*>(object); recording != nullptr && listener)
    recording->EmitStateSnapshot(listener);
}

Recorder* SceneSystem::StartRecording() {
  boost::shared_ptr<MovieRecorder> recorder(new MovieRecorder(this));
  recorders.push_back(recorder);
  return recorder.get();
}

void SceneSystem::StopRecording(Recorder* recorder) { EraseFirst(recorders, recorder); }

Player* SceneSystem::StartPlaying() {
  boost::shared_ptr<MoviePlayer> player(new MoviePlayer(this));
  if (players.empty()) currentPlayer = player;
  players.push_back(player);
  return player.get();
}

void SceneSystem::StopPlaying(Player* player) {
  EraseFirst(players, player);
  if (currentPlayer.get() == player && player != nullptr) currentPlayer.reset();
}

bool SceneSystem::SaveMovie(const MovieDataPtr& movie, const std::string* path) {
  if (!movie) return false;
  const std::string file = MoviePath(path, win32::PathMode::Write);
  if (file.empty()) return false;
  std::ofstream out(file, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!out) return false;
  movie->Write(out);
  out.flush();
  return static_cast<bool>(out);
}

bool SceneSystem::LoadMovie(MovieDataPtr* out, const std::string* path) {
  if (out == nullptr) return false;
  const std::string file = MoviePath(path, win32::PathMode::Read);
  if (file.empty()) return false;
  std::ifstream in(file, std::ios::in | std::ios::binary);
  if (!in) return false;
  MovieDataPtr movie(new MovieData);
  *out = movie;
  MovieReadFailure failure;
  if (movie->Read(in, &failure)) return true;
  g_pHost->Log("[ERR]:SceneSystem::LoadMovie %s: %s at byte %llu", path->c_str(), failure.reason.c_str(),
               static_cast<unsigned long long>(failure.offset));
  return false;
}

bool SceneSystem::GetMovieInfo(const MovieDataPtr& movie, MovieInfo* out) {
  if (out == nullptr) return true;
  out->sceneId = 0;
  out->state.clear();
  if (!movie) return true;
  for (const MovieData::SceneEntry& entry : movie->sceneEvents) {
    if (entry.second->type == kSceneLoadScene)
      out->sceneId = std::get<0>(static_cast<const SceneEventOf<kSceneLoadScene>&>(*entry.second).fields);
    else if (entry.second->type == kSceneStateString)
      out->state = std::get<0>(static_cast<const SceneEventOf<kSceneStateString>&>(*entry.second).fields);
  }
  return true;
}

}  // namespace Playback
