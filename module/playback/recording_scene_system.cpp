#include "playback/recording_scene_system.h"

namespace Playback {
SceneSystem::SceneSystem() = default;
SceneSystem::~SceneSystem() = default;
}  // namespace Playback
