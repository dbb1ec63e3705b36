// Movement and waypoints of a scene object: placing, walking, turning, keeping to the ground and
// following a path. These answer neutrally until the object walks.
#include "objects/scene_base_obj.h"

void CSceneBaseObj::Execute(uint32_t) {}
void CSceneBaseObj::SetHeightOffset(float) {}
void CSceneBaseObj::SetPositionAction(const D3DXVECTOR3*, float, int32_t) {}
// Until placement is built the object takes the matrix's translation as its position, so that
// what placed it reads back.
void CSceneBaseObj::SetTransform(const D3DXMATRIX* transform, int32_t) {
  if (transform == nullptr) return;
  position = walkTarget = D3DXVECTOR3(transform->_41, transform->_42, transform->_43);
  yaw = targetYaw = pitch = roll = 0.0f;
  headPointDirty = topPointDirty = secondDirty = 1;
}
void CSceneBaseObj::SetPositionState(const D3DXVECTOR3*, float, int32_t) {}
void CSceneBaseObj::MoveTo(float, float, float, float, float, int32_t, int32_t, float) {}
void CSceneBaseObj::ApplyPosition() {}
void CSceneBaseObj::Raise(float) {}
void CSceneBaseObj::ResetRaise() {}
void CSceneBaseObj::StopPath() {}
void CSceneBaseObj::SetPathCallback(WaypointCallback, uint32_t) {}
void CSceneBaseObj::SendTransform(float, float, float, float) {}
bool CSceneBaseObj::StepTowardTarget(uint32_t) { return true; }
