#include "playback/recording_scene_base_obj.h"

namespace Playback {
SceneBaseObj::SceneBaseObj() = default;
SceneBaseObj::~SceneBaseObj() = default;
}  // namespace Playback
