// The tree's collision-tree file: the input is a whole file. The tree takes it whole or refuses it
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
  if (tree->LoadCollisionTree("t.bin")) {
    D3DXVECTOR3 mx(0, 0, 0), mn(0, 0, 0), point, direction;
    tree->GetCollisionBounds(&mx, &mn);
    const D3DXVECTOR3 a = mn - D3DXVECTOR3(1, 1, 1), b = mx + D3DXVECTOR3(1, 1, 1), centre = (mx + mn) * 0.5f;
    tree->RayDistance(&a, &b);
    float depth = 0.0f;
    tree->CollideSphere(&centre, 1.0f, &point, &direction, &depth, false);
  } else {
    const D3DXVECTOR3 a(0, 0, 0), b(1, 1, 1);
    FUZZ_CHECK(tree->RayDistance(&a, &b) == 2.0f, "a refused file left a collision tree");
  }
  s.DestroyTree(handle);
  return 0;
}
