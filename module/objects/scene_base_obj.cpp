#include "objects/scene_base_obj.h"

CSceneBaseObj::CSceneBaseObj() = default;
CSceneBaseObj::~CSceneBaseObj() = default;

// The operations of the scene objects' own work answer neutrally until it is built.
void CSceneBaseObj::SetHeightOffset(float) {}
float CSceneBaseObj::GetHeightOffset() { return 0.0f; }
void CSceneBaseObj::GetHandNumbers(uint32_t*, uint32_t*) {}
void CSceneBaseObj::UpdateNamePlate() {}
void CSceneBaseObj::SetHandNumbers(uint32_t, uint32_t) {}
void CSceneBaseObj::SetLinkedHandle(const ComponentHandle*) {}
void CSceneBaseObj::SetTag(int32_t) {}
int32_t CSceneBaseObj::GetTag() { return -1; }
void CSceneBaseObj::Show(bool) {}
bool CSceneBaseObj::IsVisible() { return false; }
void CSceneBaseObj::SetRenderFlag(uint8_t) {}
void CSceneBaseObj::SetPositionAction(const D3DXVECTOR3*, float, int32_t) {}
void CSceneBaseObj::SetTransform(const D3DXMATRIX*, int32_t) {}
void CSceneBaseObj::SetPositionState(const D3DXVECTOR3*, float, int32_t) {}
bool CSceneBaseObj::PlayAnimationRequest(const char*, uint8_t, float, int32_t, float, float, float, int32_t) {
  return false;
}
void CSceneBaseObj::MoveTo(float, float, float, float, float, int32_t, int32_t, float) {}
void CSceneBaseObj::GetPosition(D3DXVECTOR3*, float*) {}
ComponentHandle* CSceneBaseObj::GetHandle() { return nullptr; }
ComponentHandle* CSceneBaseObj::GetSecondHandle() { return nullptr; }
void CSceneBaseObj::ApplyPosition() {}
void CSceneBaseObj::SetIdleSuppressed(uint8_t) {}
const uint32_t* CSceneBaseObj::GetUserWords() { return userWords; }
bool CSceneBaseObj::LoadSecondModel(uint32_t, uint8_t) { return false; }
bool CSceneBaseObj::LoadFromIni(uint32_t, uint8_t, uint8_t, float) { return false; }
void CSceneBaseObj::ShowBoundingBox(uint8_t) {}
void CSceneBaseObj::SetAlpha(float) {}
void CSceneBaseObj::GetTargetPosition(D3DXVECTOR3*, float*) {}
const char* CSceneBaseObj::GetAnimationName() { return ""; }
bool CSceneBaseObj::PlayEffect(const char*, const char*, int32_t, int32_t) { return false; }
void CSceneBaseObj::RemoveEffectsByName(const char*) {}
void CSceneBaseObj::RemoveAllEffects() {}
void CSceneBaseObj::SetPartState(const char*, const char*, int32_t) {}
void CSceneBaseObj::ResetPartState(const char*) {}
bool CSceneBaseObj::PlaySound(const char*) { return false; }
bool CSceneBaseObj::ReturnTrue(uint32_t) { return true; }
void CSceneBaseObj::EnableShine() {}
void CSceneBaseObj::DisableShine() {}
int32_t CSceneBaseObj::GetChildId(uint32_t) { return -1; }
void CSceneBaseObj::AddChildId(int32_t) {}
void CSceneBaseObj::RemoveChildId(int32_t) {}
uint32_t CSceneBaseObj::GetChildCount() { return 0; }
ComponentHandle* CSceneBaseObj::GetRootNodeHandle() { return nullptr; }
const D3DXMATRIX* CSceneBaseObj::GetHeadMatrix() { return nullptr; }
bool CSceneBaseObj::GetWorldMatrix(D3DXMATRIX*) { return false; }
const D3DXVECTOR3* CSceneBaseObj::GetHeadScreenPos() { return nullptr; }
const D3DXVECTOR3* CSceneBaseObj::GetTopScreenPos() { return nullptr; }
float CSceneBaseObj::GetScale() { return 1.0f; }
void CSceneBaseObj::SetScale(float) {}
void CSceneBaseObj::RegisterAnimationEvents() {}
intptr_t CSceneBaseObj::GetUserValueC() { return 0; }
void CSceneBaseObj::SetUserValueC(intptr_t) {}
uint8_t CSceneBaseObj::GetUserFlag() { return userFlag; }
void CSceneBaseObj::SetUserFlag(uint8_t flag) { userFlag = flag; }
void CSceneBaseObj::SetHidden(uint8_t) {}
uint8_t CSceneBaseObj::IsHidden() { return 0; }
uint8_t CSceneBaseObj::IsAlphaEnabled() { return 1; }
void CSceneBaseObj::SetAlphaEnabled(uint8_t) {}
void CSceneBaseObj::SetTitle(const wchar_t*, int32_t, int32_t, uint8_t) {}
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
bool CSceneBaseObj::PlayAnimationSequence(const char**, int32_t, float, int32_t, float, float, float) { return false; }
int32_t CSceneBaseObj::GetTitleHalfWidth() { return 0; }
int32_t CSceneBaseObj::GetTitleOffsetY() { return 0; }
int32_t CSceneBaseObj::GetTitleHalfWidth2() { return 0; }
void CSceneBaseObj::SetHighlight(bool) {}
void CSceneBaseObj::SetHighlightMode(int32_t) {}
void CSceneBaseObj::SetName(const char*) {}
const char* CSceneBaseObj::GetName() { return nullptr; }
void CSceneBaseObj::PlayActiveEffect(int32_t) {}
void CSceneBaseObj::StopActiveEffect() {}
float CSceneBaseObj::GetUserFloat() { return 0.0f; }
void CSceneBaseObj::SetUserFloat(float) {}
void CSceneBaseObj::SetUserFlagA(uint8_t) {}
uint8_t CSceneBaseObj::GetUserFlagA() { return 1; }
void CSceneBaseObj::SetUserFlagB(uint8_t) {}
uint8_t CSceneBaseObj::GetUserFlagB() { return 1; }
void CSceneBaseObj::Raise(float) {}
void CSceneBaseObj::ResetRaise() {}
int32_t CSceneBaseObj::CreateEffect(const char*, int32_t) { return -1; }
void CSceneBaseObj::RemoveEffect(int32_t) {}
void CSceneBaseObj::OnRenderableComplete() {}
void CSceneBaseObj::GetHeadCenter(D3DXVECTOR3*, uint32_t*) {}
bool CSceneBaseObj::HitTest(D3DXVECTOR3*, const D3DXVECTOR3*, const D3DXVECTOR3*, uint8_t) { return false; }
void CSceneBaseObj::SetUserWords(const uint32_t* words) {
  if (words == nullptr) return;
  userWords[0] = words[0];
  userWords[1] = words[1];
}
void CSceneBaseObj::SetObjectFolder(const char* folder) { objectFolder = folder != nullptr ? folder : ""; }
void CSceneBaseObj::GetHeadBillboard(D3DXMATRIX*, uint32_t) {}
int32_t CSceneBaseObj::GetShineTexture(uint32_t) { return -1; }
int32_t CSceneBaseObj::ReturnMinusOne() { return -1; }
NavPath* CSceneBaseObj::GetPathData() { return nullptr; }
void CSceneBaseObj::StopPath() {}
void CSceneBaseObj::SetPathCallback(WaypointCallback, uint32_t) {}
void CSceneBaseObj::RefreshLighting() {}
uint32_t CSceneBaseObj::ForwardToRenderable(uint32_t) { return 0; }
void CSceneBaseObj::SetAdjustHeight(float) {}
