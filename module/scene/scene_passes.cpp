// The scene's frame update (Execute) and its three render passes: Realize with the mirror pass,
// the sorted and lit scene objects, the flags, the opaque and decal records and the projected
// textures; RealizeBlend with the blended records and the objects' second pass; RealizePost with
// the additive records, the lights and the gizmo. The draw hooks set the texture stages the host
// model runs around each sub-mesh.
#include "scene/scene_passes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "camera/base_camera.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "math/planes.h"
#include "scene/scene_class_objects.h"
#include "scene/scene_system.h"
#include "scene/tex_coord_modifiers.h"
#include "win32/win32.h"

namespace {

// Render styles of a model record.
enum : int32_t {
  kStyleNormal = 1,
  kStyleBlend = 2,
  kStyleBlendAdd = 3,
  kStyleLightmap = 5,
  kStyleAlphaShader = 6,
  kStyleVideo = 7,
  kStyleBumpMap = 8,
  kStyleDecalNormal = 9,
  kStyleDecalModulate = 10,
  kStyleDecalAdd = 11,
  kStyleLightmapBlend = 12,
  kStyleLightmapOverlay = 13,
  kStyleMirror = 14,
  kStyleReflection = 15,
  kStyleDiffAddRef = 16,
};

constexpr int32_t kMsgSetRenderFlag = 400007;
constexpr int32_t kMsgSetFarFlag = 400009;
constexpr DWORD kWorldTransform = 256;
constexpr DWORD kStencilClear = 4;
constexpr float kNearDistance2 = 100.0f;
constexpr float kFarDistance2 = 64.0f;

IRenderer* R() { return g_pSceneRenderer; }

void State(DWORD state, DWORD value) { R()->SetRenderState(state, value); }
void Stage(DWORD stage, DWORD type, DWORD value) { R()->SetTextureStageState(stage, type, value); }

IHostModel* ModelOf(const ComponentHandle& handle) { return static_cast<IHostModel*>(g_pHost->GetObject(&handle)); }
CSceneBaseObj* SceneObjectOf(const ComponentHandle& handle) {
  return static_cast<CSceneBaseObj*>(static_cast<CComponentBase*>(g_pHost->GetObject(&handle)));
}

D3DXVECTOR3 HeadTranslation(CSceneBaseObj* object) {
  const D3DXMATRIX* head = object->GetHeadMatrix();
  return head != nullptr ? D3DXVECTOR3(head->_41, head->_42, head->_43) : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

float Distance2(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
  const D3DXVECTOR3 d = a - b;
  return d.x * d.x + d.y * d.y + d.z * d.z;
}

bool OutsidePlanes(const D3DXPLANE* planes, const D3DXVECTOR3& centre, float radius) {
  for (int i = 0; i < 4; ++i)
    if (planes[i].a * centre.x + planes[i].b * centre.y + planes[i].c * centre.z - planes[i].d > radius) return true;
  return false;
}

// The view's upper 3x3 swapped across its diagonal, a zero translation and the fourth column
// kept: the camera-space reflection vector turned back into world directions.
D3DXMATRIX ViewRotationTransposed() {
  D3DXMATRIX view;
  R()->GetTransform(D3DTS_VIEW, &view);
  D3DXMATRIX out = view;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out.m[r][c] = view.m[c][r];
  out._41 = out._42 = out._43 = 0.0f;
  return out;
}

void ApplyAnimation(SceneModelRecord& record) {
  if (record.materialAnimation != nullptr) record.materialAnimation->Apply();
}
void ResetAnimation(SceneModelRecord& record) {
  if (record.materialAnimation != nullptr) record.materialAnimation->Reset();
}

void SetClamps(const SceneModelRecord& record, DWORD mode) {
  if (record.ClampUCoord) Stage(0, D3DTSS_ADDRESSU, mode);
  if (record.ClampVCoord) Stage(0, D3DTSS_ADDRESSV, mode);
}

// Switches a model's first part to the hooks; null when the model has no part.
HostModelGeometry* HookedPart(IHostModel* model, HostDrawHookFn pre, HostDrawHookFn post) {
  HostModelGeometry* part = model->GetGeometry(0);
  if (part == nullptr) return nullptr;
  if (part->material != nullptr) part->material->SetHookMode(0);
  part->preDrawHook = pre;
  part->postDrawHook = post;
  return part;
}

// The texture a sub-mesh names; a negative index (the sub-mesh has no such map) is no texture,
// where reading the table before its start would take whatever lies there.
int TextureAt(const int* textures, int32_t index) { return index >= 0 ? textures[index] : -1; }

}  // namespace

// ---- Hooks ----

void BlendDrawHook(const HostSubsetRecord* subset, const int* textures) {
  R()->SetTexture(0, TextureAt(textures, subset->textureIndex[0]));
  Stage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  Stage(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
  Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  Stage(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  Stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  Stage(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  Stage(2, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void DecalDrawHook(const HostSubsetRecord* subset, const int* textures) { BlendDrawHook(subset, textures); }

void LightmapDrawHook(const HostSubsetRecord* subset, const int* textures) {
  R()->SetTexture(0, TextureAt(textures, subset->textureIndex[0]));
  Stage(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  if (subset->hasSecondMap == 0) {
    Stage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  } else {
    Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    R()->SetTexture(1, TextureAt(textures, subset->textureIndex[1]));
    Stage(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
    Stage(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    Stage(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    Stage(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  }
  Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  Stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  Stage(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void VideoDrawHook(const HostSubsetRecord* subset, const int* textures) {
  if (g_pLockedVideoTexture != nullptr)
    R()->SetBaseTexture(0, g_pLockedVideoTexture);
  else
    R()->SetTexture(0, TextureAt(textures, subset->textureIndex[0]));
  Stage(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  Stage(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  for (DWORD s = 0; s < 3; ++s) Stage(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void ReflectionDrawHook(const HostSubsetRecord*, const int*) {
  R()->SetTexture(0, g_envMapTexture);
  Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  Stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
  Stage(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  const D3DXMATRIX rotation = ViewRotationTransposed();
  R()->SetTransform(D3DTS_TEXTURE0, &rotation);
  Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
}

void ReflectionDrawEndHook(const HostSubsetRecord*, const int*) {
  Stage(0, D3DTSS_TEXCOORDINDEX, 0);
  Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  Stage(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

void DiffAddRefDrawHook(const HostSubsetRecord* subset, const int* textures) {
  State(D3DRS_NORMALIZENORMALS, 1);
  R()->SetTexture(0, TextureAt(textures, subset->textureIndex[0]));
  Stage(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  if (subset->hasDetailMap == 0) {
    R()->SetTexture(1, -1);
    Stage(1, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  } else {
    R()->SetTexture(1, TextureAt(textures, subset->textureIndex[2]));
    Stage(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  }
  Stage(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  Stage(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
  Stage(1, D3DTSS_TEXCOORDINDEX, 2);
  Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  Stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  Stage(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  R()->SetTexture(2, g_envMapTexture);
  Stage(2, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  Stage(2, D3DTSS_COLORARG1, D3DTA_CURRENT);
  Stage(2, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  Stage(2, D3DTSS_RESULTARG, D3DTA_TEMP);
  Stage(2, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
  Stage(2, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
  R()->SetTexture(3, TextureAt(textures, subset->textureIndex[1]));
  Stage(3, D3DTSS_COLOROP, D3DTOP_MODULATE);
  Stage(3, D3DTSS_COLORARG1, D3DTA_TEMP);
  Stage(3, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  Stage(3, D3DTSS_RESULTARG, D3DTA_TEMP);
  Stage(4, D3DTSS_COLOROP, D3DTOP_ADD);
  Stage(4, D3DTSS_COLORARG1, D3DTA_CURRENT);
  Stage(4, D3DTSS_COLORARG2, D3DTA_TEMP);
  const D3DXMATRIX rotation = ViewRotationTransposed();
  R()->SetTransform(D3DTS_TEXTURE2, &rotation);
}

// Stages 2-4 stay as the pre-draw hook set them: the next styled draw sets what it uses.
void DiffAddRefDrawEndHook(const HostSubsetRecord*, const int*) {
  State(D3DRS_NORMALIZENORMALS, 0);
  Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  Stage(1, D3DTSS_TEXCOORDINDEX, 1);
  Stage(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

int CompareObjectsByKey(const void* a, const void* b) {
  CSceneBaseObj* first = SceneObjectOf(*static_cast<const ComponentHandle*>(a));
  CSceneBaseObj* second = SceneObjectOf(*static_cast<const ComponentHandle*>(b));
  if (first == nullptr || second == nullptr) return first == second ? 0 : (first == nullptr ? 1 : -1);
  if (first->sortKey > second->sortKey) return 1;
  if (first->sortKey < second->sortKey) return -1;
  return 0;
}

// ---- The frame update ----

void CSceneSystem::Execute(uint32_t elapsedMs) {
  Sleep(1);
  // A scene system whose Init failed has no renderer but stays subscribed.
  if (g_pSceneRenderer != nullptr) {
    g_pSceneRenderer->Tick();
    if (GetAsyncKeyState(VK_SNAPSHOT) < 0) g_pSceneRenderer->CaptureScreen();
  }
  if (sceneId < 0) return;

  pickDirty = 1;
  g_sceneClock += static_cast<float>(elapsedMs) * 0.001f;
  flags.SetTime(g_sceneClock);
  if (lighting != nullptr) lighting->Update(static_cast<int32_t>(elapsedMs));

  for (size_t i = 0; i < sceneObjects.size(); ++i) {
    CSceneBaseObj* object = ObjectOf(sceneObjects[i]);
    if (object == nullptr) continue;
    object->Execute(elapsedMs);
    for (uint32_t j = 0; lighting != nullptr && j < object->GetChildCount(); ++j) {
      CLight* light = lighting->GetLight(static_cast<uint32_t>(object->GetChildId(j)));
      if (light == nullptr) continue;
      D3DXVECTOR3 position(0.0f, 0.0f, 0.0f);
      float yaw = 0.0f;
      object->GetPosition(&position, &yaw);
      const D3DXVECTOR3 head = HeadTranslation(object);
      const D3DXVECTOR3 target(head.x, position.y, head.z);
      D3DXVECTOR3 d = target - *light->GetPosition();
      const float distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      light->SetRange(distance);
      if (distance > 0.0f) d /= distance;

      D3DXVECTOR3 up;
      float c = d.y;
      if (c >= -0.999999f && c <= 0.999999f) {
        up = D3DXVECTOR3(0.0f, 1.0f, 0.0f) - c * d;
      } else if (c = d.z; c >= -0.999999f && c <= 0.999999f) {
        up = D3DXVECTOR3(0.0f, 0.0f, 1.0f) - c * d;
      } else {
        c = d.x;
        up = D3DXVECTOR3(1.0f, 0.0f, 0.0f) - c * d;
      }
      D3DXVec3Normalize(&up, &up);
      D3DXVECTOR3 right;
      D3DXVec3Cross(&right, &up, &d);
      D3DXVec3Normalize(&right, &right);

      const D3DXVECTOR3 origin = *light->GetPosition();
      const D3DXMATRIX world(right.x, right.y, right.z, 0.0f, up.x, up.y, up.z, 0.0f, d.x, d.y, d.z, 0.0f, origin.x,
                             origin.y, origin.z, 1.0f);
      light->SetWorldMatrix(&world);
      light->SetDirection(&d);
    }
  }

  for (SceneModelRecord& r : modelRecords) {
    if (r.Visible && r.ClassName[0] != '\0') StepSceneClassObject(r.classObject, elapsedMs);
    // An invisible record's animation runs on, so it is in step when the record is shown.
    if (r.materialAnimation != nullptr) r.materialAnimation->Update(g_sceneClock);
  }
}

// ---- Shared pieces ----

D3DXVECTOR3 CSceneSystem::CameraEye() {
  D3DXVECTOR3 eye(0.0f, 0.0f, 0.0f), at(0.0f, 0.0f, 0.0f);
  if (CBaseCamera* camera = GetCamera()) camera->GetLookAt(&eye, &at);
  return eye;
}

void CSceneSystem::LendLight(const D3DLIGHT8* light) {
  if (light == nullptr || lighting == nullptr) return;
  lighting->AddHardwareLightRecord(light);
  ++passCounts.lightsLent;
}

void CSceneSystem::CountDraw(uint32_t PassCounts::*pass) {
  if (inReflection_)
    ++passCounts.mirrorDraws;
  else
    ++(passCounts.*pass);
}

void CSceneSystem::ComputeSidePlanes(D3DXPLANE* out, const D3DXMATRIX* view, const D3DXMATRIX* projection) {
  const float p = projection->_11, q = projection->_22;
  const float sp = std::sqrt(p * p + 1.0f), sq = std::sqrt(q * q + 1.0f);
  const D3DXVECTOR3 normals[4] = {D3DXVECTOR3(-p / sp, 0.0f, -1.0f / sp), D3DXVECTOR3(p / sp, 0.0f, -1.0f / sp),
                                  D3DXVECTOR3(0.0f, q / sq, -1.0f / sq), D3DXVECTOR3(0.0f, -q / sq, -1.0f / sq)};
  const D3DXVECTOR3 t(view->_41, view->_42, view->_43);
  D3DXVECTOR3 rows[3];
  for (int i = 0; i < 3; ++i) rows[i] = D3DXVECTOR3(view->m[i][0], view->m[i][1], view->m[i][2]);
  const D3DXVECTOR3 eye(-D3DXVec3Dot(&rows[0], &t), -D3DXVec3Dot(&rows[1], &t), -D3DXVec3Dot(&rows[2], &t));
  for (int k = 0; k < 4; ++k) {
    const D3DXVECTOR3 n(D3DXVec3Dot(&normals[k], &rows[0]), D3DXVec3Dot(&normals[k], &rows[1]),
                        D3DXVec3Dot(&normals[k], &rows[2]));
    out[k] = D3DXPLANE(n.x, n.y, n.z, D3DXVec3Dot(&n, &eye));
  }
}

void CSceneSystem::DrawSortedObjects(const D3DXPLANE* planes) {
  if (geometry != nullptr) geometry->Slot26(planes, 4);
  for (const ComponentHandle& handle : sceneObjects) {
    CSceneBaseObj* object = ObjectOf(handle);
    if (object == nullptr || object->IsHidden()) continue;
    D3DXVECTOR3 centre(0.0f, 0.0f, 0.0f);
    uint32_t word = 0;
    object->GetHeadCenter(&centre, &word);
    float radius = 0.0f;
    std::memcpy(&radius, &word, sizeof radius);  // the second value is the radius as a float
    const bool outside = OutsidePlanes(planes, centre, radius);
    if (outside) ++passCounts.hidden;
    object->Show(!outside);
  }
  if (sceneObjects.empty()) return;

  const D3DXVECTOR3 eye = CameraEye();
  const D3DXVECTOR3 from = focusObject != nullptr ? HeadTranslation(focusObject) : eye;
  for (const ComponentHandle& handle : sceneObjects)
    if (CSceneBaseObj* object = ObjectOf(handle)) {
      object->sortKey = Distance2(from, HeadTranslation(object));
      ++passCounts.sorted;
    }
  std::qsort(sceneObjects.data(), sceneObjects.size(), sizeof(ComponentHandle), CompareObjectsByKey);

  int32_t drawn = 0;
  for (const ComponentHandle& handle : sceneObjects) {
    CSceneBaseObj* object = ObjectOf(handle);
    if (object == nullptr || !object->IsVisible()) continue;
    if (drawn > sortedObjectLimit && object->GetSceneRenderFlag()) {
      object->Show(false);
      ++passCounts.hidden;
      continue;
    }
    D3DXVECTOR3 position(0.0f, 0.0f, 0.0f);
    float yaw = 0.0f;
    object->GetPosition(&position, &yaw);
    if (ComponentHandle* renderable = object->GetHandle())
      g_pHost->SendMessage(*renderable, "ll", kMsgSetFarFlag, Distance2(eye, position) > kFarDistance2 ? 1 : 0);
    ++drawn;
  }
}

// ---- Realize ----

void CSceneSystem::DrawMirrors(uint32_t context) {
  IRenderer* r = g_pSceneRenderer;
  mirrorGuard = 1;
  D3DXMATRIX view, projection;
  r->GetTransform(D3DTS_VIEW, &view);
  r->GetTransform(D3DTS_PROJECTION, &projection);
  ComputeSidePlanes(clipPlanes, &view, &projection);
  const D3DXVECTOR3 eye = CameraEye();

  uint32_t mirrors = 0;
  for (size_t i = 0; i < modelRecords.size(); ++i) {
    SceneModelRecord& record = modelRecords[i];
    if (!record.Visible || record.RenderStyle != kStyleMirror) continue;
    if (ClassifyPointPlane(record.mirrorPlane, eye) != kPlaneFront) continue;
    IHostModel* model = ModelOf(record.modelObject);
    if (model == nullptr) continue;
    HostModelGeometry* part = model->GetGeometry(0);
    if (part == nullptr || part->material == nullptr) continue;
    D3DVECTOR centre{};
    float radius = 0.0f;
    part->material->GetBounds(&centre, &radius);
    if (OutsidePlanes(clipPlanes, D3DXVECTOR3(centre.x, centre.y, centre.z), radius)) continue;

    if (++mirrors > 1) r->ClearBuffers(kStencilClear);
    // The mirror's own pixels mark the stencil where the reflection may show.
    State(D3DRS_STENCILENABLE, 1);
    State(D3DRS_STENCILREF, 1);
    State(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    State(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    State(D3DRS_ZWRITEENABLE, 0);
    State(D3DRS_COLORWRITEENABLE, 0);
    State(D3DRS_LIGHTING, 0);
    const DWORD alphaTest = r->GetRenderState(D3DRS_ALPHATESTENABLE);
    State(D3DRS_ALPHATESTENABLE, 0);
    part->material->SetHookMode(0);
    part->preDrawHook = LightmapDrawHook;
    model->Realize(context);
    CountDraw(&PassCounts::mainDraws);
    State(D3DRS_COLORWRITEENABLE, 15);
    State(D3DRS_ZWRITEENABLE, 1);
    State(D3DRS_ALPHATESTENABLE, alphaTest);

    D3DXMATRIX reflected;
    D3DXMatrixMultiply(&reflected, &record.reflection, &view);
    r->SetTransform(D3DTS_VIEW, &reflected);
    r->SetClipPlane(0, &record.mirrorPlane.a);
    State(D3DRS_CLIPPLANEENABLE, 1);
    State(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    State(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    State(D3DRS_CULLMODE, D3DCULL_CW);

    D3DXPLANE planes[4];
    ComputeSidePlanes(planes, &reflected, &projection);
    DrawSortedObjects(planes);
    SetMirrorRendering(1);
    inReflection_ = true;
    Realize(context);
    RealizeBlend(context);
    RealizePost(context);
    inReflection_ = false;

    State(D3DRS_CULLMODE, D3DCULL_CCW);
    State(D3DRS_STENCILENABLE, 0);
    State(D3DRS_CLIPPLANEENABLE, 0);
    State(D3DRS_ALPHATESTENABLE, 0);
    r->SetTransform(D3DTS_VIEW, &view);
    model->Realize(context);
    CountDraw(&PassCounts::mainDraws);
    State(D3DRS_ALPHATESTENABLE, alphaTest);
  }
  passCounts.mirrors += mirrors;
}

void CSceneSystem::DrawObjectsWithLights(uint32_t context) {
  if (geometry != nullptr) geometry->Slot25(1);
  State(D3DRS_LIGHTING, 1);
  int32_t lit = 0;
  for (size_t i = 0; i < sceneObjects.size(); ++i) {
    CSceneBaseObj* object = ObjectOf(sceneObjects[i]);
    if (object == nullptr) continue;
    object->ForwardToRenderable(context);
    ComponentHandle* renderable = object->GetHandle();
    auto setRenderFlag = [&](int32_t flag) {
      if (renderable != nullptr) g_pHost->SendMessage(*renderable, "ll", kMsgSetRenderFlag, flag);
    };
    if (!object->IsVisible()) {
      setRenderFlag(1);
      continue;
    }
    const D3DXVECTOR3 head = HeadTranslation(object);
    const float dist2 = focusObject != nullptr ? Distance2(HeadTranslation(focusObject), head) : 0.0f;
    const uint32_t children = object->GetChildCount();
    if (static_cast<int32_t>(children) <= 0 && dist2 <= kNearDistance2 &&
        (lit <= litObjectLimit || !object->GetSceneRenderFlag())) {
      setRenderFlag(1);
      ++lit;
    } else {
      setRenderFlag(0);
    }

    D3DXVECTOR4 colour(0.0f, 0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
    for (uint32_t j = 0; j < children && lighting != nullptr; ++j) {
      CLight* light = lighting->GetLight(static_cast<uint32_t>(object->GetChildId(j)));
      if (light == nullptr) continue;
      colour += *light->GetColor();
      direction += *light->GetDirection();
    }
    if (children > 0) {
      object->ownLight = D3DLIGHT8{};
      object->ownLight.Type = D3DLIGHT_DIRECTIONAL;
      const float n = static_cast<float>(children);
      object->ownLight.Diffuse = D3DCOLORVALUE{colour.x / n, colour.y / n, colour.z / n, 1.0f};
      // The directions are summed, not averaged: the lighting normalises what it is given.
      object->ownLight.Direction = D3DVECTOR{direction.x, direction.y, direction.z};
      object->hasOwnLight = 1;
      LendLight(&object->ownLight);
    } else {
      object->hasOwnLight = 0;
    }
    LendLight(reinterpret_cast<const D3DLIGHT8*>(object->GetUserValueC()));
    if (lighting != nullptr) object->influenceReached = lighting->ComputePointInfluence(&head, &object->influenceLight);
    object->Realize(context);
    CountDraw(&PassCounts::mainDraws);
    if (lighting != nullptr) lighting->ReleaseAllHardwareLights();
  }
}

void CSceneSystem::DrawOpaqueRecord(SceneModelRecord& record, uint32_t context) {
  IRenderer* r = g_pSceneRenderer;
  CVideoTextureManager* manager = nullptr;
  if (record.RenderStyle == kStyleVideo && videoPlaying) {
    const ComponentHandle* handle = &filmVideoHandle;
    if (record.SceneVideoPlayerID == 1) {
      handle = &videoManager1;
    } else if (record.SceneVideoPlayerID == 2) {
      handle = &videoManager2;
    } else if (record.SceneVideoPlayerID != 0) {
      g_pHost->Log("[warning] err videoPlayerID value > 2 ");
    }
    manager = Manager(handle);
    if (manager != nullptr) {
      const D3DMATRIX* matrix = nullptr;
      g_pLockedVideoTexture = manager->LockTexture(&matrix);
      if (matrix != nullptr) {
        r->SetTransform(D3DTS_TEXTURE0, matrix);
        Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
      }
    }
  }

  if (IHostModel* model = ModelOf(record.modelObject)) {
    State(D3DRS_ALPHABLENDENABLE, 0);
    HostModelGeometry* part = model->GetGeometry(0);
    auto hooks = [model](HostDrawHookFn pre, HostDrawHookFn post) { HookedPart(model, pre, post); };
    bool restoreAlphaRef = false;
    switch (record.RenderStyle) {
      case kStyleLightmap:
        hooks(LightmapDrawHook, nullptr);
        break;
      case kStyleAlphaShader:
        // The record fades: each drawn frame lowers its alpha reference by 3.
        State(D3DRS_ALPHAREF, static_cast<DWORD>(record.alphaReference));
        // At 0 the record stays whole: below it the reference would wrap to a large word whose
        // low byte the rasteriser takes, and the record would vanish and fade in again.
        record.alphaReference = std::max(record.alphaReference - 3, 0);
        restoreAlphaRef = true;
        break;
      case kStyleVideo:
        hooks(VideoDrawHook, nullptr);
        break;
      case kStyleBumpMap: {
        D3DXMATRIX world, view, projection, wvp, constants;
        r->GetTransform(kWorldTransform, &world);
        r->GetTransform(D3DTS_VIEW, &view);
        r->GetTransform(D3DTS_PROJECTION, &projection);
        D3DXMatrixMultiply(&wvp, &world, &view);
        D3DXMatrixMultiply(&wvp, &wvp, &projection);
        D3DXMatrixTranspose(&constants, &wvp);
        r->SetVertexShaderConstant(0, &constants, 4);
        D3DVECTOR eye{}, at{}, up{};
        r->GetLookAt(&eye, &at, &up);
        const float c4[4] = {eye.x, eye.y, eye.z, 0.5f};
        const float c5[4] = {0.0f, 7.0f, 0.0f, 0.3f};
        const float c6[4] = {1.0f, 1.0f, 1.0f, 0.0f};
        r->SetVertexShaderConstant(4, c4, 1);
        r->SetVertexShaderConstant(5, c5, 1);
        r->SetVertexShaderConstant(6, c6, 1);
        const D3DXVECTOR3 axis(0.42f, 0.48f, 0.45f);
        D3DXMATRIX rotation;
        D3DXMatrixRotationAxis(&rotation, &axis, g_bumpMapAngle);
        D3DXMatrixTranspose(&constants, &rotation);
        r->SetVertexShaderConstant(7, &constants, 4);
        g_bumpMapAngle += 0.05f;
        break;
      }
      case kStyleLightmapOverlay:
        hooks(LightmapDrawHook, nullptr);
        State(D3DRS_ALPHAREF, 224);
        restoreAlphaRef = true;
        break;
      case kStyleReflection:
        hooks(ReflectionDrawHook, ReflectionDrawEndHook);
        break;
      case kStyleDiffAddRef:
        hooks(DiffAddRefDrawHook, DiffAddRefDrawEndHook);
        break;
      default:
        break;
    }
    ApplyAnimation(record);
    model->Realize(context);
    CountDraw(&PassCounts::mainDraws);
    ResetAnimation(record);
    if (restoreAlphaRef) State(D3DRS_ALPHAREF, 1);
    if (part != nullptr) {
      if (part->material != nullptr) part->material->SetHookMode(1);
      part->preDrawHook = nullptr;
      part->postDrawHook = nullptr;
    }
    State(D3DRS_ALPHABLENDENABLE, 1);
    if (record.ClassName[0] != '\0') DrawSceneClassObject(record.classObject, context);
  }

  if (manager != nullptr) {
    if (g_pLockedVideoTexture != nullptr) Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    manager->UnlockTexture();
    g_pLockedVideoTexture = nullptr;
  }
}

void CSceneSystem::DrawDecalRecord(SceneModelRecord& record, uint32_t context) {
  IHostModel* model = ModelOf(record.modelObject);
  if (model == nullptr) return;
  HookedPart(model, DecalDrawHook, nullptr);
  SetClamps(record, D3DTADDRESS_CLAMP);
  State(D3DRS_ZBIAS, 1);
  const bool blended = record.RenderStyle == kStyleDecalModulate || record.RenderStyle == kStyleDecalAdd;
  if (blended) {
    State(D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR);
    State(D3DRS_DESTBLEND, record.RenderStyle == kStyleDecalModulate ? D3DBLEND_DESTCOLOR : D3DBLEND_ONE);
  }
  State(D3DRS_ZWRITEENABLE, 0);
  ApplyAnimation(record);
  model->Realize(context);
  CountDraw(&PassCounts::mainDraws);
  ResetAnimation(record);
  if (blended) {
    State(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    State(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  }
  State(D3DRS_ZBIAS, 0);
  SetClamps(record, D3DTADDRESS_WRAP);
  State(D3DRS_ZWRITEENABLE, 1);
}

void CSceneSystem::ProjectOntoGround(int32_t groundIndex, uint32_t context) {
  if (groundIndex < 0 || static_cast<size_t>(groundIndex) >= modelRecords.size() || !projectorEnabled ||
      lighting == nullptr)
    return;
  if (!lighting->HasActiveSpotLights() && projectorReceivers.empty()) return;
  IHostModel* ground = ModelOf(modelRecords[static_cast<size_t>(groundIndex)].modelObject);
  projector.BeginProjection(ground);
  for (CSceneBaseObj* receiver : projectorReceivers) {
    D3DXMATRIX billboard;
    D3DXMatrixIdentity(&billboard);
    receiver->GetHeadBillboard(&billboard, context);
    projector.DrawProjected(ground, &billboard, receiver->GetShineTexture(0),
                            static_cast<uint32_t>(receiver->ReturnMinusOne()));
  }
  for (int32_t i = 0; i < lighting->GetLightCount(); ++i) {
    CLight* light = lighting->GetLight(static_cast<uint32_t>(i));
    if (light == nullptr || !light->IsActive() || light->GetSpotTexture() < 0) continue;
    // The light's world matrix is rigid: its inverse is the transposed rotation and -R^T t.
    const D3DXMATRIX& w = *light->GetWorldMatrix();
    D3DXMATRIX view;
    D3DXMatrixIdentity(&view);
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 3; ++col) view.m[row][col] = w.m[col][row];
    for (int col = 0; col < 3; ++col)
      view.m[3][col] = -(w._41 * w.m[col][0] + w._42 * w.m[col][1] + w._43 * w.m[col][2]);
    D3DXMATRIX projection, viewProjection;
    D3DXMatrixPerspectiveFovLH(&projection, light->GetPhi(), 1.0f, 0.1f, 1000.0f);
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    const float s = std::max(light->GetRange() * 0.1f, 1.0f);
    g_projectorColor = (light->GetColorARGB() & 0x00FFFFFFu) | (static_cast<uint32_t>(static_cast<int>(255.0f / s)) << 24);
    projector.DrawProjected(ground, &viewProjection, light->GetSpotTexture(), g_projectorColor);
  }
  projector.EndProjection(ground);
}

void CSceneSystem::Realize(uint32_t context) {
  if (sceneId < 0 || !renderEnabled || g_pSceneRenderer == nullptr) return;
  if (!mirrorGuard) passCounts = PassCounts{};
  State(D3DRS_FOGENABLE, fogEnable ? 1 : 0);
  if (!mirrorGuard) {
    DrawMirrors(context);
    DrawSortedObjects(clipPlanes);
    SetMirrorRendering(0);
    mirrorGuard = 0;
  }
  if (lighting != nullptr) {
    lighting->SetRendererLightingMode();
    lighting->ApplyLights();
  }
  if (perObjectLighting) DrawObjectsWithLights(context);
  State(D3DRS_LIGHTING, 0);
  if (geometry != nullptr) geometry->Slot25(0);
  flags.Render();

  for (SceneModelRecord& record : modelRecords) {
    switch (record.RenderStyle) {
      case kStyleNormal: case kStyleLightmap: case kStyleAlphaShader: case kStyleVideo: case kStyleBumpMap:
      case kStyleLightmapOverlay: case kStyleReflection: case kStyleDiffAddRef:
        if (record.Visible) DrawOpaqueRecord(record, context);
        break;
      default:
        break;
    }
  }
  for (SceneModelRecord& record : modelRecords)
    if (record.Visible && (record.RenderStyle == kStyleDecalNormal || record.RenderStyle == kStyleDecalModulate ||
                           record.RenderStyle == kStyleDecalAdd))
      DrawDecalRecord(record, context);
  ProjectOntoGround(opaqueGround, context);

  if (lighting != nullptr) lighting->ResetRendererLightingMode();
  if (geometry != nullptr) geometry->Slot25(1);
}

// ---- RealizeBlend ----

void CSceneSystem::DrawBlendedRecord(SceneModelRecord& record, uint32_t context) {
  IHostModel* model = ModelOf(record.modelObject);
  if (model == nullptr) return;
  const bool overlay = record.RenderStyle == kStyleLightmapOverlay;
  HookedPart(model, record.RenderStyle == kStyleBlend ? BlendDrawHook : LightmapDrawHook, nullptr);
  if (overlay) {
    State(D3DRS_ZWRITEENABLE, 0);
    State(D3DRS_ZFUNC, D3DCMP_LESS);
  }
  SetClamps(record, D3DTADDRESS_CLAMP);
  // The translucent ground writes depth so that what stands on it sorts against it.
  const bool ground = translucentGround >= 0 && &record == &modelRecords[static_cast<size_t>(translucentGround)];
  if (!ground) State(D3DRS_ZWRITEENABLE, 0);
  ApplyAnimation(record);
  model->Realize(context);
  CountDraw(&PassCounts::blendDraws);
  if (overlay) {
    State(D3DRS_ZWRITEENABLE, 1);
    State(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  }
  ResetAnimation(record);
  if (!ground) State(D3DRS_ZWRITEENABLE, 1);
  SetClamps(record, D3DTADDRESS_WRAP);
  if (record.ClassName[0] != '\0') DrawSceneClassObject(record.classObject, context);
}

void CSceneSystem::RealizeBlend(uint32_t context) {
  if (sceneId < 0 || !renderEnabled || g_pSceneRenderer == nullptr) return;
  State(D3DRS_FOGENABLE, fogEnable ? 1 : 0);
  for (SceneModelRecord& record : modelRecords)
    if (record.Visible && (record.RenderStyle == kStyleBlend || record.RenderStyle == kStyleLightmapBlend ||
                           record.RenderStyle == kStyleLightmapOverlay))
      DrawBlendedRecord(record, context);
  ProjectOntoGround(translucentGround, context);

  if (perObjectLighting) {
    if (geometry != nullptr) geometry->Slot25(1);
    State(D3DRS_LIGHTING, 1);
    // Farthest first: the list was sorted nearest first by the main pass.
    for (size_t i = sceneObjects.size(); i-- > 0;) {
      CSceneBaseObj* object = ObjectOf(sceneObjects[i]);
      if (object == nullptr || !object->IsVisible()) continue;
      if (object->hasOwnLight) LendLight(&object->ownLight);
      if (object->influenceReached) LendLight(&object->influenceLight);
      LendLight(reinterpret_cast<const D3DLIGHT8*>(object->GetUserValueC()));
      object->RealizeBlend(context);
      CountDraw(&PassCounts::blendDraws);
      if (lighting != nullptr) lighting->ReleaseAllHardwareLights();
    }
    if (geometry != nullptr) geometry->Slot25(0);
  }
  State(D3DRS_LIGHTING, 0);
  if (lighting != nullptr) lighting->SetRendererLightingMode();
  if (geometry != nullptr) geometry->Slot25(0);
}

// ---- RealizePost ----

void CSceneSystem::DrawAdditiveRecord(SceneModelRecord& record, uint32_t context) {
  IHostModel* model = ModelOf(record.modelObject);
  if (model == nullptr) return;
  HookedPart(model, BlendDrawHook, nullptr);
  State(D3DRS_DESTBLEND, D3DBLEND_ONE);
  SetClamps(record, D3DTADDRESS_CLAMP);
  State(D3DRS_ZWRITEENABLE, 0);
  ApplyAnimation(record);
  model->Realize(context);
  CountDraw(&PassCounts::postDraws);
  ResetAnimation(record);
  State(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  SetClamps(record, D3DTADDRESS_WRAP);
  State(D3DRS_ZWRITEENABLE, 1);
  if (record.ClassName[0] != '\0') DrawSceneClassObject(record.classObject, context);
}

void CSceneSystem::RealizePost(uint32_t context) {
  if (sceneId < 0 || !renderEnabled || g_pSceneRenderer == nullptr) return;
  // The shadow shows in a reflection; the host draws it itself in the main view.
  if (mirrorGuard)
    if (auto* shadow = static_cast<IShadowObject*>(g_pHost->GetObject(&shadowHandle))) shadow->Realize(context);
  State(D3DRS_FOGENABLE, fogEnable ? 1 : 0);
  for (SceneModelRecord& record : modelRecords)
    if (record.Visible && record.RenderStyle == kStyleBlendAdd) DrawAdditiveRecord(record, context);
  const D3DXVECTOR3 viewer(0.0f, 0.0f, 0.0f);
  if (lighting != nullptr) lighting->Render(&viewer);
  // The gizmo comes last, over everything the post pass has drawn.
  if (gizmoShown) gizmo.Draw(g_pSceneRenderer);
  if (geometry != nullptr) geometry->Slot26(nullptr, 0);
}
