#include "playback/host_parameters.h"

#include "objects/scene_base_obj.h"

namespace Playback {

// The renderable's parameter table and its root node come with the host's "Renderable" family;
// until then these replays find nothing to change.
void ApplyHostParameter(CSceneBaseObj*, const std::string&, int32_t) {}
void ApplyHostParameterSet(CSceneBaseObj*, int32_t, float, float, float) {}

}  // namespace Playback
