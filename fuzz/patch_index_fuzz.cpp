// The terrain's patch index file, "TerrainPatchIndexInfo.dat" at the root of the tree: the input
// is the file. The terrain manager reads it in its Init whatever it holds, never past its end,
// and gives back every block and buffer when it is destroyed.
#include <cstdint>
#include <memory>
#include <string>

#include "frame/dma_interface.h"
#include "module_fuzz_host.h"
#include "host/standard_host.h"

namespace {

struct State : fuzz::ModuleFuzzHost {
  size_t baseBlocks = standard->host.Allocator().LiveBlocks();
};


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = fuzz::Once<State>();
  s.root.Put("TerrainPatchIndexInfo.dat", std::string(fuzz::AsText(data, size)));
  host::ReferenceHost& h = s.standard->host;
  const size_t buffers = s.standard->renderer.LiveBuffers();
  ComponentHandle handle{};
  h.CreateObject(&handle, "CTerrainManager");
  FUZZ_CHECK(h.GetObject(&handle) != nullptr, "no terrain manager was made");
  h.DestroyObject(handle);
  FUZZ_CHECK(s.standard->renderer.LiveBuffers() == buffers, "the terrain kept renderer buffers");
  FUZZ_CHECK(h.Allocator().LiveBlocks() == s.baseBlocks, "the terrain kept host blocks");
  h.ClearLog();
  return 0;
}
