// The media file sources over FFmpeg: the input is a file of any container. Loading it through
// the reader either fails with an error code or gives output pins, each named after its stream
// and holding a media type; the source lets go of every reference it took.
#include <cstdint>
#include <string>

#include "dshow/filter_graph.h"
#include "dshow/media_file_source.h"
#include "fuzz_support.h"
#include "win32/file_system.h"

namespace {

struct State {
  fuzz::ScratchRoot root;
  State() { win32::SetResourceRoot(root.path()); }
};

State& Shared() {
  static State* state = new State;
  return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = Shared();
  s.root.Put("clip.bin", std::string(fuzz::AsText(data, size)));
  IBaseFilter* reader = nullptr;
  FUZZ_CHECK(CoCreateInstance(CLSID_WMAsfReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void**>(&reader)) == S_OK,
             "the reader could not be made");
  IFileSourceFilter* loader = nullptr;
  FUZZ_CHECK(reader->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&loader)) == S_OK,
             "the reader loads no files");
  const HRESULT hr = loader->Load(L"CLIP.BIN", nullptr);
  loader->Release();
  IEnumPins* pins = nullptr;
  FUZZ_CHECK(reader->EnumPins(&pins) == S_OK, "the reader lists no pins");
  int count = 0;
  for (IPin* pin = nullptr; pins->Next(1, &pin, nullptr) == S_OK; pin = nullptr) {
    ++count;
    PIN_INFO info{};
    FUZZ_CHECK(pin->QueryPinInfo(&info) == S_OK, "a pin without its info");
    if (info.pFilter) info.pFilter->Release();
    const std::wstring name(info.achName);
    FUZZ_CHECK(info.dir == PINDIR_OUTPUT, "a source pin that is not an output");
    FUZZ_CHECK(name.rfind(L"Raw Video ", 0) == 0 || name.rfind(L"Raw Audio ", 0) == 0, "a pin not named after its stream");
    pin->Release();
  }
  pins->Release();
  FUZZ_CHECK(SUCCEEDED(hr) || count == 0, "a file that did not load offers pins");
  FUZZ_CHECK(reader->Release() == 0, "the reader kept a reference of its own");
  return 0;
}
