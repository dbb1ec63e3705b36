// Movement and waypoints of a scene object: placing, walking, turning, keeping to the ground and
// following a path. Everything here runs on the host thread in the object's Execute.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "frame/module_globals.h"
#include "frame/renderable.h"
#include "math/angles.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"

namespace {

// Below this a difference of angle or position counts as none.
constexpr float kEpsilon = 4e-7f;
constexpr float kPi = 3.14159265f;
// A step that changes the ground height by more than this is a wall or a drop, not a slope.
constexpr float kMaxStepHeight = 1.5f;
// Every waypoint is walked with the same speed and action.
constexpr float kWaypointSpeed = 1.0f;
constexpr int32_t kWaypointAction = 3;

const char* VisStateNameOr(int32_t action, const char* fallback) {
  CSceneSystem* scene = GetCurrentSceneSystem();
  const char* name = scene != nullptr ? scene->GetVisStateName(action) : nullptr;
  return name != nullptr ? name : fallback;
}

}  // namespace

void CSceneBaseObj::SendTransform(float x, float y, float z, float yawAngle) {
  if (g_pHost == nullptr) return;
  g_pHost->SendMessage(renderableHandle, "lcc", kObjMsgSetTransform, D3DXVECTOR3(x, y + heightOffset, z),
                       D3DXVECTOR3(0.0f, yawAngle, 0.0f));
}

bool CSceneBaseObj::StepTowardTarget(uint32_t dt) {
  bool arrived = true;
  const float turn = static_cast<float>(dt) * turnSpeed;
  const float d = std::fabs(targetYaw - yaw);
  if (d > kEpsilon) {
    if (d > kPi) {
      // The short way passes through 0: a wrap that lands beyond the target stops on it.
      if (targetYaw <= yaw) {
        const float next = WrapAngle(yaw + turn);
        yaw = (next < yaw && next > targetYaw) ? targetYaw : next;
      } else {
        const float next = WrapAngle(yaw - turn);
        yaw = (next > yaw && next < targetYaw) ? targetYaw : next;
      }
    } else if (targetYaw <= yaw) {
      yaw = std::max(yaw - turn, targetYaw);
    } else {
      yaw = std::min(yaw + turn, targetYaw);
    }
  }

  if (moveSpeed > 0.0f &&
      (std::fabs(position.x - walkTarget.x) > kEpsilon || std::fabs(position.z - walkTarget.z) > kEpsilon)) {
    // In double: the squared distance to a far target passes the float range.
    const double dx = static_cast<double>(walkTarget.x) - position.x;
    const double dz = static_cast<double>(walkTarget.z) - position.z;
    const double step = static_cast<double>(dt) * moveSpeed;
    const double left = dx * dx + dz * dz;
    if (left - step * step <= kEpsilon) {
      position.x = walkTarget.x;
      position.z = walkTarget.z;
      yaw = targetYaw;
      savedMoveSpeed = moveSpeed;
      moveSpeed = 0.0f;
    } else {
      const double scaleToStep = step / std::sqrt(left);
      const float x = static_cast<float>(position.x + dx * scaleToStep);
      const float z = static_cast<float>(position.z + dz * scaleToStep);
      // So far out that a step is below the float spacing, the object cannot get on: the walk
      // ends where it stands rather than going on for ever in place.
      if (x == position.x && z == position.z && step > 0.0) return true;
      position.x = x;
      position.z = z;
      arrived = false;
    }
  }
  return arrived;
}

void CSceneBaseObj::TakePlacedAction(int32_t newAction, float cd) {
  if (newAction != action) {
    PlayAnimation(VisStateNameOr(newAction, "stand"), 1, 1.0f, 0, 0.0f, cd, cd, 1);
    action = newAction;
  }
  moving = 0;
  idleAnimationName[0] = '\0';
  idleDelay = 0;
}

void CSceneBaseObj::SetPositionAction(const D3DXVECTOR3* where, float yawAngle, int32_t newAction) {
  if (where == nullptr) return;
  position = walkTarget = *where;
  yaw = targetYaw = WrapAngle(yawAngle);
  pitch = roll = 0.0f;
  if (CSceneSystem* scene = GetCurrentSceneSystem()) scene->GetGroundHeight(&position, 0);
  SendTransform(position.x, position.y, position.z, yaw);
  placedAction = newAction;
  headPointDirty = topPointDirty = secondDirty = 1;
  TakePlacedAction(newAction, -1.0f);
}

void CSceneBaseObj::SetPositionState(const D3DXVECTOR3* where, float yawAngle, int32_t newAction) {
  if (where == nullptr) return;
  position = walkTarget = *where;
  yaw = targetYaw = WrapAngle(yawAngle);
  pitch = roll = 0.0f;
  SendTransform(position.x, position.y, position.z, yaw);
  TakePlacedAction(newAction, -1.0f);
}

void CSceneBaseObj::SetTransform(const D3DXMATRIX* transform, int32_t newAction) {
  if (transform == nullptr) return;
  position = walkTarget = D3DXVECTOR3(transform->_41, transform->_42, transform->_43);
  yaw = targetYaw = pitch = roll = 0.0f;
  headPointDirty = topPointDirty = secondDirty = 1;

  if (IRenderableNode* root = FindRootNode(&rootNodeHandle)) {
    *root->GetLocalMatrix() = *transform;
    root->Update();
    const D3DMATRIX& world = *root->GetWorldMatrix();
    headPoint = D3DXVECTOR3(world._41, world._42 + modelHeight * 0.8f, world._43);
    frontPoint = headPoint + D3DXVECTOR3(world._31, world._32, world._33) * 1.5f;
    eyeWord = 0;
  }

  TakePlacedAction(newAction, 0.0f);
}

void CSceneBaseObj::ApplyPosition() {
  const D3DXVECTOR3 here = position;
  SetPositionAction(&here, yaw, placedAction);
}

void CSceneBaseObj::MoveTo(float x, float z, float yawAngle, float speed, float turn, int32_t newAction,
                           int32_t arrival, float targetY) {
  if (action == -1) {
    const D3DXVECTOR3 where(x, position.y, z);
    SetPositionAction(&where, yawAngle, newAction);
    return;
  }
  arrivalAction = arrival;
  walkTarget = D3DXVECTOR3(x, targetY, z);
  targetYaw = WrapAngle(yawAngle);
  if (turn != 0.0f) turnSpeed = std::fabs(turn) * 0.001f;

  bool startWalk = speed != 0.0f;
  if (!startWalk) {
    if (moving == 0) {
      const D3DXVECTOR3 where(x, position.y, z);
      SetPositionAction(&where, yawAngle, newAction);
    } else {
      // The walk in progress goes on to the new target; only what happens on arrival changes.
      arrivalAction = newAction;
    }
  } else {
    moving = 1;
    walkAction = newAction;
    moveSpeed = std::fabs(speed) * 0.001f;
    if (newAction != action) {
      const char* animation = VisStateNameOr(newAction, nullptr);
      if (animation == nullptr) {
        PlayAnimation("walk", 1, 1.0f, 0, 0.0f, 0.0f, 0.0f, 1);
      } else if (std::strcmp(animation, "NULL") == 0) {
        // Walks without an animation, keeping its facing until it arrives.
        turnSpeed = 0.0f;
      } else {
        PlayAnimation(animation, 1, 1.0f, 0, 0.0f, 0.0f, 0.0f, 1);
      }
      action = newAction;
    }
  }
  idleAnimationName[0] = '\0';
  idleDelay = 0;
}

void CSceneBaseObj::AdvanceWaypoint(bool step) {
  auto& list = path.waypoints;
  if (currentWaypoint == list.end()) return;
  if (step) ++currentWaypoint;
  if (currentWaypoint == list.end() || path.mesh == nullptr) return;
  // A later waypoint that a straight walk reaches makes the one before it needless.
  for (;;) {
    auto next = std::next(currentWaypoint);
    if (next == list.end()) break;
    auto later = std::next(next);
    if (later == list.end()) break;
    vector3 from = currentWaypoint->point;
    vector3 to = later->point;
    if (!path.mesh->CanWalkStraight(currentWaypoint->triangle, &from, later->triangle, &to)) break;
    ++currentWaypoint;
  }
}

void CSceneBaseObj::HeadForWaypoint() {
  const vector3& wp = currentWaypoint->point;
  if (waypointCallback != nullptr) {
    const D3DXVECTOR3 target(wp.x, wp.y, wp.z);
    waypointCallback(0, &position, &target);
    return;
  }
  const float heading = VectorHeadingXZ(wp.x - position.x, wp.z - position.z);
  MoveTo(wp.x, wp.z, heading, kWaypointSpeed, kTwoPi, kWaypointAction, -1, 0.0f);
}

void CSceneBaseObj::Execute(uint32_t dt) {
  if (captureTimer > 0) captureTimer -= static_cast<int32_t>(dt);
  headPointDirty = topPointDirty = secondDirty = 1;

  for (auto it = timedEffects.begin(); it != timedEffects.end();) {
    if (it->remainingMs < 1) {
      RemoveEffectIds(*it);
      it = timedEffects.erase(it);
    } else {
      it->remainingMs -= static_cast<int32_t>(dt);
      ++it;
    }
  }
  for (size_t i = 0; i < timedPartStates.size();) {
    if (timedPartStates[i].remainingMs < 1) {
      const std::string part = timedPartStates[i].part;
      timedPartStates.erase(timedPartStates.begin() + static_cast<std::ptrdiff_t>(i));
      ResetPartState(part.c_str());
    } else {
      timedPartStates[i].remainingMs -= static_cast<int32_t>(dt);
      ++i;
    }
  }

  if (moving == 0) {
    if (!path.waypoints.empty()) {
      if (currentWaypoint == path.waypoints.end()) currentWaypoint = path.waypoints.begin();
      AdvanceWaypoint(false);
      HeadForWaypoint();
    }
    if (moving == 0) {
      if (sequenceIndex < 0 && idleSuppressed == 0 && idleDelay > 0) {
        idleDelay -= static_cast<int32_t>(dt);
        if (idleDelay <= 0) PlayAnimation(idleAnimationName, 0, 1.0f, 0, 0.0f, 0.0f, 0.0f, 0);
      } else if (sequencePending != 0) {
        if (sequenceIndex >= 0 && sequenceIndex < 8)
          PlayAnimation(sequenceNames[sequenceIndex], 0, 1.0f, 0, 0.0f, 0.0f, 0.0f, 0);
        sequencePending = 0;
      }
      return;
    }
  }

  const D3DXVECTOR3 before = position;
  bool arrived = StepTowardTarget(dt);
  if (CSceneSystem* scene = GetCurrentSceneSystem()) {
    if (scene->GetGroundHeight(&position, 0) != 0 || std::fabs(position.y - before.y) > kMaxStepHeight) {
      position = before;
      arrived = true;
    }
  }
  SendTransform(position.x, position.y, position.z, yaw);
  if (!arrived) return;

  bool stillWalking = false;
  if (currentWaypoint != path.waypoints.end()) {
    AdvanceWaypoint(true);
    if (currentWaypoint != path.waypoints.end()) {
      HeadForWaypoint();
      stillWalking = true;
    } else {
      path.waypoints.clear();
      currentWaypoint = path.waypoints.end();
    }
  }
  if (!stillWalking) moving = 0;

  if (moving == 0 && arrivalAction >= 0) {
    PlayAnimationRequest(VisStateNameOr(arrivalAction, "stand"), 1, 1.0f, 0, 0.0f, 0.0f, 0.0f, 1);
    placedAction = action = arrivalAction;
    arrivalAction = -1;
    idleDelay = 0;
  }
}

void CSceneBaseObj::SetHeightOffset(float offset) {
  heightOffset = offset;
  SendTransform(position.x, position.y, position.z, yaw);
}

void CSceneBaseObj::Raise(float dy) {
  // From the object's own position: the renderable's matrix already holds the height offset,
  // which would be added once more with every raise.
  const D3DXVECTOR3 raised(position.x, position.y + dy, position.z);
  SetPositionState(&raised, yaw, 0);
  raiseTotal += dy;
}

void CSceneBaseObj::ResetRaise() { Raise(-raiseTotal); }

void CSceneBaseObj::StopPath() {
  if (path.waypoints.empty()) return;
  moving = 0;
  // A kept list would be walked again from its start by the next Execute.
  path.waypoints.clear();
  currentWaypoint = path.waypoints.end();
}

void CSceneBaseObj::SetPathCallback(WaypointCallback callback, uint32_t) { waypointCallback = callback; }
