// Host services and host objects besides the renderer, as the module calls them: the animation
// service with its animations and controllers, the geometry loading context, and the "modelr"
// model object. They live in the host; the module never owns them.
//
// Each operation carries the slot number the host's table gives it. Only the slots the module
// calls are declared; they stand in slot order, so a slot the module comes to need is added at
// its place between its neighbours.
#pragma once
#include <cstdint>
#include <vector>

#include "d3d8/d3d8types.h"
#include "frame/host_interfaces.h"

class IRenderer;

// What an animation tells its listeners: a deleting destructor, an operation the animation
// never calls, and the event itself. `code` 4: a track finished (it ran out without looping, or
// the controller was stopped); 6: a looping track started over. a1-a3 are the animation's own
// words (the reference host passes the animation, the controller index and the track's time in ms).
class IAnimationEventSink {
 public:
  virtual ~IAnimationEventSink() = default;                                                 // slot 0
  virtual void SinkIgnore(intptr_t a1, intptr_t a2, intptr_t a3, int32_t code) = 0;         // slot 1
  virtual void Event(intptr_t a1, intptr_t a2, intptr_t a3, int32_t code) = 0;              // slot 2
};

// A node of an animation's tree: its kind and the two handles BindNode takes.
class IAnimationNode {
 public:
  virtual int32_t GetKind() = 0;                // slot 0
  virtual void* GetTransformSource() = 0;       // slot 1
  virtual void* GetAlternateSource() = 0;       // slot 2

 protected:
  ~IAnimationNode() = default;
};

// The node tree of an animation.
class IAnimationNodeTree {
 public:
  // Null when the animation has no node of that name.
  virtual IAnimationNode* FindNode(const char* name) = 0;  // slot 0

 protected:
  ~IAnimationNodeTree() = default;
};

// Plays the tracks of one animation.
class IAnimationController {
 public:
  // Chooses the track to play by name.
  virtual void Select(const char* trackName, int32_t a, int32_t b) = 0;  // slot 1
  virtual void Start(int32_t a) = 0;                                      // slot 3
  virtual void Stop(int32_t a) = 0;                                       // slot 5
  virtual void SetLooping(int32_t on, int32_t a) = 0;                     // slot 16
  // True while the track is still playing an animation that has not ended.
  virtual bool IsBusy(int32_t track) = 0;                                 // slot 17
  virtual void SetSpeed(float speed, int32_t a) = 0;                      // slot 18
  virtual float GetSpeed(int32_t a) = 0;                                  // slot 19
  // The length of the selected track in seconds.
  virtual float GetLength() = 0;                                          // slot 21

 protected:
  ~IAnimationController() = default;
};

// One loaded animation. Released with Release, never deleted by the module.
class IAnimation {
 public:
  virtual IAnimationController* GetController(int32_t index) = 0;  // slot 1
  // The animated transform of the node bound last (row-major, row 3 the position); may be null.
  virtual const D3DMATRIX* GetBoundMatrix(int32_t index) = 0;  // slot 9
  // How fast the animation's clock runs against the host's (1 = as fast).
  virtual float GetTimeScale() = 0;                            // slot 14
  virtual void Release() = 0;                                  // slot 25
  virtual void SetSwitchB(int32_t value) = 0;                  // slot 30
  virtual void SetSwitchA(int32_t value) = 0;                  // slot 32
  virtual void SetCounter(int32_t value) = 0;                  // slot 34
  virtual int32_t GetCounter() = 0;                            // slot 35
  virtual void SetOwner(void* owner, int32_t a) = 0;           // slot 36
  // Events with this code go to the sink until the animation is released.
  virtual void AddEventListener(int32_t code, IAnimationEventSink* sink) = 0;  // slot 37
  virtual IAnimationNodeTree* GetNodeTree() = 0;                             // slot 38
  // Binds the node behind a source (either of a node's two); null binds nothing.
  virtual void BindNode(void* source) = 0;                                   // slot 39

 protected:
  ~IAnimation() = default;
};

// The host service "AnimationServiceImp".
class IAnimationService {
 public:
  // Loads an animation file; null when it cannot.
  virtual IAnimation* LoadAnimation(const char* name, int32_t flags) = 0;  // slot 8

 protected:
  ~IAnimationService() = default;
};

// The host service "geometry": a loading context that the next "modelr" creation reads.
class IGeometryService {
 public:
  // Texture folders for the next model; empty text and nulls reset them.
  virtual void SetTexturePaths(const char* path1, const char* path2, const char* path3) = 0;  // slot 19
  virtual void Slot20(int32_t a, int32_t b, int32_t c) = 0;                                // slot 20
  virtual void Slot22(int32_t on) = 0;                                                     // slot 22
  virtual void Slot25(int32_t on) = 0;                                                     // slot 25
  virtual void Slot26(const void* planes, int32_t count) = 0;                              // slot 26
  virtual void Slot35(int32_t on) = 0;                                                     // slot 35

 protected:
  ~IGeometryService() = default;
};

struct HostModelGeometry;

// Called by a model while it draws, after its own states are set and before its primitives.
using HostRenderHookFn = void (*)(HostModelGeometry* geometry, IRenderer* renderer, void* context);

// What a draw hook reads of the sub-mesh being drawn: indices into the texture table for the
// base map, the second map and the detail map, and whether the last two are there.
struct HostSubsetRecord {
  int32_t textureIndex[3] = {-1, -1, -1};
  uint32_t hasSecondMap = 0;
  uint32_t hasDetailMap = 0;
};
// Set by the render passes; the model runs the pre-draw hook before each sub-mesh and the
// post-draw hook after it, with the sub-mesh's record and the model's texture table (renderer
// texture handles).
using HostDrawHookFn = void (*)(const HostSubsetRecord* subset, const int* textureTable);

// One sub-mesh of a part: the part's faces of one material, in a vertex buffer of its own.
struct HostSubMesh {
  int vertexBuffer = -1;
  uint32_t stride = 0;
  uint32_t vertexCount = 0;
};

// The mesh interface of a part: its sub-meshes in order.
struct HostModelMesh {
  uint32_t subMeshCount = 0;
  const HostSubMesh* subMeshes = nullptr;
};

// How a part is drawn.
class IHostMaterialController {
 public:
  // Centre and radius of the sphere around the part.
  virtual void GetBounds(D3DVECTOR* centre, float* radius) = 0;  // slot 3
  // 0: the draw hooks run around every sub-mesh; any other value: no hooks.
  virtual void SetHookMode(int32_t mode) = 0;  // slot 13
  virtual int GetVertexBuffer(int32_t subMesh) = 0;  // slot 39
  virtual uint32_t GetVertexStride(int32_t subMesh) = 0;  // slot 40

 protected:
  ~IHostMaterialController() = default;
};

// A light a model carries.
struct HostModelLight {
  int32_t type = 0;
  const char* name = "";
  float colour[3] = {0, 0, 0};
  float range = 0;
  float position[3] = {0, 0, 0};
  float outerCone = 0;
  float direction[3] = {0, 0, 0};
};

// A named node a model carries: a frame (row-major, row 3 the position), a kind and a name.
struct HostModelNode {
  D3DMATRIX matrix{};
  const char* kind = "";
  const char* name = "";
};

// The lights and nodes a model carries, by index in their own order.
class IHostAttachments {
 public:
  virtual int32_t GetLightCount() = 0;
  virtual int32_t GetNodeCount() = 0;
  // Null outside the count.
  virtual const HostModelLight* GetLight(int32_t index) = 0;
  virtual const HostModelNode* GetNode(int32_t index) = 0;

 protected:
  ~IHostAttachments() = default;
};

// What a model's mesh tells of itself (IHostMesh::GetInfo): its part and node counts and the box
// around every vertex as centre and size.
struct HostMeshInfo {
  uint32_t partCount = 0;
  uint32_t nodeCount = 0;
  D3DVECTOR boxCentre{0, 0, 0};
  D3DVECTOR boxSize{0, 0, 0};
};

// A node of the mesh (IHostMesh::GetNode): its frame (row-major, row 3 the position) and name.
struct HostMeshNode {
  D3DMATRIX matrix{};
  const char* name = "";
};

// A part of the mesh (IHostMesh::GetPart): which vertex buffer its positions are in, and its run
// of triangles in the mesh's index array. `materials` is storage the caller frees after reading.
struct HostMeshPart {
  uint32_t vertexBuffer = 0;
  uint32_t triangleCount = 0;
  uint32_t firstTriangle = 0;
  uint32_t firstVertex = 0;
  std::vector<uint32_t> materials;
};

// The positions of one vertex buffer, packed three floats each.
struct HostMeshVertexBuffer {
  uint32_t vertexCount = 0;
  const D3DVECTOR* positions = nullptr;
};

// The mesh's data (IHostMesh::GetData): its vertex buffers and its 16-bit index array, three
// indices per triangle.
struct HostMeshData {
  uint32_t vertexBufferCount = 0;
  const HostMeshVertexBuffer* vertexBuffers = nullptr;
  uint32_t indexCount = 0;
  const uint16_t* indices = nullptr;
};

// The mesh behind a model's first part: positions, parts, nodes and the box, as the navigation
// mesh and the walk maps read them.
class IHostMesh {
 public:
  virtual void GetInfo(HostMeshInfo* info) = 0;                // slot 3
  // False (the record untouched) outside the node count.
  virtual bool GetNode(int32_t index, HostMeshNode* node) = 0;  // slot 6
  // False (the record untouched) outside the part count.
  virtual bool GetPart(int32_t index, HostMeshPart* part) = 0;  // slot 16
  virtual const HostMeshData* GetData() = 0;                    // slot 51

 protected:
  ~IHostMesh() = default;
};

// What slot 17 of a model hands out for one of its parts: the draw context. Slots 1 and 4 are
// the part's own; the fields after the table, in order:
//   renderHook, renderHookContext  the hook the model calls while drawing (null: none) and
//                                  what it is handed
//   mesh                           the mesh interface (null: the part has none)
//   material                       the material controller (null: none)
//   preDrawHook, postDrawHook      run around each sub-mesh while the controller is on hooks
//   attachments                    the lights and nodes of the model (part 0 only; else null)
//   hostMesh                       the model's mesh (part 0 only; else null)
struct HostModelGeometry {
  virtual ~HostModelGeometry() = default;                     // slot 0
  virtual const char* GetName() { return ""; }                // slot 1
  virtual void SetEffect(int32_t effect) { (void)effect; }    // slot 4

  HostRenderHookFn renderHook = nullptr;
  void* renderHookContext = nullptr;
  HostModelMesh* mesh = nullptr;
  IHostMaterialController* material = nullptr;
  HostDrawHookFn preDrawHook = nullptr;
  HostDrawHookFn postDrawHook = nullptr;
  IHostAttachments* attachments = nullptr;
  IHostMesh* hostMesh = nullptr;
};

// The controller of a model's motion (message 20510).
class IMotionController {
 public:
  virtual void SetPlayRate(float rate) = 0;  // slot 5
  virtual void SetLooping(int32_t on) = 0;   // slot 11
  virtual void Play() = 0;                   // slot 14

 protected:
  ~IMotionController() = default;
};

// The host's "modelr" model object, as IHost::GetObject hands it out. Slots 0-11 are those of a
// component (slot 3 draws the model); the model's own operations follow. Layout after the table:
//   transform  the model's world matrix (row-major, row 3 the position), written by its users
class IHostModel {
 public:
  virtual bool Init() = 0;                                                           // slot 0
  virtual void Destroy() = 0;                                                        // slot 1
  virtual void Execute(uint32_t elapsedMs) = 0;                                      // slot 2
  virtual void Realize(uint32_t arg) = 0;                                            // slot 3
  virtual void RealizeBlend(uint32_t arg) = 0;                                       // slot 4
  virtual void RealizePost(uint32_t arg) = 0;                                        // slot 5
  virtual int OnEvent(IEventArgs* args) = 0;                                         // slot 6
  virtual void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) = 0;  // slot 7
  virtual bool Slot8(uint32_t arg) = 0;                                              // slot 8
  virtual bool Slot9(uint32_t arg) = 0;                                              // slot 9
  virtual uint32_t Slot10(uint32_t arg) = 0;                                         // slot 10
  virtual ~IHostModel() = default;                                                   // slot 11
  // Fraction t in [0, 1] along the segment from -> to of the nearest hit; a value outside
  // [0, 1] (2.0) when nothing is hit.
  virtual float RayTest(const D3DVECTOR* from, const D3DVECTOR* to) = 0;  // slot 12
  // The name of the part the last RayTest hit.
  virtual const char* GetHitPartName() = 0;  // slot 14
  // The draw context of a part (0: the first), or null past the last part.
  virtual HostModelGeometry* GetGeometry(int32_t part) = 0;  // slot 17
  // The model's animation, or null.
  virtual IAnimation* GetAnimation() = 0;  // slot 19
  // The controller of the model's motion, or null without one.
  virtual IMotionController* GetMotionController(int32_t index) = 0;  // slot 20
  // Part 0's draw context, or null.
  virtual HostModelGeometry* GetFirstPart() = 0;  // slot 25

  D3DMATRIX transform{};
};

// The host service "MotiveServiceImp".
class IMotiveService {
 public:
  // The folder the next motion is read from; null clears it.
  virtual void SetMotionFolder(const char* folder) = 0;  // slot 9

 protected:
  ~IMotiveService() = default;
};

// A named scene effect object of the host, made by its class name (CSceneSystem slots 127-129),
// and the class object a model record names. Slots 0-11 are those of a component (2 steps it
// with the elapsed milliseconds, 3 draws it); slot 12 switches the object on (1) and off (0).
// A scene may name any class there: every host object made by a class name hands this interface
// out, or one derived from it, except the model classes the scene makes itself ("modelr",
// "Renderable"), which it never takes as such a class. A class of the module's own is one of its
// components and answers only the component slots (scene/scene_class_objects.h).
class ISceneEffectObject {
 public:
  virtual void Execute(uint32_t elapsedMs) = 0;  // slot 2
  virtual void Realize(uint32_t context) = 0;    // slot 3
  virtual void SetSwitch(int32_t on) = 0;        // slot 12

 protected:
  ~ISceneEffectObject() = default;
};

// The host's "Shadow" object, as IHost::GetObject hands it out. Slots 0-11 are those of a
// component; as a class a scene names, it also takes the effects' switch.
class IShadowObject : public ISceneEffectObject {
 public:
  // The direction of the light that casts the shadows.
  virtual void SetLightDirection(const D3DVECTOR* direction) = 0;  // slot 12 of the shadow

 protected:
  ~IShadowObject() = default;
};

// The host's "Particles" object, as IHost::GetObject hands it out. Slots 0-11 are those of a
// component.
class IParticlesObject : public ISceneEffectObject {
 public:
  // Drops every particle system of the scene.
  virtual void ClearAll() = 0;  // slot 13

 protected:
  ~IParticlesObject() = default;
};
