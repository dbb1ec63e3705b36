// The audio renderer: 16-bit PCM samples scaled by the volume, counted and measured.
#include <cmath>

#include "dshow/filter_graph.h"
#include "dshow/renderer.h"

namespace {

constexpr CLSID kAudioRendererClass = {0x3F6C1C01, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x02, 0x01}};

class AudioRenderer final : public CBaseRenderer, public IBasicAudio, public IAudioMeter {
 public:
  AudioRenderer() : CBaseRenderer(kAudioRendererClass, L"Audio Renderer", nullptr, nullptr) {}
  DSHOW_DECLARE_IUNKNOWN

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object && iid == IID_IBasicAudio) return GetInterface(static_cast<IBasicAudio*>(this), object);
    if (object && iid == IID_IAudioMeter) return GetInterface(static_cast<IAudioMeter*>(this), object);
    return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT CheckMediaType(const CMediaType* type) override {
    if (!(type->majortype == MEDIATYPE_Audio) || !(type->subtype == MEDIASUBTYPE_PCM)) return E_FAIL;
    if (!(type->formattype == FORMAT_WaveFormatEx) || !type->pbFormat || type->cbFormat < sizeof(WAVEFORMATEX))
      return E_INVALIDARG;
    WAVEFORMATEX format;
    std::memcpy(&format, type->pbFormat, sizeof format);
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 || format.nChannels == 0) return E_FAIL;
    return S_OK;
  }

  HRESULT DoRenderSample(IMediaSample* sample) override {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return E_FAIL;
    const LONG values = sample->GetActualDataLength() / 2;
    std::lock_guard<std::mutex> lock(mutex_);
    const double gain = std::pow(10.0, volume_ / 2000.0);
    for (LONG i = 0; i < values; ++i) {
      int16_t value;
      std::memcpy(&value, data + 2 * i, 2);
      const double played = value * gain / 32768.0;
      squares_ += played * played;
    }
    values_ += values;
    return S_OK;
  }

  HRESULT put_Volume(LONG volume) override {
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    volume_ = volume;
    return S_OK;
  }

  HRESULT get_Volume(LONG* volume) override {
    if (!volume) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *volume = volume_;
    return S_OK;
  }

  HRESULT GetLevels(LONGLONG* values, double* rms) override {
    if (!values || !rms) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *values = values_;
    *rms = values_ ? std::sqrt(squares_ / static_cast<double>(values_)) : 0.0;
    return S_OK;
  }

 private:
  std::mutex mutex_;
  LONG volume_ = 0;
  LONGLONG values_ = 0;
  double squares_ = 0.0;
};

}  // namespace

namespace dshow {

IBaseFilter* CreateAudioRenderer() {
  auto* renderer = new AudioRenderer;
  renderer->AddRef();
  return renderer;
}

}  // namespace dshow
