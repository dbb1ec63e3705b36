// The mesh a "modelr" model hands out with its first part (IHostMesh): the positions of every
// part, the nodes of its "#@node" lines and the box around all its vertices.
//
// Each part is one vertex buffer of its own holding its distinct positions (equal positions
// share a vertex, so that neighbouring triangles meet in exactly equal corners) and one run of
// triangles in the shared 16-bit index array. A part with more distinct positions than 16-bit
// indices reach keeps the triangles that fit and logs the rest away.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "frame/host_services.h"

namespace host {

class ModelMesh final : public IHostMesh {
 public:
  // One part's triangles, three corners each.
  struct PartInput {
    std::vector<D3DVECTOR> corners;
  };
  struct NodeInput {
    std::string name;
    D3DMATRIX matrix{};
  };

  // Replaces what the mesh held; returns the number of triangles left out.
  size_t Build(const std::vector<PartInput>& parts, const std::vector<NodeInput>& nodes);

  void GetInfo(HostMeshInfo* info) override;                // slot 3
  bool GetNode(int32_t index, HostMeshNode* node) override;  // slot 6
  bool GetPart(int32_t index, HostMeshPart* part) override;  // slot 16
  const HostMeshData* GetData() override { return &data_; }  // slot 51

 private:
  struct Part {
    uint32_t triangleCount = 0, firstTriangle = 0;
  };
  HostMeshInfo info_;
  std::vector<Part> parts_;
  std::vector<std::vector<D3DVECTOR>> positions_;
  std::vector<HostMeshVertexBuffer> buffers_;
  std::vector<uint16_t> indices_;
  std::vector<NodeInput> nodes_;
  HostMeshData data_;
};

}  // namespace host
