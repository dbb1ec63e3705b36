// The adaptive binary tree's render-geometry file: the input is a whole file. The tree either
// takes it whole or refuses it with nothing appended and no renderer resource made; a tree that
// took it rebuilds its render tree, and destroying the tree gives back every block and resource.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "support/abt_fixture.h"

namespace {

struct State {
  abt_testing::TreeHost tree;
  size_t baseBlocks = 0;
  State() {
    tree.module.host.DestroyObject(tree.handle);
    baseBlocks = tree.module.host.Allocator().LiveBlocks();
  }
};

State& Shared() {
  static State* state = new State;
  return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = Shared();
  host::ReferenceHost& h = s.tree.module.host;
  ComponentHandle handle{};
  h.CreateObject(&handle, "CAdaptiveBinaryTree");
  auto* tree = dynamic_cast<CAdaptiveBinaryTree*>(static_cast<CComponentBase*>(h.GetObject(&handle)));
  FUZZ_CHECK(tree != nullptr, "no tree was made");
  const size_t buffersBefore = s.tree.renderer.LiveVertexBuffers() + s.tree.renderer.LiveIndexBuffers();
  s.tree.Write("g.abt", std::vector<uint8_t>(data, data + size));
  if (tree->Load("g.abt", 0)) {
    tree->RebuildRenderTree();
  } else {
    FUZZ_CHECK(s.tree.renderer.LiveVertexBuffers() + s.tree.renderer.LiveIndexBuffers() == buffersBefore,
               "a refused file left renderer buffers behind");
  }
  h.DestroyObject(handle);
  FUZZ_CHECK(s.tree.renderer.LiveVertexBuffers() + s.tree.renderer.LiveIndexBuffers() == buffersBefore,
             "the tree kept renderer buffers after its destruction");
  FUZZ_CHECK(h.Allocator().LiveBlocks() == s.baseBlocks, "the tree kept host blocks after its destruction");
  h.ClearLog();
  return 0;
}
