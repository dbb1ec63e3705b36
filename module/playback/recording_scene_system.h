// The recording variant of the scene system. Only the component frame exists so far.
#pragma once
#include "scene/scene_system.h"

namespace Playback {
class SceneSystem : public CSceneSystem {
 public:
  SceneSystem();
  ~SceneSystem() override;
};
}  // namespace Playback
