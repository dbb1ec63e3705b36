// The media file sources over FFmpeg: the input is a file of any container. Loading it through
// the reader either fails with an error code or gives output pins, each named after its stream
// and holding a media type; the source lets go of every reference it took. A clip that opens
// is then played through a video texture manager on the manual clock: its frames stream into the
// texture renderer until the graph reports the end or a few seconds of it have played, and
// releasing the graph leaves no streaming thread.
#include <cstdint>
#include <string>

#include "dshow/filter_graph.h"
#include "dshow/media_file_source.h"
#include "dshow/streaming.h"
#include "frame/component_base.h"
#include "module_fuzz_host.h"
#include "video/texture_renderer.h"
#include "video/video_texture_manager.h"
#include "win32/file_system.h"
#include "win32/win32_state.h"

namespace {

// Pictures larger than this are not played: the work a frame takes grows with its size.
constexpr int64_t kMostPixels = 512 * 512;
constexpr int kMostTicks = 30;  // of 100 ms each
constexpr DWORD kSettleMs = 20000;

struct State : fuzz::ModuleFuzzHost {
  ComponentHandle handle{};
  CVideoTextureManager* manager = nullptr;
  bool ended = false;
  State() {
    win32::SetResourceRoot(root.path());
    win32::UseManualClock(0);
    standard->host.CreateObject(&handle, "CVideoTextureManager");
    manager = static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(standard->host.GetObject(&handle)));
    FUZZ_CHECK(manager != nullptr, "no video texture manager was made");
    manager->AddListener(&Heard, this);
  }
  static void Heard(int code, void* context) {
    if (code == 1) static_cast<State*>(context)->ended = true;
  }
};

// The reader's pins: their count and the name of the first sound pin ("" when none).
int ReaderPins(HRESULT* loaded, std::wstring* audio) {
  IBaseFilter* reader = nullptr;
  FUZZ_CHECK(CoCreateInstance(CLSID_WMAsfReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void**>(&reader)) == S_OK,
             "the reader could not be made");
  IFileSourceFilter* loader = nullptr;
  FUZZ_CHECK(reader->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&loader)) == S_OK,
             "the reader loads no files");
  *loaded = loader->Load(L"CLIP.BIN", nullptr);
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
    if (audio->empty() && name.rfind(L"Raw Audio ", 0) == 0) *audio = name;
    pin->Release();
  }
  pins->Release();
  FUZZ_CHECK(reader->Release() == 0, "the reader kept a reference of its own");
  return count;
}

// The file source's first video stream into the texture renderer, its first sound to the
// audio renderer.
void Stream(State& s, const std::wstring& audio) {
  CVideoTextureManager* manager = s.manager;
  s.ended = false;
  if (manager->SetVideoInTexture(L"CLIP.BIN", L"Output", 1, audio.empty() ? nullptr : audio.c_str()) == S_OK &&
      int64_t{manager->Renderer()->videoWidth} * manager->Renderer()->videoHeight <= kMostPixels) {
    const CTextureRenderer* renderer = manager->Renderer();
    manager->Play();
    for (int tick = 0; tick < kMostTicks && !s.ended; ++tick) {
      win32::AdvanceManualClock(100);
      FUZZ_CHECK(dshow::WaitForStreamingIdle(kSettleMs), "streaming did not settle");
      s.standard->host.Execute(16);
    }
    IDirect3DTexture8* shown = manager->LockTexture(nullptr);
    FUZZ_CHECK(shown == nullptr || shown == renderer->textureA || shown == renderer->textureB,
               "the current texture is neither of the renderer's two");
    manager->UnlockTexture();
  }
  manager->ReleaseGraph();
  FUZZ_CHECK(dshow::StreamingThreadCount() == 0, "a streaming thread outlived its graph");
  s.standard->host.ClearMessages();
  s.standard->host.ClearLog();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = fuzz::Once<State>();
  s.root.Put("clip.bin", std::string(fuzz::AsText(data, size)));
  HRESULT loaded = S_OK;
  std::wstring audio;
  const int pins = ReaderPins(&loaded, &audio);
  FUZZ_CHECK(SUCCEEDED(loaded) || pins == 0, "a file that did not load offers pins");
  if (pins > 0) Stream(s, audio);
  return 0;
}
