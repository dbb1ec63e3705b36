// Animations, animation events, effects and sounds of a scene object. The renderable plays the
// animations and calls back twice: with plain codes (4 a looping animation wrapped, 5 one
// started, 6 a non-looping one ended) and with the text events written into the animation data.
// Effects live on the host's "ActiveEffect" object, sounds on "Sound", shader effects on
// "ShaderDrawMain"; the object remembers the effect ids it started so that it can take them away.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderable.h"
#include "math/random.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "win32/win32.h"

namespace {

constexpr int32_t kEffectCreate = 600000;  // "lscciffls"
constexpr int32_t kEffectRemove = 600002;  // "ll"
constexpr int32_t kSoundLoad = 77014;      // "ls": a sound id for the name
constexpr int32_t kSoundPlay = 77016;      // "llcccl"
constexpr int32_t kShaderAttack = 501003;  // "lspsplffllll"

constexpr size_t kMaxEffectsPerList = 16;
constexpr size_t kMaxEffectName = 63;
constexpr size_t kMaxSequenceName = 127;
// The idle action whose variations follow every wrap as well as every end.
constexpr int32_t kDanceIdleAction = 39;

// The tokens of a text, split as strtok splits (runs of delimiters between tokens, none empty),
// over a copy of the text's own length so that neither the text nor another split is touched.
class TokenSplitter {
 public:
  explicit TokenSplitter(const char* text) : copy_(text, text + std::strlen(text) + 1) {}
  const char* Next(const char* delimiters) {
    char* token = strtok_r(first_ ? copy_.data() : nullptr, delimiters, &save_);
    first_ = false;
    return token;
  }

 private:
  std::vector<char> copy_;
  char* save_ = nullptr;
  bool first_ = true;
};

void CopyBounded(char* out, size_t capacity, const char* text) {
  std::snprintf(out, capacity, "%s", text != nullptr ? text : "");
}

bool FindNamed(ComponentHandle* out, const char* className) {
  return g_pHost != nullptr && g_pHost->FindObject(out, className, 0);
}

IRenderableNode* ResolveNode(const ComponentHandle& handle) {
  if (g_pHost == nullptr) return nullptr;
  return static_cast<IRenderableNode*>(g_pHost->GetObject(&handle));
}

D3DXVECTOR3 WorldPositionOf(IRenderableNode* node) {
  const D3DMATRIX* world = node->GetWorldMatrix();
  return world != nullptr ? D3DXVECTOR3(world->_41, world->_42, world->_43) : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

// The item of a parameter table whose key is `key` (case ignored); null when there is none.
RenderableParameter* FindParameter(RenderableParameterTable* table, const char* key) {
  if (table == nullptr || table->items == nullptr || table->keys == nullptr) return nullptr;
  for (uint32_t i = 0; i < table->count; ++i) {
    RenderableParameter* item = table->items[i];
    if (item == nullptr) continue;
    const char* name = table->keys->KeyName(item->keyId);
    if (name != nullptr && strcasecmp(name, key) == 0) return item;
  }
  return nullptr;
}

}  // namespace

bool CSceneBaseObj::PlayAnimation(const char* animation, uint8_t loop, float speed, int32_t a, float b, float c,
                                  float d, int32_t e) {
  if (animation == nullptr || animation[0] == '\0') return false;
  if (CSceneSystem* scene = GetCurrentSceneSystem()) adjustH = scene->GetAdjustHeight(animation);
  animationName = animation;
  if (g_pHost == nullptr) return false;
  return g_pHost->SendMessage(renderableHandle, "lsslffffll", kObjMsgPlayAnimation, animation, nullptr,
                              static_cast<int32_t>(loop), static_cast<double>(speed), static_cast<double>(b),
                              static_cast<double>(c), static_cast<double>(d), a, e) != 0;
}

bool CSceneBaseObj::PlayAnimationRequest(const char* animation, uint8_t loop, float speed, int32_t a, float b,
                                         float c, float d, int32_t e) {
  return PlayAnimation(animation, loop, speed, a, b, c, d, e);
}

bool CSceneBaseObj::PlayAnimationSequence(const char** names, int32_t count, float speed, int32_t a, float b, float c,
                                          float d) {
  if (names == nullptr || count < 1 || count > 8) {
    sequenceCount = 0;
    sequenceIndex = -1;
    sequencePending = 0;
    return false;
  }
  for (int32_t i = 0; i < count; ++i) CopyBounded(sequenceNames[i], kMaxSequenceName + 1, names[i]);
  PlayAnimationRequest(sequenceNames[0], 0, speed, a, b, c, d, 0);
  sequenceCount = count;
  sequenceIndex = 0;
  sequencePending = 0;
  return true;
}

void CSceneBaseObj::RegisterAnimationEvents() {
  if (IRenderableInterface* iface = QueryInterface(renderableHandle))
    iface->SetTextEventCallback(&CSceneBaseObj::ProcessAnimationEvent, self);
}

void CSceneBaseObj::OnRenderableEvent(void* context, IAnimation* animation, int32_t x, int32_t y, int32_t code) {
  auto* object = static_cast<CSceneBaseObj*>(context);
  if (object == nullptr) return;
  uint32_t left = object->leftHandNumber;
  uint32_t right = object->rightHandNumber;
  object->GetHandNumbers(&left, &right);
  // A controller still busy with its track would lose a hand change or end an after-image run
  // in the middle of the animation.
  auto controllerFree = [&] {
    IAnimationController* controller = animation != nullptr ? animation->GetController(x) : nullptr;
    return controller == nullptr || !controller->IsBusy(y);
  };
  CSceneSystem* scene = GetCurrentSceneSystem();
  const bool mayIdle = object->idleSuppressed == 0 && object->moving == 0 && object->idleDelay < 1;

  if ((code == 4 || code == 6) && object->action == kDanceIdleAction && mayIdle && scene != nullptr &&
      scene->GetVisStateActionCount(kDanceIdleAction) > 0) {
    CopyBounded(object->idleAnimationName, sizeof(object->idleAnimationName),
                scene->GetRandomStateAction(kDanceIdleAction, 0));
    int32_t base = 0, range = 0;
    scene->GetVisStateRandom(kDanceIdleAction, &base, &range);
    object->idleDelay = base + range;
  }
  if (code < 4 || code > 6) return;

  if (code == 6) {
    if (object->idleSuppressed == 0 && object->moving == 0 && object->idleDelay < 1 && scene != nullptr) {
      const int32_t n = scene->GetVisStateActionCount(object->action);
      if (n > 0) {
        const auto pick = static_cast<int32_t>(RandomFloat(static_cast<float>(n - 1)));
        CopyBounded(object->idleAnimationName, sizeof(object->idleAnimationName),
                    scene->GetRandomStateAction(object->action, pick));
        int32_t base = 0, range = 0;
        scene->GetVisStateRandom(object->action, &base, &range);
        object->idleDelay = base + static_cast<int32_t>(RandomFloat(static_cast<float>(range)));
      }
    }
    // Only a sequence in progress moves on; without one there is no name to play.
    if (object->sequenceIndex >= 0) {
      ++object->sequenceIndex;
      if (object->sequenceIndex < object->sequenceCount) {
        object->sequencePending = 1;
      } else {
        object->sequenceIndex = -1;
        object->sequencePending = 0;
      }
    }
  }

  if (object->leftHandPending != 0 && controllerFree() && object->ResolveRenderable(object->renderableHandle)) {
    object->ChangeHandModel(true, left, true);
    object->leftHandPending = 0;
  }
  if (object->rightHandPending != 0 && controllerFree() && object->ResolveRenderable(object->renderableHandle)) {
    object->ChangeHandModel(false, right, true);
    object->rightHandPending = 0;
  }
  if (object->unlimited != 0 && controllerFree()) {
    object->captureTimer = 0;
    object->unlimited = 0;
  }
}

CSceneBaseObj::HandChange CSceneBaseObj::ChangeHandNow(bool left, const char* number, const char* event) {
  IRenderableObject* renderable = ResolveRenderable(renderableHandle);
  if (renderable == nullptr) return HandChange::Ended;
  const RenderableParameter* item = FindParameter(renderable->parameters, left ? "lhandModel" : "rhandModel");
  if (item == nullptr || item->value == nullptr || item->value[0] == '\0') {
    if (g_pHost != nullptr) g_pHost->Log("Warning : ProcessAnimationEvent token  %s ", event);
    return HandChange::Ended;
  }
  // A value under four characters has no model stem to number.
  if (!ChangeHandModel(left, static_cast<uint32_t>(std::atol(number)), false)) return HandChange::Ended;
  (left ? leftHandPending : rightHandPending) = 1;
  return HandChange::Written;
}

void CSceneBaseObj::ProcessAnimationEvent(void* context, IAnimation* animation, int32_t controller, const char* text) {
  auto* object = static_cast<CSceneBaseObj*>(context);
  if (object == nullptr || text == nullptr || g_pHost == nullptr) return;
  TokenSplitter tokens(text);
  const char* word = tokens.Next(",");
  if (word == nullptr) return;

  if (strcasecmp(word, "effect") == 0) {
    const char* effect = tokens.Next(",");
    if (effect == nullptr) return;
    const char* attach = tokens.Next(",");
    ComponentHandle effects{};
    if (!FindNamed(&effects, "ActiveEffect")) return;
    g_pHost->SendMessage(effects, "lscciffls", kEffectCreate, effect, D3DXVECTOR3(0.0f, 0.0f, 0.0f),
                         D3DXVECTOR3(0.0f, 1.0f, 0.0f), object->rootNodeHandle, 1.0, 1.0, 0, attach);
  } else if (strcasecmp(word, "sound") == 0) {
    const char* sound = tokens.Next(",");
    if (sound != nullptr) object->PlaySound(sound);
  } else if (strcasecmp(word, "attackeffect") == 0) {
    const char* first = tokens.Next(",");
    const char* second = first != nullptr ? tokens.Next(",") : nullptr;
    if (second == nullptr) return;
    ComponentHandle shader{};
    if (!FindNamed(&shader, "ShaderDrawMain")) {
      g_pHost->Log("[Warnning] no find ShaderDrawMain ENTITY_ID");
      return;
    }
    g_pHost->SendMessage(shader, "lspsplffllll", kShaderAttack, first, &object->rootNodeCopy, second,
                         &object->linkedHandle, 1, static_cast<double>(1.8f), 0.0, 0, 0, 1, 0);
  } else if (strcasecmp(word, "lhand") == 0 || strcasecmp(word, "rhand") == 0) {
    const char* number = tokens.Next(",");
    if (number == nullptr) return;
    if (object->ChangeHandNow(strcasecmp(word, "lhand") == 0, number, word) == HandChange::Written)
      object->ApplyRenderableParameters();
  } else if (strcasecmp(word, "lrhand") == 0) {
    const char* leftNumber = tokens.Next(",");
    const char* rightNumber = leftNumber != nullptr ? tokens.Next(",") : nullptr;
    if (rightNumber == nullptr) return;
    const HandChange left = object->ChangeHandNow(true, leftNumber, word);
    const HandChange right = left == HandChange::Ended ? HandChange::Ended : object->ChangeHandNow(false, rightNumber, word);
    // The renderable takes both sides at once; a side already written is applied even when
    // the other side ended the event.
    if (left == HandChange::Written || right == HandChange::Written) object->ApplyRenderableParameters();
  } else if (strcasecmp(word, "afterImage") == 0) {
    const char* settings[5];
    for (const char*& token : settings) token = tokens.Next(",");
    object->ApplyAfterImageSettings(animation, controller, settings);
  }
}

void CSceneBaseObj::ApplyRenderableParameters() {
  if (IRenderableObject* renderable = ResolveRenderable(renderableHandle)) renderable->ApplyParameters(g_pHost->GetObjectCookie(&renderableHandle));
}

bool CSceneBaseObj::PlayEffect(const char* effectName, const char* effectList, int32_t durationMs, int32_t mode) {
  if (IsHidden() != 0) return true;
  if (waitingForModel != 0) {
    pendingEffects.push_back(PendingEffectRequest{effectName != nullptr ? effectName : "",
                                                  effectList != nullptr ? effectList : "", timeGetTime(),
                                                  durationMs, mode});
    return true;
  }
  IRenderableNode* root = ResolveNode(rootNodeHandle);
  if (root == nullptr || effectList == nullptr || g_pHost == nullptr) return true;

  std::vector<std::string> effects;
  TokenSplitter tokens(effectList);
  for (const char* t = tokens.Next(";"); t != nullptr && effects.size() < kMaxEffectsPerList; t = tokens.Next(";"))
    effects.emplace_back(t, strnlen(t, kMaxEffectName));
  if (effects.empty()) return true;

  SceneEffectRecord record;
  record.name = effectName != nullptr ? effectName : "";
  record.remainingMs = durationMs;
  const D3DXVECTOR3 at = WorldPositionOf(root);
  for (const std::string& effect : effects)
    record.effectIds.push_back(g_pHost->SendMessage(effectObjectHandle, "lscciffls", kEffectCreate, effect.c_str(), at,
                                                    D3DXVECTOR3(0.0f, 0.0f, 0.0f), rootNodeHandle, 1.0, 1.0, mode,
                                                    nullptr));
  if (mode == -1) {
    keptEffects.push_back(std::move(record));
  } else if (durationMs >= 1) {
    timedEffects.push_back(std::move(record));
  }
  return true;
}

bool CSceneBaseObj::RemoveEffectsByName(const char* effectName) {
  if (effectName == nullptr || effectName[0] == '\0') return false;
  if (waitingForModel != 0) {
    const size_t before = pendingEffects.size();
    std::erase_if(pendingEffects, [&](const PendingEffectRequest& r) { return r.name == effectName; });
    return pendingEffects.size() != before;
  }
  bool removed = false;
  for (std::vector<SceneEffectRecord>* records : {&timedEffects, &keptEffects}) {
    std::erase_if(*records, [&](const SceneEffectRecord& r) {
      if (r.name != effectName) return false;
      RemoveEffectIds(r);
      removed = true;
      return true;
    });
  }
  return removed;
}

void CSceneBaseObj::RemoveAllEffects() {
  for (std::vector<SceneEffectRecord>* records : {&timedEffects, &keptEffects}) {
    for (const SceneEffectRecord& r : *records) RemoveEffectIds(r);
    records->clear();
  }
}

void CSceneBaseObj::RemoveEffectIds(const SceneEffectRecord& record) {
  for (int32_t id : record.effectIds) RemoveEffect(id);
}

void CSceneBaseObj::ReplayPendingEffects() {
  std::vector<PendingEffectRequest> requests;
  requests.swap(pendingEffects);
  const uint32_t now = timeGetTime();
  for (PendingEffectRequest& r : requests) {
    // Kept effects and those without a time of their own have no time to run out.
    if (r.mode == -1 || r.durationMs <= 0) {
      PlayEffect(r.name.c_str(), r.effectList.c_str(), r.durationMs, r.mode);
      continue;
    }
    const int64_t left = static_cast<int64_t>(r.durationMs) - static_cast<int64_t>(now - r.startTime);
    r.durationMs = static_cast<int32_t>(left > 0 ? left : 0);
    if (left > 0) PlayEffect(r.name.c_str(), r.effectList.c_str(), r.durationMs, r.mode);
  }
}

int32_t CSceneBaseObj::CreateEffect(const char* effectName, int32_t mode) {
  if (effectName == nullptr || effectName[0] == '\0' || g_pHost == nullptr) return -1;
  IRenderableNode* root = ResolveNode(rootNodeHandle);
  if (root == nullptr) return -1;
  return g_pHost->SendMessage(effectObjectHandle, "lscciffls", kEffectCreate, effectName, WorldPositionOf(root),
                              D3DXVECTOR3(0.0f, 0.0f, 0.0f), rootNodeHandle, 1.0, 1.0, mode, nullptr);
}

void CSceneBaseObj::PlayActiveEffect(int32_t mode) {
  if (activeEffectId != -1 || name.empty()) return;
  if (ResolveNode(rootNodeHandle) == nullptr) return;
  activeEffectId = CreateEffect(name.c_str(), mode);
}

void CSceneBaseObj::StopActiveEffect() {
  if (activeEffectId == -1) return;
  RemoveEffect(activeEffectId);
  activeEffectId = -1;
}

void CSceneBaseObj::RemoveEffect(int32_t id) {
  if (g_pHost != nullptr) g_pHost->SendMessage(effectObjectHandle, "ll", kEffectRemove, id);
}

bool CSceneBaseObj::PlaySound(const char* sound) {
  ComponentHandle sounds{};
  if (sound == nullptr || !FindNamed(&sounds, "Sound")) return false;
  const int32_t id = g_pHost->SendMessage(sounds, "ls", kSoundLoad, sound);
  const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
  g_pHost->SendMessage(sounds, "llcccl", kSoundPlay, id, zero, zero, zero, 1);
  return true;
}

// The drawing side owns the after-image run; until it takes these settings an "afterImage"
// event changes nothing.
void CSceneBaseObj::ApplyAfterImageSettings(IAnimation*, int32_t, const char* const*) {}
