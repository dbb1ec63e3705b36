#include "host/lighting_objects.h"

#include <algorithm>

#include "frame/renderer.h"
#include "host/host.h"

namespace host {

namespace {

std::string TextOf(const char* s) { return s != nullptr ? std::string(s) : std::string("(null)"); }

std::vector<std::string> OpsOf(const std::vector<ServiceCall>& calls) {
  std::vector<std::string> ops;
  ops.reserve(calls.size());
  for (const ServiceCall& c : calls) ops.push_back(c.op);
  return ops;
}

}  // namespace

// ---- Controller and animation ------------------------------------------------------------------

void RecordingController::Select(const char* trackName, int32_t a, int32_t b) {
  calls_.push_back(ServiceCall{"Select", TextOf(trackName), {double(a), double(b)}});
}
void RecordingController::Start(int32_t a) { calls_.push_back(ServiceCall{"Start", "", {double(a)}}); }
void RecordingController::Stop(int32_t a) { calls_.push_back(ServiceCall{"Stop", "", {double(a)}}); }
void RecordingController::SetLooping(int32_t on, int32_t a) {
  calls_.push_back(ServiceCall{"SetLooping", "", {double(on), double(a)}});
}
void RecordingController::SetSpeed(float speed, int32_t a) {
  calls_.push_back(ServiceCall{"SetSpeed", "", {double(speed), double(a)}});
}
std::vector<std::string> RecordingController::Ops() const { return OpsOf(calls_); }

RecordingAnimation::RecordingAnimation(std::string name) : name_(std::move(name)) {
  for (int i = 0; i < 4; ++i) bound_.m[i][i] = 1.0f;
}

IAnimationController* RecordingAnimation::GetController(int32_t index) {
  calls_.push_back(ServiceCall{"GetController", "", {double(index)}});
  return noController_ ? nullptr : &controller_;
}

const D3DMATRIX* RecordingAnimation::GetBoundMatrix(int32_t index) {
  calls_.push_back(ServiceCall{"GetBoundMatrix", "", {double(index)}});
  return noBound_ ? nullptr : &bound_;
}

void RecordingAnimation::Release() {
  ++releases_;
  calls_.push_back(ServiceCall{"Release", "", {}});
}

void RecordingAnimation::SetSwitchB(int32_t value) { calls_.push_back(ServiceCall{"SetSwitchB", "", {double(value)}}); }
void RecordingAnimation::SetSwitchA(int32_t value) { calls_.push_back(ServiceCall{"SetSwitchA", "", {double(value)}}); }

void RecordingAnimation::SetCounter(int32_t value) {
  counter_ = value;
  calls_.push_back(ServiceCall{"SetCounter", "", {double(value)}});
}

int32_t RecordingAnimation::GetCounter() {
  calls_.push_back(ServiceCall{"GetCounter", "", {}});
  return counter_;
}

void RecordingAnimation::SetOwner(void* owner, int32_t a) {
  owner_ = owner;
  calls_.push_back(ServiceCall{"SetOwner", "", {double(a)}, owner});
}

std::vector<std::string> RecordingAnimation::Ops() const { return OpsOf(calls_); }

IAnimation* AnimationService::LoadAnimation(const char* name, int32_t flags) {
  (void)flags;
  loads_.push_back(TextOf(name));
  if (failLoads_ > 0) {
    --failLoads_;
    return nullptr;
  }
  animations_.push_back(std::make_unique<RecordingAnimation>(TextOf(name)));
  return animations_.back().get();
}

// ---- Geometry ------------------------------------------------------------------------------------

void GeometryService::SetTexturePaths(const char* path1, const char* path2, const char* path3) {
  ServiceCall call{"SetTexturePaths", TextOf(path1), {}, path2};
  call.numbers.push_back(path3 != nullptr ? 1.0 : 0.0);
  calls_.push_back(std::move(call));
}
void GeometryService::Slot20(int32_t a, int32_t b, int32_t c) {
  calls_.push_back(ServiceCall{"Slot20", "", {double(a), double(b), double(c)}});
}
void GeometryService::Slot22(int32_t on) { calls_.push_back(ServiceCall{"Slot22", "", {double(on)}}); }
void GeometryService::Slot25(int32_t on) { calls_.push_back(ServiceCall{"Slot25", "", {double(on)}}); }
void GeometryService::Slot26(const void* planes, int32_t count) {
  calls_.push_back(ServiceCall{"Slot26", "", {double(count)}, planes});
}
void GeometryService::Slot35(int32_t on) { calls_.push_back(ServiceCall{"Slot35", "", {double(on)}}); }

// ---- Model ---------------------------------------------------------------------------------------

bool ModelClass::TakeFailure() {
  if (failCreations_ <= 0) return false;
  --failCreations_;
  return true;
}

ModelObject::ModelObject(std::shared_ptr<ModelClass> cls) : class_(std::move(cls)) {
  for (int i = 0; i < 4; ++i) transform.m[i][i] = 1.0f;
  if (class_ != nullptr) {
    class_->objects_.push_back(this);
    ++class_->created_;
  }
}

ModelObject::~ModelObject() {
  if (class_ != nullptr) {
    auto& list = class_->objects_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void ModelObject::Realize(uint32_t arg) {
  ModelDraw draw;
  draw.arg = arg;
  draw.transform = transform;
  auto* renderer = host != nullptr ? static_cast<IRenderer*>(host->GetService("dx8render")) : nullptr;
  if (geometry_.renderHook != nullptr) {
    geometry_.renderHook(&geometry_, renderer, geometry_.renderHookContext);
    draw.hookCalled = true;
  }
  if (renderer != nullptr) {
    draw.zWrite = renderer->GetRenderState(D3DRS_ZWRITEENABLE);
    draw.destBlend = renderer->GetRenderState(D3DRS_DESTBLEND);
    draw.fog = renderer->GetRenderState(D3DRS_FOGENABLE);
    draw.textureFactor = renderer->GetRenderState(D3DRS_TEXTUREFACTOR);
    draw.lighting = renderer->GetRenderState(D3DRS_LIGHTING);
    draw.stage0ColorOp = renderer->GetTextureStageState(0, D3DTSS_COLOROP);
    draw.stage0ColorArg1 = renderer->GetTextureStageState(0, D3DTSS_COLORARG1);
  }
  draws_.push_back(draw);
}

float ModelObject::RayTest(const D3DVECTOR*, const D3DVECTOR*) { return 1.0f; }

HostModelGeometry* ModelObject::GetGeometry(int32_t part) {
  return noGeometry_ || part != 0 ? nullptr : &geometry_;
}

IAnimation* ModelObject::GetAnimation() { return noAnimation_ ? nullptr : &animation_; }

IAnimationController* ModelObject::GetAnimationController(int32_t index) {
  return noAnimation_ ? nullptr : animation_.GetController(index);
}

int ModelObject::OnMessage(const RecordedMessage& message, const MessageArg*) {
  messages_.push_back(message);
  if (message.id == 20500 && !message.args.empty()) {
    modelName_ = message.args[0].s;
    return 1;
  }
  if (message.id == 20501 && !message.args.empty()) {
    animationName_ = message.args[0].s;
    return 1;
  }
  return 0;
}

// ---- Registration --------------------------------------------------------------------------------

std::unique_ptr<LightingHostObjects> RegisterLightingHostObjects(ReferenceHost& host) {
  auto objects = std::make_unique<LightingHostObjects>();
  std::shared_ptr<ModelClass> models = objects->models;
  host.RegisterHostClass("modelr", [models]() -> std::unique_ptr<HostObject> {
    if (models->TakeFailure()) return nullptr;
    return std::make_unique<ModelObject>(models);
  });
  objects->particles = RegisterRecordingClass(host, "Particles");
  host.AddService("AnimationServiceImp", static_cast<IAnimationService*>(&objects->animation));
  host.AddService("geometry", static_cast<IGeometryService*>(&objects->geometry));
  return objects;
}

}  // namespace host
