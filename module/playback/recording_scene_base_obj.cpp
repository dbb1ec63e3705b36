#include "playback/recording_scene_base_obj.h"

#include <cstring>

#include "frame/module_globals.h"

namespace Playback {

namespace {
template <class T>
SceneBaseObj::StateField One(T& member) {
  return SceneBaseObj::StateField{{&member, nullptr, nullptr}, {static_cast<uint8_t>(sizeof(T)), 0, 0}};
}
}  // namespace

SceneBaseObj::SceneBaseObj()
    : stateFields_{
          One(titleEnabled), One(scale), One(sceneRenderFlag),
          StateField{{&frontPoint, &headPoint, &eyeWord}, {12, 12, 4}},
          One(userValueA), One(hidden), One(objectId), One(plainWords_[0]), One(headBoneMatrix),
          One(headWorldMatrix), One(headBoneIndex), One(walkTarget), One(moveSpeed), One(savedMoveSpeed),
          One(targetYaw), One(turnSpeed), One(shown), One(placedAction), One(boundingBoxShown), One(spareIds[0]),
          One(spareIds[1]), One(plainWords_[1]), One(shineMatrix), One(headPointDirty), One(topPointDirty),
          One(headScreenPoint), One(secondDirty), One(topScreenPoint), One(modelHeight), One(alphaEnabled),
          One(adjustH), One(leftHandNumber), One(rightHandNumber), One(action), One(userValueB), One(titleOffsetY),
          One(baseModel), One(heightOffset), One(linkedHandle)} {}

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
  const uint8_t* in = record.bytes.data();
  for (const StateField& field : stateFields_) {
    for (size_t part = 0; part < 3 && field.targets[part] != nullptr; ++part) {
      auto* out = static_cast<uint8_t*>(field.targets[part]);
      const size_t size = field.sizes[part];
      if (size == 1) {
        *out = *in++;
        continue;
      }
      // Longer fields are 32-bit words, little-endian in the record.
      for (size_t w = 0; w < size; w += 4, in += 4) {
        const uint32_t word = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                              static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
        std::memcpy(out + w, &word, 4);
      }
    }
  }
}

void SceneBaseObj::ReleaseRecord() {
  SetUserValueC(nullptr);
  heldRecord_.reset();
}

}  // namespace Playback
