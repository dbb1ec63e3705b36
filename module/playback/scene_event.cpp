#include "playback/scene_event.h"

#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "math/crt_rand.h"
#include "scene/scene_system.h"

namespace Playback {

template <uint32_t Code>
void SceneEventOf<Code>::Apply(CSceneSystem* scene) const {
  if (scene == nullptr) return;
  if constexpr (Code == kSceneLoadScene) {
    scene->LoadScene(std::get<0>(fields));
  } else if constexpr (Code == kSceneUnloadScene) {
    scene->UnloadSceneThunk();
  } else if constexpr (Code == kSceneObjectCreated) {
    // A player makes its objects itself; this is the plain replay of the creation.
    uint32_t key[2];
    key[0] = static_cast<uint32_t>(CrtRand());
    key[1] = static_cast<uint32_t>(CrtRand());
    scene->CreateSceneObject(key);
  } else if constexpr (Code == kSceneLightActive) {
    CLightingSystem* lighting = scene->GetLightingSystem();
    if (lighting == nullptr) return;
    if (CLight* light = lighting->GetLightByName(std::get<0>(fields).c_str())) light->SetActive(std::get<1>(fields) != 0, 0);
  } else if constexpr (Code == kSceneStateString) {
    scene->SetStateString(std::get<0>(fields).c_str(), std::get<1>(fields), static_cast<int32_t>(std::get<2>(fields)));
  } else if constexpr (Code == kScenePendingStateName) {
    scene->SetPendingStateName(std::get<0>(fields).c_str());
  }
  // EndOfMovie does nothing: the player stops when it reaches it.
}

template class SceneEventOf<kSceneLoadScene>;
template class SceneEventOf<kSceneUnloadScene>;
template class SceneEventOf<kSceneObjectCreated>;
template class SceneEventOf<kSceneLightActive>;
template class SceneEventOf<kSceneEndOfMovie>;
template class SceneEventOf<kSceneStateString>;
template class SceneEventOf<kScenePendingStateName>;

}  // namespace Playback
