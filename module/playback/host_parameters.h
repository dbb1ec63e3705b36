// Replays of the two parameter events on the host side of a scene object: a key's value in its
// renderable's parameter table, and a triple of its renderable's root node.
#pragma once
#include <cstdint>
#include <string>

class CSceneBaseObj;
class IRenderableNodeParameters;

namespace Playback {

// The key's value in the table (replaced, or a new entry), then the renderable applies its table.
// Nothing happens when the renderable is gone or has no table.
void ApplyHostParameter(CSceneBaseObj* object, const std::string& key, int32_t value);
// The parameters of the root node the renderable names (400006 with no name); null when any
// step finds nothing.
IRenderableNodeParameters* RootNodeParameters(CSceneBaseObj* object);
void ApplyHostParameterSet(CSceneBaseObj* object, int32_t index, float a, float b, float c);

}  // namespace Playback
