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
  speed_ = speed;
  calls_.push_back(ServiceCall{"SetSpeed", "", {double(speed), double(a)}});
}
bool RecordingController::IsBusy(int32_t track) {
  calls_.push_back(ServiceCall{"IsBusy", "", {double(track)}});
  return busy_;
}
float RecordingController::GetSpeed(int32_t) { return speed_; }
float RecordingController::GetLength() { return length_; }
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
  const char* paths[3] = {path1, path2, path3};
  for (int i = 0; i < 3; ++i) context_.texturePaths[i] = paths[i] != nullptr ? paths[i] : "";
  ServiceCall call{"SetTexturePaths", TextOf(path1), {}, path2};
  call.numbers.push_back(path3 != nullptr ? 1.0 : 0.0);
  calls_.push_back(std::move(call));
}
void GeometryService::Slot20(int32_t a, int32_t b, int32_t c) {
  context_.slot20[0] = a;
  context_.slot20[1] = b;
  context_.slot20[2] = c;
  calls_.push_back(ServiceCall{"Slot20", "", {double(a), double(b), double(c)}});
}
void GeometryService::Slot22(int32_t on) {
  context_.slot22 = on;
  calls_.push_back(ServiceCall{"Slot22", "", {double(on)}});
}
void GeometryService::Slot25(int32_t on) {
  slot25_ = on;
  calls_.push_back(ServiceCall{"Slot25", "", {double(on)}});
}
void GeometryService::Slot26(const void* planes, int32_t count) {
  slot26Count_ = count;
  calls_.push_back(ServiceCall{"Slot26", "", {double(count)}, planes});
}
void GeometryService::Slot35(int32_t on) {
  context_.slot35 = on;
  calls_.push_back(ServiceCall{"Slot35", "", {double(on)}});
}

void MotiveService::SetMotionFolder(const char* folder) {
  folder_ = folder != nullptr ? folder : "";
  history_.push_back(TextOf(folder));
}

// ---- Registration --------------------------------------------------------------------------------

std::unique_ptr<LightingHostObjects> RegisterLightingHostObjects(ReferenceHost& host) {
  auto objects = std::make_unique<LightingHostObjects>();
  std::shared_ptr<ModelClass> models = objects->models;
  GeometryService* geometry = &objects->geometry;
  MotiveService* motive = &objects->motive;
  host.RegisterHostClass("modelr", [models, geometry, motive]() -> std::unique_ptr<HostObject> {
    if (models->TakeFailure()) return nullptr;
    return std::make_unique<ModelObject>(models, geometry, motive);
  });
  objects->particles = RegisterRecordingClass(host, "Particles");
  host.AddService("AnimationServiceImp", static_cast<IAnimationService*>(&objects->animation));
  host.AddService("geometry", static_cast<IGeometryService*>(&objects->geometry));
  host.AddService("MotiveServiceImp", static_cast<IMotiveService*>(&objects->motive));
  return objects;
}

}  // namespace host
