// The player: it replays a movie on the recording scene system that owns it. Its movie time
// advances by the elapsed time times its speed; scene events whose time has come are applied in
// list order, ObjectCreated makes a new scene object per recorded track and the track's events
// are applied to it, and objects whose track shut them down are taken out of the scene again.
#pragma once
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "frame/component_handle.h"
#include "playback/movie_data.h"

class CSceneBaseObj;

namespace Playback {

class SceneSystem;
class SceneBaseObj;

class Player {
 public:
  virtual void Load(const MovieDataPtr& movie) = 0;  // slot 0
  virtual void Stop() = 0;                           // slot 1
  virtual void Play() = 0;                           // slot 2
  virtual void Pause() = 0;                          // slot 3
  virtual bool IsPlaying() = 0;                      // slot 4
  virtual int32_t GetTime() = 0;                     // slot 5
  virtual uint32_t GetDuration() = 0;                // slot 6
  virtual void SetSpeed(float speed) = 0;            // slot 7
  virtual float GetSpeed() = 0;                      // slot 8
  virtual ~Player();                                 // slot 9

 protected:
  Player() = default;
};

class MoviePlayer final : public Player {
 public:
  // One recreated object of the movie. It is kept by handle and looked up at every use, so an
  // object destroyed behind the player's back is forgotten rather than reached. An entry whose
  // creation gave no recording object has no object; its track is passed over.
  struct Replayed {
    ComponentHandle handle{};
    bool hasObject = false;
    MovieData::Track::const_iterator cursor;
  };

  explicit MoviePlayer(SceneSystem* scene);
  ~MoviePlayer() override;
  MoviePlayer(const MoviePlayer&) = delete;
  MoviePlayer& operator=(const MoviePlayer&) = delete;

  void Load(const MovieDataPtr& movie) override;
  void Stop() override;
  void Play() override;
  void Pause() override;
  bool IsPlaying() override;
  int32_t GetTime() override;
  uint32_t GetDuration() override;
  void SetSpeed(float speed) override;
  float GetSpeed() override;

  // One step of the scene system's Execute, with the unscaled elapsed time.
  void Update(int32_t elapsedMs);
  // Forgets every replayed object without touching it (an unload of the scene).
  void ForgetReplayed();

  // What the command line shows of a replay.
  const MovieDataPtr& Movie() const { return movie_; }
  MovieData::SceneList::const_iterator SceneCursor() const { return sceneCursor_; }
  const std::map<uint32_t, Replayed>& ReplayedObjects() const { return replayed_; }
  // The entries that left the map since the last Update began (shut down, destroyed elsewhere,
  // stopped, forgotten or made again), as they stood when they left, in that order: how far
  // their tracks were replayed before they went.
  const std::vector<std::pair<uint32_t, Replayed>>& RemovedObjects() const { return removed_; }
  // The recording object of an entry, or null when it has none or it is gone.
  static SceneBaseObj* Resolve(const Replayed& entry);

 private:
  void ApplySceneEvents();
  void ApplyObjectEvents();
  void RemoveFinished();
  // SetValue352 (null), out of the scene's object list, destroyed by the host.
  void RemoveFromScene(SceneBaseObj* object, const ComponentHandle& handle);

  MovieDataPtr movie_;
  SceneSystem* scene_;
  int32_t time_ = 0;
  float speed_ = 1.0f;
  int32_t lastCost_ = 0;
  MovieData::SceneList::const_iterator sceneCursor_;
  bool paused_ = true;
  std::map<uint32_t, Replayed> replayed_;
  std::vector<std::pair<uint32_t, Replayed>> removed_;
};

}  // namespace Playback
