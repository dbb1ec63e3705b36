// The host's "Renderable" family: the object that holds a scene object's model, its interface,
// its root node ("RenderableNode", a host object of its own) with the bone table and skeleton,
// and its parameter table.
//
// - 400000 "lsllll" (path, flag, wait, 0, wait) reads the object file at the path through the
//   INI service (host/object_file.h gives the format). A missing or malformed file answers 0 and
//   leaves no model; otherwise the renderable makes its root node, fills its parameter table
//   (host-allocator memory) and answers 1. Without the wait flag the model is complete at once;
//   with it, on a later "execute" tick (the next one, or when a test calls Complete). Once
//   complete, each listener registered through interface slot 33 gets OnNotify on the tick that
//   completes it; one registered later gets it on the next tick. Nothing is told from inside a
//   message.
// - 400003 "lcc" sets the root node's local matrix from the position and the yaw (y), and its
//   world matrix to the same. 400006 "lsp" writes the root node's handle for a null name or
//   "root" (any case), and answers 0 otherwise. 400008 "lp" writes the interface (null before a
//   model). 400011 "lppp" writes the box minimum, maximum and (radius, 0, 0). 400001, 400007,
//   400009 and 400015 are kept as the last values given (400015: the whole model shown or hidden,
//   part values by name). Every other message answers 0.
// - Slot 2 (Tick) keeps the value and answers 1 once the model is complete; slot 10 applies the
//   parameter table of the renderable with that cookie (its values are what the model uses).
// - A part whose name ends in ".obj" (any case) names an OBJ mesh, a resource path read as the
//   "mesh" object reads one (host/mesh_object.h, vertex colours kept) when the model loads; one
//   that does not read is a log line and leaves the part without a mesh.
// - Drawing (slots 3 and 4, interface slot 12) and the ray tests (interface slot 24, slot 12)
//   are host/renderable_drawing.h's.
// - Animations and their events: host/renderable_animation.h.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "frame/renderable.h"
#include "host/host_object.h"
#include "host/mesh_object.h"
#include "host/node_parameters.h"
#include "host/object_file.h"
#include "host/renderable_animation.h"

class IRenderer;

namespace host {

class ReferenceHost;
class RenderableObject;

// What every renderable shares: the live objects, and whether waiting loads complete only
// when a test says so.
struct RenderableClass {
  std::unordered_set<RenderableObject*> live;
  // The live ones the host has handed out, by the cookie of their handle (slot 10 names one so).
  std::unordered_map<uint32_t, RenderableObject*> byCookie;
  size_t created = 0;
  bool manualCompletion = false;
};

// The names of a parameter table's keys, each interned once.
class RenderableKeys final : public IRenderableKeys {
 public:
  const char* KeyName(uint32_t keyId) override;
  uint32_t KeyId(const char* name) override;

 private:
  std::vector<std::unique_ptr<std::string>> names_;
};

class RenderablePart final : public IRenderablePart {
 public:
  explicit RenderablePart(std::string partName) : name(std::move(partName)) {}
  std::string name;
  bool visible = true;
  // The part's mesh when its name is an OBJ file's resource path that loaded; empty otherwise.
  MeshData mesh;
};

class RenderableBoneTable final : public IRenderableBoneTable {
 public:
  uint32_t GetBoneCount() override { return static_cast<uint32_t>(bones_.size()); }
  const RenderableBone* GetBone(uint32_t index) override;
  void Set(const std::vector<ObjectBone>& bones);

 private:
  std::vector<std::string> names_;
  std::vector<RenderableBone> bones_;
};

class RenderableSkeleton final : public IRenderableSkeleton, public IRenderableBoneSet {
 public:
  explicit RenderableSkeleton(uint32_t boneCount);
  D3DMATRIX* GetBoneMatrices() override { return matrices_.data(); }
  const D3DMATRIX* GetBoneMatrix(int32_t index) override;
  IRenderableBoneSet* GetBoneSet() override { return this; }
  void SetVisible(uint8_t on) override { visible = on != 0; }
  void TakeBuffer(const void* buffer) override;
  // IRenderableBoneSet
  D3DMATRIX* GetMatrices() override { return matrices_.data(); }
  uint32_t GetCount() override { return static_cast<uint32_t>(matrices_.size()); }

  bool visible = true;
  int buffersTaken = 0;

 private:
  std::vector<D3DMATRIX> matrices_;  // identity at rest
};

// "RenderableNode": the root node of a renderable's model.
class RenderableNode final : public HostObject, public IRenderableNode {
 public:
  RenderableNode();
  void* InterfacePointer() override { return static_cast<IRenderableNode*>(this); }

  D3DMATRIX* GetLocalMatrix() override { return &local; }
  const D3DMATRIX* GetWorldMatrix() override { return &world; }
  void Update() override;
  IRenderableNode* GetRootNode() override { return this; }
  IRenderableBoneTable* GetBoneTable(int32_t index) override;
  IRenderableSkeleton* GetSkeleton() override { return skeleton_.get(); }
  IRenderableNodeParameters* GetParameters() override { return &parameters; }

  // Takes the bones of a model; without bones the node has no table and no skeleton.
  void SetBones(const std::vector<ObjectBone>& bones);

  D3DMATRIX local{};
  D3DMATRIX world{};
  int updates = 0;
  NodeParameters parameters;

 private:
  RenderableBoneTable boneTable_;
  std::unique_ptr<RenderableSkeleton> skeleton_;
};

// The interface of one renderable (400008).
class RenderableInterface final : public IRenderableInterface {
 public:
  explicit RenderableInterface(RenderableObject* owner) : owner_(owner) {}
  IRenderablePart* GetPart(int32_t index) override;
  IRenderablePart* FindPart(const char* name) override;
  void SwitchPart(IRenderablePart* part, int32_t what, int32_t on) override;
  const char* GetPartName(IRenderablePart* part) override;
  void SetLighting(int32_t value) override { lighting = value; }
  void SetAlpha(float value) override { alpha = value; }
  float GetHeight() override;
  void SetEventCallback(RenderableEventFn callback, void* context) override;
  void SetTextEventCallback(AnimationTextEventFn callback, void* context) override;
  void SetShown(uint8_t value) override { shown = value; }
  void Slot32(int32_t value) override { slot32 = value; }
  void DrawCopy(int32_t flags, int effect) override;
  float IntersectSegment(const D3DVECTOR* start, const D3DVECTOR* end) override;
  void AddCompleteListener(IRenderableCompleteListener* listener) override;
  void RemoveCompleteListener(IRenderableCompleteListener* listener) override;

  int32_t lighting = 0;
  float alpha = 1.0f;
  uint8_t shown = 0;
  int32_t slot32 = 0;
  RenderableEventFn eventCallback = nullptr;
  void* eventContext = nullptr;
  AnimationTextEventFn textEventCallback = nullptr;
  void* textEventContext = nullptr;

 private:
  RenderableObject* owner_;
};

// "Renderable".
class RenderableObject final : public HostObject, public IRenderableObject {
 public:
  explicit RenderableObject(std::shared_ptr<RenderableClass> cls);
  ~RenderableObject() override;

  void* InterfacePointer() override { return static_cast<IRenderableObject*>(this); }
  bool Init() override;
  void Destroy() override;
  void Execute(uint32_t elapsedMs) override;
  int OnEvent(IEventArgs*) override { return 0; }
  void OnSystemMessage(uint32_t, uint32_t, uint32_t) override {}
  int OnMessage(const RecordedMessage& message, const MessageArg* raw) override;

  // IRenderableObject
  uint32_t Tick(uint32_t value) override;
  void Draw(uint32_t elapsedMs) override;
  void DrawBlend(uint32_t elapsedMs) override;
  void DrawPost(uint32_t) override {}
  bool Slot8(uint32_t) override { return true; }
  bool Slot9(uint32_t) override { return true; }
  uint32_t ApplyParameters(uint32_t cookie) override;
  float IntersectSegment(const D3DVECTOR* start, const D3DVECTOR* end) override;

  // Completes a waiting load now (the listeners hear it on the next tick).
  void Complete();
  bool Loaded() const { return loaded_; }
  bool IsComplete() const { return complete_; }
  // The root node, while it lives.
  RenderableNode* Root();
  // A parameter's value in the table as it stands (null: no such key or no value).
  const char* Parameter(const char* key);
  // Sets a parameter as the game would: the key's value replaced, or a new entry at the end of
  // the table; false without a table.
  bool SetParameter(const char* key, const char* value);

  // What was loaded and what was given.
  std::string path;
  ObjectFile model;
  std::vector<std::unique_ptr<RenderablePart>> parts;
  RenderableInterface face{this};
  ComponentHandle rootHandle{};
  uint32_t completedOnTick = 0;  // the tick that completed the model (1 = the first)
  uint32_t ticks = 0;            // "execute" ticks seen
  uint32_t lastTickValue = 0;
  int draws = 0, blendDraws = 0, copies = 0;
  // The parameters as last applied, key -> value, and how often they were.
  std::map<std::string, std::string> applied;
  int applications = 0;
  // Kept messages.
  std::string animation;
  int32_t renderFlag = 0, farFlag = 0;
  int32_t wholeModel = 0;  // 400015 modes 1 (shown) / 2 (hidden); 0 before any
  std::map<std::string, std::string> partStates;
  RenderableAnimator animator;

 private:
  friend class RenderableInterface;
  // The meshes of the visible parts, or the box when no part has a mesh.
  void DrawModel(IRenderer& renderer, const D3DMATRIX* bone, const D3DMATRIX& world, D3DCOLOR colour, bool white,
                 int effect);
  bool Load(const char* file, bool wait);
  void Unload();
  void BuildParameters();
  void FreeParameters();
  void NotifyListeners();

  std::shared_ptr<RenderableClass> class_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool loaded_ = false;
  bool complete_ = false;
  uint32_t cookie_ = 0;  // its key in the class's byCookie once Init ran
  std::vector<IRenderableCompleteListener*> listeners_;
  std::vector<IRenderableCompleteListener*> notified_;
  RenderableKeys keys_;
};

// Registers "Renderable" and "RenderableNode" with the host (replacing any recording stand-in).
std::shared_ptr<RenderableClass> RegisterRenderableClasses(ReferenceHost& host);

}  // namespace host
