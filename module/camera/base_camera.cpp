#include "camera/base_camera.h"

#include <climits>

CBaseCamera::CBaseCamera() = default;
CBaseCamera::~CBaseCamera() = default;

bool CBaseCamera::Init() {
  SubscribeChannel("execute", 1);
  SubscribeChannel("realize", 1);
  SubscribeChannel("system_messages", 3);
  SubscribeChannel("LostDevice", 0);
  return true;
}
