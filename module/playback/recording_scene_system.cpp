#include "playback/recording_scene_system.h"

#include <fstream>
#include <istream>
#include <streambuf>
#include <string>
#include <vector>

#include "frame/module_globals.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "playback/playback_clock.h"
#include "playback/recording_scene_base_obj.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace Playback {

namespace {
// A module path below the resource root; "" when it does not resolve (an escape among them).
std::string MoviePath(const std::string* path, win32::PathMode mode) {
  const std::string text = path != nullptr ? *path : std::string();
  return win32::ResolvePath(win32::GetResourceRoot(), text.c_str(), mode);
}

// The bytes of a file read whole, as the stream the movie reader takes.
class ByteSource final : public std::streambuf {
 public:
  explicit ByteSource(std::vector<uint8_t>& bytes) {
    char* begin = reinterpret_cast<char*>(bytes.data());
    setg(begin, begin, begin + bytes.size());
  }
};

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
  if (recorders.empty()) return;
  if (CLightingSystem* lights = GetLightingSystem()) CheckLightStates(lights);
}

void SceneSystem::Record(const SceneEventPtr& event) {
  // A recorder's listeners may start or stop recordings; the event goes to the list as it stood.
  const std::vector<boost::shared_ptr<MovieRecorder>> active(recorders.begin(), recorders.end());
  for (const auto& recorder : active) recorder->AddSceneEvent(event);
}

uint8_t SceneSystem::LoadScene(uint32_t sceneId) {
  const uint8_t result = CSceneSystem::LoadScene(sceneId);
  recordedSceneId = result > 0 ? sceneId : 0;
  if (result > 0) Record(MakeSceneEvent<kSceneLoadScene>(sceneId));
  return result;
}

void SceneSystem::UnloadSceneThunk() {
  CSceneSystem::UnloadSceneThunk();
  for (const auto& recorder : recorders) recorder->DetachAll();
  ForgetObjects();
  for (const auto& player : players) player->ForgetReplayed();
  Record(MakeSceneEvent<kSceneUnloadScene>());
}

void SceneSystem::SetStateString(const char* state, int32_t flag, int32_t offset) {
  CSceneSystem::SetStateString(state, flag, offset);
  const std::string text = state != nullptr ? state : "";
  Record(MakeSceneEvent<kSceneStateString>(text, static_cast<uint8_t>(flag != 0 ? 1 : 0),
                                           static_cast<uint32_t>(offset)));
  stateClock = PlaybackClock();
  recordedState = text;
  recordedStateFlag = flag != 0;
  recordedStateOffset = static_cast<uint32_t>(offset);
}

void SceneSystem::SetPendingStateName(const char* folder) {
  const std::string name = folder != nullptr ? folder : "";
  if (rootFolder != name) {
    rootFolder = name;
    rootChanged = 1;
  }
  Record(MakeSceneEvent<kScenePendingStateName>(name));
}

void SceneSystem::OnLightActive(const std::string& name, bool on) {
  Record(MakeSceneEvent<kSceneLightActive>(name, static_cast<uint8_t>(on ? 1 : 0)));
}

void SceneSystem::CheckLightStates(CLightingSystem* lighting) {
  const std::map<std::string, bool> before = lightStates;
  const int32_t count = lighting->GetLightCount();
  for (int32_t i = 0; i < count; ++i) {
    CLight* light = lighting->GetLight(static_cast<uint32_t>(i));
    if (light == nullptr) continue;
    const char* lightName = light->GetName();
    const std::string name = lightName != nullptr ? lightName : "";
    const bool on = light->IsActive();
    lightStates[name] = on;
    const auto old = before.find(name);
    if (old != before.end() && old->second != on) OnLightActive(name, on);
  }
}

CSceneBaseObj* SceneSystem::CreateSceneObject(const uint32_t* idPair) {
  CSceneBaseObj* object = CSceneSystem::CreateSceneObject(idPair);
  if (object == nullptr || FindObjectId(object) != kNoObjectId) return object;
  RememberObject(nextObjectId++, object->handle);
  const std::vector<boost::shared_ptr<MovieRecorder>> active(recorders.begin(), recorders.end());
  for (const auto& recorder : active) AttachObjectToRecorder(recorder.get(), object);
  return object;
}

uint32_t SceneSystem::FindObjectId(CSceneBaseObj* object) const {
  if (object == nullptr) return kNoObjectId;
  const auto found = idsByHandle_.find(object->handle);
  return found != idsByHandle_.end() ? found->second : kNoObjectId;
}

void SceneSystem::RememberObject(uint32_t id, const ComponentHandle& handle) {
  objectIds[id] = handle;
  const auto [entry, added] = idsByHandle_.emplace(handle, id);
  if (!added && id < entry->second) entry->second = id;
}

void SceneSystem::ForgetObjects() {
  objectIds.clear();
  idsByHandle_.clear();
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
  const char* name = path != nullptr ? path->c_str() : "";
  const std::string file = MoviePath(path, win32::PathMode::Read);
  if (file.empty()) {
    g_pHost->Log("[ERR]:SceneSystem::LoadMovie %s: %s", name,
                 GetLastError() == ERROR_ACCESS_DENIED ? "the path leaves the resource root"
                                                       : "no such file below the resource root");
    return false;
  }
  std::vector<uint8_t> bytes;
  std::string reason;
  const win32::FileRead read = win32::ReadRegularFile(file, kMovieFileMaxBytes, &bytes, &reason);
  if (read != win32::FileRead::Read) {
    g_pHost->Log("[ERR]:SceneSystem::LoadMovie %s: %s", name,
                 read == win32::FileRead::NotOpened ? "the file does not open" : ("the file " + reason).c_str());
    return false;
  }
  ByteSource source(bytes);
  std::istream in(&source);
  MovieDataPtr movie(new MovieData);
  *out = movie;
  MovieReadFailure failure;
  if (movie->Read(in, &failure)) return true;
  g_pHost->Log("[ERR]:SceneSystem::LoadMovie %s: %s at byte %llu", name, failure.reason.c_str(),
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
