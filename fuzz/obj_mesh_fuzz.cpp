// The host mesh object's OBJ reader: the input is an OBJ file read through the host's file
// service. A mesh that loads keeps the mesh convention (triangles, every index in range, at
// most 65,536 vertices); one that does not gives a one-line reason.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "host/host.h"
#include "host/ini_service.h"
#include "host/mesh_object.h"

namespace {

struct State {
  fuzz::ScratchRoot root;
  host::ReferenceHost host;
  host::IniService service{root.path(), &host};
};

State& Shared() {
  static State* state = new State;
  return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = Shared();
  s.root.Put("mesh.obj", fuzz::AsText(data, size));
  host::MeshData mesh;
  std::string error;
  if (host::LoadObjMesh(s.service, "MESH.OBJ", &mesh, &error)) {
    FUZZ_CHECK(!mesh.indices.empty() && mesh.indices.size() % 3 == 0, "a mesh that is not whole triangles");
    FUZZ_CHECK(!mesh.vertices.empty() && mesh.vertices.size() <= 65536, "a vertex count outside the convention");
    for (uint16_t i : mesh.indices) FUZZ_CHECK(i < mesh.vertices.size(), "an index past the vertices");
  } else {
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos, "a refusal without a one-line reason");
  }
  FUZZ_CHECK(s.service.OpenFiles() == 0, "the reader left a file open");
  s.host.ClearLog();
  return 0;
}
