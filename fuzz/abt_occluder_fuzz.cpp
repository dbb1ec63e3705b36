// The tree's occluder-tree file: the input is a whole file. The tree takes it whole or refuses it
// and keeps the tree it had; a tree it took answers queries, and destroying the tree gives back
// every block.
#include <cstdint>
#include <string>

#include "abt_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TreeFuzzHost& s = fuzz::TreeFuzzHost::Shared();
  ComponentHandle handle{};
  CAdaptiveBinaryTree* tree = s.MakeTree(&handle);
  s.tree.Write("t.bin", std::vector<uint8_t>(data, data + size));
  // A tree that took the file draws a frame with its occluders.
  s.tree.WriteTexture("wall.bmp");
  s.tree.Write("scene.geo", abt_testing::WriteGeometry(abt_testing::SmallScene(3)));
  if (tree->LoadOccluderTree("t.bin") && tree->Load("scene.geo", 0)) {
    tree->RebuildRenderTree();
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 eye(0, 0.5f, -10), at(0, 0.5f, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 0.9f, 4.0f / 3.0f, 0.1f, 1000.0f);
    s.tree.renderer.SetTransform(2, &view);
    s.tree.renderer.SetTransform(3, &projection);
    s.tree.renderer.SetRasterizing(false);
    try {
      tree->DetermineVisibility();
    } catch (const char*) {
      // The occlusion system's assertion: the frame has drawn and passes it on.
    }
  }
  s.DestroyTree(handle);
  return 0;
}
