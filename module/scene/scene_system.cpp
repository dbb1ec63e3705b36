#include "scene/scene_system.h"

#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "lighting/lighting_system.h"

CSceneSystem::CSceneSystem() = default;

CSceneSystem::~CSceneSystem() {
  try {
    Destroy();
  } catch (...) {
  }
}

bool CSceneSystem::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", 25500);
  SubscribeChannel("LostDevice", 0);
  SubscribeChannel("system_messages", 3);
  renderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  if (renderer == nullptr) {
    g_pHost->Log("Can't create an instance of 'dx8render'.");
    return false;
  }
  lighting = CLightingSystem::NewArray(1);
  if (lighting == nullptr) return false;
  if (!lighting->Init(this)) {
    CLightingSystem::DeleteArray(lighting);
    lighting = nullptr;
    return false;
  }
  return true;
}

void CSceneSystem::Destroy() {
  if (lighting != nullptr) {
    CLightingSystem* owned = lighting;
    lighting = nullptr;
    CLightingSystem::DeleteArray(owned);
  }
}

void CSceneSystem::Realize(uint32_t) {
  // The lighting steps of the main pass: the queued lights take their hardware slots.
  if (lighting == nullptr) return;
  lighting->SetRendererLightingMode();
  lighting->ApplyLights();
  lighting->ResetRendererLightingMode();
}

ITerrainEdit* CSceneSystem::GetTerrain() { return nullptr; }

bool CSceneSystem::IntersectSegment(const D3DXVECTOR3*, const D3DXVECTOR3*, D3DXVECTOR3*) { return false; }

CLightingSystem* CSceneSystem::GetLightingSystem() { return lighting; }

bool CSceneSystem::FindLightSocket(const char* name, D3DMATRIX* frame) {
  (void)name;
  (void)frame;
  return false;
}
