// What the host's OBJ readers (the "mesh" and "modelr" objects and the build input's producer)
// share: the largest files they take, and the one way they reach the MTL libraries a mesh names.
#pragma once
#include <tiny_obj_loader.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace host {

// The largest OBJ file read: some two million vertices and faces; the sample meshes are below
// 128 KiB.
inline constexpr uint64_t kObjFileMaxBytes = 64u << 20;
// The largest MTL library read; the sample libraries are a few hundred bytes.
inline constexpr uint64_t kMtlFileMaxBytes = 4u << 20;

// Hands the OBJ reader the MTL libraries its mesh names, each a resource path beside the mesh
// (`objPath`'s folder) below the resource root, read through the one read step. A library that
// is not there is passed over, as the reader passes over one it cannot find; one whose path
// leads out of the root, that is no regular file or that holds more than kMtlFileMaxBytes is
// not read, and Refusal() says why in one line. Texts() holds every library read, in order.
class MtlLibraryReader final : public tinyobj::MaterialReader {
 public:
  explicit MtlLibraryReader(const std::string& objPath);
  bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                  std::map<std::string, int>* map, std::string* warn, std::string* err) override;

  const std::string& Refusal() const { return refusal_; }
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  std::string folder_;
  std::string refusal_;
  std::vector<std::string> texts_;
};

}  // namespace host
