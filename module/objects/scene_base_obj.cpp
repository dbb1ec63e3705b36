#include "objects/scene_base_obj.h"

CSceneBaseObj::CSceneBaseObj() { currentWaypoint = path.waypoints.end(); }
CSceneBaseObj::~CSceneBaseObj() = default;
bool CSceneBaseObj::Init() { return true; }
void CSceneBaseObj::Destroy() {}
void CSceneBaseObj::Realize(uint32_t elapsedMs) { Render(elapsedMs); }
void CSceneBaseObj::RealizeBlend(uint32_t elapsedMs) { RenderAfterImages(elapsedMs); }
void CSceneBaseObj::RealizePost(uint32_t arg) { RenderPass3(arg); }
uint32_t CSceneBaseObj::Slot10(uint32_t cookie) {
  OnModelReady(cookie);
  return 0;
}
void CSceneBaseObj::OnModelReady(uint32_t) {}
int32_t CSceneBaseObj::SetRenderableParameter(RenderableParameterTable*, uint32_t, const char*) { return -1; }
bool CSceneBaseObj::ChangeHandModel(bool, uint32_t, bool) { return false; }
IRenderableObject* CSceneBaseObj::ResolveRenderable(const ComponentHandle&) const { return nullptr; }
IRenderableInterface* CSceneBaseObj::QueryInterface(const ComponentHandle&) const { return nullptr; }
IRenderableNode* CSceneBaseObj::FindRootNode(ComponentHandle* out) const {
  if (out != nullptr) out->Clear();
  return nullptr;
}

SceneObjectCompleteListener::~SceneObjectCompleteListener() = default;
void SceneObjectCompleteListener::OnNotify(IRenderableInterface*) {}
void SceneObjectCompleteListener::Bind(const ComponentHandle* handle) {
  if (handle != nullptr) owner = *handle;
}
void SceneObjectCompleteListener::OnComplete(const ComponentHandle*, uint8_t) {}
void SceneObjectCompleteListener::Reset() {}
void SceneObjectCompleteListener::Unregister(const ComponentHandle&) {}

// The operations of the scene objects' own work answer neutrally until it is built.
float CSceneBaseObj::GetHeightOffset() { return 0.0f; }
void CSceneBaseObj::GetHandNumbers(uint32_t*, uint32_t*) {}
void CSceneBaseObj::SetHandNumbers(uint32_t, uint32_t) {}
void CSceneBaseObj::SetLinkedHandle(const ComponentHandle*) {}
void CSceneBaseObj::SetTag(int32_t) {}
int32_t CSceneBaseObj::GetTag() { return -1; }
void CSceneBaseObj::Show(bool) {}
bool CSceneBaseObj::IsVisible() { return false; }
void CSceneBaseObj::SetRenderFlag(uint8_t) {}
void CSceneBaseObj::GetPosition(D3DXVECTOR3*, float*) {}
ComponentHandle* CSceneBaseObj::GetHandle() { return nullptr; }
ComponentHandle* CSceneBaseObj::GetSecondHandle() { return nullptr; }
void CSceneBaseObj::SetIdleSuppressed(uint8_t) {}
const uint32_t* CSceneBaseObj::GetUserWords() { return userWords; }
bool CSceneBaseObj::LoadSecondModel(uint32_t, uint8_t) { return false; }
bool CSceneBaseObj::LoadFromIni(uint32_t, uint8_t, uint8_t, float) { return false; }
void CSceneBaseObj::ShowBoundingBox(uint8_t) {}
void CSceneBaseObj::SetAlpha(float) {}
void CSceneBaseObj::GetTargetPosition(D3DXVECTOR3*, float*) {}
const char* CSceneBaseObj::GetAnimationName() { return ""; }
void CSceneBaseObj::SetPartState(const char*, const char*, int32_t) {}
void CSceneBaseObj::ResetPartState(const char*) {}
bool CSceneBaseObj::ReturnTrue(uint32_t) { return true; }
int32_t CSceneBaseObj::GetChildId(uint32_t) { return -1; }
void CSceneBaseObj::AddChildId(int32_t) {}
void CSceneBaseObj::RemoveChildId(int32_t) {}
uint32_t CSceneBaseObj::GetChildCount() { return 0; }
ComponentHandle* CSceneBaseObj::GetRootNodeHandle() { return nullptr; }
float CSceneBaseObj::GetScale() { return 1.0f; }
void CSceneBaseObj::SetScale(float) {}
const D3DLIGHT8* CSceneBaseObj::GetUserValueC() { return userValueC; }
void CSceneBaseObj::SetUserValueC(const D3DLIGHT8* light) { userValueC = light; }
uint8_t CSceneBaseObj::GetUserFlag() { return userFlag; }
void CSceneBaseObj::SetUserFlag(uint8_t flag) { userFlag = flag; }
void CSceneBaseObj::SetHidden(uint8_t) {}
uint8_t CSceneBaseObj::IsHidden() { return 0; }
uint8_t CSceneBaseObj::IsAlphaEnabled() { return 1; }
void CSceneBaseObj::SetAlphaEnabled(uint8_t) {}
const wchar_t* CSceneBaseObj::GetTitle() { return L""; }
void CSceneBaseObj::SetUserValueA(int32_t) {}
int32_t CSceneBaseObj::GetUserValueA() { return -1; }
void CSceneBaseObj::SetUserValueB(int32_t) {}
int32_t CSceneBaseObj::GetUserValueB() { return 0; }
bool CSceneBaseObj::GetEyeTarget(D3DXVECTOR3*, D3DXVECTOR3*) { return false; }
void CSceneBaseObj::SetEyeTarget(const D3DXVECTOR3*, const D3DXVECTOR3*, uint32_t) {}
uint8_t CSceneBaseObj::GetSceneRenderFlag() { return 1; }
void CSceneBaseObj::SetSceneRenderFlag(uint8_t) {}
uint8_t CSceneBaseObj::IsMoving() { return 0; }
void CSceneBaseObj::SetTitleVisible(uint8_t) {}
int32_t CSceneBaseObj::GetTitleHalfWidth() { return 0; }
int32_t CSceneBaseObj::GetTitleOffsetY() { return 0; }
int32_t CSceneBaseObj::GetTitleHalfWidth2() { return 0; }
void CSceneBaseObj::SetName(const char*) {}
const char* CSceneBaseObj::GetName() { return nullptr; }
float CSceneBaseObj::GetUserFloat() { return 0.0f; }
void CSceneBaseObj::SetUserFloat(float) {}
void CSceneBaseObj::SetUserFlagA(uint8_t) {}
uint8_t CSceneBaseObj::GetUserFlagA() { return 1; }
void CSceneBaseObj::SetUserFlagB(uint8_t) {}
uint8_t CSceneBaseObj::GetUserFlagB() { return 1; }
void CSceneBaseObj::OnRenderableComplete() {}
void CSceneBaseObj::SetUserWords(const uint32_t* words) {
  if (words == nullptr) return;
  userWords[0] = words[0];
  userWords[1] = words[1];
}
void CSceneBaseObj::SetObjectFolder(const char* folder) { objectFolder = folder != nullptr ? folder : ""; }
int32_t CSceneBaseObj::GetShineTexture(uint32_t) { return -1; }
int32_t CSceneBaseObj::ReturnMinusOne() { return -1; }
NavPath* CSceneBaseObj::GetPathData() { return nullptr; }
void CSceneBaseObj::RefreshLighting() {}
uint32_t CSceneBaseObj::ForwardToRenderable(uint32_t) { return 0; }
void CSceneBaseObj::SetAdjustHeight(float) {}
