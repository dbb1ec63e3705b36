// The host objects and services that lights call: the "modelr" model object, the "Particles"
// effect object, the "geometry" loading context and the "AnimationServiceImp" animation service
// with its animations and controllers. Each records what it is asked; tests script the answers.
//
// Registration: auto objects = host::RegisterLightingHostObjects(host); the returned object must
// outlive every use of the services (keep it next to the host). Register after
// RegisterGenericClasses when both are used: the "modelr" and "Particles" classes here replace
// the generic ones.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "host/generic_object.h"
#include "host/host_object.h"
#include "host/model_object.h"

namespace host {

class ReferenceHost;

// One call on an animation, a controller or the geometry service: the operation's name, its
// text argument ("" for none, "(null)" for a null pointer) and its number arguments.
struct ServiceCall {
  std::string op;
  std::string text;
  std::vector<double> numbers;
  const void* pointer = nullptr;
};

class RecordingController final : public IAnimationController {
 public:
  void Select(const char* trackName, int32_t a, int32_t b) override;
  void Start(int32_t a) override;
  void Stop(int32_t a) override;
  void SetLooping(int32_t on, int32_t a) override;
  bool IsBusy(int32_t track) override;
  void SetSpeed(float speed, int32_t a) override;
  float GetSpeed(int32_t a) override;
  float GetLength() override;

  // Scripting: what slots 17 and 21 answer; slot 19 answers the last speed set (1 at first).
  void SetBusy(bool busy) { busy_ = busy; }
  void SetLength(float ms) { length_ = ms; }

  const std::vector<ServiceCall>& Calls() const { return calls_; }
  // The names of the operations called, in order ("Select", "Start", ...).
  std::vector<std::string> Ops() const;
  void ClearCalls() { calls_.clear(); }

 private:
  std::vector<ServiceCall> calls_;
  bool busy_ = false;
  float speed_ = 1.0f;
  float length_ = 0.0f;
};

class RecordingAnimation final : public IAnimation {
 public:
  explicit RecordingAnimation(std::string name = "");

  IAnimationController* GetController(int32_t index) override;
  const D3DMATRIX* GetBoundMatrix(int32_t index) override;
  float GetTimeScale() override { return timeScale_; }
  void Release() override;
  void SetSwitchB(int32_t value) override;
  void SetSwitchA(int32_t value) override;
  void SetCounter(int32_t value) override;
  int32_t GetCounter() override;
  void SetOwner(void* owner, int32_t a) override;

  // Scripting
  void SetBoundMatrix(const D3DMATRIX& m) { bound_ = m; }
  void SetNoBoundMatrix(bool none) { noBound_ = none; }
  void SetNoController(bool none) { noController_ = none; }
  void SetCounterValue(int32_t value) { counter_ = value; }
  void SetTimeScale(float scale) { timeScale_ = scale; }

  // Inspection
  const std::string& Name() const { return name_; }
  RecordingController& Controller() { return controller_; }
  const std::vector<ServiceCall>& Calls() const { return calls_; }
  std::vector<std::string> Ops() const;
  int Releases() const { return releases_; }
  int32_t Counter() const { return counter_; }
  void* Owner() const { return owner_; }

 private:
  std::string name_;
  RecordingController controller_;
  D3DMATRIX bound_{};
  bool noBound_ = false;
  bool noController_ = false;
  int32_t counter_ = 0;
  float timeScale_ = 1.0f;
  void* owner_ = nullptr;
  int releases_ = 0;
  std::vector<ServiceCall> calls_;
};

// "AnimationServiceImp". The animations it hands out stay alive (and inspectable) until the
// service goes, released or not.
class AnimationService final : public IAnimationService {
 public:
  IAnimation* LoadAnimation(const char* name, int32_t flags) override;

  // The next `count` loads fail (answer null).
  void FailLoads(int count) { failLoads_ = count; }
  const std::vector<std::unique_ptr<RecordingAnimation>>& Animations() const { return animations_; }
  RecordingAnimation* Last() const { return animations_.empty() ? nullptr : animations_.back().get(); }
  // Every load asked for, failed ones included.
  const std::vector<std::string>& Loads() const { return loads_; }

 private:
  std::vector<std::unique_ptr<RecordingAnimation>> animations_;
  std::vector<std::string> loads_;
  int failLoads_ = 0;
};

// "geometry": the loading context the next "modelr" reads (texture folders, slots 20, 22 and
// 35); slots 25 and 26 keep their values. Every call is recorded.
class GeometryService final : public IGeometryService {
 public:
  void SetTexturePaths(const char* path1, const char* path2, const char* path3) override;
  void Slot20(int32_t a, int32_t b, int32_t c) override;
  void Slot22(int32_t on) override;
  void Slot25(int32_t on) override;
  void Slot26(const void* planes, int32_t count) override;
  void Slot35(int32_t on) override;

  // For SetTexturePaths the text is path1 and the pointer path2 (null or not).
  const std::vector<ServiceCall>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  // The context as it stands.
  const ModelLoadContext& Context() const { return context_; }
  int32_t Slot25Value() const { return slot25_; }
  int32_t Slot26Count() const { return slot26Count_; }

 private:
  std::vector<ServiceCall> calls_;
  ModelLoadContext context_;
  int32_t slot25_ = 0;
  int32_t slot26Count_ = 0;
};

// "MotiveServiceImp": the folder the next motion of a model is read from.
class MotiveService final : public IMotiveService {
 public:
  void SetMotionFolder(const char* folder) override;
  const std::string& Folder() const { return folder_; }
  // Every folder set, "(null)" for a clear.
  const std::vector<std::string>& History() const { return history_; }

 private:
  std::string folder_;
  std::vector<std::string> history_;
};

// Everything RegisterLightingHostObjects sets up.
class LightingHostObjects {
 public:
  AnimationService animation;
  GeometryService geometry;
  MotiveService motive;
  std::shared_ptr<ModelClass> models = std::make_shared<ModelClass>();
  std::shared_ptr<RecordingClass> particles;
};

// Registers "modelr" and "Particles" as host classes and "AnimationServiceImp", "geometry" and
// "MotiveServiceImp" as services of `host`.
std::unique_ptr<LightingHostObjects> RegisterLightingHostObjects(ReferenceHost& host);

}  // namespace host
