// A reference host with the module loaded into it, for tests that drive the module.
#pragma once
#include "frame/component_factory.h"
#include "frame/dma_interface.h"
#include "frame/module_globals.h"
#include "host/host.h"

namespace testing_support {

struct ModuleHost {
  host::ReferenceHost host;
  CComponentFactory* list = nullptr;

  ModuleHost() { list = host.LoadModule(&DMAInterface); }

  // The record with this class name, or null.
  CComponentFactory* Factory(const char* name) const { return host.FindFactory(name); }
};

}  // namespace testing_support
