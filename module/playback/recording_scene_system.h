// The scene system with recording and replay ("SceneSystem"). It keeps the whole behaviour of
// CSceneSystem and adds recorders, which turn what is done to the scene into a movie, and
// players, which replay movies; its Execute drives both and advances the playback clock.
#pragma once
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "playback/movie_data.h"
#include "playback/player.h"
#include "playback/recorder.h"
#include "scene/scene_system.h"

namespace Playback {

class SceneSystem : public CSceneSystem {
 public:
  // Nested names of the two helpers; they live at namespace scope so that the plain scene
  // system's slots can name them before this class exists.
  using Recorder = Playback::Recorder;
  using Player = Playback::Player;

  static constexpr uint32_t kNoObjectId = 0xffffffffu;

  SceneSystem();
  ~SceneSystem() override;

  // Drops every recorder and every player but the current one; the scene itself is taken down
  // by the CSceneSystem destructor.
  void Destroy() override;                    // slot 1
  // Players first (unscaled), then the scene at the current player's pace, then the clock; while
  // somebody records, the lights' switches.
  void Execute(uint32_t elapsedMs) override;  // slot 2
  // The scene id of a successful load (0 after a failed one); only a success is recorded.
  uint8_t LoadScene(uint32_t sceneId) override;                       // slot 15
  // After the base: no recorder listens to the old objects, their ids are forgotten and so are
  // the players' replayed objects; then the event.
  void UnloadSceneThunk() override;                                   // slot 16
  // The event ("" for null), then the state a later recording opens with.
  void SetStateString(const char* state, int32_t flag, int32_t offset) override;  // slot 18
  // The base's object; one it has not seen before gets the next movie id and is attached to
  // every recorder.
  CSceneBaseObj* CreateSceneObject(const uint32_t* idPair) override;  // slot 41
  // The base's work, then the event whether the name changed or not.
  void SetPendingStateName(const char* folder) override;             // slot 54

  Playback::Recorder* StartRecording() override;                                         // slot 115
  void StopRecording(Playback::Recorder* recorder) override;                             // slot 116
  Playback::Player* StartPlaying() override;                                             // slot 117
  void StopPlaying(Playback::Player* player) override;                                   // slot 118
  // The movie to a file below the resource root; false when there is no movie, the path does not
  // resolve, or any byte fails to reach the file.
  bool SaveMovie(const MovieDataPtr& movie, const std::string* path) override;           // slot 119
  // A new movie read from a file below the resource root; false when it does not open or does
  // not read, with a log line that says why (and where in the file).
  bool LoadMovie(MovieDataPtr* out, const std::string* path) override;                   // slot 120
  // The movie's scene (its last LoadScene) and state text (its last StateString).
  bool GetMovieInfo(const MovieDataPtr& movie, MovieInfo* out) override;                 // slot 121

  static int32_t GetClock();
  // The movie id of the object (its handle compared word for word), kNoObjectId when none.
  uint32_t FindObjectId(CSceneBaseObj* object) const;
  // ObjectCreated on the recorder, then the object's listener registered with its snapshot.
  void AttachObjectToRecorder(MovieRecorder* recorder, CSceneBaseObj* object);
  // LightActive to every recorder.
  void OnLightActive(const std::string& name, bool on);
  // Each light's state into the map; a light whose state differs from the one the map held
  // is reported, one seen for the first time only enters it.
  void CheckLightStates(CLightingSystem* lighting);

  std::list<boost::shared_ptr<MovieRecorder>> recorders;
  std::list<boost::shared_ptr<MoviePlayer>> players;
  boost::shared_ptr<MoviePlayer> currentPlayer;
  uint32_t recordedSceneId = 0;
  // Changed only through RememberObject and ForgetObjects, which keep the reverse index too.
  std::map<uint32_t, ComponentHandle> objectIds;
  // Lights by name (compared with case) and whether each was on when last seen; never emptied,
  // so a switch made while nobody recorded is reported once somebody does.
  std::map<std::string, bool> lightStates;
  int32_t stateClock;
  std::string recordedState;
  bool recordedStateFlag = false;
  uint32_t recordedStateOffset = 0;
  // Movie ids are never given twice while the scene system lives: a track of an earlier object
  // is never replaced by a later one's.
  uint32_t nextObjectId = 0;

 private:
  // A scene event to every recorder, in start order.
  void Record(const SceneEventPtr& event);
  void RememberObject(uint32_t id, const ComponentHandle& handle);
  void ForgetObjects();

  // The movie id of each handle in objectIds, the lowest where a handle has several, as a walk
  // of the map in id order finds it.
  std::map<ComponentHandle, uint32_t> idsByHandle_;
};

}  // namespace Playback
