#include "playback/recorder.h"

#include <new>

#include "frame/module_globals.h"
#include "playback/playback_clock.h"
#include "playback/recording_scene_base_obj.h"
#include "playback/recording_scene_system.h"

namespace Playback {

Recorder::~Recorder() = default;

MovieRecorder::MovieRecorder(SceneSystem* scene)
    : scene_(scene), start_(PlaybackClock()), lookupScene_(scene), callback_(new RecorderCallback) {
  callback_->Bind<MovieRecorder, &MovieRecorder::AddObjectEvent>(this);
  MovieRecorder::Begin();
}

MovieRecorder::~MovieRecorder() {
  // Objects that still hold a listener of this recorder call nothing from now on.
  callback_->Clear();
  try {
    DetachAll();
  } catch (...) {
  }
}

int32_t MovieRecorder::Now() const { return ClockDifference(PlaybackClock(), start_); }

void MovieRecorder::Begin() {
  // Listeners of an earlier recording go first: otherwise their objects would keep reporting
  // into the new movie twice over.
  DetachAll();
  objectRecorders_.clear();
  movie_.reset(new MovieData);
  start_ = PlaybackClock();

  AddSceneEvent(MakeSceneEvent<kScenePendingStateName>(scene_->rootFolder));
  AddSceneEvent(MakeSceneEvent<kSceneLoadScene>(scene_->recordedSceneId));
  const uint32_t since = static_cast<uint32_t>(ClockDifference(PlaybackClock(), scene_->stateClock));
  AddSceneEvent(MakeSceneEvent<kSceneStateString>(scene_->recordedState,
                                                  static_cast<uint8_t>(scene_->recordedStateFlag ? 1 : 0),
                                                  scene_->recordedStateOffset + since));
  for (uint32_t i = 0; i < scene_->GetSceneObjectCount(); ++i) {
    CSceneBaseObj* object = scene_->GetSceneObject(i);
    if (object == nullptr) continue;
    const int32_t tag = object->GetTag();
    if (tag == 0 || tag == 1 || tag == 6) scene_->AttachObjectToRecorder(this, object);
  }
}

void MovieRecorder::GetMovie(MovieDataPtr* out) {
  if (out != nullptr) *out = movie_;
  AddSceneEvent(MakeSceneEvent<kSceneEndOfMovie>());
}

void MovieRecorder::AddSceneEvent(const SceneEventPtr& event) { movie_->sceneEvents.emplace_back(Now(), event); }

void MovieRecorder::AddObjectEvent(uint32_t id, const ObjectEventPtr& event) {
  const auto track = movie_->tracks.find(id);
  if (track == movie_->tracks.end()) return;
  try {
    track->second->emplace_back(Now(), event);
  } catch (const std::bad_alloc&) {
    g_pHost->Log("[ERR]:SceneSystem::Recorder::AddObjectEvent %d", static_cast<int>(id));
  }
}

ObjectRecorderPtr MovieRecorder::AttachObject(CSceneBaseObj* object) {
  const uint32_t id = lookupScene_->FindObjectId(object);
  if (id == SceneSystem::kNoObjectId) return ObjectRecorderPtr();
  movie_->tracks[id] = MovieData::TrackPtr(new MovieData::Track);
  ObjectRecorderPtr listener(new ObjectRecorder(id, callback_));
  objectRecorders_.push_back(listener);
  return listener;
}

void MovieRecorder::DetachAll() {
  for (const ObjectRecorderPtr& listener : objectRecorders_) {
    const auto entry = lookupScene_->objectIds.find(listener->id);
    if (entry == lookupScene_->objectIds.end()) continue;
    if (SceneBaseObj* object = SceneBaseObj::Resolve(entry->second)) object->RemoveListener(listener);
  }
}

}  // namespace Playback
