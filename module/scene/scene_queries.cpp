// Queries against the loaded scene's patch models, scene objects by id, the state string, sound
// and film volume, the current scene id and the text hook.
#include <cmath>
#include <limits>

#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "scene/scene_system.h"

namespace {
// Message numbers of the host's "Sound" object.
constexpr int32_t kSoundValue = 77000;
constexpr int32_t kSoundState = 77017;
constexpr int32_t kSoundCommand = 77024;
constexpr int32_t kFilmChannel = 6;

// A volume as the truncated integer of the value; values no int holds saturate and NaN is 0,
// where a plain conversion would be undefined.
int32_t TruncatedVolume(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

D3DXVECTOR3 Along(const D3DXVECTOR3& start, const D3DXVECTOR3& end, float t) {
  return D3DXVECTOR3(start.x + (end.x - start.x) * t, start.y + (end.y - start.y) * t,
                     start.z + (end.z - start.z) * t);
}
}  // namespace

bool CSceneSystem::IntersectSegment(const D3DXVECTOR3* start, const D3DXVECTOR3* end, D3DXVECTOR3* hit) {
  if (cameraPatch == nullptr || start == nullptr || end == nullptr) return false;
  const float t = cameraPatch->RayTest(start, end);
  // A segment that ends on the patch hits it; a NaN fraction fails both tests.
  if (!(t >= 0.0f && t <= 1.0f)) return false;
  if (hit != nullptr) *hit = Along(*start, *end, t);
  return true;
}

const char* CSceneSystem::GetStateString() { return stateString.c_str(); }

void CSceneSystem::SetStateString(const char* state, int32_t a, int32_t b) {
  // The "Sound" object always gets a text, the empty one for a null state.
  const char* text = state != nullptr ? state : "";
  stateString = text;
  g_pHost->SendMessage(soundHandle, "lsll", kSoundState, text, a, b);
}

void CSceneSystem::SendSoundValue(int32_t channel, float value) {
  if (channel == kFilmChannel) {
    filmVolume = TruncatedVolume(value);
    if (CVideoTextureManager* film = Manager(&filmVideoHandle)) film->SetVolume(filmVolume);
    return;
  }
  g_pHost->SendMessage(soundHandle, "llf", kSoundValue, channel, static_cast<double>(value));
}

void CSceneSystem::SendSoundCommand(int32_t command) {
  g_pHost->SendMessage(soundHandle, "ll", kSoundCommand, command);
}

CSceneBaseObj* CSceneSystem::FindSceneObjectById(const uint32_t* idPair) {
  if (idPair == nullptr) return nullptr;
  const std::vector<ComponentHandle>& candidates = objectIndex.Find(idPair, sceneObjects, &CSceneSystem::ObjectOf);
  if (candidates.empty()) return nullptr;
  if (candidates.size() == 1) {
    CSceneBaseObj* object = ObjectOf(candidates[0]);
    if (object == nullptr) return nullptr;
    const uint32_t* words = object->GetUserWords();
    if (words != nullptr && words[0] == idPair[0] && words[1] == idPair[1]) return object;
  }
  // Several objects share the key: the first of them in the list's present order answers.
  for (const ComponentHandle& handle : sceneObjects) {
    CSceneBaseObj* object = ObjectOf(handle);
    if (object == nullptr) continue;
    const uint32_t* words = object->GetUserWords();
    if (words != nullptr && words[0] == idPair[0] && words[1] == idPair[1]) return object;
  }
  return nullptr;
}

CSceneBaseObj* CSceneSystem::CreateSceneObject(const uint32_t* idPair) {
  if (idPair == nullptr) return nullptr;
  if (CSceneBaseObj* existing = FindSceneObjectById(idPair)) return existing;
  ComponentHandle handle{};
  // The recording variant first, the plain object when the host cannot make it.
  if (!g_pHost->CreateObject(&handle, "SceneBaseObj")) g_pHost->CreateObject(&handle, "CSceneBaseObj");
  CSceneBaseObj* object = ObjectOf(handle);
  if (object == nullptr) return nullptr;
  object->SetObjectFolder(GetNameB());
  object->SetUserWords(idPair);
  sceneObjects.push_back(handle);
  objectIndex.Add(handle, idPair, sceneObjects.size());
  return object;
}

bool CSceneSystem::DestroySceneObject(const uint32_t* idPair) {
  if (idPair == nullptr) return false;
  for (size_t i = 0; i < sceneObjects.size();) {
    CSceneBaseObj* object = ObjectOf(sceneObjects[i]);
    if (object == nullptr) {
      sceneObjects.erase(sceneObjects.begin() + static_cast<std::ptrdiff_t>(i));
      objectIndex.Invalidate();
      continue;
    }
    const uint32_t* words = object->GetUserWords();
    if (object->GetUserFlag() || words == nullptr || words[0] != idPair[0] || words[1] != idPair[1]) {
      ++i;
      continue;
    }
    RemoveProjectorReceiver(object);
    g_pHost->DestroyObject(sceneObjects[i]);
    sceneObjects.erase(sceneObjects.begin() + static_cast<std::ptrdiff_t>(i));
    objectIndex.Invalidate();
    // The pointer is only compared from here on: the object is gone.
    for (size_t k = 0; k < projectorReceivers.size(); ++k) {
      if (projectorReceivers[k] != object) continue;
      projectorReceivers[k] = projectorReceivers.back();
      projectorReceivers.pop_back();
      break;
    }
    pickDirty = 1;
    return true;
  }
  return false;
}

bool CSceneSystem::PickScenePoint(ScenePick* out, int32_t screenX, int32_t screenY, int32_t mode) {
  ScenePick scratch{};
  if (out == nullptr) out = &scratch;
  // One pick a frame: later calls get the first one's result, whatever their screen point.
  if (!pickDirty) {
    out->x = pickPoint[0];
    out->y = pickPoint[1];
    out->z = pickPoint[2];
    out->object = pickObject;
    return pickHit != 0;
  }
  pickDirty = 0;

  D3DXMATRIX projection, view;
  D3DVIEWPORT8 viewport{};
  bool haveRay = g_pSceneRenderer != nullptr;
  if (haveRay) {
    g_pSceneRenderer->GetTransform(D3DTS_PROJECTION, &projection);
    g_pSceneRenderer->GetTransform(D3DTS_VIEW, &view);
    g_pSceneRenderer->GetViewport(&viewport);
    haveRay = viewport.Width != 0 && viewport.Height != 0;
  }
  D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f), end(0.0f, 0.0f, 0.0f);
  if (haveRay) {
    const float vx = (2.0f * static_cast<float>(screenX) / static_cast<float>(viewport.Width) - 1.0f) / projection._11;
    const float vy = -(2.0f * static_cast<float>(screenY) / static_cast<float>(viewport.Height) - 1.0f) / projection._22;
    D3DXMATRIX m;
    D3DXMatrixInverse(&m, nullptr, &view);
    origin = D3DXVECTOR3(m._41, m._42, m._43);
    const D3DXVECTOR3 ray(vx * m._11 + vy * m._21 + m._31, vx * m._12 + vy * m._22 + m._32,
                          vx * m._13 + vy * m._23 + m._33);
    end = origin + ray * 99999.0f;
  }

  CSceneBaseObj* nearest = nullptr;
  if (haveRay) {
    const D3DXVECTOR3 direction = end - origin;
    float best = 9999999.0f;
    for (const ComponentHandle& handle : sceneObjects) {
      CSceneBaseObj* object = ObjectOf(handle);
      D3DXVECTOR3 hit(0.0f, 0.0f, 0.0f);
      if (object == nullptr || !object->HitTest(&hit, &origin, &direction, static_cast<uint8_t>(mode))) continue;
      const D3DXVECTOR3 d = hit - origin;
      const float distance = d.x * d.x + d.y * d.y + d.z * d.z;
      if (distance < best) {
        best = distance;
        nearest = object;
      }
    }
  }

  D3DXVECTOR3 point(0.0f, 0.0f, 0.0f);
  bool hit = false;
  if (haveRay && walkPatch != nullptr) {
    const float t = walkPatch->RayTest(&origin, &end);
    if (t > 0.0f && t < 1.0f) {
      point = Along(origin, end, t);
      hit = true;
    }
  }
  pickPoint[0] = out->x = point.x;
  pickPoint[1] = out->y = point.y;
  pickPoint[2] = out->z = point.z;
  pickObject = out->object = nearest;
  pickHit = hit ? 1 : 0;
  return hit;
}

uint8_t CSceneSystem::GetGroundHeight(D3DXVECTOR3* position, uint32_t) {
  if (walkPatch == nullptr || position == nullptr) return 1;
  const D3DXVECTOR3 top(position->x, 100.0f, position->z);
  const D3DXVECTOR3 bottom(position->x, -100.0f, position->z);
  const float t = walkPatch->RayTest(&top, &bottom);
  if (!(t >= 0.0f && t <= 1.0f)) return 1;
  position->y = 100.0f + (-100.0f - 100.0f) * t;
  return 0;
}

void CSceneSystem::CloseVideo() {
  if (CVideoTextureManager* m = Manager(&videoManager0)) m->Close();
}

int32_t CSceneSystem::GetCurrentSceneId() { return sceneId; }

void CSceneSystem::SetTextCodePage(TextConverter converter, int32_t codePage) {
  g_pTextConverter = converter;
  g_textCodePage = codePage;
}

int32_t CSceneSystem::GetFilmVolume() {
  CVideoTextureManager* film = Manager(&filmVideoHandle);
  return film != nullptr ? static_cast<int32_t>(film->GetVolume()) : 0;
}
