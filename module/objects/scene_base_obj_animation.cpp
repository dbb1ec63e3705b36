// Animations, animation events, effects and sounds of a scene object. These answer neutrally
// until the object plays animations.
#include "objects/scene_base_obj.h"

bool CSceneBaseObj::PlayAnimationRequest(const char*, uint8_t, float, int32_t, float, float, float, int32_t) {
  return false;
}
bool CSceneBaseObj::PlayEffect(const char*, const char*, int32_t, int32_t) { return false; }
bool CSceneBaseObj::RemoveEffectsByName(const char*) { return false; }
void CSceneBaseObj::RemoveAllEffects() {}
bool CSceneBaseObj::PlaySound(const char*) { return false; }
void CSceneBaseObj::RegisterAnimationEvents() {}
bool CSceneBaseObj::PlayAnimationSequence(const char**, int32_t, float, int32_t, float, float, float) { return false; }
void CSceneBaseObj::PlayActiveEffect(int32_t) {}
void CSceneBaseObj::StopActiveEffect() {}
int32_t CSceneBaseObj::CreateEffect(const char*, int32_t) { return -1; }
void CSceneBaseObj::RemoveEffect(int32_t) {}
bool CSceneBaseObj::PlayAnimation(const char*, uint8_t, float, int32_t, float, float, float, int32_t) { return false; }
void CSceneBaseObj::OnRenderableEvent(void*, IAnimation*, int32_t, int32_t, int32_t) {}
void CSceneBaseObj::ProcessAnimationEvent(void*, IAnimation*, int32_t, const char*) {}
