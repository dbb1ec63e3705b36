// The scene system's life cycle: construction, Init, Destroy, device events, destruction, the
// playback-interface defaults; and the scene's module globals.
#include "scene/scene_system.h"

#include "camera/base_camera.h"
#include "frame/host_blocks.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "lighting/lighting_system.h"
#include "scene/tex_coord_modifiers.h"

namespace {
CSceneSystem* g_pCurrentSceneSystem = nullptr;

constexpr const char* kAdjustNameConfig = "Resource\\ini\\Brivanta\\Interface\\AdjustNameConfig.ini";
constexpr const char* kPlaybackNotReplaced =
    "[ERROR] Playback interface of SceneSystem failed, it due to virtual funtion overload failed.";
}  // namespace

IRenderer* g_pSceneRenderer = nullptr;
float g_sceneClock = 0.0f;
IDirect3DTexture8* g_pLockedVideoTexture = nullptr;
float g_bumpMapAngle = 0.0f;
uint32_t g_projectorColor = 0;
int g_envMapTexture = -1;
TextConverter g_pTextConverter = nullptr;
int32_t g_textCodePage = 0;

void SetCurrentSceneSystem(CSceneSystem* scene) { g_pCurrentSceneSystem = scene; }
CSceneSystem* GetCurrentSceneSystem() { return g_pCurrentSceneSystem; }

const char* GetTextCodePage(const char* text) { return g_pTextConverter != nullptr ? g_pTextConverter(text) : text; }

CSceneComponent::~CSceneComponent() = default;

CSceneSystem::CSceneSystem() {
  // The members carry their construction defaults; the scene id is set by Init.
  SetCurrentSceneSystem(this);
}

CSceneSystem::~CSceneSystem() {
  try {
    Destroy();
    CSceneSystem::RemoveDeadObjects();
  } catch (...) {
  }
  // Scene objects must not reach a scene system that is gone.
  if (g_pCurrentSceneSystem == this) g_pCurrentSceneSystem = nullptr;
}

bool CSceneSystem::Init() {
  destroyed_ = false;
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", 25500);
  SubscribeChannel("LostDevice", 0);
  SubscribeChannel("system_messages", 3);
  g_pSceneRenderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  if (g_pSceneRenderer == nullptr) {
    g_pHost->Log("Can't create an instance of 'dx8render'.");
    return false;
  }

  g_pHost->CreateObject(&cameraHandle, "CBaseCamera");
  if (CBaseCamera* camera = GetCamera()) {
    camera->SetEyeAdjuster(this);
    camera->SetMouseLookPoints(&originCameraEye, &originCameraTarget);
  }
  g_pHost->CreateObject(&shadowHandle, "Shadow");
  g_pHost->SendMessage(shadowHandle, "lf", 1999295, 0.5);

  walkPatch = nullptr;
  cameraPatch = nullptr;
  opaqueGround = -1;
  translucentGround = -1;
  weatherType = 0;
  perObjectLighting = 1;
  seaPresent = 0;
  weatherOn = 0;
  weatherConfigPath[0] = '\0';
  stateString.clear();
  gizmoShown = 0;

  const std::pair<ComponentHandle*, const char*> shared[] = {
      {&soundHandle, "Sound"}, {&particlesHandle, "Particles"}, {&activeEffectHandle, "ActiveEffect"}};
  for (const auto& [handle, name] : shared)
    if (!g_pHost->FindObject(handle, name, 0)) g_pHost->CreateObject(handle, name);

  // Every pass needs the lighting system: without it the scene cannot run.
  lighting = CLightingSystem::NewArray(1);
  if (lighting == nullptr) return false;
  if (!lighting->Init(this)) {
    DestroyLighting();
    return false;
  }

  sceneId = -1;
  CTexCoordModifiers::BuildWaveTables();
  g_pProjectorRenderer = g_pSceneRenderer;
  flags.Init();
  projector.Init("");

  ComponentHandle* managers[] = {&videoManager0, &videoManager1, &videoManager2, &videoManager3};
  for (ComponentHandle* manager : managers) g_pHost->CreateObject(manager, "CVideoTextureManager");
  filmVideoHandle = videoManager3;

  geometry = static_cast<IGeometryService*>(g_pHost->GetService("geometry"));
  sceneFactor = 1.0f;
  renderEnabled = 1;
  namedObjects.clear();
  adjustHeights.clear();
  ReadAdjustHeights();
  filmVolume = 0;
  return true;
}

void CSceneSystem::ReadAdjustHeights() {
  IIniFile* ini = g_pIniService != nullptr ? g_pIniService->OpenIni(kAdjustNameConfig, 0) : nullptr;
  if (ini == nullptr) return;  // no adjustments
  char section[260];
  for (bool more = ini->GetFirstSection(section, sizeof section); more;
       more = ini->GetNextSection(section, sizeof section)) {
    // A later section of the same name replaces the value.
    adjustHeights[section] = ini->GetFloat(section, "AdjustH", 0.0f);
  }
  ReleaseIniFile(ini);
}

void CSceneSystem::DestroyLighting() {
  CLightingSystem* owned = lighting;
  lighting = nullptr;
  CLightingSystem::DeleteArray(owned);
}

void CSceneSystem::Destroy() {
  // The destructor calls Destroy again after the host has: the work is done once.
  if (destroyed_) return;
  destroyed_ = true;
  KillFilmPlayer();
  UnloadScene();

  ComponentHandle* owned[] = {&terrainHandle, &cameraHandle, &shadowHandle, &videoManager0,
                              &videoManager1, &videoManager2, &videoManager3};
  for (ComponentHandle* handle : owned) {
    g_pHost->DestroyObject(*handle);
    handle->Clear();
  }
  filmVideoHandle.Clear();

  projector.Shutdown();
  DestroyLighting();
  if (gamma != 1.0f) SetGamma(1.0f);

  for (const ComponentHandle& model : preloadedModels) g_pHost->DestroyObject(model);
  preloadedModels.clear();
  if (g_pSceneRenderer != nullptr)
    for (int texture : preloadedTextures) g_pSceneRenderer->ReleaseTexture(texture);
  preloadedTextures.clear();
  stringList.clear();
  ReleaseAllNamedObjects();
}

int CSceneSystem::OnEvent(IEventArgs* args) {
  const int code = args->ReadInt();
  if (code == kEventDeviceLost) {
    projector.OnLostDevice();
  } else if (code == kEventDeviceReset) {
    projector.OnResetDevice();
    if (sceneId >= 0) {
      if (lighting != nullptr) lighting->AddHardwareLight(lighting->GetLightByName("sun"));
      if (!weatherOn) {
        SetFogMode(fogMode);
        SetFogParams(fogColor, fogDensity, fogStart, fogEnd);
      }
    }
  }
  return 0;
}

void CSceneSystem::SetGizmoVisible(uint8_t visible) { gizmoShown = visible; }
uint8_t CSceneSystem::IsGizmoVisible() { return gizmoShown; }

void CSceneSystem::SetGizmoPosition(const D3DXVECTOR3* position) {
  if (position != nullptr) gizmo.SetCentre(position->x, position->y, position->z);
}

Playback::Recorder* CSceneSystem::StartRecording() {
  g_pHost->Log("%s", kPlaybackNotReplaced);
  return nullptr;
}

void CSceneSystem::StopRecording(Playback::Recorder*) { g_pHost->Log("%s", kPlaybackNotReplaced); }

Playback::Player* CSceneSystem::StartPlaying() {
  g_pHost->Log("%s", kPlaybackNotReplaced);
  return nullptr;
}

void CSceneSystem::StopPlaying(Playback::Player*) { g_pHost->Log("%s", kPlaybackNotReplaced); }

bool CSceneSystem::SaveMovie(const boost::shared_ptr<Playback::MovieData>&, const std::string*) {
  g_pHost->Log("%s", kPlaybackNotReplaced);
  return false;
}

bool CSceneSystem::LoadMovie(boost::shared_ptr<Playback::MovieData>*, const std::string*) {
  g_pHost->Log("%s", kPlaybackNotReplaced);
  return false;
}

bool CSceneSystem::GetMovieInfo(const boost::shared_ptr<Playback::MovieData>&, Playback::MovieInfo*) {
  g_pHost->Log("%s", kPlaybackNotReplaced);
  return false;
}
