#include "host/lighting_objects.h"

#include <algorithm>
#include <cmath>

#include "frame/renderer.h"
#include "host/file_bytes.h"
#include "host/host.h"
#include "win32/file_system.h"

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
  animation_->SelectTrack(trackName);
}
void RecordingController::Start(int32_t a) {
  calls_.push_back(ServiceCall{"Start", "", {double(a)}});
  animation_->StartTrack();
}
void RecordingController::Stop(int32_t a) {
  calls_.push_back(ServiceCall{"Stop", "", {double(a)}});
  animation_->StopTrack();
}
void RecordingController::SetLooping(int32_t on, int32_t a) {
  calls_.push_back(ServiceCall{"SetLooping", "", {double(on), double(a)}});
  animation_->SetLoopingTrack(on != 0);
}
void RecordingController::SetSpeed(float speed, int32_t a) {
  calls_.push_back(ServiceCall{"SetSpeed", "", {double(speed), double(a)}});
  animation_->SetTrackSpeed(speed);
}
float RecordingController::GetSpeed(int32_t) { return speed_; }
float RecordingController::GetLength() { return length_; }
bool RecordingController::IsBusy(int32_t track) {
  calls_.push_back(ServiceCall{"IsBusy", "", {double(track)}});
  return busy_;
}
std::vector<std::string> RecordingController::Ops() const { return OpsOf(calls_); }

RecordingAnimation::RecordingAnimation(std::string name, std::shared_ptr<const AnimationClip> clip)
    : name_(std::move(name)), clip_(std::move(clip)) {
  for (int i = 0; i < 4; ++i) bound_.m[i][i] = 1.0f;
  evaluated_ = bound_;
  if (clip_ != nullptr)
    for (const AnimationNodeInfo& n : clip_->nodes) nodes_.push_back(std::make_unique<Node>(n.kind));
}

IAnimationController* RecordingAnimation::GetController(int32_t index) {
  calls_.push_back(ServiceCall{"GetController", "", {double(index)}});
  return noController_ ? nullptr : &controller_;
}

const D3DMATRIX* RecordingAnimation::GetBoundMatrix(int32_t index) {
  calls_.push_back(ServiceCall{"GetBoundMatrix", "", {double(index)}});
  if (noBound_) return nullptr;
  if (clip_ == nullptr) return &bound_;
  if (boundNode_ < 0 || track_ < 0) {
    evaluated_ = D3DMATRIX{};
    for (int i = 0; i < 4; ++i) evaluated_.m[i][i] = 1.0f;
  } else {
    evaluated_ = clip_->Evaluate(track_, boundNode_, time_);
  }
  return &evaluated_;
}

void RecordingAnimation::Release() {
  ++releases_;
  calls_.push_back(ServiceCall{"Release", "", {}});
  listeners_.clear();
  playing_ = false;
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

void RecordingAnimation::AddEventListener(int32_t code, IAnimationEventSink* sink) {
  calls_.push_back(ServiceCall{"AddEventListener", "", {double(code)}, sink});
  if (sink != nullptr && releases_ == 0) listeners_.emplace_back(code, sink);
}

IAnimationNodeTree* RecordingAnimation::GetNodeTree() {
  calls_.push_back(ServiceCall{"GetNodeTree", "", {}});
  return &tree_;
}

IAnimationNode* RecordingAnimation::Tree::FindNode(const char* name) {
  owner_->calls_.push_back(ServiceCall{"FindNode", TextOf(name), {}});
  if (name == nullptr || owner_->clip_ == nullptr) return nullptr;
  const int node = owner_->clip_->FindNode(name);
  return node < 0 ? nullptr : owner_->nodes_[static_cast<size_t>(node)].get();
}

void RecordingAnimation::BindNode(void* source) {
  calls_.push_back(ServiceCall{"BindNode", "", {}, source});
  boundNode_ = -1;
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (nodes_[i]->Owns(source)) boundNode_ = static_cast<int>(i);
}

std::string RecordingAnimation::BoundNode() const {
  return boundNode_ < 0 ? std::string() : clip_->nodes[static_cast<size_t>(boundNode_)].name;
}

std::string RecordingAnimation::SelectedTrack() const {
  return track_ < 0 ? std::string() : clip_->tracks[static_cast<size_t>(track_)].name;
}

void RecordingAnimation::SelectTrack(const char* name) {
  track_ = name != nullptr && clip_ != nullptr ? clip_->FindTrack(name) : -1;
  time_ = 0.0f;
  playing_ = false;
}

void RecordingAnimation::StartTrack() {
  time_ = 0.0f;
  playing_ = releases_ == 0;
}

void RecordingAnimation::StopTrack() {
  playing_ = false;
  Tell(4);
}

void RecordingAnimation::Advance(uint32_t elapsedMs) {
  if (!playing_ || clip_ == nullptr || track_ < 0) return;
  const float length = static_cast<float>(clip_->tracks[static_cast<size_t>(track_)].lengthMs);
  time_ += static_cast<float>(elapsedMs) * speed_;
  // A speed of no number, or one that runs past any time, ends the track at once.
  if (!std::isfinite(time_)) time_ = length;
  if (time_ < length && time_ >= 0.0f) return;
  if (looping_) {
    time_ = std::fmod(time_, length);
    if (time_ < 0.0f) time_ += length;
    Tell(6);
  } else {
    time_ = time_ < 0.0f ? 0.0f : length;
    playing_ = false;
    Tell(4);
  }
}

void RecordingAnimation::Tell(int32_t code) {
  const auto listeners = listeners_;
  const int releases = releases_;
  for (const auto& [listenerCode, sink] : listeners) {
    if (releases_ != releases) break;
    if (listenerCode == code)
      sink->Event(reinterpret_cast<intptr_t>(this), 0, static_cast<intptr_t>(time_), code);
  }
}

std::vector<std::string> RecordingAnimation::Ops() const { return OpsOf(calls_); }

IAnimation* AnimationService::LoadAnimation(const char* name, int32_t flags) {
  (void)flags;
  loads_.push_back(TextOf(name));
  if (failLoads_ > 0) {
    --failLoads_;
    return nullptr;
  }
  if (name == nullptr || *name == '\0') {
    errors_.push_back("an animation without a name");
    return nullptr;
  }
  std::shared_ptr<const AnimationClip> clip;
  const std::string path = win32::ResolvePath(win32::GetResourceRoot(), name, win32::PathMode::Read);
  // Whatever is there must read as a file: a folder or a pipe is no scripted animation.
  if (!path.empty()) {
    std::vector<uint8_t> bytes;
    std::string error;
    auto parsed = std::make_shared<AnimationClip>();
    if (!ReadFileBytes(path, "animation", kAnimationFileMaxBytes, &bytes, &error) ||
        !ParseAnimationText(std::string(bytes.begin(), bytes.end()), parsed.get(), &error)) {
      errors_.push_back(TextOf(name) + ": " + error);
      return nullptr;
    }
    clip = std::move(parsed);
  }
  animations_.push_back(std::make_unique<RecordingAnimation>(TextOf(name), std::move(clip)));
  return animations_.back().get();
}

void AnimationService::Advance(uint32_t elapsedMs) {
  // A listener may load animations while it is told: walk by index.
  for (size_t i = 0; i < animations_.size(); ++i)
    if (animations_[i]->Releases() == 0) animations_[i]->Advance(elapsedMs);
}

// ---- Geometry ------------------------------------------------------------------------------------

void GeometryService::SetTexturePaths(const char* path1, const char* path2, const char* path3) {
  const char* paths[3] = {path1, path2, path3};
  for (int i = 0; i < 3; ++i) context_.texturePaths[i] = paths[i] != nullptr ? paths[i] : "";
  ServiceCall call{"SetTexturePaths", TextOf(path1), {}, path2};
  call.numbers.push_back(path3 != nullptr ? 1.0 : 0.0);
  calls_.Add(std::move(call));
}
void GeometryService::Slot20(int32_t a, int32_t b, int32_t c) {
  context_.slot20[0] = a;
  context_.slot20[1] = b;
  context_.slot20[2] = c;
  calls_.Add(ServiceCall{"Slot20", "", {double(a), double(b), double(c)}});
}
void GeometryService::Slot22(int32_t on) {
  context_.slot22 = on;
  calls_.Add(ServiceCall{"Slot22", "", {double(on)}});
}
void GeometryService::Slot25(int32_t on) {
  slot25_ = on;
  calls_.Add(ServiceCall{"Slot25", "", {double(on)}});
}
void GeometryService::Slot26(const void* planes, int32_t count) {
  slot26Count_ = count;
  calls_.Add(ServiceCall{"Slot26", "", {double(count)}, planes});
}
void GeometryService::Slot35(int32_t on) {
  context_.slot35 = on;
  calls_.Add(ServiceCall{"Slot35", "", {double(on)}});
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
  std::weak_ptr<int> alive = objects->alive;
  AnimationService* animation = &objects->animation;
  host.AddFrameStart([alive, geometry] {
    if (!alive.expired()) geometry->BeginFrame();
  });
  host.AddFrameStep([alive, animation](uint32_t elapsedMs) {
    if (!alive.expired()) animation->Advance(elapsedMs);
  });
  return objects;
}

}  // namespace host
