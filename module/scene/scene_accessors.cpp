// The scene system's small slots: members read and written as given, the scene-object list, and
// calls forwarded to the video texture managers.
#include <algorithm>

#include "camera/base_camera.h"
#include "frame/module_globals.h"
#include "scene/scene_system.h"
#include "terrain/terrain_manager.h"

CVideoTextureManager* CSceneSystem::Manager(const ComponentHandle* handle) {
  if (handle == nullptr) return nullptr;
  return static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(g_pHost->GetObject(handle)));
}

CSceneBaseObj* CSceneSystem::ObjectOf(const ComponentHandle& handle) {
  return static_cast<CSceneBaseObj*>(static_cast<CComponentBase*>(g_pHost->GetObject(&handle)));
}

// A scene that made no terrain of its own uses a live one without keeping its handle, so it
// never destroys a terrain it did not make.
ITerrainEdit* CSceneSystem::GetTerrain() {
  ComponentHandle handle = terrainHandle;
  if (handle.IsZero() && !g_pHost->FindObject(&handle, "CTerrainManager", 0)) return nullptr;
  auto* component = static_cast<CComponentBase*>(g_pHost->GetObject(&handle));
  if (component == nullptr) return nullptr;
  return static_cast<ITerrainEdit*>(static_cast<CTerrainManager*>(component));
}

CBaseCamera* CSceneSystem::GetCamera() {
  return static_cast<CBaseCamera*>(static_cast<CComponentBase*>(g_pHost->GetObject(&cameraHandle)));
}

void CSceneSystem::SetPendingStateName(const char* folder) {
  const char* text = folder != nullptr ? folder : "";
  if (rootFolder == text) return;
  rootFolder = text;
  rootChanged = 1;
}
const char* CSceneSystem::GetPendingStateName() { return rootFolder.c_str(); }
void CSceneSystem::SetNameB(const char* name) { nameB = name != nullptr ? name : ""; }
const char* CSceneSystem::GetNameB() { return nameB.c_str(); }
void CSceneSystem::SetNameC(const char* name) { nameC = name != nullptr ? name : ""; }
const char* CSceneSystem::GetNameC() { return nameC.c_str(); }

uint8_t CSceneSystem::GetFogEnable() { return fogEnable; }
uint8_t CSceneSystem::SetFogEnable(uint8_t enable) { return fogEnable = enable; }
int32_t CSceneSystem::GetFogMode() { return fogMode; }
void CSceneSystem::GetFogParams(uint32_t* colour, float* density, float* start, float* end) {
  if (colour != nullptr) *colour = fogColor;
  if (density != nullptr) *density = fogDensity;
  if (start != nullptr) *start = fogStart;
  if (end != nullptr) *end = fogEnd;
}

void CSceneSystem::SetVideoPlaying(uint8_t playing) { videoPlaying = playing; }
void CSceneSystem::SetRenderEnabled(uint8_t enabled) { renderEnabled = enabled; }
uint8_t CSceneSystem::GetRenderEnabled() { return renderEnabled; }
void CSceneSystem::SetSceneFactor(float factor) { sceneFactor = factor; }
void CSceneSystem::SetFocusObject(CSceneBaseObj* object) { focusObject = object; }
CSceneBaseObj* CSceneSystem::GetFocusObject() { return focusObject; }
uint8_t CSceneSystem::GetFilmEnabled() { return filmEnabled; }
void CSceneSystem::SetFilmEnabled(uint8_t enabled) { filmEnabled = enabled; }
void CSceneSystem::SetSortedObjectLimit(int32_t limit) { sortedObjectLimit = limit; }
int32_t CSceneSystem::GetSortedObjectLimit() { return sortedObjectLimit; }
void CSceneSystem::SetLitObjectLimit(int32_t limit) { litObjectLimit = limit; }
int32_t CSceneSystem::GetLitObjectLimit() { return litObjectLimit; }
void CSceneSystem::SetMirrorRendering(uint8_t on) { mirrorRendering = on; }
uint8_t CSceneSystem::GetMirrorRendering() { return mirrorRendering; }
uint8_t CSceneSystem::IsInMirrorPass() { return mirrorGuard; }

uint32_t CSceneSystem::GetSceneObjectCount() { return static_cast<uint32_t>(sceneObjects.size()); }

// Callers keep the index below the count; one past it is refused rather than read.
CSceneBaseObj* CSceneSystem::GetSceneObject(uint32_t index) {
  if (index >= sceneObjects.size()) return nullptr;
  return ObjectOf(sceneObjects[index]);
}

bool CSceneSystem::RemoveSceneObjectAt(uint32_t index) {
  if (index >= sceneObjects.size()) return false;
  sceneObjects[index] = sceneObjects.back();
  sceneObjects.pop_back();
  objectIndex.Invalidate();
  return true;
}

void CSceneSystem::RemoveDeadObjects() {
  for (size_t i = 0; i < sceneObjects.size();) {
    CSceneBaseObj* object = ObjectOf(sceneObjects[i]);
    if (object == nullptr || !object->GetUserFlag()) {
      ++i;
      continue;
    }
    RemoveProjectorReceiver(object);
    g_pHost->DestroyObject(sceneObjects[i]);
    // The last handle takes this place and is examined next.
    sceneObjects[i] = sceneObjects.back();
    sceneObjects.pop_back();
    objectIndex.Invalidate();
  }
}

void CSceneSystem::AddVideoListener(VideoListener callback, void* context) {
  if (CVideoTextureManager* m = Manager(&videoManager0)) m->AddListener(callback, context);
}

void CSceneSystem::RemoveVideoListener(VideoListener callback) {
  if (CVideoTextureManager* m = Manager(&videoManager0)) m->RemoveListener(callback);
}

bool CSceneSystem::SetVideoInTexture(const wchar_t* source, const wchar_t* outputPin, int32_t x, int32_t y,
                                     int32_t width, int32_t height, const wchar_t* audioPin) {
  CVideoTextureManager* m = Manager(&videoManager0);
  if (m == nullptr || m->SetVideoInTexture(source, outputPin, 1, audioPin) != 0) return false;
  m->SetScreenRect(x, y, width, height);
  return true;
}

void CSceneSystem::SetFilmVideoTexture(const ComponentHandle* handle) {
  // A handle whose fifth word is 0 names nothing: the film falls back to manager 3.
  if (handle == nullptr || handle->words[4] == 0) filmVideoHandle = videoManager3;
  else filmVideoHandle = *handle;
}

void CSceneSystem::PlayFilmVideo() {
  if (CVideoTextureManager* m = Manager(&filmVideoHandle)) m->Play();
}

void CSceneSystem::PauseFilmVideo() {
  if (CVideoTextureManager* m = Manager(&filmVideoHandle)) m->Pause();
}

void CSceneSystem::StopFilmVideo() {
  if (CVideoTextureManager* m = Manager(&filmVideoHandle)) {
    m->Stop();
    m->ReleaseGraph();
  }
  videoPlaying = 0;
}

void CSceneSystem::CreateVideoTextureManager(ComponentHandle* out) {
  if (out != nullptr) g_pHost->CreateObject(out, "CVideoTextureManager");
}

void CSceneSystem::DestroyObjectHandle(const ComponentHandle* handle) {
  if (handle == nullptr) return;
  const ComponentHandle copy = *handle;
  g_pHost->DestroyObject(copy);
}

bool CSceneSystem::OpenVideoOf(const ComponentHandle* handle, const wchar_t* source, const wchar_t* outputPin,
                               const wchar_t* audioPin) {
  CVideoTextureManager* m = Manager(handle);
  return m != nullptr && m->SetVideoInTexture(source, outputPin, 1, audioPin) == 0;
}

double CSceneSystem::GetVideoDurationOf(const ComponentHandle* handle) {
  CVideoTextureManager* m = Manager(handle);
  return m != nullptr ? m->GetDuration() : 0.0;
}

double CSceneSystem::GetVideoPositionOf(const ComponentHandle* handle) {
  CVideoTextureManager* m = Manager(handle);
  return m != nullptr ? m->GetCurrentPosition() : 0.0;
}

void CSceneSystem::PlayVideoOf(const ComponentHandle* handle) {
  if (CVideoTextureManager* m = Manager(handle)) m->Play();
}

void CSceneSystem::PauseVideoOf(const ComponentHandle* handle) {
  if (CVideoTextureManager* m = Manager(handle)) m->Pause();
}

void CSceneSystem::StopVideoOf(const ComponentHandle* handle) {
  if (CVideoTextureManager* m = Manager(handle)) m->Stop();
}

IDirect3DTexture8* CSceneSystem::LockVideoTextureOf(const ComponentHandle* handle, const D3DMATRIX** matrix) {
  CVideoTextureManager* m = Manager(handle);
  return m != nullptr ? m->LockTexture(matrix) : nullptr;
}

void CSceneSystem::UnlockVideoTextureOf(const ComponentHandle* handle) {
  if (CVideoTextureManager* m = Manager(handle)) m->UnlockTexture();
}

void CSceneSystem::AddVideoListenerOf(const ComponentHandle* handle, VideoListener callback, void* context) {
  if (CVideoTextureManager* m = Manager(handle)) m->AddListener(callback, context);
}

void CSceneSystem::RemoveVideoListenerOf(const ComponentHandle* handle, VideoListener callback) {
  if (CVideoTextureManager* m = Manager(handle)) m->RemoveListener(callback);
}
