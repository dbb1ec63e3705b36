// The colour converter the graph puts between a video source and a renderer that takes only
// RGB24: planar YUV 4:2:0 or RGB32 in, RGB24 out, bottom-up with rows padded to 4 bytes.
#include "dshow/filter_graph.h"
#include "dshow/base_filter.h"
#include "dshow/media_libraries.h"

#include <vector>

namespace {

using dshow::Media;

constexpr CLSID kConverterClass = {0x3F6C1C02, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x02, 0x02}};
constexpr LONG kLargestSide = 16384;

LONG Rgb24Stride(LONG width) { return (3 * width + 3) & ~3; }

// The picture of a VideoInfo type, or false when the block is missing or short.
bool ReadVideoInfo(const CMediaType* type, VIDEOINFOHEADER* info) {
  if (!(type->formattype == FORMAT_VideoInfo) || !type->pbFormat || type->cbFormat < sizeof(VIDEOINFOHEADER))
    return false;
  std::memcpy(info, type->pbFormat, sizeof *info);
  return true;
}

class ColourConverter;

class ConverterInput final : public CBaseInputPin {
 public:
  ConverterInput(ColourConverter* converter);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT BreakConnect() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

 private:
  ColourConverter* converter_;
};

class ConverterOutput final : public CBaseOutputPin {
 public:
  ConverterOutput(ColourConverter* converter);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  ColourConverter* converter_;
};

class ColourConverter final : public CBaseFilter {
 public:
  ColourConverter() : CBaseFilter(L"Colour Converter", nullptr, kConverterClass), input_(this), output_(this) {}
  ~ColourConverter() override { Reset(); }

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override {
    return index == 0 ? static_cast<CBasePin*>(&input_) : index == 1 ? static_cast<CBasePin*>(&output_) : nullptr;
  }

  bool Configure(const CMediaType* type) {
    VIDEOINFOHEADER info;
    if (!ReadVideoInfo(type, &info) || !dshow::LoadMediaLibraries()) return false;
    Reset();
    width_ = info.bmiHeader.biWidth;
    height_ = std::abs(info.bmiHeader.biHeight);
    topDown_ = type->subtype == MEDIASUBTYPE_I420 || info.bmiHeader.biHeight < 0;
    yuv_ = type->subtype == MEDIASUBTYPE_I420;
    context_ = Media().sws_getContext(width_, height_, yuv_ ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_BGR0, width_, height_,
                              AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    return context_ != nullptr;
  }

  void Reset() {
    if (context_) Media().sws_freeContext(context_);
    context_ = nullptr;
  }

  // Bytes of one input picture.
  LONG InputSize() const {
    if (!yuv_) return 4 * width_ * height_;
    const LONG chroma = ((width_ + 1) / 2) * ((height_ + 1) / 2);
    return width_ * height_ + 2 * chroma;
  }
  LONG OutputSize() const { return Rgb24Stride(width_) * height_; }

  HRESULT Convert(IMediaSample* in) {
    BYTE* source = nullptr;
    if (FAILED(in->GetPointer(&source)) || in->GetActualDataLength() < InputSize()) return E_FAIL;
    IMediaSample* out = nullptr;
    HRESULT hr = output_.GetDeliveryBuffer(&out);
    if (FAILED(hr)) return hr;
    BYTE* target = nullptr;
    out->GetPointer(&target);
    // The scaler reads and writes whole vector words past the end of a row, so it works on
    // padded copies and never on the samples themselves.
    const uint8_t* planes[4] = {};
    int strides[4] = {};
    const LONG chromaWidth = (width_ + 1) / 2, chromaHeight = (height_ + 1) / 2;
    const LONG rowBytes[3] = {yuv_ ? width_ : 4 * width_, chromaWidth, chromaWidth};
    const LONG rows[3] = {height_, chromaHeight, chromaHeight};
    const BYTE* from = source;
    size_t offset = 0;
    const int planeCount = yuv_ ? 3 : 1;
    for (int p = 0; p < planeCount; ++p) {
      strides[p] = Padded(rowBytes[p]);
      offset += static_cast<size_t>(strides[p]) * rows[p] + kSlack;
    }
    in_.resize(offset);
    offset = 0;
    for (int p = 0; p < planeCount; ++p) {
      uint8_t* plane = in_.data() + offset;
      for (LONG row = 0; row < rows[p]; ++row) {
        // Bottom-up RGB32 is turned top-down here, so that the picture's top row comes first.
        const LONG stored = !yuv_ && !topDown_ ? rows[p] - 1 - row : row;
        std::memcpy(plane + static_cast<size_t>(row) * strides[p], from + static_cast<size_t>(stored) * rowBytes[p],
                    static_cast<size_t>(rowBytes[p]));
      }
      from += static_cast<size_t>(rowBytes[p]) * rows[p];
      planes[p] = plane;
      offset += static_cast<size_t>(strides[p]) * rows[p] + kSlack;
    }
    const int outStride = Padded(3 * width_);
    out_.resize(static_cast<size_t>(outStride) * height_ + kSlack);
    uint8_t* outPlanes[4] = {out_.data(), nullptr, nullptr, nullptr};
    int outStrides[4] = {outStride, 0, 0, 0};
    Media().sws_scale(context_, planes, strides, 0, height_, outPlanes, outStrides);
    // The output is bottom-up: the picture's top row is the last stored row; the padding
    // bytes of each row are zero, not whatever the buffer last held.
    const LONG stride = Rgb24Stride(width_);
    for (LONG row = 0; row < height_; ++row) {
      BYTE* to = target + static_cast<size_t>(height_ - 1 - row) * stride;
      std::memcpy(to, out_.data() + static_cast<size_t>(row) * outStride, static_cast<size_t>(3 * width_));
      std::memset(to + 3 * width_, 0, static_cast<size_t>(stride - 3 * width_));
    }
    REFERENCE_TIME start = 0, end = 0;
    if (SUCCEEDED(in->GetTime(&start, &end)))
      out->SetTime(&start, &end);
    else
      out->SetTime(nullptr, nullptr);
    out->SetActualDataLength(OutputSize());
    hr = output_.Deliver(out);
    out->Release();
    return hr;
  }

  ConverterInput input_;
  ConverterOutput output_;
  LONG width_ = 0, height_ = 0;

 private:
  static constexpr size_t kSlack = 64;
  static int Padded(LONG bytes) { return static_cast<int>((bytes + 63) & ~63); }

  bool topDown_ = true;
  bool yuv_ = true;
  SwsContext* context_ = nullptr;
  std::vector<uint8_t> in_, out_;
};

ConverterInput::ConverterInput(ColourConverter* converter) : CBaseInputPin(L"Input", converter), converter_(converter) {}

HRESULT ConverterInput::CheckMediaType(const CMediaType* type) {
  if (!(type->majortype == MEDIATYPE_Video)) return E_FAIL;
  if (!(type->subtype == MEDIASUBTYPE_I420) && !(type->subtype == MEDIASUBTYPE_RGB32)) return E_FAIL;
  VIDEOINFOHEADER info;
  if (!ReadVideoInfo(type, &info)) return E_INVALIDARG;
  const LONG height = std::abs(info.bmiHeader.biHeight);
  if (info.bmiHeader.biWidth < 1 || height < 1 || info.bmiHeader.biWidth > kLargestSide || height > kLargestSide)
    return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT ConverterInput::SetMediaType(const CMediaType* type) {
  if (!converter_->Configure(type)) return E_FAIL;
  return CBaseInputPin::SetMediaType(type);
}

HRESULT ConverterInput::BreakConnect() {
  converter_->Reset();
  return CBaseInputPin::BreakConnect();
}

HRESULT ConverterInput::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return converter_->Convert(sample);
}

HRESULT ConverterInput::EndOfStream() { return converter_->output_.DeliverEndOfStream(); }

HRESULT ConverterInput::BeginFlush() {
  CBaseInputPin::BeginFlush();
  IPin* peer = nullptr;
  if (SUCCEEDED(converter_->output_.ConnectedTo(&peer))) {
    peer->BeginFlush();
    peer->Release();
  }
  return S_OK;
}

HRESULT ConverterInput::EndFlush() {
  IPin* peer = nullptr;
  if (SUCCEEDED(converter_->output_.ConnectedTo(&peer))) {
    peer->EndFlush();
    peer->Release();
  }
  return CBaseInputPin::EndFlush();
}

ConverterOutput::ConverterOutput(ColourConverter* converter) : CBaseOutputPin(L"Output", converter), converter_(converter) {}

HRESULT ConverterOutput::GetMediaType(int position, CMediaType* type) {
  if (position != 0 || !converter_->input_.IsConnected()) return S_FALSE;
  *type = CMediaType();
  type->SetType(&MEDIATYPE_Video);
  type->SetSubtype(&MEDIASUBTYPE_RGB24);
  type->SetFormatType(&FORMAT_VideoInfo);
  VIDEOINFOHEADER info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = converter_->width_;
  info.bmiHeader.biHeight = converter_->height_;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(converter_->OutputSize());
  info.rcSource = {0, 0, converter_->width_, converter_->height_};
  info.rcTarget = info.rcSource;
  type->lSampleSize = info.bmiHeader.biSizeImage;
  if (!type->SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info)) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT ConverterOutput::CheckMediaType(const CMediaType* type) {
  VIDEOINFOHEADER info;
  if (!(type->majortype == MEDIATYPE_Video) || !(type->subtype == MEDIASUBTYPE_RGB24) || !ReadVideoInfo(type, &info))
    return E_FAIL;
  if (info.bmiHeader.biWidth != converter_->width_ || info.bmiHeader.biHeight != converter_->height_) return E_FAIL;
  return S_OK;
}

HRESULT ConverterOutput::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  request->cBuffers = 1;
  request->cbBuffer = converter_->OutputSize();
  ALLOCATOR_PROPERTIES actual{};
  return allocator->SetProperties(request, &actual);
}

}  // namespace

namespace dshow {

IBaseFilter* CreateColourConverter() {
  auto* converter = new ColourConverter;
  static_cast<IBaseFilter*>(converter)->AddRef();
  return converter;
}

}  // namespace dshow
