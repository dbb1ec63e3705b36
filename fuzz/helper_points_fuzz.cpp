// The helper-point file: the input is the file. Whatever it holds, the points it gives can be
// saved, and a file that saved reads back into as many groups and points.
#include <cstdint>
#include <memory>
#include <string>

#include "frame/component_base.h"
#include "frame/dma_interface.h"
#include "module_fuzz_host.h"
#include "host/standard_host.h"
#include "scene/scene_system.h"

namespace {

struct State : fuzz::ModuleFuzzHost {
  ComponentHandle handle{};
  CSceneSystem* scene = nullptr;
  State() {
    standard->host.CreateObject(&handle, "CSceneSystem");
    scene = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(standard->host.GetObject(&handle)));
    FUZZ_CHECK(scene != nullptr, "no scene system was made");
  }
};


// Every point, as the scene counts them.
int32_t PointCount(CSceneSystem* scene) {
  int32_t n = 0;
  for (int32_t g = 0; g < scene->GetHelperGroupCount(); ++g) n += scene->GetHelperPointCount(g);
  return n;
}

void Clear(CSceneSystem* scene) {
  while (scene->GetHelperGroupCount() > 0) FUZZ_CHECK(scene->RemoveHelperGroup(0), "a group could not be removed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = fuzz::Once<State>();
  Clear(s.scene);
  s.root.Put("points.ini", std::string(fuzz::AsText(data, size)));
  s.scene->LoadHelperPoints("points.ini");
  const int32_t groups = s.scene->GetHelperGroupCount(), points = PointCount(s.scene);
  if (s.scene->SaveHelperPoints("saved.ini")) {
    Clear(s.scene);
    FUZZ_CHECK(s.scene->LoadHelperPoints("saved.ini"), "a saved file does not load");
    FUZZ_CHECK(s.scene->GetHelperGroupCount() == groups && PointCount(s.scene) == points,
               "a saved file reads back otherwise");
  }
  Clear(s.scene);
  s.standard->host.ClearLog();
  return 0;
}
