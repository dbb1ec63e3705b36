// The host's "modelr" model object: a model read from a Wavefront OBJ file and its MTL library.
//
// The convention (what message 20500 "lss" loads):
// - The path is a resource path, resolved under the resource root like every other ('\' or '/',
//   any case per component). The .mtl files the OBJ names are looked up beside it
//   (host/obj_files.h: a library that leads out of the root or does not read fails the load).
// - Each "o" object is one part, in file order; faces before the first "o" make a part of their
//   own with an empty name. Slot 17 (k) is part k, null after the last. Positions are the "v"
//   values unchanged; polygons are cut into triangles as fans from their first corner; face
//   order is kept. A file that is missing or unreadable leaves one empty part and a log line.
// - Vertices: position, normal (the face normal where the file gives none), colour at byte 24
//   (the material's "Kd", opaque; white for a material without one or faces without a
//   material), two coordinate pairs, the second a copy of the first (a light map lies over its
//   model as the model's map does): FVF 0x252, stride 44. A part's faces of one material are
//   one sub-mesh with a vertex buffer of its own, sub-meshes in the order of their first face.
// - map_Kd is texture 0, map_Ka texture 1 (has-second-map), map_Ks texture 2 (has-detail-map),
//   each looked up in the folders the geometry service's slot 19 gave, then beside the model.
// - Comment lines carry what the model brings with it, in file order:
//     #@light <type> <name> <r> <g> <b> <range> <x> <y> <z> <outerCone> <dirX> <dirY> <dirZ>
//     #@node <kind> <name> <m11> ... <m44>          (16 numbers row by row; row 4 the position)
//   Any other '#' line is a plain comment; a malformed "#@" line is skipped with a log line.
//   Part 0's draw context hands them out.
// - Part 0's draw context also hands out the model's mesh (host/model_mesh.h): every part's
//   positions, the nodes of the "#@node" lines and the box.
// - Slot 3 draws every sub-mesh of every part; while a part's controller is on hooks (slot 13
//   with 0) its pre- and post-draw hooks run around each sub-mesh. Off hooks the model draws
//   the sub-mesh's own material: texture 0 (none when it has no map_Kd) on stage 0, stage 0
//   the map times the colour doubled (so the samples' mid-grey Kd shows the map as it is) with
//   the map's alpha, stage 1 and those after it off; what stages 0 and 1 held is put back after
//   the draw. The coordinates, transforms, filters and addressing of stage 0 stay as set.
// - Slot 12 is the smallest hit fraction t in [0, 1] of the segment over all triangles; 2.0
//   when nothing is hit. Slot 14 names the part of that hit (unchanged by a miss).
// - 20511 "ll" keeps the model option; 20510 "ls" records a motion (no file is read), which
//   slot 20 (0) then hands out as its controller; 20501 "ls" records an animation name.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "host/frame_records.h"
#include "host/host_object.h"
#include "host/model_mesh.h"

class IRenderer;

namespace host {

class GeometryService;
class RecordingAnimation;
class MotiveService;
class ModelObject;

// What the geometry service hands the next model.
struct ModelLoadContext {
  std::string texturePaths[3];
  int32_t slot20[3] = {0, 0, 0};
  int32_t slot22 = 0;
  int32_t slot35 = 0;
};

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

// One draw of a model (its slot 3) and the renderer state after its parts' render hooks ran.
struct ModelDraw {
  uint32_t arg = 0;
  D3DMATRIX transform{};
  bool hookCalled = false;
  // Render states 14 (z write), 20 (destination blend), 28 (fog), 60 (texture factor),
  // 137 (lighting) and stage 0 colour op and arg 1, read after the hook ran.
  DWORD zWrite = 0, destBlend = 0, fog = 0, textureFactor = 0, lighting = 0;
  DWORD stage0ColorOp = 0, stage0ColorArg1 = 0;
  // Sub-meshes drawn and draw hooks run.
  int subMeshesDrawn = 0, preHooks = 0, postHooks = 0;
};

// The vertex the model's buffers hold.
constexpr uint32_t kModelVertexFvf = 0x252;
constexpr uint32_t kModelVertexStride = 44;
constexpr uint32_t kModelColourOffset = 24;

// A part's faces of one material, as the model keeps them.
struct ModelSubMesh {
  std::string material;
  std::vector<float> vertices;  // kModelVertexStride / 4 floats per vertex (colour as its bits)
  HostSubsetRecord subset;
};

// One part: its draw context with the mesh interface and the material controller.
class ModelPart final : public HostModelGeometry, public IHostMaterialController {
 public:
  ModelPart() = default;
  ModelPart(const ModelPart&) = delete;
  ModelPart& operator=(const ModelPart&) = delete;

  const char* GetName() override { return name.c_str(); }
  void SetEffect(int32_t value) override { effect = value; }
  void GetBounds(D3DVECTOR* centre, float* radius) override;
  void SetHookMode(int32_t mode) override { hookMode = mode; }
  int GetVertexBuffer(int32_t subMesh) override;
  uint32_t GetVertexStride(int32_t subMesh) override;

  std::string name;
  int32_t effect = -1;
  int32_t hookMode = 1;
  std::vector<ModelSubMesh> subMeshes;
  std::vector<HostSubMesh> buffers;  // what the mesh interface hands out
  HostModelMesh meshInterface;
  D3DVECTOR centre{0, 0, 0};
  float radius = 0;
};

// The model's "#@" lines.
class ModelAttachments final : public IHostAttachments {
 public:
  int32_t GetLightCount() override { return static_cast<int32_t>(lights.size()); }
  int32_t GetNodeCount() override { return static_cast<int32_t>(nodes.size()); }
  const HostModelLight* GetLight(int32_t index) override;
  const HostModelNode* GetNode(int32_t index) override;

  struct Light {
    std::string name;
    HostModelLight entry;
  };
  struct Node {
    std::string kind, name;
    HostModelNode entry;
  };
  std::vector<Light> lights;
  std::vector<Node> nodes;
};

// The controller of a recorded motion.
class MotionController final : public IMotionController {
 public:
  void SetPlayRate(float value) override { rate = value; }
  void SetLooping(int32_t on) override { looping = on; }
  void Play() override { ++plays; }

  float rate = 0.0f;
  int32_t looping = 0;
  int plays = 0;
};

class ModelObject final : public HostObject, public IHostModel {
 public:
  // The services may be null (no loading context, no motion folder).
  explicit ModelObject(std::shared_ptr<ModelClass> cls, GeometryService* geometry = nullptr,
                       MotiveService* motive = nullptr);
  ~ModelObject() override;

  // Component slots (shared by HostObject and IHostModel)
  bool Init() override { return true; }
  void Destroy() override;
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
  const char* GetHitPartName() override { return hitPart_.c_str(); }
  HostModelGeometry* GetGeometry(int32_t part) override;
  IAnimation* GetAnimation() override;
  IMotionController* GetMotionController(int32_t index) override;
  HostModelGeometry* GetFirstPart() override { return GetGeometry(0); }

  int OnMessage(const RecordedMessage& message, const MessageArg* raw) override;
  void* InterfacePointer() override { return static_cast<IHostModel*>(this); }

  // Loads an OBJ file (a resource path) in place of what the model held; false (one empty part
  // and a log line) when it cannot be read.
  bool Load(const std::string& path);

  // Scripting
  void SetNoGeometry(bool none) { noGeometry_ = none; }
  void SetNoAnimation(bool none) { noAnimation_ = none; }

  // Inspection
  const std::string& ModelName() const { return modelName_; }          // from 20500
  const std::string& AnimationName() const { return animationName_; }  // from 20501
  const std::string& MotionName() const { return motionName_; }        // from 20510
  const std::string& MotionFolder() const { return motionFolder_; }    // the motive folder then
  int32_t ModelOption() const { return modelOption_; }                 // from 20511
  const ModelLoadContext& LoadContext() const { return context_; }     // as 20500 found it
  // The messages and draws of the host's last two frames (see FrameRecords).
  void BeginFrame() override;
  RecordsView<RecordedMessage> Messages() const { return messages_.All(); }
  RecordsView<ModelDraw> Draws() const { return draws_.All(); }
  // Part 0's draw context.
  HostModelGeometry& Geometry() { return *parts_.front(); }
  size_t PartCount() const { return parts_.size(); }
  ModelPart& Part(size_t k) { return *parts_[k]; }
  ModelAttachments& Attachments() { return attachments_; }
  // The renderer texture handles; the subset records index them.
  const std::vector<int>& Textures() const { return textures_; }
  const std::vector<std::string>& TextureNames() const { return textureNames_; }
  RecordingAnimation& Animation();
  MotionController* Motion() { return motion_.get(); }

 private:
  IRenderer* Renderer() const;
  void ReleaseResources();
  void Reset();
  void BuildBuffers();
  // The mesh of part 0 from the parts' positions and the attachments' nodes.
  void BuildMesh(const std::string& path);
  int TextureIndex(const std::string& file, const std::string& modelFolder);

  std::shared_ptr<ModelClass> class_;
  GeometryService* geometry_;
  MotiveService* motive_;
  std::vector<std::unique_ptr<ModelPart>> parts_;
  ModelAttachments attachments_;
  ModelMesh mesh_;
  std::vector<int> textures_;
  std::vector<std::string> textureNames_;
  std::unique_ptr<RecordingAnimation> animation_;
  std::unique_ptr<MotionController> motion_;
  ModelLoadContext context_;
  bool noGeometry_ = false;
  bool noAnimation_ = false;
  int32_t modelOption_ = 0;
  std::string modelName_, animationName_, motionName_, motionFolder_, hitPart_;
  FrameRecords<RecordedMessage> messages_;
  FrameRecords<ModelDraw> draws_;
};

}  // namespace host
