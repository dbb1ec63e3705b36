#include "objects/scene_base_obj.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "frame/exception.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "scene/scene_system.h"
#include "win32/crt_string.h"
#include "win32/win32.h"

namespace {

constexpr char kDefaultObjectFolder[] = "resource\\ini\\objects";
// The twelve edges of a box as pairs of corner numbers.
constexpr uint16_t kBoxEdges[24] = {0, 1, 0, 3, 1, 2, 2, 3, 4, 5, 5, 6, 6, 7, 7, 4, 1, 5, 2, 6, 3, 7, 0, 4};
constexpr std::align_val_t kBoneBufferAlignment{16};

const D3DXMATRIX kIdentity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

// 400015 modes.
constexpr int32_t kPartReset = 0;
constexpr int32_t kShowWhole = 1;
constexpr int32_t kHideWhole = 2;
constexpr int32_t kPartSet = 3;

CSceneBaseObj* SceneObjectOf(const ComponentHandle& handle) {
  return static_cast<CSceneBaseObj*>(static_cast<CComponentBase*>(g_pHost->GetObject(&handle)));
}

// "%s\%d.ini" of the folder (the default one when empty) and the id.
std::string ObjectPath(const std::string& folder, int32_t id) {
  char path[512];
  std::snprintf(path, sizeof path, "%s\\%d.ini", folder.empty() ? kDefaultObjectFolder : folder.c_str(), id);
  return path;
}

void SetModelOption(IRenderableInterface* face) {
  CSceneSystem* scene = GetCurrentSceneSystem();
  if (face != nullptr && scene != nullptr) face->SetLighting(scene->GetModelOption());
}

}  // namespace

CSceneBaseObj::CSceneBaseObj() {
  headBoneMatrix = headWorldMatrix = shineMatrix = kIdentity;
  for (int i = 0; i < 16; ++i) {
    afterImageWorld[i] = kIdentity;
    afterImageAlpha[i] = 1.0f;
  }
  std::memcpy(boxEdges, kBoxEdges, sizeof boxEdges);
  currentWaypoint = path.waypoints.end();
}

CSceneBaseObj::~CSceneBaseObj() {
  // The host's Destroy normally ran already; a second one finds nothing left to release.
  try {
    CSceneBaseObj::Destroy();
  } catch (...) {
  }
}

bool CSceneBaseObj::Init() {
  tag = -1;
  heightOffset = 0.0f;
  objectCookie = 0;
  renderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  if (renderer != nullptr) {
    wireframeEffect = renderer->GetEffect("wireframe");
    afterImageEffect = renderer->GetEffect("afterImage");
  }
  std::memcpy(boxEdges, kBoxEdges, sizeof boxEdges);
  shown = 0;
  objectId = -1;
  placedAction = 0;
  boundingBoxShown = 0;

  // Placement, animation, after-image and handle block.
  position = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  pitch = yaw = roll = 0.0f;
  action = 0;
  idleDelay = 0;
  idleAnimationName[0] = '\0';
  idleSuppressed = 0;
  moving = 0;
  walkAction = 0;
  arrivalAction = -1;
  sequencePending = 0;
  sequenceIndex = 0;
  sequenceCount = 0;
  std::memset(sequenceNames, 0, sizeof sequenceNames);
  leftHandPending = rightHandPending = 0;
  storedCount = ringCount = captureTimer = 0;
  fadeRate = startAlpha = 0.0f;
  ringIndex = captureInterval = captureCountdown = 0;
  afterImageColour = 0;
  unlimited = 0;
  renderableHandle.Clear();
  secondRenderableHandle.Clear();
  effectObjectHandle.Clear();
  rootNodeCopy.Clear();
  linkedHandle.Clear();
  self = nullptr;

  action = -1;
  sequenceIndex = -1;
  spareIds[0] = spareIds[1] = -1;

  if (!g_pHost->FindObject(&effectObjectHandle, "ActiveEffect", 0)) g_pHost->CreateObject(&effectObjectHandle, "ActiveEffect");

  turnSpeed = 3.14f;
  moveSpeed = savedMoveSpeed = 3.0f;
  shineTexture = -1;
  headPointDirty = topPointDirty = secondDirty = 1;
  headBoneIndex = -1;
  modelHeight = 0.0f;
  adjustH = 0.0f;

  geometryService = static_cast<IGeometryService*>(g_pHost->GetService("geometry"));
  userValueC = nullptr;
  highlightMode = 0;
  ringIndex = 0;
  userFlagA = userFlagB = 1;
  name.clear();
  activeEffectId = -1;
  raiseTotal = 0.0f;
  completeListener.Bind(&handle);
  return true;
}

void CSceneBaseObj::Destroy() {
  if (!renderableHandle.IsZero()) g_pHost->DestroyObject(renderableHandle);
  if (!secondRenderableHandle.IsZero()) g_pHost->DestroyObject(secondRenderableHandle);
  renderableHandle.Clear();
  secondRenderableHandle.Clear();
  objectCookie = 0;
  objectId = -1;
  for (void*& buffer : boneBuffers) {
    if (buffer != nullptr) ::operator delete(buffer, kBoneBufferAlignment);
    buffer = nullptr;
  }
  bytesPerBuffer = 0;
  StopActiveEffect();
  completeListener.Reset();
  // A scene must not keep projecting the shine onto an object that is gone.
  if (CSceneSystem* scene = GetCurrentSceneSystem()) scene->RemoveProjectorReceiver(this);
  if (shineTexture >= 0 && renderer != nullptr) renderer->ReleaseTexture(shineTexture);
  shineTexture = -1;
}

void CSceneBaseObj::Realize(uint32_t elapsedMs) { Render(elapsedMs); }
void CSceneBaseObj::RealizeBlend(uint32_t elapsedMs) { RenderAfterImages(elapsedMs); }
void CSceneBaseObj::RealizePost(uint32_t arg) { RenderPass3(arg); }
uint32_t CSceneBaseObj::Slot10(uint32_t cookie) {
  OnModelReady(cookie);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Resolving the host objects

IRenderableObject* CSceneBaseObj::ResolveRenderable(const ComponentHandle& renderable) const {
  if (renderable.IsZero()) return nullptr;
  return static_cast<IRenderableObject*>(g_pHost->GetObject(&renderable));
}

IRenderableInterface* CSceneBaseObj::QueryInterface(const ComponentHandle& renderable) const {
  IRenderableInterface* face = nullptr;
  g_pHost->SendMessage(renderable, "lp", kObjMsgGetInterface, &face);
  return face;
}

IRenderableNode* CSceneBaseObj::FindRootNode(ComponentHandle* out) const {
  ComponentHandle scratch;
  ComponentHandle* target = out != nullptr ? out : &scratch;
  target->Clear();
  g_pHost->SendMessage(renderableHandle, "lsp", kObjMsgFindNode, nullptr, target);
  if (target->IsZero()) return nullptr;
  return static_cast<IRenderableNode*>(g_pHost->GetObject(target));
}

namespace {
// The "head" bone of a node's bone table, any case: its matrix and index.
void FindHeadBone(IRenderableNode* node, D3DXMATRIX* matrix, int32_t* index) {
  if (node == nullptr) return;
  IRenderableBoneTable* bones = node->GetBoneTable(0);
  if (bones == nullptr) return;
  const uint32_t count = bones->GetBoneCount();
  for (uint32_t i = 0; i < count; ++i) {
    const RenderableBone* bone = bones->GetBone(i);
    if (bone == nullptr || bone->name == nullptr || _stricmp(bone->name, "head") != 0) continue;
    std::memcpy(static_cast<void*>(matrix), &bone->matrix, sizeof(D3DMATRIX));
    *index = static_cast<int32_t>(i);
  }
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Model loading

bool CSceneBaseObj::LoadFromIni(uint32_t id, uint8_t flag, uint8_t waitForModel, float height) {
  pendingEffects.clear();
  objectId = static_cast<int32_t>(id);
  // Nothing is loaded for no id, so nothing may wait for it either.
  if (objectId == -1) return false;
  waitingForModel = waitForModel;

  shown = 0;
  // The listener must not keep watching the renderable about to go.
  completeListener.Reset();
  if (!renderableHandle.IsZero()) g_pHost->DestroyObject(renderableHandle);
  renderableHandle.Clear();

  const std::string path = ObjectPath(objectFolder, objectId);
  g_pHost->CreateObject(&renderableHandle, "Renderable");
  objectCookie = g_pHost->GetObjectCookie(&renderableHandle);
  if (g_pHost->SendMessage(renderableHandle, "lsllll", kObjMsgLoad, path.c_str(), flag, waitForModel, 0,
                           waitForModel) == 0)
    return false;

  if (IRenderableInterface* face = QueryInterface(renderableHandle)) {
    SetModelOption(face);
    modelHeight = height != 0.0f ? height : face->GetHeight();
    self = this;
    face->SetEventCallback(&CSceneBaseObj::OnRenderableEvent, self);
  }

  Slot10(objectCookie);

  // After-image buffers for as many bones as the new model has; none without a skeleton.
  for (void*& buffer : boneBuffers) {
    if (buffer != nullptr) ::operator delete(buffer, kBoneBufferAlignment);
    buffer = nullptr;
  }
  bytesPerBuffer = 0;
  if (IRenderableNode* root = FindRootNode(&rootNodeHandle)) {
    IRenderableSkeleton* skeleton = root->GetSkeleton();
    IRenderableBoneSet* bones = skeleton != nullptr ? skeleton->GetBoneSet() : nullptr;
    if (bones != nullptr && bones->GetCount() > 0) {
      bytesPerBuffer = static_cast<int32_t>(bones->GetCount() * 64);
      for (int i = 0; i < 16; ++i) {
        boneBuffers[i] = ::operator new(static_cast<size_t>(bytesPerBuffer), kBoneBufferAlignment);
        std::memset(boneBuffers[i], 0, static_cast<size_t>(bytesPerBuffer));
        afterImageAlpha[i] = 1.0f;
      }
    }
  }

  if (waitForModel) completeListener.OnComplete(&handle, 0);
  return true;
}

bool CSceneBaseObj::LoadSecondModel(uint32_t id, uint8_t flag) {
  if (objectId == -1) objectId = static_cast<int32_t>(id);
  if (objectId == -1) return false;
  if (!secondRenderableHandle.IsZero()) g_pHost->DestroyObject(secondRenderableHandle);
  secondRenderableHandle.Clear();
  const std::string path = ObjectPath(objectFolder, objectId);
  g_pHost->CreateObject(&secondRenderableHandle, "Renderable");
  g_pHost->SendMessage(secondRenderableHandle, "lsllll", kObjMsgLoad, path.c_str(), 0, flag, 0, 0);
  SetModelOption(QueryInterface(secondRenderableHandle));
  if (objectCookie == 0) objectCookie = g_pHost->GetObjectCookie(&secondRenderableHandle);
  IRenderableObject* second = ResolveRenderable(secondRenderableHandle);
  if (second == nullptr || objectCookie == 0) return false;
  second->ApplyParameters(objectCookie);
  shown = 0;
  return true;
}

void CSceneBaseObj::OnModelReady(uint32_t cookie) {
  if (cookie != 0) {
    if (IRenderableObject* main = ResolveRenderable(renderableHandle)) main->ApplyParameters(cookie);
    if (IRenderableObject* second = ResolveRenderable(secondRenderableHandle)) second->ApplyParameters(cookie);
  }
  if (rootNodeHandle.IsZero() || g_pHost->GetObject(&rootNodeHandle) == nullptr) {
    FindRootNode(&rootNodeHandle);
    rootNodeCopy = rootNodeHandle;
    if (IRenderableInterface* face = QueryInterface(renderableHandle)) {
      IRenderablePart* first = face->GetPart(0);
      const char* partName = first != nullptr ? face->GetPartName(first) : nullptr;
      if (partName != nullptr && std::strcmp(partName, "baseModel") == 0) baseModel = 1;
    }
  }
  if (rootNodeHandle.IsZero()) return;
  FindHeadBone(static_cast<IRenderableNode*>(g_pHost->GetObject(&rootNodeHandle)), &headBoneMatrix, &headBoneIndex);
}

void CSceneBaseObj::OnRenderableComplete() {
  waitingForModel = 0;
  IRenderableNode* root = FindRootNode(&rootNodeHandle);
  rootNodeCopy = rootNodeHandle;
  if (IRenderableInterface* face = QueryInterface(renderableHandle)) modelHeight = face->GetHeight();
  FindHeadBone(root, &headBoneMatrix, &headBoneIndex);
  ReplayPendingEffects();
}

// ---------------------------------------------------------------------------------------------
// Showing, flags, alpha and lighting

void CSceneBaseObj::Show(bool show) {
  if (show != (shown != 0)) {
    g_pHost->SendMessage(renderableHandle, "lssl", kObjMsgSetPartState, nullptr, nullptr, show ? kShowWhole : kHideWhole);
    CSceneSystem* scene = GetCurrentSceneSystem();
    if (show || scene == nullptr || !scene->GetMirrorRendering()) {
      if (IRenderableNode* root = FindRootNode(nullptr))
        if (IRenderableSkeleton* skeleton = root->GetSkeleton()) skeleton->SetVisible(show ? 1 : 0);
    }
  }
  shown = show ? 1 : 0;
  if (IRenderableInterface* face = QueryInterface(renderableHandle)) face->SetShown(shown);
}

bool CSceneBaseObj::IsVisible() { return shown != 0 && hidden == 0; }

int CSceneBaseObj::SetRenderFlag(uint8_t flag) {
  return g_pHost->SendMessage(renderableHandle, "ll", kObjMsgSetRenderFlag, flag);
}

void CSceneBaseObj::SetAlpha(float alpha) {
  if (IRenderableInterface* face = QueryInterface(renderableHandle)) face->SetAlpha(alpha);
}

void CSceneBaseObj::RefreshLighting() {
  SetModelOption(QueryInterface(renderableHandle));
  SetModelOption(QueryInterface(secondRenderableHandle));
}

// ---------------------------------------------------------------------------------------------
// Part states and parameters

bool CSceneBaseObj::SetPartState(const char* part, const char* value, int32_t durationMs) {
  g_pHost->SendMessage(renderableHandle, "lssl", kObjMsgSetPartState, part, value, kPartSet);
  g_pHost->SendMessage(renderableHandle, "lssl", kObjMsgSetPartState, nullptr, nullptr, shown ? kShowWhole : kHideWhole);
  if (durationMs >= 1) timedPartStates.push_back(ScenePartStateRecord{part != nullptr ? part : "", durationMs});
  return true;
}

void CSceneBaseObj::ResetPartState(const char* part) {
  g_pHost->SendMessage(renderableHandle, "lssl", kObjMsgSetPartState, part, nullptr, kPartReset);
}

namespace {
char* CopyToHostText(const char* value, char* block) {
  const uint32_t size = static_cast<uint32_t>(std::strlen(value) + 1);
  char* text = static_cast<char*>(block == nullptr ? g_pAllocator->Alloc(size, "SceneBaseObj", __LINE__)
                                                   : g_pAllocator->Realloc(block, size, "SceneBaseObj", __LINE__));
  if (text != nullptr) std::memcpy(text, value, size);
  return text;
}
}  // namespace

int32_t CSceneBaseObj::SetRenderableParameter(RenderableParameterTable* table, uint32_t keyId, const char* value) {
  if (table == nullptr) return -1;
  for (uint32_t i = 0; i < table->count; ++i) {
    RenderableParameter* item = table->items[i];
    if (item == nullptr || item->keyId != keyId) continue;
    if (value == nullptr) {
      if (item->value != nullptr) g_pAllocator->Free(item->value, "SceneBaseObj", __LINE__);
      item->value = nullptr;
    } else if (char* text = CopyToHostText(value, item->value)) {
      item->value = text;
    }
    return static_cast<int32_t>(i);
  }
  const uint32_t bytes = static_cast<uint32_t>((table->count + 1) * sizeof(RenderableParameter*));
  void* grown = table->items == nullptr ? g_pAllocator->Alloc(bytes, "SceneBaseObj", __LINE__)
                                        : g_pAllocator->Realloc(table->items, bytes, "SceneBaseObj", __LINE__);
  if (grown == nullptr) return -1;
  table->items = static_cast<RenderableParameter**>(grown);
  auto* item = static_cast<RenderableParameter*>(g_pAllocator->Alloc(sizeof(RenderableParameter), "SceneBaseObj", __LINE__));
  if (item == nullptr) return -1;
  item->node = table->owner != nullptr ? table->owner->GetRootNode() : nullptr;
  item->keyId = keyId;
  item->value = value != nullptr ? CopyToHostText(value, nullptr) : nullptr;
  table->items[table->count] = item;
  return static_cast<int32_t>(table->count++);
}

bool CSceneBaseObj::ChangeHandModel(bool left, uint32_t number, bool apply) {
  IRenderableObject* renderable = ResolveRenderable(renderableHandle);
  if (renderable == nullptr || renderable->parameters == nullptr) return false;
  RenderableParameterTable* table = renderable->parameters;
  const char* key = left ? "lhandModel" : "rhandModel";
  const RenderableParameter* found = nullptr;
  for (uint32_t i = 0; i < table->count && found == nullptr; ++i) {
    const RenderableParameter* item = table->items[i];
    const char* keyName = item != nullptr && table->keys != nullptr ? table->keys->KeyName(item->keyId) : nullptr;
    if (keyName != nullptr && _stricmp(keyName, key) == 0) found = item;
  }
  // A missing key or a value too short to carry a hand number changes nothing.
  if (found == nullptr || found->value == nullptr || std::strlen(found->value) < 4) return false;
  char value[32];
  std::snprintf(value, sizeof value, "%.4s%c%02u", found->value, left ? '0' : '1', number);
  SetRenderableParameter(table, found->keyId, value);
  if (apply) renderable->ApplyParameters(g_pHost->GetObjectCookie(&renderableHandle));
  return true;
}

uint32_t CSceneBaseObj::ForwardToRenderable(uint32_t value) {
  IRenderableObject* renderable = ResolveRenderable(renderableHandle);
  return renderable != nullptr ? renderable->Tick(value) : 0;
}

// ---------------------------------------------------------------------------------------------
// Accessors

float CSceneBaseObj::GetHeightOffset() { return heightOffset; }
void CSceneBaseObj::GetHandNumbers(uint32_t* left, uint32_t* right) {
  if (left != nullptr) *left = leftHandNumber;
  if (right != nullptr) *right = rightHandNumber;
}
void CSceneBaseObj::SetHandNumbers(uint32_t left, uint32_t right) {
  leftHandNumber = left;
  rightHandNumber = right;
}
void CSceneBaseObj::SetLinkedHandle(const ComponentHandle* linked) {
  if (linked == nullptr) return;
  linkedHandle = *linked;
  linkedRootHandle = *linked;
}
void CSceneBaseObj::SetTag(int32_t value) { tag = value; }
int32_t CSceneBaseObj::GetTag() { return tag; }
void CSceneBaseObj::GetPosition(D3DXVECTOR3* out, float* outYaw) {
  if (out != nullptr) *out = position;
  if (outYaw != nullptr) *outYaw = yaw;
}
ComponentHandle* CSceneBaseObj::GetHandle() { return &renderableHandle; }
ComponentHandle* CSceneBaseObj::GetSecondHandle() { return &secondRenderableHandle; }
void CSceneBaseObj::SetIdleSuppressed(uint8_t suppressed) { idleSuppressed = suppressed; }
const uint32_t* CSceneBaseObj::GetUserWords() { return userWords; }
void CSceneBaseObj::ShowBoundingBox(uint8_t on) { boundingBoxShown = on; }
void CSceneBaseObj::GetTargetPosition(D3DXVECTOR3* out, float* outYaw) {
  if (out != nullptr) *out = walkTarget;
  if (outYaw != nullptr) *outYaw = targetYaw;
}
const char* CSceneBaseObj::GetAnimationName() { return animationName.c_str(); }
bool CSceneBaseObj::ReturnTrue(uint32_t) { return true; }
int32_t CSceneBaseObj::GetChildId(uint32_t index) { return index < childIds.size() ? childIds[index] : -1; }
void CSceneBaseObj::AddChildId(int32_t id) {
  if (std::find(childIds.begin(), childIds.end(), id) == childIds.end()) childIds.push_back(id);
}
void CSceneBaseObj::RemoveChildId(int32_t id) {
  auto it = std::find(childIds.begin(), childIds.end(), id);
  if (it == childIds.end()) return;
  *it = childIds.back();
  childIds.pop_back();
}
uint32_t CSceneBaseObj::GetChildCount() { return static_cast<uint32_t>(childIds.size()); }
ComponentHandle* CSceneBaseObj::GetRootNodeHandle() { return &rootNodeHandle; }
float CSceneBaseObj::GetScale() { return scale; }
void CSceneBaseObj::SetScale(float value) { scale = value; }
const D3DLIGHT8* CSceneBaseObj::GetUserValueC() { return userValueC; }
void CSceneBaseObj::SetUserValueC(const D3DLIGHT8* light) { userValueC = light; }
uint8_t CSceneBaseObj::GetUserFlag() { return userFlag; }
void CSceneBaseObj::SetUserFlag(uint8_t flag) { userFlag = flag; }
void CSceneBaseObj::SetHidden(uint8_t value) {
  hidden = value;
  if (value) Show(false);
}
uint8_t CSceneBaseObj::IsHidden() { return hidden; }
uint8_t CSceneBaseObj::IsAlphaEnabled() { return alphaEnabled; }
void CSceneBaseObj::SetAlphaEnabled(uint8_t enabled) {
  alphaEnabled = enabled;
  if (!enabled) SetAlpha(1.0f);
}
const wchar_t* CSceneBaseObj::GetTitle() { return titleText.c_str(); }
void CSceneBaseObj::SetUserValueA(int32_t value) { userValueA = value; }
int32_t CSceneBaseObj::GetUserValueA() { return userValueA; }
void CSceneBaseObj::SetUserValueB(int32_t value) { userValueB = value; }
int32_t CSceneBaseObj::GetUserValueB() { return userValueB; }
bool CSceneBaseObj::GetEyeTarget(D3DXVECTOR3* front, D3DXVECTOR3* head) {
  if (front != nullptr) *front = frontPoint;
  if (head != nullptr) *head = headPoint;
  return true;
}
void CSceneBaseObj::SetEyeTarget(const D3DXVECTOR3* front, const D3DXVECTOR3* head, uint32_t word) {
  if (front != nullptr) frontPoint = *front;
  if (head != nullptr) headPoint = *head;
  eyeWord = word;
}
uint8_t CSceneBaseObj::GetSceneRenderFlag() { return sceneRenderFlag; }
void CSceneBaseObj::SetSceneRenderFlag(uint8_t flag) { sceneRenderFlag = flag; }
uint8_t CSceneBaseObj::IsMoving() { return moving; }
void CSceneBaseObj::SetTitleVisible(uint8_t visible) { titleEnabled = visible; }
int32_t CSceneBaseObj::GetTitleHalfWidth() { return titleHalfWidth; }
int32_t CSceneBaseObj::GetTitleOffsetY() { return titleOffsetY; }
int32_t CSceneBaseObj::GetTitleHalfWidth2() { return titleHalfWidth; }
void CSceneBaseObj::SetName(const char* text) { name = text != nullptr ? text : ""; }
const char* CSceneBaseObj::GetName() { return name.empty() ? nullptr : name.c_str(); }
float CSceneBaseObj::GetUserFloat() { return userFloat; }
void CSceneBaseObj::SetUserFloat(float value) { userFloat = value; }
void CSceneBaseObj::SetUserFlagA(uint8_t flag) { userFlagA = flag; }
uint8_t CSceneBaseObj::GetUserFlagA() { return userFlagA; }
void CSceneBaseObj::SetUserFlagB(uint8_t flag) { userFlagB = flag; }
uint8_t CSceneBaseObj::GetUserFlagB() { return userFlagB; }
namespace {
uint64_t g_userWordsChanges = 0;  // the host's thread only
}  // namespace
uint64_t CSceneBaseObj::UserWordsChanges() { return g_userWordsChanges; }
void CSceneBaseObj::SetUserWords(const uint32_t* words) {
  if (words == nullptr) return;
  userWords[0] = words[0];
  userWords[1] = words[1];
  ++g_userWordsChanges;
}
void CSceneBaseObj::SetObjectFolder(const char* folder) { objectFolder = folder != nullptr ? folder : ""; }
int32_t CSceneBaseObj::GetShineTexture(uint32_t) { return shineTexture; }
int32_t CSceneBaseObj::ReturnMinusOne() { return -1; }
NavPath* CSceneBaseObj::GetPathData() { return &path; }
void CSceneBaseObj::SetAdjustHeight(float adjust) { adjustH = adjust; }

// ---------------------------------------------------------------------------------------------
// Completion listener

SceneObjectCompleteListener::~SceneObjectCompleteListener() {
  try {
    Reset();
  } catch (...) {
  }
}

void SceneObjectCompleteListener::Bind(const ComponentHandle* handle) {
  if (handle != nullptr) owner = *handle;
}

void SceneObjectCompleteListener::Unregister(const ComponentHandle& renderable) {
  IRenderableInterface* face = nullptr;
  g_pHost->SendMessage(renderable, "lp", kObjMsgGetInterface, &face);
  if (face != nullptr) face->RemoveCompleteListener(this);
}

void SceneObjectCompleteListener::OnComplete(const ComponentHandle* object, uint8_t flag) {
  if (object == nullptr) return;
  for (auto it = watches.begin(); it != watches.end(); ++it) {
    if (!(it->object == *object)) continue;
    if (CSceneBaseObj* watched = SceneObjectOf(it->object)) Unregister(*watched->GetHandle());
    watches.erase(it);
    break;
  }
  CSceneBaseObj* target = SceneObjectOf(*object);
  ComponentHandle renderable{};
  if (target != nullptr) renderable = *target->GetHandle();
  IRenderableInterface* pRenderable = nullptr;
  if (target != nullptr) g_pHost->SendMessage(renderable, "lp", kObjMsgGetInterface, &pRenderable);
  if (pRenderable == nullptr) AssertFailed("SceneObjectCompleteListener", 52, "pRenderable");
  pRenderable->AddCompleteListener(this);
  watches.push_back(WatchRecord{*object, flag});
  pending.push_back(renderable);
}

void SceneObjectCompleteListener::OnNotify(IRenderableInterface* source) {
  for (size_t i = 0; i < pending.size();) {
    // A renderable destroyed while it loaded will never report: it is no longer waited for.
    if (g_pHost->GetObject(&pending[i]) == nullptr) {
      pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    IRenderableInterface* face = nullptr;
    g_pHost->SendMessage(pending[i], "lp", kObjMsgGetInterface, &face);
    if (face == source) {
      pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
  if (!pending.empty()) return;
  if (CSceneBaseObj* object = SceneObjectOf(owner)) object->OnRenderableComplete();
}

void SceneObjectCompleteListener::Reset() {
  if (g_pHost != nullptr)
    for (const ComponentHandle& renderable : pending) Unregister(renderable);
  pending.clear();
}
