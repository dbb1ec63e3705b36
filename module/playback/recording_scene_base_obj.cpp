#include "playback/recording_scene_base_obj.h"

#include <cstring>

#include "frame/module_globals.h"

namespace Playback {

SceneBaseObj::SceneBaseObj() {
  // Filled from the object's members once they exist; until then every field lands in the
  // object's plain words.
  for (StateField& field : stateFields_) field = StateField{nullptr, 0};
}

SceneBaseObj::~SceneBaseObj() {
  listeners_.clear();
  heldRecord_.reset();
}

SceneBaseObj* SceneBaseObj::Resolve(const ComponentHandle& handle) {
  auto* base = static_cast<CComponentBase*>(g_pHost->GetObject(&handle));
  return dynamic_cast<SceneBaseObj*>(base);
}

void SceneBaseObj::EmitStateSnapshot(const ObjectRecorderPtr& listener) {
  if (listener) listeners_.insert(listener);
}

void SceneBaseObj::RemoveListener(const ObjectRecorderPtr& listener) { listeners_.erase(listener); }

void SceneBaseObj::ApplyState(const FullStateRecord& record) {
  size_t offset = 0;
  for (size_t i = 0; i < stateFields_.size(); ++i) {
    const StateField& field = stateFields_[i];
    const size_t size = kFullStateFieldSizes[i];
    if (field.target != nullptr && field.size == size) {
      if (size == 1) {
        std::memcpy(field.target, &record.bytes[offset], 1);
      } else {
        for (size_t w = 0; w < size; w += 4) {
          const uint8_t* b = &record.bytes[offset + w];
          const uint32_t word = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
          std::memcpy(static_cast<uint8_t*>(field.target) + w, &word, 4);
        }
      }
    }
    offset += size;
  }
}

void SceneBaseObj::ReleaseRecord() {
  SetUserValueC(0);
  heldRecord_.reset();
}

}  // namespace Playback
