// The vertex-colour set of a scene model (`<model>_<set>.col`, one u32 colour a vertex, part by
// part): whatever the file holds, the words it has land in the vertices in order, the vertices
// past its end keep their colours, every vertex buffer is unlocked again and the model still
// draws.
#include <cstdint>
#include <cstring>
#include <string>

#include "frame/component_base.h"
#include "frame/scene_model.h"
#include "host/model_object.h"
#include "module_fuzz_host.h"
#include "scene/scene_system.h"

namespace {

constexpr uint32_t kVertices = 3;

struct State : fuzz::ModuleFuzzHost {
  ComponentHandle handle{};
  CSceneSystem* scene = nullptr;
  host::ModelObject* model = nullptr;
  State()
      : ModuleFuzzHost([](const fuzz::ScratchRoot& root) {
          root.Put("resource/ini/scene/1.ini", "[stage]\nModelType=1\nVisible=1\nModelName=stage.obj\n");
          root.Put("stage.obj", "v 0 0 0\nv 4 0 0\nv 0 0 4\no base\nf 1 2 3\n");
        }) {
    standard->host.CreateObject(&handle, "CSceneSystem");
    scene = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(standard->host.GetObject(&handle)));
    FUZZ_CHECK(scene != nullptr && scene->LoadScene(1), "the scene did not load");
    model = standard->objects->models->Last();
    FUZZ_CHECK(model != nullptr, "the scene made no model");
  }

  uint32_t Colour(uint32_t v) {
    const HostSubMesh& sub = model->GetGeometry(0)->mesh->subMeshes[0];
    auto* bytes = static_cast<const uint8_t*>(standard->renderer.LockVertexBuffer(sub.vertexBuffer, 0, 0, 0));
    FUZZ_CHECK(bytes != nullptr, "a vertex buffer stayed locked");
    uint32_t colour = 0;
    std::memcpy(&colour, bytes + static_cast<size_t>(v) * sub.stride + 24, 4);
    standard->renderer.UnlockVertexBuffer(sub.vertexBuffer);
    return colour;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = fuzz::Once<State>();
  FUZZ_CHECK(s.model->GetGeometry(0)->mesh->subMeshes[0].vertexCount == kVertices, "the model lost its vertices");
  uint32_t before[kVertices];
  for (uint32_t v = 0; v < kVertices; ++v) before[v] = s.Colour(v);
  s.root.Put("resource/models/stage.obj_0.col", fuzz::AsText(data, size));
  s.scene->UpdateScene(0, false);
  for (uint32_t v = 0; v < kVertices; ++v) {
    uint32_t expected = before[v];
    if ((v + 1) * 4 <= size) std::memcpy(&expected, data + v * 4, 4);
    FUZZ_CHECK(s.Colour(v) == expected, "a vertex does not hold the colour the file gave it");
  }
  const size_t draws = s.standard->renderer.Draws().size();
  s.model->Realize(0);
  FUZZ_CHECK(s.standard->renderer.Draws().size() == draws + 1, "the model no longer draws");
  s.standard->renderer.ClearRecords();
  return 0;
}
