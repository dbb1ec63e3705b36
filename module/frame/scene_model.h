// The model and mesh of a scene object as the module reads them: IHost::GetObject on the
// object's handle gives an ISceneModelOwner, which hands out its model; the model hands out
// its mesh. The operations stand in the order the static-geometry intake uses them.
#pragma once
#include <cstdint>

// The first words of a mesh's description; only the triangle count is read.
struct SceneMeshDescription {
  uint32_t vertexFormat;
  uint32_t vertexCount;
  uint32_t triangleCount;
};

class ISceneMesh {
 public:
  virtual const SceneMeshDescription* GetDescription() = 0;  // slot 0
  // A vertex-buffer handle of the renderer service.
  virtual int GetVertexBuffer() = 0;                         // slot 1
  virtual uint32_t GetVertexStride() = 0;                    // slot 2
  // Three 16-bit indices a triangle, triangleCount triangles.
  virtual const uint16_t* GetIndices() = 0;                  // slot 3
  virtual uint32_t GetVertexCount() = 0;                     // slot 4

 protected:
  ~ISceneMesh() = default;
};

class ISceneModel {
 public:
  virtual ISceneMesh* GetMesh() = 0;  // slot 0; null when the model has none

 protected:
  ~ISceneModel() = default;
};

class ISceneModelOwner {
 public:
  virtual ISceneModel* GetModel() = 0;  // slot 0; null when the object has no model

 protected:
  ~ISceneModelOwner() = default;
};
