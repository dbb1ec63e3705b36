// Slots of the scene system whose work comes with later parts of the scene: walk and height
// maps and the navigation mesh. Until then each answers neutrally (false, 0, null or nothing);
// the README lists them.
#include "scene/scene_system.h"

void CSceneSystem::UnloadSceneThunk() { UnloadScene(); }
void CSceneSystem::ResetNavMesh(HostModelGeometry*) { navMesh = nullptr; }

void CSceneSystem::RenderScenePlanform(int32_t, int32_t, float, const char*) {}
bool CSceneSystem::GenerateHeightMap(int32_t, int32_t, const char*, const char*) { return false; }
bool CSceneSystem::GenerateWalkMap(int32_t, int32_t, const char*, const char*) { return false; }
bool CSceneSystem::FindPath(CSceneBaseObj*, WaypointCallback, uint32_t, const D3DXVECTOR3*, const D3DXVECTOR3*) {
  return false;
}
