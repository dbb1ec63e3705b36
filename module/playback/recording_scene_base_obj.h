// The scene object with recording ("SceneBaseObj"). Recorders that attach it become its
// listeners, and each event it emits goes to every listener as a new event of its own. A player
// replays events on such objects: the object carries the destroyed flag that a replayed
// Shutdown sets, and the table of the 39 members that a replayed FullState writes.
#pragma once
#include <boost/shared_ptr.hpp>
#include <boost/smart_ptr/owner_less.hpp>
#include <array>
#include <cstdint>
#include <set>

#include "objects/scene_base_obj.h"
#include "playback/object_event.h"
#include "playback/recorder.h"

namespace Playback {

class SceneBaseObj : public CSceneBaseObj {
 public:
  // Where one FullState field lands in the object: one member, or (the eye pair and its word)
  // consecutive members taken in turn.
  struct StateField {
    void* targets[3];
    uint8_t sizes[3];
  };

  SceneBaseObj();
  ~SceneBaseObj() override;

  // The recording object a handle names, or null when it is gone or is no recording object.
  static SceneBaseObj* Resolve(const ComponentHandle& handle);

  // Registers a recorder's listener.
  void EmitStateSnapshot(const ObjectRecorderPtr& listener);
  void RemoveListener(const ObjectRecorderPtr& listener);
  size_t ListenerCount() const { return listeners_.size(); }

  // A new event of type Code with these payload fields to every listener.
  template <uint32_t Code, class... Args>
  void Emit(const Args&... args) {
    const Listeners listeners = listeners_;
    for (const ObjectRecorderPtr& listener : listeners) listener->Send(MakeObjectEvent<Code>(args...));
  }

  uint8_t IsDestroyed() const { return destroyed_; }
  void MarkDestroyed() { destroyed_ = 1; }

  // The FullState fields in record order.
  const std::array<StateField, 39>& StateFields() const { return stateFields_; }
  // Writes a FullState record into the members, field by field.
  void ApplyState(const FullStateRecord& record);

  // Keeps the event whose light record the object was given, for as long as it uses it.
  void HoldRecord(ObjectEventPtr event) { heldRecord_ = std::move(event); }
  // SetValue352 with no record, then lets the held event go.
  void ReleaseRecord();

 private:
  using Listeners = std::set<ObjectRecorderPtr, boost::owner_less<ObjectRecorderPtr>>;
  Listeners listeners_;
  std::array<StateField, 39> stateFields_{};
  // Words a FullState fills where the member would be a pointer or an owned texture: a file
  // must not plant either.
  uint32_t plainWords_[2] = {0, 0};
  uint8_t destroyed_ = 0;
  ObjectEventPtr heldRecord_;
};

}  // namespace Playback
