// One module component made by its class name in a standard host; the host is emptied and no
// host block may be left when the test ends.
#pragma once
#include <gtest/gtest.h>

#include "frame/component_base.h"
#include "frame/dma_interface.h"
#include "host/standard_host.h"

namespace testing_support {

template <class T>
struct ComponentHost {
  host::StandardHost standard{"."};
  T* object = nullptr;

  explicit ComponentHost(const char* className) {
    standard.host.LoadModule(&DMAInterface);
    ComponentHandle h{};
    standard.host.CreateObject(&h, className);
    object = static_cast<T*>(static_cast<CComponentBase*>(standard.host.GetObject(&h)));
  }
  ~ComponentHost() {
    standard.host.DestroyAll();
    EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
  }
};

}  // namespace testing_support
