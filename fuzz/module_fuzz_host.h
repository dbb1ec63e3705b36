// The fuzz targets that drive the module through a whole reference host share this: a scratch
// resource folder, the standard host over it and the module loaded, made once per process.
#pragma once
#include <memory>

#include "frame/dma_interface.h"
#include "fuzz_support.h"
#include "host/standard_host.h"

namespace fuzz {

struct ModuleFuzzHost {
  ScratchRoot root;
  std::unique_ptr<host::StandardHost> standard;

  // `prepare` runs on the scratch folder before the host is made over it.
  template <class Prepare>
  explicit ModuleFuzzHost(Prepare prepare) {
    prepare(root);
    standard = std::make_unique<host::StandardHost>(root.path());
    FUZZ_CHECK(standard->host.LoadModule(&DMAInterface) != nullptr, "the module did not load");
  }
  ModuleFuzzHost() : ModuleFuzzHost([](const ScratchRoot&) {}) {}
};

// One T for the whole run, never destroyed: the module stays loaded until the process ends.
template <class T>
T& Once() {
  static T* made = new T;
  return *made;
}

}  // namespace fuzz
