#include "visibility/occlusion_system.h"

#include <climits>

COcclusionSystem::COcclusionSystem() = default;
COcclusionSystem::~COcclusionSystem() = default;

bool COcclusionSystem::Init() {
  SubscribeChannel("realize", INT_MIN);
  return true;
}
