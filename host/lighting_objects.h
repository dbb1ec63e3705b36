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
  void SetSpeed(float speed, int32_t a) override;

  const std::vector<ServiceCall>& Calls() const { return calls_; }
  // The names of the operations called, in order ("Select", "Start", ...).
  std::vector<std::string> Ops() const;
  void ClearCalls() { calls_.clear(); }

 private:
  std::vector<ServiceCall> calls_;
};

class RecordingAnimation final : public IAnimation {
 public:
  explicit RecordingAnimation(std::string name = "");

  IAnimationController* GetController(int32_t index) override;
  const D3DMATRIX* GetBoundMatrix(int32_t index) override;
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

// "geometry": records its calls.
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

 private:
  std::vector<ServiceCall> calls_;
};

class ModelObject;

// What the "modelr" objects share: the live objects and the scripted failures.
class ModelClass {
 public:
  // The next `count` creations make no object.
  void FailCreations(int count) { failCreations_ = count; }
  const std::vector<ModelObject*>& Objects() const { return objects_; }
  ModelObject* Last() const { return objects_.empty() ? nullptr : objects_.back(); }
  size_t Created() const { return created_; }
  // True (and one failure used up) when the next creation is to fail.
  bool TakeFailure();

 private:
  friend class ModelObject;
  std::vector<ModelObject*> objects_;
  size_t created_ = 0;
  int failCreations_ = 0;
};

// One draw of a model (its slot 3) and the renderer state while its render hook ran.
struct ModelDraw {
  uint32_t arg = 0;
  D3DMATRIX transform{};
  bool hookCalled = false;
  // Render states 14 (z write), 20 (destination blend), 28 (fog), 60 (texture factor),
  // 137 (lighting) and stage 0 colour op and arg 1, read after the hook ran.
  DWORD zWrite = 0, destBlend = 0, fog = 0, textureFactor = 0, lighting = 0;
  DWORD stage0ColorOp = 0, stage0ColorArg1 = 0;
};

// The "modelr" object. Messages 20500 "lss" and 20501 "ls" are recorded (and answered 1);
// slot 3 calls the render hook installed in its geometry record with the "dx8render"
// renderer, then records the draw.
class ModelObject final : public HostObject, public IHostModel {
 public:
  explicit ModelObject(std::shared_ptr<ModelClass> cls);
  ~ModelObject() override;

  // Component slots (shared by HostObject and IHostModel)
  bool Init() override { return true; }
  void Destroy() override {}
  void Execute(uint32_t) override {}
  void Realize(uint32_t arg) override;
  void RealizeBlend(uint32_t) override {}
  void RealizePost(uint32_t) override {}
  int OnEvent(IEventArgs*) override { return 0; }
  void OnSystemMessage(uint32_t, uint32_t, uint32_t) override {}
  bool Slot8(uint32_t) override { return true; }
  bool Slot9(uint32_t) override { return true; }
  uint32_t Slot10(uint32_t) override { return 0; }
  // Model slots
  float RayTest(const D3DVECTOR* from, const D3DVECTOR* to) override;
  const char* GetHitPartName() override { return ""; }
  HostModelGeometry* GetGeometry(int32_t part) override;
  IAnimation* GetAnimation() override;
  IAnimationController* GetAnimationController(int32_t index) override;

  int OnMessage(const RecordedMessage& message, const MessageArg* raw) override;
  void* InterfacePointer() override { return static_cast<IHostModel*>(this); }

  // Scripting
  void SetNoGeometry(bool none) { noGeometry_ = none; }
  void SetNoAnimation(bool none) { noAnimation_ = none; }

  // Inspection
  const std::string& ModelName() const { return modelName_; }      // from 20500
  const std::string& AnimationName() const { return animationName_; }  // from 20501
  const std::vector<RecordedMessage>& Messages() const { return messages_; }
  const std::vector<ModelDraw>& Draws() const { return draws_; }
  HostModelGeometry& Geometry() { return geometry_; }
  RecordingAnimation& Animation() { return animation_; }

 private:
  std::shared_ptr<ModelClass> class_;
  HostModelGeometry geometry_;
  RecordingAnimation animation_{"model"};
  bool noGeometry_ = false;
  bool noAnimation_ = false;
  std::string modelName_, animationName_;
  std::vector<RecordedMessage> messages_;
  std::vector<ModelDraw> draws_;
};

// Everything RegisterLightingHostObjects sets up.
class LightingHostObjects {
 public:
  AnimationService animation;
  GeometryService geometry;
  std::shared_ptr<ModelClass> models = std::make_shared<ModelClass>();
  std::shared_ptr<RecordingClass> particles;
};

// Registers "modelr" and "Particles" as host classes and "AnimationServiceImp" and "geometry" as
// services of `host`.
std::unique_ptr<LightingHostObjects> RegisterLightingHostObjects(ReferenceHost& host);

}  // namespace host
