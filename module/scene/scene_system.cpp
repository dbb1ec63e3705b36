#include "scene/scene_system.h"

CSceneSystem::CSceneSystem() = default;
CSceneSystem::~CSceneSystem() = default;

bool CSceneSystem::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", 25500);
  SubscribeChannel("LostDevice", 0);
  SubscribeChannel("system_messages", 3);
  return true;
}
