// The recorder: it collects the events of one recording into a movie. Scene events come from the
// recording scene system; object events come from the recording objects it attached, through a
// callback the objects hold as listeners.
#pragma once
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <list>

#include "playback/movie_data.h"

class CSceneBaseObj;

namespace Playback {

class SceneSystem;

namespace detail {
// A member function bound to an object; calling it does nothing once either is cleared, so a
// listener that outlives its recorder calls nobody.
template <class A1, class A2>
class Function2 {
 public:
  template <class T, void (T::*Member)(A1, A2)>
  void Bind(T* object) {
    object_ = object;
    call_ = [](void* o, A1 a, A2 b) { (static_cast<T*>(o)->*Member)(a, b); };
  }
  void Clear() {
    object_ = nullptr;
    call_ = nullptr;
  }
  void operator()(A1 a, A2 b) const {
    if (object_ != nullptr && call_ != nullptr) call_(object_, a, b);
  }

 private:
  void* object_ = nullptr;
  void (*call_)(void*, A1, A2) = nullptr;
};
}  // namespace detail

using RecorderCallback = detail::Function2<uint32_t, const ObjectEventPtr&>;

// One listener of one object: the object's movie id and the recorder's callback.
class ObjectRecorder {
 public:
  ObjectRecorder(uint32_t objectId, boost::shared_ptr<RecorderCallback> cb) : id(objectId), callback(std::move(cb)) {}
  void Send(const ObjectEventPtr& event) const {
    if (callback) (*callback)(id, event);
  }

  const uint32_t id;
  const boost::shared_ptr<RecorderCallback> callback;
};
using ObjectRecorderPtr = boost::shared_ptr<ObjectRecorder>;

class Recorder {
 public:
  // Starts the recording over: a new movie that opens with the scene's present state.
  virtual void Begin() = 0;                         // slot 0
  // The movie so far; each call also ends it with one more EndOfMovie at the present time.
  virtual void GetMovie(MovieDataPtr* out) = 0;     // slot 1
  virtual ~Recorder();                              // slot 2

 protected:
  Recorder() = default;
};

class MovieRecorder final : public Recorder {
 public:
  // Records at once: the constructor runs Begin.
  explicit MovieRecorder(SceneSystem* scene);
  ~MovieRecorder() override;
  MovieRecorder(const MovieRecorder&) = delete;
  MovieRecorder& operator=(const MovieRecorder&) = delete;

  void Begin() override;
  void GetMovie(MovieDataPtr* out) override;

  void AddSceneEvent(const SceneEventPtr& event);
  // Appends to the object's track; an id without a track is dropped.
  void AddObjectEvent(uint32_t id, const ObjectEventPtr& event);
  // A new empty track for the object and a listener that feeds it; empty for an object that
  // has no movie id.
  ObjectRecorderPtr AttachObject(CSceneBaseObj* object);
  // Every attached object that still lives forgets its listener.
  void DetachAll();

  const MovieDataPtr& Movie() const { return movie_; }

 private:
  int32_t Now() const;

  MovieDataPtr movie_;
  SceneSystem* scene_;
  std::list<ObjectRecorderPtr> objectRecorders_;
  int32_t start_ = 0;
  SceneSystem* lookupScene_;
  boost::shared_ptr<RecorderCallback> callback_;
};

}  // namespace Playback
