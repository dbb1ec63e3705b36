#include "host/model_mesh.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace host {

size_t ModelMesh::Build(const std::vector<PartInput>& parts, const std::vector<NodeInput>& nodes) {
  parts_.clear();
  positions_.clear();
  buffers_.clear();
  indices_.clear();
  nodes_ = nodes;
  size_t dropped = 0;
  bool any = false;
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (const PartInput& in : parts) {
    Part part;
    part.firstTriangle = static_cast<uint32_t>(indices_.size() / 3);
    std::vector<D3DVECTOR> positions;
    std::map<std::tuple<float, float, float>, uint16_t> known;
    for (size_t t = 0; t + 2 < in.corners.size(); t += 3) {
      uint16_t index[3];
      bool fits = true;
      for (int k = 0; k < 3 && fits; ++k) {
        const D3DVECTOR& p = in.corners[t + static_cast<size_t>(k)];
        const auto key = std::make_tuple(p.x, p.y, p.z);
        auto found = known.find(key);
        if (found == known.end()) {
          if (positions.size() > 0xffff) {
            fits = false;
            break;
          }
          found = known.emplace(key, static_cast<uint16_t>(positions.size())).first;
          positions.push_back(p);
        }
        index[k] = found->second;
      }
      if (!fits) {
        ++dropped;
        continue;
      }
      indices_.insert(indices_.end(), index, index + 3);
      ++part.triangleCount;
    }
    for (const D3DVECTOR& p : positions) {
      const float v[3] = {p.x, p.y, p.z};
      for (int a = 0; a < 3; ++a) {
        lo[a] = any ? std::min(lo[a], v[a]) : v[a];
        hi[a] = any ? std::max(hi[a], v[a]) : v[a];
      }
      any = true;
    }
    parts_.push_back(part);
    positions_.push_back(std::move(positions));
  }
  for (const auto& p : positions_)
    buffers_.push_back(HostMeshVertexBuffer{static_cast<uint32_t>(p.size()), p.empty() ? nullptr : p.data()});
  info_ = HostMeshInfo{};
  info_.partCount = static_cast<uint32_t>(parts_.size());
  info_.nodeCount = static_cast<uint32_t>(nodes_.size());
  info_.boxCentre = D3DVECTOR{(lo[0] + hi[0]) * 0.5f, (lo[1] + hi[1]) * 0.5f, (lo[2] + hi[2]) * 0.5f};
  info_.boxSize = D3DVECTOR{hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
  data_.vertexBufferCount = static_cast<uint32_t>(buffers_.size());
  data_.vertexBuffers = buffers_.empty() ? nullptr : buffers_.data();
  data_.indexCount = static_cast<uint32_t>(indices_.size());
  data_.indices = indices_.empty() ? nullptr : indices_.data();
  return dropped;
}

void ModelMesh::GetInfo(HostMeshInfo* info) {
  if (info != nullptr) *info = info_;
}

bool ModelMesh::GetNode(int32_t index, HostMeshNode* node) {
  if (node == nullptr || index < 0 || static_cast<size_t>(index) >= nodes_.size()) return false;
  node->matrix = nodes_[static_cast<size_t>(index)].matrix;
  node->name = nodes_[static_cast<size_t>(index)].name.c_str();
  return true;
}

bool ModelMesh::GetPart(int32_t index, HostMeshPart* part) {
  if (part == nullptr || index < 0 || static_cast<size_t>(index) >= parts_.size()) return false;
  const Part& p = parts_[static_cast<size_t>(index)];
  part->vertexBuffer = static_cast<uint32_t>(index);
  part->triangleCount = p.triangleCount;
  part->firstTriangle = p.firstTriangle;
  part->firstVertex = 0;
  part->materials.assign(1, 0);
  return true;
}

}  // namespace host
