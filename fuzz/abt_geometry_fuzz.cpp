// The adaptive binary tree's render-geometry file: the input is a whole file. The tree either
// takes it whole or refuses it with nothing appended and no renderer resource made; a tree that
// took it rebuilds its render tree, and destroying the tree gives back every block and resource.
#include <cstdint>
#include <string>

#include "abt_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TreeFuzzHost& s = fuzz::TreeFuzzHost::Shared();
  ComponentHandle handle{};
  CAdaptiveBinaryTree* tree = s.MakeTree(&handle);
  const size_t buffersBefore = s.tree.renderer.LiveVertexBuffers() + s.tree.renderer.LiveIndexBuffers();
  s.tree.Write("g.abt", std::vector<uint8_t>(data, data + size));
  if (tree->Load("g.abt", 0)) {
    tree->RebuildRenderTree();
  } else {
    FUZZ_CHECK(s.tree.renderer.LiveVertexBuffers() + s.tree.renderer.LiveIndexBuffers() == buffersBefore,
               "a refused file left renderer buffers behind");
  }
  s.DestroyTree(handle);
  FUZZ_CHECK(s.tree.renderer.LiveVertexBuffers() + s.tree.renderer.LiveIndexBuffers() == buffersBefore,
             "the tree kept renderer buffers after its destruction");
  return 0;
}
