#include "lighting/light.h"

#include <cmath>
#include <cstring>
#include <new>

#include "frame/host_blocks.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "lighting/light_group.h"
#include "lighting/light_hull.h"
#include "lighting/lighting_system.h"
#include "math/matrix.h"
#include "scene/scene_system.h"

namespace {

constexpr DWORD kBillboardFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x142
constexpr UINT kBillboardStride = 24;

const char* Text(const char* s) { return s != nullptr ? s : ""; }
bool Empty(const char* s) { return s == nullptr || s[0] == '\0'; }

// One colour component in [0, 1] as a byte, truncated; NaN counts as 0.
uint32_t ColorByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return static_cast<uint32_t>(v * 255.0f);
}

uint32_t PackColor(const D3DXVECTOR4& c) {
  return ColorByte(c.w) << 24 | ColorByte(c.x) << 16 | ColorByte(c.y) << 8 | ColorByte(c.z);
}

// The light's clock after a tick, as a light group advances its own: kept within the 32-bit
// range, and left where it is when the rate makes no number.
int32_t AdvanceClock(int32_t timeMs, int32_t elapsedMs, float rate) {
  const double t = std::trunc(static_cast<double>(timeMs) + static_cast<double>(elapsedMs) * static_cast<double>(rate));
  if (std::isnan(t)) return timeMs;
  if (t <= -2147483648.0) return INT32_MIN;
  if (t >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(t);
}

void PlayTrack(IAnimationController* controller, const char* track) {
  if (controller == nullptr) return;
  controller->Select(track, 0, 0);
  controller->SetLooping(1, 0);
  controller->SetSpeed(1.0f, 0);
  controller->Start(0);
}

void StopAnimation(IAnimation* animation) {
  if (animation == nullptr) return;
  if (IAnimationController* controller = animation->GetController(0)) controller->Stop(0);
}

// While a model light's model draws: the light's colour as the texture factor, selected as the
// colour of stage 0.
void TintModelHook(HostModelGeometry*, IRenderer* renderer, void* context) {
  const auto* light = static_cast<const CLight*>(context);
  if (renderer == nullptr || light == nullptr) return;
  renderer->SetRenderState(D3DRS_TEXTUREFACTOR, light->colorARGB);
  renderer->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  renderer->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
}

struct BillboardVertex {
  float x, y, z;
  uint32_t diffuse;
  float u, v;
};
static_assert(sizeof(BillboardVertex) == kBillboardStride);

}  // namespace

// ---- Construction and release ----------------------------------------------------------------

CLight::CLight() {
  D3DXMatrixIdentity(&world);
  D3DXMatrixIdentity(&socketMatrix);
}

CLight::~CLight() {
  if (IRenderer* r = Renderer()) {
    if (spotTexture >= 0) r->ReleaseTexture(spotTexture);
    if (hullTexture >= 0) r->ReleaseTexture(hullTexture);
    if (billboardTexture >= 0) r->ReleaseTexture(billboardTexture);
  }
  spotTexture = hullTexture = billboardTexture = -1;
  if (g_pHost != nullptr && !model.IsZero()) g_pHost->DestroyObject(model);
  model.Clear();
  modelName.clear();
  textureName.clear();
  animationName.clear();
  hasModel = false;
  CLightHull::DeleteArray(hull);
  hull = nullptr;
  // Each group's RemoveLight takes its record off the list; the second call makes sure of it.
  while (!groupRefs.empty()) {
    CLightGroup* group = groupRefs.back().group;
    group->RemoveLight(this);
    RemoveGroupRefAll(group);
  }
  if (active && type == kLightSpot && system != nullptr) --system->activeSpotCount;
  ReleaseDirectionAnimation();
}

CLight* CLight::NewArray(uint32_t count) {
  auto* lights = HostNewArray<CLight>(count);
  if (lights == nullptr) return nullptr;
  const uint32_t n = HostBlockCount(lights);
  for (uint32_t i = 0; i < n; ++i) new (&lights[i]) CLight();
  return lights;
}

void CLight::DeleteArray(CLight* lights) {
  if (lights == nullptr) return;
  const uint32_t n = HostBlockCount(lights);
  for (uint32_t i = 0; i < n; ++i) lights[i].~CLight();
  HostDeleteArray(lights);
}

IRenderer* CLight::Renderer() const { return system != nullptr ? system->renderer : nullptr; }
CSceneSystem* CLight::Scene() const { return system != nullptr ? system->scene : nullptr; }

IHostModel* CLight::ModelObject() const {
  if (!hasModel || g_pHost == nullptr) return nullptr;
  return static_cast<IHostModel*>(g_pHost->GetObject(&model));
}

void CLight::ReleaseDirectionAnimation() {
  if (directionAnimation != nullptr) directionAnimation->Release();
  directionAnimation = nullptr;
  directionController.clear();
  directionAniName.clear();
}

// ---- Track families ----------------------------------------------------------------------------

#define FL_LIGHT_TRACK_COMMON(Family, track, Kind, Value)                                          \
  void CLight::Set##Family##Wrap(int32_t mode) { track.SetWrap(mode); }                            \
  int32_t CLight::Get##Family##Wrap() { return track.GetWrap(); }                                  \
  void CLight::Set##Family##Interpolation(int32_t mode) { track.SetInterpolation(mode); }          \
  int32_t CLight::Get##Family##Interpolation() { return track.GetInterpolation(); }                \
  void CLight::Set##Family##Keys(const Kind* source) {                                             \
    if (source != nullptr) track.SetKeys(*source);                                                 \
  }                                                                                                \
  Value CLight::Get##Family##Key(uint32_t index, int32_t* timeMs) { return track.GetKey(index, timeMs); } \
  void CLight::Remove##Family##Key(uint32_t index) { track.RemoveKey(index); }                     \
  uint32_t CLight::Get##Family##KeyCount() { return track.GetKeyCount(); }

#define FL_LIGHT_TRACK(Family, track, Kind, Value, Arg)                                             \
  FL_LIGHT_TRACK_COMMON(Family, track, Kind, Value)                                                \
  int32_t CLight::Add##Family##Key(int32_t timeMs, Arg value) { return track.AddKey(timeMs, value); }

FL_LIGHT_TRACK(Position, positionTrack, CVec3KeyTrack, D3DXVECTOR3, const D3DXVECTOR3&)
FL_LIGHT_TRACK(Color, colorTrack, CColorKeyTrack, D3DXCOLOR, const D3DXCOLOR&)
FL_LIGHT_TRACK(Attenuation, attenuationTrack, CVec3KeyTrack, D3DXVECTOR3, const D3DXVECTOR3&)
FL_LIGHT_TRACK(Direction, directionTrack, CQuatKeyTrack, D3DXQUATERNION, const D3DXQUATERNION&)
FL_LIGHT_TRACK(Range, rangeTrack, CFloatKeyTrack, float, float)
FL_LIGHT_TRACK(Falloff, falloffTrack, CFloatKeyTrack, float, float)
FL_LIGHT_TRACK(Theta, thetaTrack, CFloatKeyTrack, float, float)
FL_LIGHT_TRACK(Phi, phiTrack, CFloatKeyTrack, float, float)

#undef FL_LIGHT_TRACK
#undef FL_LIGHT_TRACK_COMMON

void CLight::AddColorKeyARGB(int32_t timeMs, uint32_t argb) { colorTrack.AddColorKeyARGB(timeMs, argb); }

// ---- State -------------------------------------------------------------------------------------

const D3DXVECTOR3* CLight::GetPosition() { return &position; }
uint32_t CLight::GetColorARGB() { return colorARGB; }
const D3DXVECTOR4* CLight::GetColor() { return &color; }
float CLight::GetPhi() { return phi; }
void CLight::SetPhi(float value) { phi = value; }

void CLight::SetWorldMatrix(const D3DXMATRIX* matrix) {
  if (matrix == nullptr) return;
  world = *matrix;
  needsUpdate = true;
}

void CLight::SetDirection(const D3DXVECTOR3* value) {
  if (value != nullptr) direction = *value;
}

const D3DXVECTOR3* CLight::GetDirection() { return &direction; }
float CLight::GetRange() { return range; }

void CLight::SetColor(const D3DXVECTOR4* value) {
  if (value != nullptr) color = *value;
}

const D3DXMATRIX* CLight::GetWorldMatrix() { return &world; }

void CLight::SetRange(float value) {
  range = value;
  needsUpdate = true;
}

bool CLight::SetSpotAndHull(const char* spot, const char* hullName) {
  // A null name is stored as the empty one but leaves its texture as it is.
  lightSpotName = Text(spot);
  lightHullName = Text(hullName);
  IRenderer* r = Renderer();
  if (r == nullptr) return true;
  auto reload = [r](int* texture, const char* name) {
    if (name == nullptr) return;
    if (*texture >= 0) r->ReleaseTexture(*texture);
    *texture = -1;
    if (name[0] != '\0') *texture = r->LoadTexture(name, 0);
  };
  reload(&spotTexture, spot);
  reload(&hullTexture, hullName);
  return true;
}

void CLight::GetSpotAndHull(const char** spot, const char** hullName) {
  if (spot != nullptr) *spot = lightSpotName.c_str();
  if (hullName != nullptr) *hullName = lightHullName.c_str();
}

bool CLight::LoadModel(const char* modelFile, const char* texture, const char* animation) {
  if (g_pHost == nullptr) return false;
  if (Empty(modelFile)) {
    if (!model.IsZero()) g_pHost->DestroyObject(model);
    model.Clear();
    hasModel = false;
    modelName.clear();
    textureName.clear();
    animationName.clear();
    return true;
  }
  // The names are those the caller gave, whether or not the model can be made, so a saved
  // light file says what the file it came from said; a texture or animation not given keeps
  // the one named before.
  modelName = modelFile;
  if (!Empty(texture)) textureName = texture;
  auto* geometry = static_cast<IGeometryService*>(g_pHost->GetService("geometry"));
  if (!Empty(texture) && geometry != nullptr) geometry->SetTexturePaths(texture, nullptr, nullptr);

  const ComponentHandle oldModel = model;
  ComponentHandle made{};
  g_pHost->CreateObject(&made, "modelr");
  g_pHost->SendMessage(made, "lss", 20500, modelName.c_str(), "");
  if (geometry != nullptr) geometry->SetTexturePaths("", nullptr, nullptr);

  auto* object = static_cast<IHostModel*>(g_pHost->GetObject(&made));
  if (object == nullptr) {
    // The old model stays and is drawn as before.
    if (!made.IsZero()) g_pHost->DestroyObject(made);
    return false;
  }
  model = made;
  if (!socketName.empty()) {
    if (CSceneSystem* scene = Scene()) scene->FindLightSocket(socketName.c_str(), &object->transform);
  }
  if (!Empty(animation)) {
    animationName = animation;
    g_pHost->SendMessage(model, "ls", 20501, animationName.c_str());
  }
  hasModel = true;
  if (!oldModel.IsZero()) g_pHost->DestroyObject(oldModel);
  return true;
}

const ComponentHandle* CLight::GetModelHandle() { return &model; }

void CLight::GetModelNames(const char** modelFile, const char** texture, const char** animation) {
  if (modelFile != nullptr) *modelFile = modelName.c_str();
  if (texture != nullptr) *texture = textureName.c_str();
  if (animation != nullptr) *animation = animationName.c_str();
}

void CLight::SetType(int32_t value) {
  // An active light moves in or out of the spot count with its type.
  if (active && system != nullptr && value != type) {
    if (type == kLightSpot) --system->activeSpotCount;
    if (value == kLightSpot) ++system->activeSpotCount;
  }
  type = value;
}

int32_t CLight::GetType() { return type; }
int CLight::GetSpotTexture() { return spotTexture; }
bool CLight::IsActive() { return active; }

void CLight::SwitchOff() {
  if (IHostModel* object = ModelObject()) StopAnimation(object->GetAnimation());
  StopAnimation(directionAnimation);
  if (system != nullptr) {
    if (type == kLightSpot) --system->activeSpotCount;
    if (globalLight) system->AddHardwareLight(this);
  }
  active = false;
}

void CLight::SetActive(bool on, int32_t startTimeMs) {
  if (on != active) {
    if (!on) {
      SwitchOff();
    } else {
      if (!effectName.empty() && g_pHost != nullptr) {
        ComponentHandle particles{};
        if (g_pHost->FindObject(&particles, "Particles", 0))
          g_pHost->SendMessage(particles, "lsccl", 10002, effectName.c_str(), position, direction, 0);
      }
      needsUpdate = true;
      if (!updatedThisFrame) skipTimeOnce = true;
      if (type == kLightSpot && system != nullptr) ++system->activeSpotCount;
      if (IHostModel* object = ModelObject()) {
        if (IAnimation* animation = object->GetAnimation()) PlayTrack(animation->GetController(0), "All");
      }
      if (directionAnimation != nullptr) PlayTrack(directionAnimation->GetController(0), directionAniName.c_str());
    }
  }
  active = on;
  timeMs = startTimeMs;
}

void CLight::SetRate(float value) { rate = value; }
float CLight::GetRate() { return rate; }

bool CLight::CreateHull(int32_t hullType, int32_t segments, float startRadius, const char* distortionMap) {
  CLightHull::DeleteArray(hull);
  hull = CLightHull::NewArray(1);
  if (hull != nullptr) hull->Init(Renderer(), hullType, segments, startRadius, distortionMap);
  distortionMapName = Text(distortionMap);
  return true;
}

void CLight::GetHullParams(int32_t* hullType, int32_t* segments, float* startRadius, const char** distortionMap) {
  if (hullType != nullptr) *hullType = hull != nullptr ? hull->hullType : 0;
  if (segments != nullptr) *segments = hull != nullptr ? hull->segments : 0;
  if (startRadius != nullptr) *startRadius = hull != nullptr ? hull->startRadius : 0.0f;
  if (distortionMap != nullptr) *distortionMap = distortionMapName.c_str();
}

int32_t CLight::GetIndex() { return index; }
void CLight::SetGlobalLight(bool on) { globalLight = on; }
bool CLight::IsGlobalLight() { return globalLight; }

void CLight::SetAlwaysUpdate(bool on) {
  alwaysUpdate = on;
  needsUpdate = true;
}

bool CLight::IsAlwaysUpdate() { return alwaysUpdate; }
void CLight::SetInfluenceScene(bool on) { influenceScene = on; }
void CLight::SetLifeTime(int32_t ms) { lifeTimeMs = ms; }
int32_t CLight::GetLifeTime() { return lifeTimeMs; }

void CLight::SetPosition(const D3DXVECTOR3* value) {
  if (value != nullptr) position = *value;
}

void CLight::SetEffect(const char* value) { effectName = Text(value); }

void CLight::GetEffect(const char** value) {
  if (value != nullptr) *value = effectName.c_str();
}

void CLight::SetSocket(const char* value) {
  socketName = Text(value);
  if (socketName.empty()) return;
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  if (CSceneSystem* scene = Scene()) scene->FindLightSocket(socketName.c_str(), &m);
  if (IHostModel* object = ModelObject()) object->transform = m;
  socketMatrix = m;
  const D3DXVECTOR3 at(m._41, m._42, m._43);
  const D3DXVECTOR3 up(m._21, m._22, m._23);
  SetPosition(&at);
  SetDirection(&up);
}

const char* CLight::GetSocket() { return socketName.c_str(); }
void CLight::SetName(const char* value) {
  name = Text(value);
  if (system != nullptr) system->NamesChanged();
}
const char* CLight::GetName() { return name.c_str(); }
void CLight::SetRuntimeOnly(bool on) { runtimeOnly = on; }
bool CLight::IsRuntimeOnly() { return runtimeOnly; }

bool CLight::SetDirectionAnimation(const char* controller, const char* aniName) {
  if (Empty(controller)) {
    ReleaseDirectionAnimation();
    return true;
  }
  if (Empty(aniName)) return false;
  if (directionAnimation != nullptr && directionController == controller) {
    directionAniName = aniName;
    if (active) PlayTrack(directionAnimation->GetController(0), directionAniName.c_str());
    return true;
  }
  auto* service = g_pHost != nullptr ? static_cast<IAnimationService*>(g_pHost->GetService("AnimationServiceImp")) : nullptr;
  if (service == nullptr) return false;
  ReleaseDirectionAnimation();
  IAnimation* animation = service->LoadAnimation(controller, 0);
  if (animation == nullptr) return false;
  animation->SetCounter(animation->GetCounter() + 1);
  animation->SetOwner(this, 0);
  animation->SetSwitchA(0);
  animation->SetSwitchB(1);
  directionAnimation = animation;
  directionController = controller;
  directionAniName = aniName;
  if (active) PlayTrack(directionAnimation->GetController(0), directionAniName.c_str());
  return true;
}

IAnimation* CLight::GetDirectionAnimation(const char** controller, const char** aniName) {
  if (controller != nullptr) *controller = directionController.c_str();
  if (aniName != nullptr) *aniName = directionAniName.c_str();
  return directionAnimation;
}

void CLight::SetBillboard(const char* value, float speed, float raw, float mag) {
  if (Empty(value) || billboardName == value) return;
  billboardName = value;
  if (IRenderer* r = Renderer()) {
    if (billboardTexture >= 0) r->ReleaseTexture(billboardTexture);
    billboardTexture = r->LoadTexture(value, 0);
  }
  scaleSpeed = speed;
  rawSize = raw;
  magSize = mag;
}

const char* CLight::GetBillboard(float* speed, float* raw, float* mag) {
  if (speed != nullptr) *speed = scaleSpeed;
  if (raw != nullptr) *raw = rawSize;
  if (mag != nullptr) *mag = magSize;
  return billboardName.c_str();
}

// ---- Group references --------------------------------------------------------------------------

void CLight::AddGroupRef(CLightGroup* group) {
  if (group == nullptr) return;
  for (GroupRef& ref : groupRefs) {
    if (ref.group == group) {
      ++ref.count;
      return;
    }
  }
  groupRefs.push_back(GroupRef{group, 1});
}

void CLight::RemoveGroupRef(CLightGroup* group) {
  for (size_t i = 0; i < groupRefs.size(); ++i) {
    if (groupRefs[i].group != group) continue;
    if (--groupRefs[i].count <= 0) {
      groupRefs[i] = groupRefs.back();
      groupRefs.pop_back();
    }
    return;
  }
}

void CLight::RemoveGroupRefAll(CLightGroup* group) {
  for (size_t i = 0; i < groupRefs.size(); ++i) {
    if (groupRefs[i].group != group) continue;
    groupRefs[i] = groupRefs.back();
    groupRefs.pop_back();
    return;
  }
}

// ---- Tick ----------------------------------------------------------------------------------------

void CLight::Update(int32_t elapsedMs) {
  updatedThisFrame = true;
  if (!active) return;
  if (skipTimeOnce) skipTimeOnce = false;
  else timeMs = AdvanceClock(timeMs, elapsedMs, rate);

  if (lifeTimeMs > 0 && timeMs > lifeTimeMs) {
    SwitchOff();
    return;
  }
  if (!needsUpdate) return;

  if (type == kLightBillboard && magSize != 0.0f)
    phase = std::fmod(phase + static_cast<float>(elapsedMs) * scaleSpeed, magSize);

  D3DXCOLOR c(color.x, color.y, color.z, color.w);
  if (colorTrack.Sample(timeMs, &c)) {
    color = D3DXVECTOR4(c.r, c.g, c.b, c.a);
    colorARGB = PackColor(color);
  }
  positionTrack.Sample(timeMs, &position);
  rangeTrack.Sample(timeMs, &range);
  attenuationTrack.Sample(timeMs, &attenuation);
  falloffTrack.Sample(timeMs, &falloff);
  thetaTrack.Sample(timeMs, &theta);
  phiTrack.Sample(timeMs, &phi);

  D3DXQUATERNION q;
  if (directionTrack.Sample(timeMs, &q)) {
    D3DXQuaternionNormalize(&q, &q);
    D3DXMatrixRotationQuaternion(&world, &q);
    direction = D3DXVECTOR3(world._31, world._32, world._33);
    world._41 = position.x;
    world._42 = position.y;
    world._43 = position.z;
    world._44 = 1.0f;
  }

  if (directionAnimation != nullptr) {
    if (const D3DMATRIX* animated = directionAnimation->GetBoundMatrix(0)) {
      D3DMATRIX t;
      Matrix4Multiply(&t, animated, &socketMatrix);
      for (int j = 0; j < 3; ++j) {
        world.m[0][j] = t.m[2][j];
        world.m[1][j] = t.m[1][j];
        world.m[2][j] = -t.m[0][j];
        world.m[3][j] = t.m[3][j];
      }
      direction = D3DXVECTOR3(-t.m[0][0], -t.m[0][1], -t.m[0][2]);
    }
  }

  if (system != nullptr) {
    if (influenceScene) system->SetAmbientColor(colorARGB);
    if (globalLight) system->AddHardwareLight(this);
  }
  if (!alwaysUpdate) needsUpdate = false;
}

// ---- Drawing -------------------------------------------------------------------------------------

void CLight::Render(const D3DXVECTOR3* viewer) {
  if (!active) return;
  IRenderer* r = Renderer();
  if (r == nullptr) return;

  if (type == kLightBillboard) RenderBillboard(r);

  if (IHostModel* object = ModelObject()) {
    if (type == kLightModel) {
      if (HostModelGeometry* geometry = object->GetGeometry(0)) {
        geometry->renderHook = &TintModelHook;
        geometry->renderHookContext = this;
      }
      r->SetRenderState(D3DRS_FOGENABLE, FALSE);
      r->SetRenderState(D3DRS_LIGHTING, FALSE);
      r->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
      r->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
      object->Realize(0);
      r->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
      r->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    } else {
      object->transform = world;
      r->SetRenderState(D3DRS_FOGENABLE, FALSE);
      r->SetRenderState(D3DRS_LIGHTING, FALSE);
      object->Realize(0);
    }
  }

  if (hull != nullptr) {
    if (viewer != nullptr && (hull->viewer.x != viewer->x || hull->viewer.y != viewer->y || hull->viewer.z != viewer->z))
      hull->viewer = *viewer;
    if (range != hull->length) {
      hull->length = range;
      hull->endRadius = range * hull->tanHalfAngle;
    }
    if (phi != hull->coneAngle) {
      hull->coneAngle = phi;
      hull->tanHalfAngle = std::tan(phi * 0.5f);
      hull->endRadius = hull->tanHalfAngle * hull->length;
    }
    hull->Draw(r, hullTexture, colorARGB, color, world);
  }
}

void CLight::RenderBillboard(IRenderer* r) {
  D3DXMATRIX view;
  D3DXMatrixIdentity(&view);
  r->GetTransform(D3DTS_VIEW, &view);
  D3DXVECTOR3 centre;
  D3DXVec3TransformCoord(&centre, &position, &view);
  const float s = rawSize + phase;

  int buffer = -1;
  UINT first = 0;
  void* memory = r->LockDynamicVertices(kBillboardFvf, kBillboardStride, 4, &buffer, &first);
  if (memory == nullptr) return;  // no vertex memory: no billboard this frame
  const BillboardVertex quad[4] = {
      {centre.x - s, centre.y + s, centre.z, colorARGB, 0, 1},
      {centre.x - s, centre.y - s, centre.z, colorARGB, 0, 0},
      {centre.x + s, centre.y + s, centre.z, colorARGB, 1, 1},
      {centre.x + s, centre.y - s, centre.z, colorARGB, 1, 0},
  };
  std::memcpy(memory, quad, sizeof quad);
  r->UnlockDynamicVertices(buffer);

  r->SetTexture(0, billboardTexture);
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  r->SetTransform(D3DTS_VIEW, &identity);
  r->SetTransform(D3DTS_WORLD, &identity);
  r->SetRenderState(D3DRS_FOGENABLE, FALSE);
  r->SetRenderState(D3DRS_LIGHTING, FALSE);
  r->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  r->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  r->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  r->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  r->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  r->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  r->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  r->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
  r->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  r->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  r->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  r->DrawPrimitive(D3DPT_TRIANGLESTRIP, buffer, kBillboardStride, first, 2, -1, 0);
  r->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  r->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  r->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  r->SetTransform(D3DTS_VIEW, &view);
}
