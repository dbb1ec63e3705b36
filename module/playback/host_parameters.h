// Replays of the two parameter events on the host side of a scene object: a key's value in its
// renderable's parameter table, and a triple of its renderable's root node.
#pragma once
#include <cstdint>
#include <string>

class CSceneBaseObj;

namespace Playback {

void ApplyHostParameter(CSceneBaseObj* object, const std::string& key, int32_t value);
void ApplyHostParameterSet(CSceneBaseObj* object, int32_t index, float a, float b, float c);

}  // namespace Playback
