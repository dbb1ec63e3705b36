// A camera action file: the input is the file, played by a camera on the host's animations. A
// file that loads gives one record whose steps all name a track; its sections play and stop.
#include <cstdint>
#include <memory>
#include <string>

#include "camera/base_camera.h"
#include "frame/component_base.h"
#include "frame/dma_interface.h"
#include "module_fuzz_host.h"
#include "host/standard_host.h"

namespace {

struct State : fuzz::ModuleFuzzHost {
  State()
      : ModuleFuzzHost([](const fuzz::ScratchRoot& root) {
          root.Put("anims/a.anim", "node a\ntrack a 100\nkey 0 a 1 0 0 0 0 1 0 0 0 0 1 0 1 2 3 1\ntrack b 50\n");
        }) {}
};


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = fuzz::Once<State>();
  s.root.Put("resource/ini/Brivanta/common/fuzzed.ini", std::string(fuzz::AsText(data, size)));
  ComponentHandle handle{};
  s.standard->host.CreateObject(&handle, "CBaseCamera");
  auto* camera = static_cast<CBaseCamera*>(static_cast<CComponentBase*>(s.standard->host.GetObject(&handle)));
  FUZZ_CHECK(camera != nullptr, "no camera was made");
  if (camera->PlayAction("fuzzed")) {
    FUZZ_CHECK(camera->actions.size() == 1 && camera->currentAction == 0, "a loaded action is not current");
    for (const CameraActionSection& section : camera->actions[0].sections) {
      FUZZ_CHECK(section.tracks.size() == section.durations.size(), "steps out of step");
      for (const std::string& track : section.tracks) FUZZ_CHECK(!track.empty(), "a step without a track");
      camera->PlayActionSection(section.name.c_str(), nullptr, 1.0f, 1, 0, 1);
      s.standard->Frame(40);
      s.standard->Frame(70);
    }
    camera->StopAction();
  } else {
    FUZZ_CHECK(camera->actions.empty() && camera->currentAction == -1, "a failed load left a record");
  }
  s.standard->host.DestroyObject(handle);
  s.standard->host.ClearLog();
  FUZZ_CHECK(s.standard->host.Allocator().LiveBlocks() == 0, "host blocks left behind");
  return 0;
}
