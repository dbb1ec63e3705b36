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
#include "host/animation_file.h"
#include "host/frame_records.h"
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

class RecordingAnimation;

// A controller: every call is recorded, then played on its animation (see RecordingAnimation).
class RecordingController final : public IAnimationController {
 public:
  explicit RecordingController(RecordingAnimation* animation) : animation_(animation) {}
  void Select(const char* trackName, int32_t a, int32_t b) override;
  void Start(int32_t a) override;
  void Stop(int32_t a) override;
  void SetLooping(int32_t on, int32_t a) override;
  bool IsBusy(int32_t track) override;
  void SetSpeed(float speed, int32_t a) override;
  float GetSpeed(int32_t a) override;
  float GetLength() override;

  // Scripting: what the speed and length read back.
  void SetPlayback(float speed, float lengthSeconds) {
    speed_ = speed;
    length_ = lengthSeconds;
  }
  // Scripting: what slot 17 answers.
  void SetBusy(bool busy) { busy_ = busy; }

  const std::vector<ServiceCall>& Calls() const { return calls_; }
  // The names of the operations called, in order ("Select", "Start", ...).
  std::vector<std::string> Ops() const;
  void ClearCalls() { calls_.clear(); }

 private:
  RecordingAnimation* animation_;
  std::vector<ServiceCall> calls_;
  float speed_ = 1.0f;
  float length_ = 1.0f;
  bool busy_ = false;
};

// An animation of the host. Every call is recorded. Loaded from a file of the animation text
// format (host/animation_file.h) it plays: Select picks a track by name (null or an unknown name:
// none), Start plays the selected track from 0, Advance moves a playing track by the elapsed
// time times its speed; a track that runs out stops and tells its listeners 4 at once (a looping
// one starts over and tells them 6); Stop stops and tells them 4 at once, playing or not. A
// listener may call back into the controller while it is told. GetNodeTree finds the clip's
// nodes; GetBoundMatrix is the bound node's matrix on the selected track at its time (identity
// before any bind or without a selected track). Without a clip (a name with no file) it is
// scripted: GetBoundMatrix answers SetBoundMatrix's matrix (identity at first). Release drops
// the listeners and stops it.
class RecordingAnimation final : public IAnimation {
 public:
  explicit RecordingAnimation(std::string name = "", std::shared_ptr<const AnimationClip> clip = nullptr);

  IAnimationController* GetController(int32_t index) override;
  const D3DMATRIX* GetBoundMatrix(int32_t index) override;
  float GetTimeScale() override { return timeScale_; }
  void Release() override;
  void SetSwitchB(int32_t value) override;
  void SetSwitchA(int32_t value) override;
  void SetCounter(int32_t value) override;
  int32_t GetCounter() override;
  void SetOwner(void* owner, int32_t a) override;
  void AddEventListener(int32_t code, IAnimationEventSink* sink) override;
  IAnimationNodeTree* GetNodeTree() override;
  void BindNode(void* source) override;

  // Playing (the controller's calls land here after they are recorded)
  void SelectTrack(const char* name);
  void StartTrack();
  void StopTrack();
  void SetLoopingTrack(bool on) { looping_ = on; }
  void SetTrackSpeed(float speed) { speed_ = speed; }
  // Moves a playing track on by elapsedMs x its speed.
  void Advance(uint32_t elapsedMs);

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
  const AnimationClip* Clip() const { return clip_.get(); }
  size_t Listeners() const { return listeners_.size(); }
  bool Playing() const { return playing_; }
  // The selected track's name ("" for none) and its time in ms.
  std::string SelectedTrack() const;
  float TrackTime() const { return time_; }
  // The node bound last, "" for none.
  std::string BoundNode() const;

 private:
  class Node final : public IAnimationNode {
   public:
    Node(int32_t kind) : kind_(kind) {}
    int32_t GetKind() override { return kind_; }
    void* GetTransformSource() override { return &transformSource_; }
    void* GetAlternateSource() override { return &alternateSource_; }
    bool Owns(const void* source) const { return source == &transformSource_ || source == &alternateSource_; }

   private:
    int32_t kind_;
    char transformSource_ = 0;
    char alternateSource_ = 0;
  };
  class Tree final : public IAnimationNodeTree {
   public:
    explicit Tree(RecordingAnimation* owner) : owner_(owner) {}
    IAnimationNode* FindNode(const char* name) override;

   private:
    RecordingAnimation* owner_;
  };
  // Tells the listeners of `code`, from a copy of the table; stops when one releases it.
  void Tell(int32_t code);

  std::string name_;
  std::shared_ptr<const AnimationClip> clip_;
  RecordingController controller_{this};
  Tree tree_{this};
  std::vector<std::unique_ptr<Node>> nodes_;
  std::vector<std::pair<int32_t, IAnimationEventSink*>> listeners_;
  D3DMATRIX bound_{};
  D3DMATRIX evaluated_{};
  int boundNode_ = -1;
  int track_ = -1;
  float time_ = 0.0f;
  float speed_ = 1.0f;
  bool looping_ = false;
  bool playing_ = false;
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
  // A name that is a file below the resource root is read as the animation text format; one
  // that does not read as that format, or names a folder, a pipe or a device, loads nothing
  // (null, the reason in Errors()), nor does a null or empty name. A name with nothing below
  // the root gives a scripted animation.
  IAnimation* LoadAnimation(const char* name, int32_t flags) override;
  // Moves every animation not released by the elapsed time (the host's frame does so before
  // "execute").
  void Advance(uint32_t elapsedMs);
  const std::vector<std::string>& Errors() const { return errors_; }

  // The next `count` loads fail (answer null).
  void FailLoads(int count) { failLoads_ = count; }
  const std::vector<std::unique_ptr<RecordingAnimation>>& Animations() const { return animations_; }
  RecordingAnimation* Last() const { return animations_.empty() ? nullptr : animations_.back().get(); }
  // Every load asked for, failed ones included.
  const std::vector<std::string>& Loads() const { return loads_; }

 private:
  std::vector<std::unique_ptr<RecordingAnimation>> animations_;
  std::vector<std::string> loads_;
  std::vector<std::string> errors_;
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

  // The calls of the host's last two frames (see FrameRecords); for SetTexturePaths the text is
  // path1 and the pointer path2 (null or not).
  RecordsView<ServiceCall> Calls() const { return calls_.All(); }
  void ClearCalls() { calls_.Clear(); }
  void BeginFrame() { calls_.BeginFrame(); }
  // The context as it stands.
  const ModelLoadContext& Context() const { return context_; }
  int32_t Slot25Value() const { return slot25_; }
  int32_t Slot26Count() const { return slot26Count_; }

 private:
  FrameRecords<ServiceCall> calls_;
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
  // While it lives, the host's frames advance the animations.
  std::shared_ptr<int> alive = std::make_shared<int>(0);
};

// Registers "modelr" and "Particles" as host classes and "AnimationServiceImp", "geometry" and
// "MotiveServiceImp" as services of `host`, and has each frame of the host begin the geometry
// service's frame and advance the animations before "execute" (while the returned objects live).
std::unique_ptr<LightingHostObjects> RegisterLightingHostObjects(ReferenceHost& host);

}  // namespace host
