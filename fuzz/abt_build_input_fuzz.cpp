// The tree's build input: the input is a whole file. An input the reader refuses makes every
// build fail with no file written; one it takes builds, the collision and occluder trees it
// gives load back, and the tree gives back every block when it is destroyed.
#include <cstdint>
#include <filesystem>
#include <string>

#include "abt_fuzz_support.h"
#include "visibility/abt_build_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TreeFuzzHost& s = fuzz::TreeFuzzHost::Shared();
  const std::vector<uint8_t> bytes(data, data + size);
  for (const char* out : {"o.geo", "o.collision", "o.occluder"}) std::filesystem::remove(s.tree.dir.path / out);
  s.tree.Write("i.bin", bytes);
  AbtBuildInput parsed;
  const bool readable = ParseBuildInput(bytes, &parsed);

  ComponentHandle handle{};
  CAdaptiveBinaryTree* tree = s.MakeTree(&handle);
  const bool render = tree->BuildRenderGeometry("i.bin", nullptr, "o.geo");
  const bool collision = tree->BuildCollisionTree("i.bin", "o.collision");
  const bool occluder = tree->BuildOccluderTree("i.bin", "o.occluder");
  if (!readable) {
    FUZZ_CHECK(!render && !collision && !occluder, "a build took an input the reader refuses");
    for (const char* out : {"o.geo", "o.collision", "o.occluder"})
      FUZZ_CHECK(!std::filesystem::exists(s.tree.dir.path / out), "a refused input left a file");
  } else {
    FUZZ_CHECK(collision && occluder, "a readable input did not build its trees");
    FUZZ_CHECK(tree->LoadCollisionTree("o.collision"), "a built collision tree does not load");
    FUZZ_CHECK(tree->LoadOccluderTree("o.occluder"), "a built occluder tree does not load");
    if (render && tree->Load("o.geo", 0)) tree->RebuildRenderTree();
  }
  s.DestroyTree(handle);
  return 0;
}
