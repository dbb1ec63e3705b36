#include "host/renderable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

#include "host/generic_object.h"
#include "host/host.h"

namespace host {
namespace {

D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

bool SameName(const char* a, const char* b) { return a != nullptr && b != nullptr && strcasecmp(a, b) == 0; }

bool NamesMesh(const std::string& part) {
  return part.size() > 4 && strcasecmp(part.c_str() + part.size() - 4, ".obj") == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

const char* RenderableKeys::KeyName(uint32_t keyId) {
  return keyId < names_.size() ? names_[keyId]->c_str() : nullptr;
}

uint32_t RenderableKeys::KeyId(const char* name) {
  const std::string key = name != nullptr ? name : "";
  for (size_t i = 0; i < names_.size(); ++i)
    if (*names_[i] == key) return static_cast<uint32_t>(i);
  names_.push_back(std::make_unique<std::string>(key));
  return static_cast<uint32_t>(names_.size() - 1);
}

const RenderableBone* RenderableBoneTable::GetBone(uint32_t index) {
  return index < bones_.size() ? &bones_[index] : nullptr;
}

void RenderableBoneTable::Set(const std::vector<ObjectBone>& bones) {
  names_.clear();
  bones_.clear();
  names_.reserve(bones.size());
  for (const ObjectBone& bone : bones) names_.push_back(bone.name);
  for (size_t i = 0; i < bones.size(); ++i) bones_.push_back(RenderableBone{names_[i].c_str(), bones[i].matrix});
}

RenderableSkeleton::RenderableSkeleton(uint32_t boneCount) : matrices_(boneCount, Identity()) {}

const D3DMATRIX* RenderableSkeleton::GetBoneMatrix(int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < matrices_.size() ? &matrices_[static_cast<size_t>(index)] : nullptr;
}

void RenderableSkeleton::TakeBuffer(const void* buffer) {
  if (buffer == nullptr) return;
  std::memcpy(matrices_.data(), buffer, matrices_.size() * sizeof(D3DMATRIX));
  ++buffersTaken;
}

RenderableNode::RenderableNode() : local(Identity()), world(Identity()) {}

void RenderableNode::Update() {
  world = local;
  ++updates;
}

IRenderableBoneTable* RenderableNode::GetBoneTable(int32_t index) {
  return index == 0 && boneTable_.GetBoneCount() > 0 ? &boneTable_ : nullptr;
}

void RenderableNode::SetBones(const std::vector<ObjectBone>& bones) {
  boneTable_.Set(bones);
  skeleton_ = bones.empty() ? nullptr : std::make_unique<RenderableSkeleton>(static_cast<uint32_t>(bones.size()));
}

// ---------------------------------------------------------------------------------------------

IRenderablePart* RenderableInterface::GetPart(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= owner_->parts.size()) return nullptr;
  return owner_->parts[static_cast<size_t>(index)].get();
}

IRenderablePart* RenderableInterface::FindPart(const char* name) {
  for (auto& part : owner_->parts)
    if (SameName(part->name.c_str(), name)) return part.get();
  return nullptr;
}

void RenderableInterface::SwitchPart(IRenderablePart* part, int32_t what, int32_t on) {
  // Only visibility (22) is a switch this model has.
  if (part == nullptr || what != 22) return;
  static_cast<RenderablePart*>(part)->visible = on != 0;
}

const char* RenderableInterface::GetPartName(IRenderablePart* part) {
  return part != nullptr ? static_cast<RenderablePart*>(part)->name.c_str() : nullptr;
}

float RenderableInterface::GetHeight() { return owner_->model.height; }

void RenderableInterface::SetEventCallback(RenderableEventFn callback, void* context) {
  eventCallback = callback;
  eventContext = context;
}

void RenderableInterface::SetTextEventCallback(AnimationTextEventFn callback, void* context) {
  textEventCallback = callback;
  textEventContext = context;
}

void RenderableInterface::AddCompleteListener(IRenderableCompleteListener* listener) {
  if (listener == nullptr) return;
  auto& list = owner_->listeners_;
  if (std::find(list.begin(), list.end(), listener) == list.end()) list.push_back(listener);
}

void RenderableInterface::RemoveCompleteListener(IRenderableCompleteListener* listener) {
  auto& list = owner_->listeners_;
  list.erase(std::remove(list.begin(), list.end(), listener), list.end());
  auto& told = owner_->notified_;
  told.erase(std::remove(told.begin(), told.end(), listener), told.end());
}

// ---------------------------------------------------------------------------------------------

RenderableObject::RenderableObject(std::shared_ptr<RenderableClass> cls) : class_(std::move(cls)) {
  if (class_) {
    class_->live.insert(this);
    ++class_->created;
  }
}

RenderableObject::~RenderableObject() {
  *alive_ = false;
  Unload();
  if (class_) {
    class_->live.erase(this);
    auto indexed = class_->byCookie.find(cookie_);
    if (indexed != class_->byCookie.end() && indexed->second == this) class_->byCookie.erase(indexed);
  }
}

bool RenderableObject::Init() {
  if (host == nullptr) return true;
  host->Subscribe("execute", handle, 0);
  cookie_ = host->GetObjectCookie(&handle);
  if (class_ && cookie_ != 0) class_->byCookie[cookie_] = this;
  return true;
}

void RenderableObject::Destroy() { Unload(); }

RenderableNode* RenderableObject::Root() {
  if (host == nullptr || rootHandle.IsZero()) return nullptr;
  return static_cast<RenderableNode*>(static_cast<IRenderableNode*>(host->GetObject(&rootHandle)));
}

void RenderableObject::Unload() {
  FreeParameters();
  if (host != nullptr && !rootHandle.IsZero()) host->DestroyObject(rootHandle);
  rootHandle.Clear();
  parts.clear();
  listeners_.clear();
  notified_.clear();
  loaded_ = complete_ = false;
  model = ObjectFile{};
  animator.SetAnimations({});
}

bool RenderableObject::Load(const char* file, bool wait) {
  Unload();
  path = file != nullptr ? file : "";
  if (host == nullptr || host->m_pIniService == nullptr || file == nullptr) return false;
  IIniFile* ini = host->m_pIniService->OpenIni(file, 0);
  if (ini == nullptr) {
    host->Log("[Renderable] no object file %s", path.c_str());
    return false;
  }
  std::string error;
  std::vector<RenderableAnimation> animations;
  const bool read = ReadObjectFile(ini, &model, &error) && ReadAnimations(ini, &animations, &error);
  ini->~IIniFile();
  host->GetAllocator()->Free(ini, "Renderable", __LINE__);
  if (!read) {
    host->Log("[Renderable] %s: %s", path.c_str(), error.c_str());
    return false;
  }
  if (!host->CreateObject(&rootHandle, "RenderableNode")) return false;
  if (RenderableNode* root = Root()) root->SetBones(model.bones);
  for (const std::string& name : model.parts) {
    parts.push_back(std::make_unique<RenderablePart>(name));
    if (!NamesMesh(name)) continue;
    std::string why;
    if (!LoadObjMesh(*host->m_pIniService, name.c_str(), &parts.back()->mesh, &why))
      host->Log("[Renderable] %s: part %s: %s", path.c_str(), name.c_str(), why.c_str());
  }
  BuildParameters();
  animator.SetAnimations(std::move(animations));
  loaded_ = true;
  if (!wait) {
    complete_ = true;
    completedOnTick = ticks;
  }
  return true;
}

void RenderableObject::BuildParameters() {
  IHostAllocator* allocator = host->GetAllocator();
  auto* table = static_cast<RenderableParameterTable*>(allocator->Alloc(sizeof(RenderableParameterTable), "Renderable", __LINE__));
  if (table == nullptr) return;
  table->count = 0;
  table->items = nullptr;
  table->owner = Root();
  table->keys = &keys_;
  parameters = table;
  if (model.parameters.empty()) return;
  const uint32_t n = static_cast<uint32_t>(model.parameters.size());
  table->items = static_cast<RenderableParameter**>(allocator->Alloc(n * sizeof(RenderableParameter*), "Renderable", __LINE__));
  if (table->items == nullptr) return;
  for (const ObjectParameter& parameter : model.parameters) {
    auto* item = static_cast<RenderableParameter*>(allocator->Alloc(sizeof(RenderableParameter), "Renderable", __LINE__));
    if (item == nullptr) return;
    item->node = table->owner;
    item->keyId = keys_.KeyId(parameter.key.c_str());
    item->value = static_cast<char*>(allocator->Alloc(static_cast<uint32_t>(parameter.value.size() + 1), "Renderable", __LINE__));
    if (item->value != nullptr) std::memcpy(item->value, parameter.value.c_str(), parameter.value.size() + 1);
    table->items[table->count++] = item;
  }
}

void RenderableObject::FreeParameters() {
  if (parameters == nullptr || host == nullptr) return;
  IHostAllocator* allocator = host->GetAllocator();
  for (uint32_t i = 0; i < parameters->count; ++i) {
    RenderableParameter* item = parameters->items[i];
    if (item == nullptr) continue;
    if (item->value != nullptr) allocator->Free(item->value, "Renderable", __LINE__);
    allocator->Free(item, "Renderable", __LINE__);
  }
  if (parameters->items != nullptr) allocator->Free(parameters->items, "Renderable", __LINE__);
  allocator->Free(parameters, "Renderable", __LINE__);
  parameters = nullptr;
}

const char* RenderableObject::Parameter(const char* key) {
  if (parameters == nullptr) return nullptr;
  for (uint32_t i = 0; i < parameters->count; ++i) {
    const RenderableParameter* item = parameters->items[i];
    if (item != nullptr && SameName(keys_.KeyName(item->keyId), key)) return item->value;
  }
  return nullptr;
}

bool RenderableObject::SetParameter(const char* key, const char* value) {
  if (parameters == nullptr || host == nullptr || key == nullptr || value == nullptr) return false;
  IHostAllocator* allocator = host->GetAllocator();
  const size_t size = std::strlen(value) + 1;
  auto* text = static_cast<char*>(allocator->Alloc(static_cast<uint32_t>(size), "Renderable", __LINE__));
  if (text == nullptr) return false;
  std::memcpy(text, value, size);
  const uint32_t keyId = keys_.KeyId(key);
  for (uint32_t i = 0; i < parameters->count; ++i) {
    RenderableParameter* item = parameters->items[i];
    if (item == nullptr || item->keyId != keyId) continue;
    if (item->value != nullptr) allocator->Free(item->value, "Renderable", __LINE__);
    item->value = text;
    return true;
  }
  const uint32_t n = parameters->count + 1;
  auto* items = static_cast<RenderableParameter**>(allocator->Alloc(n * sizeof(RenderableParameter*), "Renderable", __LINE__));
  auto* item = static_cast<RenderableParameter*>(allocator->Alloc(sizeof(RenderableParameter), "Renderable", __LINE__));
  if (items == nullptr || item == nullptr) {
    if (items != nullptr) allocator->Free(items, "Renderable", __LINE__);
    if (item != nullptr) allocator->Free(item, "Renderable", __LINE__);
    allocator->Free(text, "Renderable", __LINE__);
    return false;
  }
  for (uint32_t i = 0; i < parameters->count; ++i) items[i] = parameters->items[i];
  item->node = parameters->owner;
  item->keyId = keyId;
  item->value = text;
  items[parameters->count] = item;
  if (parameters->items != nullptr) allocator->Free(parameters->items, "Renderable", __LINE__);
  parameters->items = items;
  parameters->count = n;
  return true;
}

void RenderableObject::Complete() {
  if (!loaded_ || complete_) return;
  complete_ = true;
  completedOnTick = ticks;
}

void RenderableObject::Execute(uint32_t) {
  ++ticks;
  if (loaded_ && !complete_ && !(class_ && class_->manualCompletion)) Complete();
  if (complete_) NotifyListeners();
}

void RenderableObject::NotifyListeners() {
  // A listener may load again, which destroys this renderable: stop as soon as it is gone.
  const std::shared_ptr<bool> alive = alive_;
  const std::vector<IRenderableCompleteListener*> listeners = listeners_;
  for (IRenderableCompleteListener* listener : listeners) {
    if (!*alive) return;
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
    if (std::find(notified_.begin(), notified_.end(), listener) != notified_.end()) continue;
    notified_.push_back(listener);
    listener->OnNotify(&face);
  }
}

uint32_t RenderableObject::Tick(uint32_t value) {
  lastTickValue = value;
  if (loaded_)
    animator.Advance(value, face.eventCallback, face.eventContext, face.textEventCallback, face.textEventContext);
  return complete_ ? 1 : 0;
}

uint32_t RenderableObject::ApplyParameters(uint32_t cookie) {
  if (host == nullptr || !class_ || cookie == 0) return 0;
  auto found = class_->byCookie.find(cookie);
  if (found == class_->byCookie.end()) return 0;
  RenderableObject* other = found->second;
  // One that has left the registry no longer answers to its cookie.
  if (other->host == nullptr || other->host->GetObjectCookie(&other->handle) != cookie) return 0;
  RenderableParameterTable* table = other->parameters;
  if (table == nullptr) return 0;
  applied.clear();
  for (uint32_t i = 0; i < table->count; ++i) {
    const RenderableParameter* item = table->items[i];
    const char* key = item != nullptr && table->keys != nullptr ? table->keys->KeyName(item->keyId) : nullptr;
    if (key != nullptr) applied[key] = item->value != nullptr ? item->value : "";
  }
  ++applications;
  return 1;
}

int RenderableObject::OnMessage(const RecordedMessage& message, const MessageArg* raw) {
  const auto& args = message.args;
  auto text = [&](size_t i) -> const char* { return i < args.size() && !args[i].null ? args[i].s.c_str() : nullptr; };
  auto integer = [&](size_t i) { return i < args.size() ? args[i].l : 0; };
  switch (message.id) {
    case kObjMsgLoad:
      if (message.signature != "lsllll") return 0;
      return Load(text(0), integer(2) != 0) ? 1 : 0;
    case kObjMsgPlayAnimation:
      if (!loaded_ || text(0) == nullptr || !animator.Play(text(0), integer(2) != 0, static_cast<float>(args.size() > 3 ? args[3].f : 1.0)))
        return 0;
      animation = text(0);
      return 1;
    case kObjMsgSetTransform: {
      RenderableNode* root = Root();
      if (root == nullptr || message.signature != "lcc") return 0;
      const float y = args[1].c[1];
      const float c = std::cos(y), s = std::sin(y);
      D3DMATRIX m = Identity();
      // A turn about the vertical axis, then the position (row vectors).
      m._11 = c;
      m._13 = -s;
      m._31 = s;
      m._33 = c;
      m._41 = args[0].c[0];
      m._42 = args[0].c[1];
      m._43 = args[0].c[2];
      root->local = m;
      root->Update();
      return 1;
    }
    case kObjMsgFindNode: {
      if (message.signature != "lsp" || rootHandle.IsZero()) return 0;
      if (text(0) != nullptr && !SameName(text(0), "root")) return 0;
      return RecordingObject::WriteOut(message, raw, 1, rootHandle) ? 1 : 0;
    }
    case kObjMsgSetRenderFlag:
      renderFlag = integer(0);
      return 1;
    case kObjMsgGetInterface: {
      IRenderableInterface* result = loaded_ ? &face : nullptr;
      return RecordingObject::WriteOut(message, raw, 0, result) && result != nullptr ? 1 : 0;
    }
    case kObjMsgSetFarFlag:
      farFlag = integer(0);
      return 1;
    case kObjMsgGetBounds: {
      if (!loaded_ || message.signature != "lppp") return 0;
      const D3DVECTOR lo{model.boxMin[0], model.boxMin[1], model.boxMin[2]};
      const D3DVECTOR hi{model.boxMax[0], model.boxMax[1], model.boxMax[2]};
      const D3DVECTOR radius{model.radius, 0.0f, 0.0f};
      RecordingObject::WriteOut(message, raw, 0, lo);
      RecordingObject::WriteOut(message, raw, 1, hi);
      RecordingObject::WriteOut(message, raw, 2, radius);
      return 1;
    }
    case kObjMsgSetPartState: {
      const int32_t mode = integer(2);
      if (mode == 1 || mode == 2) {
        wholeModel = mode;
      } else if (text(0) != nullptr) {
        if (mode == 3)
          partStates[text(0)] = text(1) != nullptr ? text(1) : "";
        else if (mode == 0)
          partStates.erase(text(0));
      }
      return 1;
    }
    default:
      return 0;
  }
}

std::shared_ptr<RenderableClass> RegisterRenderableClasses(ReferenceHost& host) {
  auto cls = std::make_shared<RenderableClass>();
  host.RegisterHostClass("Renderable", [cls] { return std::make_unique<RenderableObject>(cls); });
  host.RegisterHostClass("RenderableNode", [] { return std::make_unique<RenderableNode>(); });
  return cls;
}

}  // namespace host
