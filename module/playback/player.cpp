#include "playback/player.h"

#include <cmath>
#include <vector>

#include "frame/module_globals.h"
#include "math/crt_rand.h"
#include "playback/playback_clock.h"
#include "playback/recording_scene_base_obj.h"
#include "playback/recording_scene_system.h"

namespace Playback {

Player::~Player() = default;

MoviePlayer::MoviePlayer(SceneSystem* scene) : scene_(scene) {}

// The replayed objects stay in the scene; only the player's hold on them goes.
MoviePlayer::~MoviePlayer() = default;

void MoviePlayer::Load(const MovieDataPtr& movie) {
  // The cursors of the entries point into the movie they came from.
  replayed_.clear();
  removed_.clear();
  movie_ = movie;
  if (movie_) sceneCursor_ = movie_->sceneEvents.begin();
  scene_->SetPendingStateName("RESOURCE\\ini\\Brivanta\\scene");
  time_ = 0;
  lastCost_ = 0;
  speed_ = 1.0f;
  paused_ = true;
}

void MoviePlayer::Stop() {
  time_ = 0;
  paused_ = true;
  scene_->SetStateString("", 1, 0);
  std::map<uint32_t, Replayed> entries;
  entries.swap(replayed_);
  for (const auto& [id, entry] : entries) {
    removed_.emplace_back(id, entry);
    if (SceneBaseObj* object = Resolve(entry)) RemoveFromScene(object, entry.handle);
  }
}

void MoviePlayer::ForgetReplayed() {
  for (const auto& entry : replayed_) removed_.push_back(entry);
  replayed_.clear();
}

void MoviePlayer::Play() { paused_ = false; }
void MoviePlayer::Pause() { paused_ = true; }
bool MoviePlayer::IsPlaying() { return !paused_; }
int32_t MoviePlayer::GetTime() { return time_; }
uint32_t MoviePlayer::GetDuration() {
  return movie_ ? static_cast<uint32_t>(movie_->GetLastSceneEventTime()) : 0;
}
void MoviePlayer::SetSpeed(float speed) { speed_ = std::isnan(speed) || speed < 0.0f ? 0.0f : speed; }
float MoviePlayer::GetSpeed() { return speed_; }

SceneBaseObj* MoviePlayer::Resolve(const Replayed& entry) {
  return entry.hasObject ? SceneBaseObj::Resolve(entry.handle) : nullptr;
}

void MoviePlayer::Update(int32_t elapsedMs) {
  removed_.clear();
  if (movie_ && !paused_) {
    time_ = SaturatingInt32((static_cast<double>(elapsedMs) - static_cast<double>(lastCost_)) *
                                static_cast<double>(speed_) +
                            static_cast<double>(time_));
    const int32_t start = PlaybackClock();
    // The movie may be replaced while its events run (a replayed event that loads another);
    // this update keeps the one it started with.
    const MovieDataPtr hold = movie_;
    ApplySceneEvents();
    ApplyObjectEvents();
    lastCost_ = ClockDifference(PlaybackClock(), start);
  }
  RemoveFinished();
}

void MoviePlayer::ApplySceneEvents() {
  const MovieData* movie = movie_.get();
  while (movie_.get() == movie && sceneCursor_ != movie->sceneEvents.end() && sceneCursor_->first <= time_) {
    const MovieData::SceneEntry& entry = *sceneCursor_;
    ++sceneCursor_;
    const SceneEvent& event = *entry.second;
    if (event.type == kSceneObjectCreated) {
      // The key words are drawn whether or not the movie has the track. A key some object of the
      // scene has already would give that object back instead of a new one: drawn again.
      uint32_t key[2];
      do {
        key[0] = static_cast<uint32_t>(CrtRand());
        key[1] = static_cast<uint32_t>(CrtRand());
      } while (scene_->FindSceneObjectById(key) != nullptr);
      const uint32_t id = std::get<0>(static_cast<const SceneEventOf<kSceneObjectCreated>&>(event).fields);
      const auto track = movie->tracks.find(id);
      if (track == movie->tracks.end()) continue;
      // A second creation of an id leaves the object made first to the scene.
      if (const auto made = replayed_.find(id); made != replayed_.end()) removed_.push_back(*made);
      Replayed& replayed = replayed_[id];
      replayed.cursor = track->second->begin();
      replayed.hasObject = false;
      CSceneBaseObj* made = scene_->CreateSceneObject(key);
      if (auto* object = dynamic_cast<SceneBaseObj*>(made)) {
        replayed.handle = object->handle;
        replayed.hasObject = true;
      }
    } else if (event.type == kSceneEndOfMovie) {
      Stop();
    } else {
      event.Apply(scene_);
    }
  }
}

void MoviePlayer::ApplyObjectEvents() {
  if (!movie_) return;
  const MovieDataPtr movie = movie_;
  std::vector<uint32_t> ids;
  ids.reserve(replayed_.size());
  for (const auto& entry : replayed_) ids.push_back(entry.first);
  for (uint32_t id : ids) {
    const auto track = movie->tracks.find(id);
    if (track == movie->tracks.end()) continue;
    for (;;) {
      // Each event may change the map (an object's events reach the scene), so the entry is
      // looked up again every time.
      const auto it = replayed_.find(id);
      if (it == replayed_.end() || movie_ != movie) break;
      Replayed& entry = it->second;
      if (entry.cursor == track->second->end() || entry.cursor->first > time_) break;
      const MovieData::ObjectEntry& event = *entry.cursor;
      ++entry.cursor;
      if (!entry.hasObject) continue;
      SceneBaseObj* object = Resolve(entry);
      if (object == nullptr) {
        removed_.emplace_back(id, entry);
        replayed_.erase(it);  // destroyed elsewhere
        break;
      }
      event.second->Apply(scene_, object);
    }
  }
}

void MoviePlayer::RemoveFinished() {
  std::vector<uint32_t> ids;
  for (const auto& entry : replayed_) ids.push_back(entry.first);
  for (uint32_t id : ids) {
    const auto it = replayed_.find(id);
    if (it == replayed_.end() || !it->second.hasObject) continue;
    SceneBaseObj* object = Resolve(it->second);
    if (object == nullptr) {
      removed_.emplace_back(id, it->second);
      replayed_.erase(it);
      continue;
    }
    if (!object->IsDestroyed()) continue;
    const ComponentHandle handle = it->second.handle;
    removed_.emplace_back(id, it->second);
    replayed_.erase(it);
    RemoveFromScene(object, handle);
  }
}

void MoviePlayer::RemoveFromScene(SceneBaseObj* object, const ComponentHandle& handle) {
  object->ReleaseRecord();
  for (uint32_t i = 0; i < scene_->GetSceneObjectCount(); ++i) {
    if (scene_->GetSceneObject(i) == object) scene_->RemoveSceneObjectAt(i);
  }
  g_pHost->DestroyObject(handle);
}

}  // namespace Playback

