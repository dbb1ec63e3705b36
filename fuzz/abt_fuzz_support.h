// What the tree's fuzz targets share: one tree host for the whole run, and a fresh tree per
// input whose destruction must give back every host block.
#pragma once
#include "fuzz_support.h"
#include "support/abt_fixture.h"

namespace fuzz {

struct TreeFuzzHost {
  abt_testing::TreeHost tree;
  size_t baseBlocks = 0;
  TreeFuzzHost() {
    tree.module.host.DestroyObject(tree.handle);
    baseBlocks = tree.module.host.Allocator().LiveBlocks();
  }

  static TreeFuzzHost& Shared() {
    static TreeFuzzHost* host = new TreeFuzzHost;
    return *host;
  }

  CAdaptiveBinaryTree* MakeTree(ComponentHandle* handle) {
    tree.module.host.CreateObject(handle, "CAdaptiveBinaryTree");
    auto* made =
        dynamic_cast<CAdaptiveBinaryTree*>(static_cast<CComponentBase*>(tree.module.host.GetObject(handle)));
    FUZZ_CHECK(made != nullptr, "no tree was made");
    return made;
  }

  void DestroyTree(const ComponentHandle& handle) {
    tree.module.host.DestroyObject(handle);
    FUZZ_CHECK(tree.module.host.Allocator().LiveBlocks() == baseBlocks,
               "the tree kept host blocks after its destruction");
    tree.module.host.ClearLog();
  }
};

}  // namespace fuzz
