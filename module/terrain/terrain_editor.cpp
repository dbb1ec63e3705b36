#include "terrain/terrain_editor.h"

#include <climits>

#include "camera/base_camera.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "math/angles.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "terrain/terrain_edit.h"
#include "win32/win32.h"

const uint32_t g_aTerrainEditorWalkerKey[2] = {0, 0};

namespace {

constexpr uint32_t kSceneId = 1;
constexpr int32_t kWeather = 1;
constexpr uint32_t kWalkerObjectId = 10005;

CSceneSystem* SceneOf(const ComponentHandle& handle) {
  return static_cast<CSceneSystem*>(static_cast<CComponentBase*>(g_pHost->GetObject(&handle)));
}

}  // namespace

CTerrainEditor::CTerrainEditor() = default;
CTerrainEditor::~CTerrainEditor() = default;

bool CTerrainEditor::Init() {
  m_pRenderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  g_pHost->CreateObject(&m_sceneHandle, "CSceneSystem");
  CSceneSystem* scene = SceneOf(m_sceneHandle);
  if (scene == nullptr) return true;
  scene->LoadScene(kSceneId);
  scene->SetWeather(kWeather);
  CBaseCamera* camera = scene->GetCamera();
  if (camera != nullptr) camera->SetControllable(1);
  if (CSceneBaseObj* walker = scene->CreateSceneObject(g_aTerrainEditorWalkerKey)) {
    walker->LoadFromIni(kWalkerObjectId, 1, 0, 0.0f);
    const D3DXVECTOR3 start(222.0f, 0.0f, 333.0f);
    walker->SetPositionAction(&start, 0.0f, 0);
    if (camera != nullptr) camera->EnterOrbit(&walker->handle, 1.5f, 1, 0);
  }
  ITerrainEdit* terrain = scene->GetTerrain();
  if (terrain == nullptr) {
    g_pHost->Log("[WARNING] CTerrainEditor::Init: the scene has no terrain to lay grass on.");
    return true;
  }
  const float offset[2] = {0.0f, 0.0f}, scale[2] = {1.0f, 1.0f};
  terrain->AddLayer("grass.dds", offset, scale, true);
  return true;
}

// The host destroys the scene with its other objects.
void CTerrainEditor::Destroy() {}
void CTerrainEditor::Execute(uint32_t) {}
void CTerrainEditor::Realize(uint32_t) {}

void CTerrainEditor::OnSystemMessage(uint32_t message, uint32_t, uint32_t lParam) {
  if (message != WM_LBUTTONDOWN) return;
  CSceneSystem* scene = SceneOf(m_sceneHandle);
  if (scene == nullptr) return;
  ScenePick hit{};
  if (!scene->PickScenePoint(&hit, static_cast<int32_t>(lParam & 0xFFFFu), static_cast<int32_t>(lParam >> 16), 1))
    return;
  CSceneBaseObj* walker = scene->FindSceneObjectById(g_aTerrainEditorWalkerKey);
  if (walker == nullptr) return;
  D3DXVECTOR3 position(0.0f, 0.0f, 0.0f);
  float yaw = 0.0f;
  walker->GetPosition(&position, &yaw);
  const float heading = WrapAngle(VectorHeadingXZ(hit.x - position.x, hit.z - position.z));
  walker->MoveTo(hit.x, hit.z, heading, 3.0f, 20.0f, 1, 0, hit.y);
}
