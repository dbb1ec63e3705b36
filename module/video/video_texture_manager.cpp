#include "video/video_texture_manager.h"

#include <climits>

CVideoTextureManager::CVideoTextureManager() = default;
CVideoTextureManager::~CVideoTextureManager() = default;

bool CVideoTextureManager::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", -1);
  return true;
}
