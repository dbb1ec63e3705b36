// Slots of the scene system whose work comes with later parts of the scene: helper points and
// light sockets, the film player and the remaining settings and lookups. Until then each answers neutrally (false, 0, null or nothing); the README lists them.
#include "scene/scene_system.h"

void CSceneSystem::UnloadSceneThunk() { UnloadScene(); }
void CSceneSystem::KillFilmPlayer() {}
void CSceneSystem::StartFilmPlayer() {}

bool CSceneSystem::LoadHelperPoints(const char*) { return false; }
bool CSceneSystem::SaveHelperPoints(const char*) { return false; }
int32_t CSceneSystem::GetHelperGroupCount() { return 0; }
const char* CSceneSystem::GetHelperGroupName(int32_t) { return ""; }
int32_t CSceneSystem::GetHelperPointCount(int32_t) { return 0; }
const char* CSceneSystem::GetHelperPointName(int32_t, int32_t) { return ""; }
bool CSceneSystem::SetHelperPointByName(int32_t, const char*, const D3DXMATRIX*) { return false; }
bool CSceneSystem::AddHelperPoint(const char*, const char*, const D3DXMATRIX*) { return false; }
bool CSceneSystem::SetHelperPointMatrix(int32_t, int32_t, const D3DXMATRIX*) { return false; }
bool CSceneSystem::RemoveHelperPoint(int32_t, int32_t) { return false; }
bool CSceneSystem::RemoveHelperPointByName(const char*, const char*) { return false; }
bool CSceneSystem::RemoveHelperGroup(int32_t) { return false; }
bool CSceneSystem::RemoveHelperGroupByName(const char*) { return false; }
int32_t CSceneSystem::FindHelperGroup(const char*) { return -1; }
int32_t CSceneSystem::FindHelperPoint(int32_t* group, const char*) {
  if (group != nullptr) *group = -1;
  return -1;
}
D3DXMATRIX* CSceneSystem::GetHelperPointMatrix(int32_t, int32_t) { return nullptr; }
const char* CSceneSystem::GetLightSocket(int32_t, D3DMATRIX*) { return nullptr; }
bool CSceneSystem::FindLightSocket(const char*, D3DMATRIX*) { return false; }
int32_t CSceneSystem::GetLightSocketCount() { return 0; }

void CSceneSystem::SetFilmWhere(int32_t) {}
void CSceneSystem::PlayFilm(const char*) {}
void CSceneSystem::SetFilmSourceName(const char*) {}
const char* CSceneSystem::GetRandomStateAction(int32_t, int32_t) { return nullptr; }
bool CSceneSystem::SendObjectCommand(const char*, const D3DXVECTOR3*) { return false; }
bool CSceneSystem::SendObjectCommands(const char*, const D3DXVECTOR3*, const D3DXVECTOR3*) { return false; }
int32_t CSceneSystem::SetModelOption(int32_t) { return 0; }
int32_t CSceneSystem::GetModelOption() { return 0; }
uint8_t CSceneSystem::GetProjectorEnabled() { return 0; }
uint8_t CSceneSystem::SetProjectorEnabled(uint8_t) { return 0; }
void CSceneSystem::SetTextureFilters(int32_t, int32_t, int32_t) {}
D3DXVECTOR3* CSceneSystem::GetScreenCenter(D3DXVECTOR3* out) { return out; }
D3DXVECTOR3* CSceneSystem::GetScreenNormal(D3DXVECTOR3* out) { return out; }
float CSceneSystem::GetScreenWidth() { return 0.0f; }
const char* CSceneSystem::GetVisStateName(int32_t) { return nullptr; }
int32_t CSceneSystem::GetVisStateActionCount(int32_t) { return 0; }
void CSceneSystem::GetVisStateRandom(int32_t, int32_t* base, int32_t* interval) {
  if (base != nullptr) *base = 0;
  if (interval != nullptr) *interval = 0;
}
