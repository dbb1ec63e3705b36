#include "playback/recording_scene_base_obj.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "frame/module_globals.h"
#include "frame/renderable.h"
#include "frame/renderable_parameters.h"
#include "playback/host_parameters.h"

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
  // Nobody hears the object go: the base destructor's Destroy records no Shutdown.
  listeners_.clear();
  parameterCache_.clear();
  nodeParameterCache_.clear();
  heldRecord_.reset();
}

SceneBaseObj* SceneBaseObj::Resolve(const ComponentHandle& handle) {
  auto* base = static_cast<CComponentBase*>(g_pHost->GetObject(&handle));
  return dynamic_cast<SceneBaseObj*>(base);
}

namespace {

// A value text as the 32-bit runtime the values were written for reads it: leading blanks, a
// sign, decimal digits up to the first other character, and the ends of the 32-bit range for a
// number beyond them (not the 64-bit long of this platform cut to 32 bits).
int32_t ParameterValue(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  int64_t magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1) break;
  }
  if (negative) return magnitude > static_cast<int64_t>(INT32_MAX) + 1 ? INT32_MIN : static_cast<int32_t>(-magnitude);
  return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

// The value text the table holds for a key: its first entry of that key.
const char* TableValue(const RenderableParameterTable& table, uint32_t keyId) {
  for (uint32_t i = 0; i < table.count; ++i)
    if (table.items[i] != nullptr && table.items[i]->keyId == keyId) return table.items[i]->value;
  return nullptr;
}

const char* KeyName(const RenderableParameterTable& table, uint32_t keyId) {
  const char* name = table.keys != nullptr ? table.keys->KeyName(keyId) : nullptr;
  return name != nullptr ? name : "";
}

// Floats compare as floats, but a NaN that stays NaN is no change: otherwise it would be
// reported at every frame and the movie would grow without end.
bool SameValue(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

template <class F>
void ForEachNodeParameter(IRenderableNodeParameters* parameters, F&& f) {
  const int32_t count = parameters->GetParameterCount();
  for (int32_t i = -1; i < count; ++i) {
    float a = 0.0f, b = 0.0f, c = 0.0f;
    if (parameters->GetParameter(i, &a, &b, &c)) f(i, a, b, c);
  }
}

D3DLIGHT8 RecordOrZeros(const D3DLIGHT8* light) {
  D3DLIGHT8 record{};
  if (light != nullptr) record = *light;
  return record;
}

}  // namespace

void SceneBaseObj::EmitStateSnapshot(const ObjectRecorderPtr& listener) {
  if (!listener) return;
  listeners_.insert(listener);
  if (objectId == -1) return;
  const ObjectRecorder& to = *listener;
  to.Send(MakeObjectEvent<kObjectLoadFromIni>(static_cast<uint32_t>(objectId), uint8_t{1}));
  to.Send(MakeObjectEvent<kObjectSetTitle>(WideToUtf16(titleText.c_str()), static_cast<uint32_t>(titleFont),
                                           static_cast<uint32_t>(titleOffsetY)));
  to.Send(MakeObjectEvent<kObjectSetPositionAction>(position, yaw, static_cast<uint32_t>(action)));
  to.Send(MakeObjectEvent<kObjectSetTag>(static_cast<uint32_t>(tag)));
  to.Send(MakeObjectEvent<kObjectSetScale>(scale));
  to.Send(MakeObjectEvent<kObjectSetLinkedHandle>(linkedHandle));
  to.Send(MakeObjectEvent<kObjectSetHeightOffset>(heightOffset));
  // The two words a replayed SetUserData gives back through SetHandNumbers.
  to.Send(MakeObjectEvent<kObjectSetUserData>(leftHandNumber, rightHandNumber));
  to.Send(MakeObjectEvent<kObjectSetFlag716>(idleSuppressed));
  if (IRenderableObject* renderable = ResolveRenderable(renderableHandle);
      renderable != nullptr && renderable->parameters != nullptr) {
    const RenderableParameterTable& table = *renderable->parameters;
    for (uint32_t i = 0; i < table.count; ++i) {
      if (table.items[i] == nullptr) continue;
      const uint32_t key = table.items[i]->keyId;
      to.Send(MakeObjectEvent<kObjectHostParameter>(std::string(KeyName(table, key)),
                                                    static_cast<uint32_t>(ParameterValue(TableValue(table, key)))));
    }
  }
  if (IRenderableNodeParameters* parameters = RootNodeParameters(this)) {
    ForEachNodeParameter(parameters, [&](int32_t index, float a, float b, float c) {
      to.Send(MakeObjectEvent<kObjectHostParameterSet>(index, a, b, c));
    });
  }
  to.Send(MakeObjectEvent<kObjectRegisterAnimationEvents>());
}

void SceneBaseObj::Destroy() {
  CSceneBaseObj::Destroy();
  Emit<kObjectShutdown>();
}

void SceneBaseObj::Execute(uint32_t elapsedMs) {
  CSceneBaseObj::Execute(elapsedMs);
  if (listeners_.empty()) return;
  CheckParameters();
  CheckNodeParameters();
}

void SceneBaseObj::CheckParameters() {
  IRenderableObject* renderable = ResolveRenderable(renderableHandle);
  if (renderable == nullptr || renderable->parameters == nullptr) return;
  const RenderableParameterTable& table = *renderable->parameters;
  // Every entry is compared with the cache as it stood before this check (a key the table holds
  // twice is compared twice with its old value); the cache is written afterwards.
  seen_.clear();
  for (uint32_t i = 0; i < table.count; ++i) {
    if (table.items[i] == nullptr) continue;
    const uint32_t keyId = table.items[i]->keyId;
    const char* key = KeyName(table, keyId);
    const int32_t value = ParameterValue(TableValue(table, keyId));
    const auto old = parameterCache_.find(std::string_view(key));
    seen_.push_back(SeenParameter{key, value, old == parameterCache_.end() || old->second != value});
  }
  for (const SeenParameter& entry : seen_) {
    const auto at = parameterCache_.find(std::string_view(entry.key));
    if (at != parameterCache_.end())
      at->second = entry.value;
    else
      parameterCache_.emplace(entry.key, entry.value);
  }
  for (const SeenParameter& entry : seen_)
    if (entry.changed) OnHostParameter(entry.key, entry.value);
}

void SceneBaseObj::CheckNodeParameters() {
  IRenderableNodeParameters* parameters = RootNodeParameters(this);
  if (parameters == nullptr) return;
  ForEachNodeParameter(parameters, [&](int32_t index, float a, float b, float c) {
    const auto old = nodeParameterCache_.find(index);
    const bool changed = old == nodeParameterCache_.end() || !SameValue(old->second[0], a) ||
                         !SameValue(old->second[1], b) || !SameValue(old->second[2], c);
    nodeParameterCache_[index] = Triple{a, b, c};
    if (changed) OnHostParameterSet(index, a, b, c);
  });
}

void SceneBaseObj::OnHostParameter(const std::string& key, int32_t value) {
  Emit<kObjectHostParameter>(key, static_cast<uint32_t>(value));
}

void SceneBaseObj::OnHostParameterSet(int32_t index, float a, float b, float c) {
  Emit<kObjectHostParameterSet>(index, a, b, c);
}

void SceneBaseObj::SetHeightOffset(float offset) {
  CSceneBaseObj::SetHeightOffset(offset);
  Emit<kObjectSetHeightOffset>(offset);
}

void SceneBaseObj::SetHandNumbers(uint32_t left, uint32_t right) {
  CSceneBaseObj::SetHandNumbers(left, right);
  Emit<kObjectSetUserData>(left, right);
}

void SceneBaseObj::SetLinkedHandle(const ComponentHandle* handle) {
  CSceneBaseObj::SetLinkedHandle(handle);
  // A null handle changes nothing and has nothing to carry.
  if (handle != nullptr) Emit<kObjectSetLinkedHandle>(*handle);
}

void SceneBaseObj::SetTag(int32_t value) {
  CSceneBaseObj::SetTag(value);
  Emit<kObjectSetTag>(static_cast<uint32_t>(value));
}

void SceneBaseObj::SetPositionAction(const D3DXVECTOR3* where, float yawAngle, int32_t newAction) {
  CSceneBaseObj::SetPositionAction(where, yawAngle, newAction);
  if (where != nullptr) Emit<kObjectSetPositionAction>(*where, yawAngle, static_cast<uint32_t>(newAction));
}

void SceneBaseObj::SetTransform(const D3DXMATRIX* transform, int32_t newAction) {
  CSceneBaseObj::SetTransform(transform, newAction);
  if (transform != nullptr) Emit<kObjectSetTransform>(*transform, static_cast<uint32_t>(newAction));
}

void SceneBaseObj::SetPositionState(const D3DXVECTOR3* where, float yawAngle, int32_t newAction) {
  CSceneBaseObj::SetPositionState(where, yawAngle, newAction);
  if (where != nullptr) Emit<kObjectSetPositionState>(*where, yawAngle, static_cast<uint32_t>(newAction));
}

bool SceneBaseObj::PlayAnimationRequest(const char* animation, uint8_t loop, float speed, int32_t a, float b, float c,
                                        float d, int32_t e) {
  if (!CSceneBaseObj::PlayAnimationRequest(animation, loop, speed, a, b, c, d, e)) return false;
  Emit<kObjectPlayAnimationRequest>(std::string(animation != nullptr ? animation : ""), loop, speed,
                                    static_cast<uint32_t>(a), b, c, d, static_cast<uint32_t>(e));
  return true;
}

void SceneBaseObj::SetIdleSuppressed(uint8_t suppressed) {
  CSceneBaseObj::SetIdleSuppressed(suppressed);
  Emit<kObjectSetFlag716>(suppressed);
}

bool SceneBaseObj::LoadFromIni(uint32_t id, uint8_t flag, uint8_t waitForModel, float height) {
  if (!CSceneBaseObj::LoadFromIni(id, flag, waitForModel, height)) return false;
  Emit<kObjectLoadFromIni>(id, flag);
  return true;
}

bool SceneBaseObj::PlayEffect(const char* effectName, const char* effectList, int32_t durationMs, int32_t mode) {
  if (!CSceneBaseObj::PlayEffect(effectName, effectList, durationMs, mode)) return false;
  Emit<kObjectPlayEffect>(std::string(effectName != nullptr ? effectName : ""),
                          std::string(effectList != nullptr ? effectList : ""), static_cast<uint32_t>(durationMs),
                          static_cast<uint32_t>(mode));
  return true;
}

bool SceneBaseObj::RemoveEffectsByName(const char* effectName) {
  if (!CSceneBaseObj::RemoveEffectsByName(effectName)) return false;
  Emit<kObjectRemoveEffectsByName>(std::string(effectName != nullptr ? effectName : ""));
  return true;
}

void SceneBaseObj::AddChildId(int32_t id) {
  CSceneBaseObj::AddChildId(id);
  Emit<kObjectAddChildId>(static_cast<uint32_t>(id));
}

void SceneBaseObj::RemoveChildId(int32_t id) {
  CSceneBaseObj::RemoveChildId(id);
  Emit<kObjectRemoveChildId>(static_cast<uint32_t>(id));
}

void SceneBaseObj::SetScale(float value) {
  CSceneBaseObj::SetScale(value);
  Emit<kObjectSetScale>(value);
}

void SceneBaseObj::RegisterAnimationEvents() {
  CSceneBaseObj::RegisterAnimationEvents();
  Emit<kObjectRegisterAnimationEvents>();
}

void SceneBaseObj::SetUserValueC(const D3DLIGHT8* light) {
  CSceneBaseObj::SetUserValueC(light);
  Emit<kObjectSetValue352>(RecordOrZeros(light));
}

void SceneBaseObj::SetTitle(const wchar_t* text, int32_t font, int32_t offsetY, uint8_t convert) {
  CSceneBaseObj::SetTitle(text, font, offsetY, convert);
  Emit<kObjectSetTitle>(WideToUtf16(text), static_cast<uint32_t>(font), static_cast<uint32_t>(offsetY));
}

void SceneBaseObj::MoveToRecorded(float x, float z, float yawAngle, float speed, float turn, int32_t newAction,
                                  int32_t arrival) {
  MoveTo(x, z, yawAngle, speed, turn, newAction, arrival, 0.0f);
  Emit<kObjectMoveTo>(x, z, yawAngle, speed, turn, static_cast<uint32_t>(newAction), static_cast<uint32_t>(arrival));
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
