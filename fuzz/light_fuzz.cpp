// The light file: the input is loaded into a lighting system through the host's INI service,
// saved, loaded into a fresh system, saved, loaded again and saved a third time. Loading must
// not fail unsafely. The first save may refuse what a file cannot hold (and say so), but what
// it wrote must save whole, and the second and third saves must be byte for byte the same: a
// saved file is read back whole. Every light, group, texture and INI object must be gone once
// the systems are.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "frame/dma_interface.h"
#include "fuzz_support.h"
#include "host/generic_object.h"
#include "host/host.h"
#include "host/ini_service.h"
#include "host/lighting_objects.h"
#include "host/renderer.h"
#include "win32/file_system.h"
#include "lighting/lighting_system.h"

namespace {

struct State {
  fuzz::ScratchRoot root;
  host::Renderer renderer;
  host::ReferenceHost host;
  host::IniService service{root.path(), &host};
  std::unique_ptr<host::LightingHostObjects> objects;
  size_t baseBlocks = 0;

  State() {
    // Texture names from the file resolve below the scratch folder, where none exists.
    win32::SetResourceRoot(root.path());
    host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    // The host's classes as a full host has them: the lighting objects (models, particles)
    // over the recording stand-ins of the rest.
    host::RegisterGenericClasses(host);
    objects = host::RegisterLightingHostObjects(host);
    host.SetIniService(&service);
    FUZZ_CHECK(host.LoadModule(&DMAInterface) != nullptr, "the module did not load");
    baseBlocks = host.Allocator().LiveBlocks();
  }
};

State& Shared() {
  static State* state = new State;
  return *state;
}

// Loads `from` into a fresh lighting system and saves it as `to`; whether the save was whole.
bool LoadAndSave(State& s, const char* from, const char* to) {
  CLightingSystem* system = CLightingSystem::NewArray(1);
  FUZZ_CHECK(system != nullptr, "no lighting system");
  system->Init(nullptr);
  system->LoadFromFile(from);
  const bool whole = system->SaveToFile(to);
  CLightingSystem::DeleteArray(system);
  s.host.DestroyAll();
  FUZZ_CHECK(s.host.Allocator().LiveBlocks() == s.baseBlocks, "a lighting system left host blocks alive");
  FUZZ_CHECK(s.renderer.LiveTextures() == 0, "a lighting system left textures loaded");
  return whole;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = Shared();
  s.root.Put("input.ini", fuzz::AsText(data, size));
  s.service.Flush();
  // The records of earlier inputs are not needed and would only grow.
  s.host.ClearLog();
  s.host.ClearMessages();
  s.host.Registry().ClearLog();
  s.renderer.ClearRecords();
  // A first save that refuses may write nothing: no earlier input's file may stand in for it.
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(s.root.path()) / "first.ini", ignored);
  LoadAndSave(s, "input.ini", "first.ini");
  FUZZ_CHECK(LoadAndSave(s, "first.ini", "second.ini"), "a saved light file did not save whole again");
  FUZZ_CHECK(LoadAndSave(s, "second.ini", "third.ini"), "a saved light file did not save whole again");
  FUZZ_CHECK(s.root.Get("second.ini") == s.root.Get("third.ini"),
             "a saved light file did not read back whole: the second and third saves differ");
  return 0;
}
