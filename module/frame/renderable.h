// The host's "Renderable" family as the module calls it: the renderable object that holds a
// model, the interface message 400008 hands out, the nodes message 400006 names, the bone table
// and skeleton of a node, and the parameter table the renderable keeps. They live in the host;
// the module never owns them.
//
// Each operation carries the slot number the host's table gives it. Only the slots the module
// calls are declared, in slot order, so a slot the module comes to need is added at its place.
#pragma once
#include <cstdint>

#include "d3d8/d3d8types.h"
#include "frame/host_interfaces.h"

class IAnimation;
class IRenderableInterface;
class IRenderableNode;

// A part of a renderable's model; only the renderable's interface reads it.
class IRenderablePart {
 protected:
  ~IRenderablePart() = default;
};

// Plain animation events of the renderable (an animation ended or looped: codes 4 to 6). `x` and
// `y` pick the controller and track the event came from.
using RenderableEventFn = void (*)(void* context, IAnimation* animation, int32_t x, int32_t y, int32_t code);
// Text events written into the animation data ("effect,name,attach", "lhand,3", ...).
using AnimationTextEventFn = void (*)(void* context, IAnimation* animation, int32_t controller, const char* text);

// Told by a renderable when every part of its model has loaded.
class IRenderableCompleteListener {
 public:
  virtual void OnNotify(IRenderableInterface* source) = 0;  // slot 0
  virtual ~IRenderableCompleteListener() = default;         // slot 1
};

// One parameter of a renderable: the node it applies to, the key (its name comes from the
// table's keys) and a value text in a host-allocator block (null: no value).
struct RenderableParameter {
  IRenderableNode* node;
  uint32_t keyId;
  char* value;
};

// The key names of a parameter table. The host interns each name once; an id stays valid as
// long as the table does.
class IRenderableKeys {
 public:
  virtual const char* KeyName(uint32_t keyId) = 0;   // slot 0; null for an unknown id
  virtual uint32_t KeyId(const char* name) = 0;       // slot 1; interns a new name

 protected:
  ~IRenderableKeys() = default;
};

// The parameters of a renderable, in host-allocator memory: `items` is a block of `count`
// pointers, each item a block of its own. The module edits it in place.
struct RenderableParameterTable {
  uint32_t count;
  RenderableParameter** items;
  IRenderableNode* owner;  // the renderable's root node: new items apply to its "root" node
  IRenderableKeys* keys;
};

// What IHost::GetObject gives for a renderable's handle: the component slot layout.
class IRenderableObject {
 public:
  virtual bool Init() = 0;                                                          // slot 0
  virtual void Destroy() = 0;                                                       // slot 1
  // One step of the model's own clock; the value is what the scene hands on.
  virtual uint32_t Tick(uint32_t value) = 0;                                        // slot 2
  virtual void Draw(uint32_t elapsedMs) = 0;                                        // slot 3
  virtual void DrawBlend(uint32_t elapsedMs) = 0;                                   // slot 4
  virtual void DrawPost(uint32_t arg) = 0;                                          // slot 5
  virtual int OnEvent(IEventArgs* args) = 0;                                        // slot 6
  virtual void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) = 0;  // slot 7
  virtual bool Slot8(uint32_t arg) = 0;                                             // slot 8
  virtual bool Slot9(uint32_t arg) = 0;                                             // slot 9
  // Applies the parameter table of the renderable whose cookie is given (the host's token of
  // IHost::GetObjectCookie); 0 when no renderable has that cookie.
  virtual uint32_t ApplyParameters(uint32_t cookie) = 0;                            // slot 10

  // The renderable's parameters; null before a model is loaded.
  RenderableParameterTable* parameters = nullptr;

 protected:
  ~IRenderableObject() = default;  // slot 11: the host destroys renderables
};

// The bones of a model as its file names them, in file order.
struct RenderableBone {
  const char* name;
  D3DMATRIX matrix;  // the bone's 64-byte matrix (row-major, row 3 the position)
};

class IRenderableBoneTable {
 public:
  virtual uint32_t GetBoneCount() = 0;                       // slot 3
  virtual const RenderableBone* GetBone(uint32_t index) = 0;  // slot 6; null outside the count

 protected:
  ~IRenderableBoneTable() = default;
};

// The bone matrices of a skeleton as one block.
class IRenderableBoneSet {
 public:
  virtual D3DMATRIX* GetMatrices() = 0;  // slot 0
  virtual uint32_t GetCount() = 0;       // slot 1

 protected:
  ~IRenderableBoneSet() = default;
};

// The animated skeleton of a node.
class IRenderableSkeleton {
 public:
  // The current bone matrices, bone count x 64 bytes of real memory.
  virtual D3DMATRIX* GetBoneMatrices() = 0;                       // slot 7
  // A bone's current matrix (identity at rest); null outside the count.
  virtual const D3DMATRIX* GetBoneMatrix(int32_t index) = 0;      // slot 8
  virtual IRenderableBoneSet* GetBoneSet() = 0;                   // slot 23
  virtual void SetVisible(uint8_t visible) = 0;                   // slot 30
  // Takes bone matrices from a buffer of bone count x 64 bytes (a copy the object kept).
  virtual void TakeBuffer(const void* buffer) = 0;                // slot 47

 protected:
  ~IRenderableSkeleton() = default;
};

// A node of a renderable's model, reached by the handle 400006 fills.
class IRenderableNode {
 public:
  // The node's matrices; the world matrix follows the local one after Update.
  virtual D3DMATRIX* GetLocalMatrix() = 0;                         // slot 0
  virtual const D3DMATRIX* GetWorldMatrix() = 0;                   // slot 1
  virtual void Update() = 0;                                       // slot 2
  // The node named "root" of the node's model.
  virtual IRenderableNode* GetRootNode() = 0;                      // slot 3
  // The bone table (index 0); null without bones.
  virtual IRenderableBoneTable* GetBoneTable(int32_t index) = 0;   // slot 17
  // The skeleton; null without bones.
  virtual IRenderableSkeleton* GetSkeleton() = 0;                  // slot 19

 protected:
  ~IRenderableNode() = default;
};

// The interface 400008 hands out: the model's parts, its lighting, alpha, height and shown flag,
// its callbacks and its completion listeners.
class IRenderableInterface {
 public:
  virtual IRenderablePart* GetPart(int32_t index) = 0;                            // slot 0
  virtual IRenderablePart* FindPart(const char* name) = 0;                        // slot 1
  // Switches a part: `what` 22 is its visibility.
  virtual void SwitchPart(IRenderablePart* part, int32_t what, int32_t on) = 0;   // slot 7
  virtual const char* GetPartName(IRenderablePart* part) = 0;                     // slot 8
  virtual void SetLighting(int32_t value) = 0;                                    // slot 16
  virtual void SetAlpha(float alpha) = 0;                                         // slot 20
  virtual float GetHeight() = 0;                                                  // slot 23
  virtual void SetEventCallback(RenderableEventFn callback, void* context) = 0;   // slot 25
  virtual void SetTextEventCallback(AnimationTextEventFn callback, void* context) = 0;  // slot 27
  virtual void SetShown(uint8_t shown) = 0;                                       // slot 31
  virtual void Slot32(int32_t value) = 0;                                         // slot 32
  virtual void AddCompleteListener(IRenderableCompleteListener* listener) = 0;    // slot 33
  virtual void RemoveCompleteListener(IRenderableCompleteListener* listener) = 0;  // slot 34

 protected:
  ~IRenderableInterface() = default;
};

// Message numbers and signatures of a renderable.
constexpr int32_t kObjMsgLoad = 400000;           // "lsllll"
constexpr int32_t kObjMsgPlayAnimation = 400001;  // "lsslffffll"
constexpr int32_t kObjMsgSetTransform = 400003;   // "lcc"
constexpr int32_t kObjMsgFindNode = 400006;       // "lsp"
constexpr int32_t kObjMsgSetRenderFlag = 400007;  // "ll"
constexpr int32_t kObjMsgGetInterface = 400008;   // "lp"
constexpr int32_t kObjMsgSetFarFlag = 400009;     // "ll"
constexpr int32_t kObjMsgGetBounds = 400011;      // "lppp"
constexpr int32_t kObjMsgSetPartState = 400015;   // "lssl"
