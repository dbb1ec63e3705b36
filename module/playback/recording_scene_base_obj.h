// The scene object with recording ("SceneBaseObj"). Recorders that attach it become its
// listeners, and each event it emits goes to every listener as a new event of its own. A player
// replays events on such objects: the object carries the destroyed flag that a replayed
// Shutdown sets, and the table of the 39 members that a replayed FullState writes.
#pragma once
#include <boost/shared_ptr.hpp>
#include <boost/smart_ptr/owner_less.hpp>
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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

  // Each override does the base's work first; what it did then goes to every listener. Init is
  // the base's own.
  void Destroy() override;                                                      // slot 1
  // The base's step, then, while somebody listens, the watch of the renderable's parameters.
  void Execute(uint32_t elapsedMs) override;                                    // slot 2
  void SetHeightOffset(float offset) override;                                  // slot 12
  void SetHandNumbers(uint32_t left, uint32_t right) override;                  // slot 16
  void SetLinkedHandle(const ComponentHandle* handle) override;                 // slot 17
  void SetTag(int32_t tag) override;                                            // slot 18
  void SetPositionAction(const D3DXVECTOR3* position, float yaw, int32_t action) override;  // slot 23
  void SetTransform(const D3DXMATRIX* transform, int32_t action) override;      // slot 24
  void SetPositionState(const D3DXVECTOR3* position, float yaw, int32_t action) override;  // slot 25
  bool PlayAnimationRequest(const char* name, uint8_t loop, float speed, int32_t a, float b, float c, float d,
                            int32_t e) override;                                // slot 26
  void SetIdleSuppressed(uint8_t suppressed) override;                          // slot 32
  bool LoadFromIni(uint32_t objectId, uint8_t flag, uint8_t waitForModel, float height) override;  // slot 35
  bool PlayEffect(const char* name, const char* effectList, int32_t durationMs, int32_t mode) override;  // slot 40
  bool RemoveEffectsByName(const char* name) override;                          // slot 41
  void AddChildId(int32_t id) override;                                         // slot 50
  void RemoveChildId(int32_t id) override;                                      // slot 51
  void SetScale(float scale) override;                                          // slot 59
  void RegisterAnimationEvents() override;                                      // slot 60
  // The event carries a copy of the record (zeros for none); the object keeps the caller's
  // pointer, as the base does.
  void SetUserValueC(const D3DLIGHT8* light) override;                          // slot 62
  // The event carries the text as UTF-16 with the font and offset, not the convert flag.
  void SetTitle(const wchar_t* text, int32_t font, int32_t offsetY, uint8_t convert) override;  // slot 69
  // A walk that is recorded: MoveTo with these values and height 0, then the event.
  virtual void MoveToRecorded(float x, float z, float yaw, float moveSpeed, float turnSpeed, int32_t action,
                              int32_t arrivalAction);                           // slot 115

  // The recording object a handle names, or null when it is gone or is no recording object.
  static SceneBaseObj* Resolve(const ComponentHandle& handle);

  // Registers a recorder's listener and, for an object with an object id, sends that listener
  // the object's present state as events.
  void EmitStateSnapshot(const ObjectRecorderPtr& listener);
  void RemoveListener(const ObjectRecorderPtr& listener);
  size_t ListenerCount() const { return listeners_.size(); }

  // A new event of type Code with these payload fields to every listener.
  template <uint32_t Code, class... Args>
  void Emit(const Args&... args) {
    if (listeners_.empty()) return;
    const Listeners listeners = listeners_;
    for (const ObjectRecorderPtr& listener : listeners) listener->Send(MakeObjectEvent<Code>(args...));
  }

  // A parameter of the renderable's table that is new or changed, and a root-node triple.
  void OnHostParameter(const std::string& key, int32_t value);
  void OnHostParameterSet(int32_t index, float a, float b, float c);

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
  using Triple = std::array<float, 3>;

  void CheckParameters();
  void CheckNodeParameters();

  Listeners listeners_;
  // What the watch last saw; a fresh object starts empty, so its first check reports everything.
  std::map<std::string, int32_t, std::less<>> parameterCache_;
  struct SeenParameter {
    const char* key;  // the table's interned name
    int32_t value;
    bool changed;
  };
  std::vector<SeenParameter> seen_;  // scratch of one check
  std::map<int32_t, Triple> nodeParameterCache_;
  std::array<StateField, 39> stateFields_{};
  // Words a FullState fills where the member would be a pointer or an owned texture: a file
  // must not plant either.
  uint32_t plainWords_[2] = {0, 0};
  uint8_t destroyed_ = 0;
  ObjectEventPtr heldRecord_;
};

}  // namespace Playback
