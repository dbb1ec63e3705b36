// The recording variant of the scene object. Only the component frame exists so far.
#pragma once
#include "objects/scene_base_obj.h"

namespace Playback {
class SceneBaseObj : public CSceneBaseObj {
 public:
  SceneBaseObj();
  ~SceneBaseObj() override;
};
}  // namespace Playback
