// The host's "mesh" object: one static triangle mesh in a vertex buffer of the renderer
// service, handed out as a scene object's model and mesh (frame/scene_model.h).
//
// The mesh convention: vertices of 32 bytes (position, normal, one texture coordinate pair;
// format XYZ | NORMAL | TEX1) in a managed vertex buffer, three 16-bit indices a triangle,
// at most 65,536 vertices. An OBJ file becomes one mesh: every object and group of the file,
// in file order, polygons cut into triangles by the reader; each distinct position / coordinate / normal
// triple is one vertex; a face without normals takes its own face normal, one without
// coordinates (0, 0). Materials are not read.
//
// Registration: host::RegisterMeshClass(host, renderer); then host.CreateObject(&h, "mesh")
// and host::MeshObject::Of(host, h)->Load(files, path, &error).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "frame/host_interfaces.h"
#include "frame/scene_model.h"
#include "host/host_object.h"

class IRenderer;

namespace host {

class ReferenceHost;

struct MeshVertex {
  float position[3];
  float normal[3];
  float uv[2];
};
static_assert(sizeof(MeshVertex) == 32);

constexpr uint32_t kMeshVertexFormat = 0x112;  // XYZ | NORMAL | TEX1

struct MeshData {
  std::vector<MeshVertex> vertices;
  std::vector<uint16_t> indices;  // three a triangle
  // One opaque colour a vertex: the file's vertex colour ("v x y z r g b"), white without one.
  // The mesh object's buffer does not carry it.
  std::vector<uint32_t> colours;
};

// Reads an OBJ file, named by a resource path, through the host's file service. False with a
// one-line reason when the file cannot be read or holds no triangle or too many vertices.
bool LoadObjMesh(IIniService& files, const char* path, MeshData* out, std::string* error);

class MeshObject final : public HostObject, public ISceneModelOwner, public ISceneModel, public ISceneMesh {
 public:
  explicit MeshObject(IRenderer& renderer) : renderer_(renderer) {}
  ~MeshObject() override;

  // Puts the mesh into a new vertex buffer (the old one is released). False with a reason
  // when the buffer cannot be made or filled, or the mesh breaks the convention.
  bool SetMesh(MeshData mesh, std::string* error);
  bool Load(IIniService& files, const char* path, std::string* error);

  // HostObject
  void Destroy() override;
  void* InterfacePointer() override { return static_cast<ISceneModelOwner*>(this); }

  // ISceneModelOwner, ISceneModel, ISceneMesh
  ISceneModel* GetModel() override { return noModel_ ? nullptr : this; }
  ISceneMesh* GetMesh() override { return noMesh_ ? nullptr : this; }
  const SceneMeshDescription* GetDescription() override { return &description_; }
  int GetVertexBuffer() override { return buffer_; }
  uint32_t GetVertexStride() override { return sizeof(MeshVertex); }
  const uint16_t* GetIndices() override { return mesh_.indices.empty() ? nullptr : mesh_.indices.data(); }
  uint32_t GetVertexCount() override { return static_cast<uint32_t>(mesh_.vertices.size()); }

  // Scripting
  void SetNoModel(bool none) { noModel_ = none; }
  void SetNoMesh(bool none) { noMesh_ = none; }
  const MeshData& Mesh() const { return mesh_; }

  // The mesh object behind a handle, or null when the handle names something else.
  static MeshObject* Of(ReferenceHost& host, const ComponentHandle& handle);

 private:
  IRenderer& renderer_;
  MeshData mesh_;
  SceneMeshDescription description_{kMeshVertexFormat, 0, 0};
  int buffer_ = -1;
  bool noModel_ = false;
  bool noMesh_ = false;
};

// Registers the host class "mesh"; its objects make their buffers through `renderer`, which
// must outlive them.
void RegisterMeshClass(ReferenceHost& host, IRenderer& renderer);

}  // namespace host
