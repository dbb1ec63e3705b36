// Shared pieces of the video tests: a reference host with the renderer service, media types
// and samples made by hand, and a scripted push source of video and sound.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "dshow/filter_graph.h"
#include "dshow/push_source.h"
#include "dshow/streaming.h"
#include "host/renderer.h"
#include "support/module_host.h"
#include "support/wait.h"
#include "video/texture_renderer.h"
#include "win32/win32_state.h"

namespace video_testing {

// The module in a reference host whose "dx8render" is a real renderer over the host device.
struct VideoHost {
  testing_support::ModuleHost module;
  host::Renderer renderer;

  explicit VideoHost(bool withRenderer = true) {
    if (withRenderer) module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  }
  host::Device& Device() { return renderer.device(); }
  size_t LiveTextures() { return Device().LiveTextures(D3DPOOL_MANAGED); }
};

// Every streaming thread waits for the clock, is held, or has ended.
inline ::testing::AssertionResult StreamingIdle() {
  return testing_support::Await("every streaming thread idle", dshow::WaitForStreamingIdle);
}

inline LONG Rgb24Pitch(LONG width) { return (3 * width + 3) & ~3; }

// A video type with a VideoInfo block; formatLength cuts (or 0 drops) the block.
inline CMediaType VideoType(LONG width, LONG height, const GUID& subtype = MEDIASUBTYPE_RGB24,
                            ULONG formatLength = sizeof(VIDEOINFOHEADER)) {
  CMediaType type;
  type.SetType(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  VIDEOINFOHEADER info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = subtype == MEDIASUBTYPE_RGB32 ? 32 : subtype == MEDIASUBTYPE_I420 ? 12 : 24;
  if (formatLength) {
    std::vector<BYTE> block(formatLength);
    std::memcpy(block.data(), &info, std::min<size_t>(formatLength, sizeof info));
    type.SetFormat(block.data(), formatLength);
  }
  return type;
}

inline CMediaType PcmType(WORD channels = 1, DWORD rate = 8000) {
  CMediaType type;
  type.SetType(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_PCM);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  WAVEFORMATEX format{WAVE_FORMAT_PCM, channels, rate, rate * 2u * channels, static_cast<WORD>(2 * channels), 16, 0};
  type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
  return type;
}

// A sample over bytes the test owns; it lives on the stack and counts nothing.
class PlainSample final : public IMediaSample {
 public:
  explicit PlainSample(std::vector<BYTE> bytes) : bytes_(std::move(bytes)), length_(static_cast<LONG>(bytes_.size())) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetPointer(BYTE** buffer) override {
    *buffer = bytes_.data();
    return S_OK;
  }
  LONG GetSize() override { return static_cast<LONG>(bytes_.size()); }
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override {
    if (!timed_) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = start_;
    *end = end_;
    return S_OK;
  }
  HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* end) override {
    timed_ = start != nullptr;
    start_ = start ? *start : 0;
    end_ = end ? *end : start_;
    return S_OK;
  }
  LONG GetActualDataLength() override { return length_; }
  HRESULT SetActualDataLength(LONG length) override {
    length_ = length;
    return S_OK;
  }
  std::vector<BYTE>& Bytes() { return bytes_; }

 private:
  std::vector<BYTE> bytes_;
  LONG length_;
  bool timed_ = false;
  REFERENCE_TIME start_ = 0, end_ = 0;
};

// Frame `frame` of a scripted video: the pixel in picture row y (0 the top), column x has
// blue = frame, green = x, red = y (each mod 256).
struct Bgr {
  BYTE b, g, r;
};
inline Bgr ScriptedPixel(int frame, int x, int y) {
  return {static_cast<BYTE>(frame), static_cast<BYTE>(x), static_cast<BYTE>(y)};
}

struct VideoScript {
  GUID subtype = MEDIASUBTYPE_RGB24;
  LONG width = 8;
  LONG height = 4;  // RGB types are stored bottom-up
  int frames = 10;
  REFERENCE_TIME period = UNITS / 10;
};

struct AudioScript {
  int blocks = 10;          // of 800 values at 8000 Hz: 0.1 s each
  int16_t amplitude = 8192;  // a square wave of this height
};

inline constexpr CLSID kScriptedSourceClass = {0x5A5A0001, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};


class ScriptedVideoPin final : public CPushSourcePin {
 public:
  ScriptedVideoPin(CPushSource* source, const VideoScript& script) : CPushSourcePin(L"Video", source), script_(script) {}

  HRESULT CheckMediaType(const CMediaType* type) override { return *type->Subtype() == script_.subtype ? S_OK : E_FAIL; }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position != 0) return S_FALSE;
    *type = VideoType(script_.width, script_.height, script_.subtype);
    return S_OK;
  }
  LONG FrameSize() const {
    const LONG w = script_.width, h = std::abs(script_.height);
    if (script_.subtype == MEDIASUBTYPE_I420) return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    if (script_.subtype == MEDIASUBTYPE_RGB32) return 4 * w * h;
    return Rgb24Pitch(w) * h;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 1;
    request->cbBuffer = FrameSize();
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }
  HRESULT FillBuffer(IMediaSample* sample) override {
    if (next_ >= script_.frames) return S_FALSE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const LONG w = script_.width, h = std::abs(script_.height);
    if (script_.subtype == MEDIASUBTYPE_I420) {
      // Grey levels: luma carries the frame number, chroma is neutral.
      std::memset(data, 16 + next_ % 200, static_cast<size_t>(w * h));
      std::memset(data + w * h, 128, static_cast<size_t>(FrameSize() - w * h));
    } else {
      const bool rgb32 = script_.subtype == MEDIASUBTYPE_RGB32;
      const LONG pitch = rgb32 ? 4 * w : Rgb24Pitch(w);
      for (LONG stored = 0; stored < h; ++stored) {
        const LONG y = script_.height > 0 ? h - 1 - stored : stored;  // bottom-up when positive
        for (LONG x = 0; x < w; ++x) {
          const Bgr p = ScriptedPixel(next_, x, y);
          BYTE* at = data + stored * pitch + (rgb32 ? 4 : 3) * x;
          at[0] = p.b, at[1] = p.g, at[2] = p.r;
          if (rgb32) at[3] = 0xFF;
        }
      }
    }
    const REFERENCE_TIME start = next_ * script_.period - position_, end = start + script_.period;
    sample->SetTime(&start, &end);
    sample->SetActualDataLength(FrameSize());
    ++next_;
    ++filled;
    return S_OK;
  }
  HRESULT SetPosition(REFERENCE_TIME position) override {
    position_ = position;
    next_ = static_cast<int>(position / script_.period);
    return S_OK;
  }
  REFERENCE_TIME Duration() override { return script_.frames * script_.period; }

  std::atomic<int> filled{0};

 private:
  VideoScript script_;
  int next_ = 0;
  REFERENCE_TIME position_ = 0;
};

class ScriptedAudioPin final : public CPushSourcePin {
 public:
  static constexpr LONG kBlock = 800;
  static constexpr REFERENCE_TIME kBlockTime = UNITS / 10;

  ScriptedAudioPin(CPushSource* source, const AudioScript& script) : CPushSourcePin(L"Audio", source), script_(script) {}

  HRESULT CheckMediaType(const CMediaType* type) override { return *type->Type() == MEDIATYPE_Audio ? S_OK : E_FAIL; }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position != 0) return S_FALSE;
    *type = PcmType();
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 1;
    request->cbBuffer = 2 * kBlock;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }
  HRESULT FillBuffer(IMediaSample* sample) override {
    if (next_ >= script_.blocks) return S_FALSE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    for (LONG i = 0; i < kBlock; ++i) {
      const int16_t value = (i / 10) % 2 ? script_.amplitude : static_cast<int16_t>(-script_.amplitude);
      std::memcpy(data + 2 * i, &value, 2);
    }
    const REFERENCE_TIME start = next_ * kBlockTime - position_, end = start + kBlockTime;
    sample->SetTime(&start, &end);
    sample->SetActualDataLength(2 * kBlock);
    ++next_;
    return S_OK;
  }
  HRESULT SetPosition(REFERENCE_TIME position) override {
    position_ = position;
    next_ = static_cast<int>(position / kBlockTime);
    return S_OK;
  }
  REFERENCE_TIME Duration() override { return script_.blocks * kBlockTime; }

 private:
  AudioScript script_;
  int next_ = 0;
  REFERENCE_TIME position_ = 0;
};

// A source with a "Video" pin and, when asked, an "Audio" pin. `alive` counts live sources.
class ScriptedSource final : public CPushSource, public IFileSourceFilter {
 public:
  static inline std::atomic<int> alive{0};
  // What a source made by CoCreateInstance plays.
  static inline VideoScript nextVideo{};

  explicit ScriptedSource(const VideoScript& video, const AudioScript* audio = nullptr)
      : CPushSource(L"Scripted", nullptr, kScriptedSourceClass) {
    video_ = new ScriptedVideoPin(this, video);
    AddPin(video_);
    if (audio) AddPin(new ScriptedAudioPin(this, *audio));
    ++alive;
  }
  ~ScriptedSource() override { --alive; }
  DSHOW_DECLARE_IUNKNOWN

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object && iid == IID_IFileSourceFilter) return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    return CPushSource::NonDelegatingQueryInterface(iid, object);
  }
  HRESULT Load(LPCWSTR file, const AM_MEDIA_TYPE*) override {
    loaded = file;
    return std::wcsstr(file, L"missing") ? E_FAIL : S_OK;
  }

  static HRESULT Make(REFIID iid, void** object) {
    auto* source = new ScriptedSource(nextVideo);
    source->NonDelegatingAddRef();
    const HRESULT hr = source->NonDelegatingQueryInterface(iid, object);
    source->NonDelegatingRelease();
    return hr;
  }

  IPin* Pin(const wchar_t* name) {
    IPin* pin = nullptr;
    FindPin(name, &pin);
    return pin;
  }
  int Filled() const { return video_->filled.load(); }

  std::wstring loaded;

 private:
  ScriptedVideoPin* video_;
};

// Holds one reference and releases it at scope end.
template <typename T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  explicit Ref(T* taken) : p(taken) {}
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  T* operator->() const { return p; }
  T** out() {
    reset();
    return &p;
  }
  void** vout() { return reinterpret_cast<void**>(out()); }
};

}  // namespace video_testing
