#include "terrain/terrain_manager.h"

#include <climits>

CTerrainManager::CTerrainManager() = default;
CTerrainManager::~CTerrainManager() = default;

bool CTerrainManager::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  SubscribeChannel("LostDevice", 0);
  return true;
}
