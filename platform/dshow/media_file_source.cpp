// The file sources over libavformat and libavcodec. One demuxer feeds every pin: a pin's
// streaming thread reads packets until its own decoder gives a frame, and keeps the packets of
// the other active streams in their queues. Every FFmpeg context is used under the file's one
// mutex, so each is used by one thread at a time.
#include "dshow/media_file_source.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "dshow/errors.h"
#include "dshow/filter_graph.h"
#include "dshow/media_libraries.h"
#include "dshow/push_source.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace {

using dshow::Media;

constexpr AVRational kUnits = {1, static_cast<int>(UNITS)};
constexpr LONG kLargestSide = 16384;
constexpr int kMostDamagedFrames = 64;

std::string Utf8(LPCWSTR text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes - 1));
  return out;
}

struct PacketFree {
  void operator()(AVPacket* packet) const { Media().av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;

// A stream the file offers and its decoder.
struct StreamState {
  int index = 0;
  AVStream* stream = nullptr;
  AVCodecContext* codec = nullptr;
  std::deque<Packet> packets;
  bool active = false;   // a pin streams it: its packets are kept
  bool drained = false;  // the end of the file was sent to the decoder
};

class MediaFile {
 public:
  ~MediaFile() {
    for (auto& stream : streams_) Media().avcodec_free_context(&stream.codec);
    if (format_) Media().avformat_close_input(&format_);
  }

  HRESULT Open(LPCWSTR name) {
    const std::string resolved = win32::ResolvePath(win32::GetResourceRoot(), Utf8(name).c_str(), win32::PathMode::Read);
    // A name the resolver refused says why: no such file or folder, or a path out of the root.
    if (resolved.empty()) return GetLastError() != 0 ? HRESULT_FROM_WIN32(GetLastError()) : HRESULT_FILE_NOT_FOUND;
    // The library would wait on a pipe for ever; it streams what it reads, so no size is too large.
    if (win32::CheckRegularFile(resolved, UINT64_MAX) != win32::FileRead::Read) return VFW_E_INVALID_FILE_FORMAT;
    if (!dshow::LoadMediaLibraries()) return HRESULT_MODULE_NOT_FOUND;
    AVDictionary* options = nullptr;
    Media().av_dict_set(&options, "protocol_whitelist", "file", 0);
    const std::string url = "file:" + resolved;
    const int opened = Media().avformat_open_input(&format_, url.c_str(), nullptr, &options);
    Media().av_dict_free(&options);
    if (opened < 0) return VFW_E_INVALID_FILE_FORMAT;
    if (Media().avformat_find_stream_info(format_, nullptr) < 0) return VFW_E_INVALID_FILE_FORMAT;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      AVStream* stream = format_->streams[i];
      const AVMediaType kind = stream->codecpar->codec_type;
      if (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO) continue;
      const AVCodec* decoder = Media().avcodec_find_decoder(stream->codecpar->codec_id);
      if (!decoder) continue;
      AVCodecContext* codec = Media().avcodec_alloc_context3(decoder);
      if (!codec) continue;
      codec->thread_count = 1;
      if (Media().avcodec_parameters_to_context(codec, stream->codecpar) < 0 ||
          Media().avcodec_open2(codec, decoder, nullptr) < 0 || !Usable(codec)) {
        Media().avcodec_free_context(&codec);
        continue;
      }
      StreamState state;
      state.index = static_cast<int>(i);
      state.stream = stream;
      state.codec = codec;
      streams_.push_back(std::move(state));
    }
    return streams_.empty() ? VFW_E_INVALID_FILE_FORMAT : S_OK;
  }

  std::mutex& Mutex() { return mutex_; }
  std::deque<StreamState>& Streams() { return streams_; }

  REFERENCE_TIME Duration() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (format_->duration != AV_NOPTS_VALUE) return Media().av_rescale_q(format_->duration, AV_TIME_BASE_Q, kUnits);
    REFERENCE_TIME longest = 0;
    for (auto& state : streams_)
      if (state.stream->duration != AV_NOPTS_VALUE)
        longest = std::max(longest, Media().av_rescale_q(state.stream->duration, state.stream->time_base, kUnits));
    return longest;
  }

  // Media time of a stream stamp: the stream's start time is time 0.
  REFERENCE_TIME MediaTime(const StreamState& state, int64_t stamp) const {
    const int64_t start = state.stream->start_time != AV_NOPTS_VALUE ? state.stream->start_time : 0;
    return Media().av_rescale_q(stamp - start, state.stream->time_base, kUnits);
  }

  // Every decoder starts again from the key frame at or before `position`. Mutex held.
  void Seek(REFERENCE_TIME position) {
    const int64_t start = format_->start_time != AV_NOPTS_VALUE ? format_->start_time : 0;
    const int64_t target = start + Media().av_rescale_q(position, kUnits, AV_TIME_BASE_Q);
    Media().av_seek_frame(format_, -1, target, AVSEEK_FLAG_BACKWARD);
    for (auto& state : streams_) {
      Media().avcodec_flush_buffers(state.codec);
      state.packets.clear();
      state.drained = false;
    }
    ended_ = false;
  }

  // The next decoded frame of `state` into `frame`: 0, or AVERROR_EOF once the stream is
  // drained. Mutex held.
  int Next(StreamState& state, AVFrame* frame) {
    for (int damaged = 0;;) {
      const int received = Media().avcodec_receive_frame(state.codec, frame);
      if (received == 0 || received == AVERROR_EOF) return received;
      // A damaged frame: the next one may decode, but a decoder that only fails has ended.
      if (received != AVERROR(EAGAIN)) {
        if (++damaged > kMostDamagedFrames) return AVERROR_EOF;
        continue;
      }
      Packet packet = Take(state);
      if (!packet) {
        if (state.drained) return AVERROR_EOF;
        // The end of the file: the decoder gives what it still holds, then its end.
        Media().avcodec_send_packet(state.codec, nullptr);
        state.drained = true;
        continue;
      }
      // A packet the decoder refuses is skipped; what follows it may decode.
      Media().avcodec_send_packet(state.codec, packet.get());
    }
  }

 private:
  static bool Usable(const AVCodecContext* codec) {
    if (codec->codec_type == AVMEDIA_TYPE_VIDEO)
      return codec->width > 0 && codec->height > 0 && codec->width <= kLargestSide && codec->height <= kLargestSide;
    return codec->sample_rate > 0 && codec->ch_layout.nb_channels > 0 && codec->ch_layout.nb_channels <= 8;
  }

  // The next packet of `state`, reading the file as far as needed; null at its end.
  Packet Take(StreamState& state) {
    while (state.packets.empty()) {
      if (ended_) return nullptr;
      Packet packet(Media().av_packet_alloc());
      if (!packet || Media().av_read_frame(format_, packet.get()) < 0) {
        // A file cut in its data ends where the damage starts.
        ended_ = true;
        return nullptr;
      }
      for (auto& other : streams_)
        if (other.index == packet->stream_index && other.active) {
          other.packets.push_back(std::move(packet));
          break;
        }
    }
    Packet packet = std::move(state.packets.front());
    state.packets.pop_front();
    return packet;
  }

  std::mutex mutex_;
  AVFormatContext* format_ = nullptr;
  std::deque<StreamState> streams_;
  bool ended_ = false;
};

class MediaFileSource;

// The pin of one stream. Its state is the file's and is used under the file's mutex.
class MediaPin : public CPushSourcePin {
 public:
  MediaPin(const wchar_t* name, CPushSource* source, std::shared_ptr<MediaFile> file, size_t stream)
      : CPushSourcePin(name, source), file_(std::move(file)), stream_(stream), frame_(Media().av_frame_alloc()) {}
  ~MediaPin() override {
    StopStreaming();
    Media().av_frame_free(&frame_);
  }

  HRESULT CheckMediaType(const CMediaType* type) override {
    CMediaType own;
    if (GetMediaType(0, &own) != S_OK) return E_FAIL;
    return *type->Type() == *own.Type() && *type->Subtype() == *own.Subtype() ? S_OK : E_FAIL;
  }

  HRESULT Active() override {
    {
      std::lock_guard<std::mutex> lock(file_->Mutex());
      State().active = true;
    }
    return CPushSourcePin::Active();
  }

  HRESULT Inactive() override {
    const HRESULT hr = CPushSourcePin::Inactive();
    std::lock_guard<std::mutex> lock(file_->Mutex());
    State().active = false;
    State().packets.clear();
    return hr;
  }

  HRESULT SetPosition(REFERENCE_TIME position) override {
    std::lock_guard<std::mutex> lock(file_->Mutex());
    file_->Seek(position);
    position_ = position;
    Reset();
    return S_OK;
  }

  REFERENCE_TIME Duration() override { return file_->Duration(); }

 protected:
  StreamState& State() { return file_->Streams()[stream_]; }
  AVCodecContext* Codec() { return State().codec; }
  // Forgets what was decoded ahead of a seek. Mutex held.
  virtual void Reset() {}

  std::shared_ptr<MediaFile> file_;
  size_t stream_;
  AVFrame* frame_;
  REFERENCE_TIME position_ = 0;  // media time of stream time 0
};

class VideoPin final : public MediaPin {
 public:
  VideoPin(const wchar_t* name, CPushSource* source, std::shared_ptr<MediaFile> file, size_t stream)
      : MediaPin(name, source, std::move(file), stream) {
    const AVCodecContext* codec = Codec();
    width_ = codec->width;
    height_ = codec->height;
    // Planar 4:2:0 goes out as it is decoded; every other picture as 32-bit RGB.
    yuv_ = codec->pix_fmt == AV_PIX_FMT_YUV420P || codec->pix_fmt == AV_PIX_FMT_YUVJ420P;
    target_ = yuv_ ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_BGR0;
    AVRational rate = State().stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = State().stream->r_frame_rate;
    period_ = rate.num > 0 && rate.den > 0 ? Media().av_rescale_q(1, av_inv_q(rate), kUnits) : UNITS / 25;
  }
  ~VideoPin() override { Media().sws_freeContext(scaler_); }

  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position != 0) return S_FALSE;
    type->SetType(&MEDIATYPE_Video);
    type->SetSubtype(yuv_ ? &MEDIASUBTYPE_I420 : &MEDIASUBTYPE_RGB32);
    type->SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER info{};
    info.AvgTimePerFrame = period_;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    // RGB32 rows go out top-down.
    info.bmiHeader.biHeight = yuv_ ? height_ : -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = yuv_ ? 12 : 32;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(FrameSize());
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = static_cast<ULONG>(FrameSize());
    return type->SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info) ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 2;
    request->cbBuffer = FrameSize();
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }

  HRESULT FillBuffer(IMediaSample* sample) override {
    std::lock_guard<std::mutex> lock(file_->Mutex());
    for (;;) {
      const int got = file_->Next(State(), frame_);
      if (got == AVERROR_EOF) return S_FALSE;
      const int64_t stamp = frame_->best_effort_timestamp;
      REFERENCE_TIME start = stamp != AV_NOPTS_VALUE ? file_->MediaTime(State(), stamp) : next_;
      next_ = start + period_;
      // Frames before a seek's target are decoded only to reach it.
      if (start + period_ <= position_) {
        Media().av_frame_unref(frame_);
        continue;
      }
      BYTE* data = nullptr;
      const bool written = sample->GetPointer(&data) == S_OK && sample->GetSize() >= FrameSize() && Write(data);
      Media().av_frame_unref(frame_);
      if (!written) return E_FAIL;
      start -= position_;
      REFERENCE_TIME end = start + period_;
      sample->SetTime(&start, &end);
      sample->SetActualDataLength(FrameSize());
      return S_OK;
    }
  }

 private:
  LONG FrameSize() const {
    if (!yuv_) return 4 * width_ * height_;
    return width_ * height_ + 2 * ((width_ + 1) / 2) * ((height_ + 1) / 2);
  }

  void Reset() override { next_ = position_; }

  // The frame in the pin's layout: planes packed one after another, rows without padding.
  bool Write(BYTE* data) {
    uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
    int strides[4] = {yuv_ ? width_ : 4 * width_, 0, 0, 0};
    if (yuv_) {
      const int chromaWidth = (width_ + 1) / 2, chromaHeight = (height_ + 1) / 2;
      planes[1] = data + width_ * height_;
      planes[2] = planes[1] + chromaWidth * chromaHeight;
      strides[1] = strides[2] = chromaWidth;
    }
    if (frame_->format == target_ && frame_->width == width_ && frame_->height == height_) {
      Media().av_image_copy(planes, strides, const_cast<const uint8_t**>(frame_->data), frame_->linesize, target_, width_,
                            height_);
      return true;
    }
    // Another layout (or a size that changed midway) is scaled into the connected one.
    scaler_ = Media().sws_getCachedContext(scaler_, frame_->width, frame_->height,
                                           static_cast<AVPixelFormat>(frame_->format), width_, height_, target_,
                                           SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler_) return false;
    // The scaler may write whole vector words past a row's end: it works into a padded copy.
    const int padded[4] = {FFALIGN(strides[0], 64) , FFALIGN(strides[1], 64), FFALIGN(strides[2], 64), 0};
    const int rows[3] = {height_, (height_ + 1) / 2, (height_ + 1) / 2};
    const int count = yuv_ ? 3 : 1;
    size_t bytes = 0;
    for (int p = 0; p < count; ++p) bytes += static_cast<size_t>(padded[p]) * rows[p] + 64;
    scratch_.resize(bytes);
    uint8_t* into[4] = {};
    size_t offset = 0;
    for (int p = 0; p < count; ++p) {
      into[p] = scratch_.data() + offset;
      offset += static_cast<size_t>(padded[p]) * rows[p] + 64;
    }
    Media().sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, into, padded);
    for (int p = 0; p < count; ++p)
      for (int row = 0; row < rows[p]; ++row)
        std::memcpy(planes[p] + static_cast<size_t>(row) * strides[p], into[p] + static_cast<size_t>(row) * padded[p],
                    static_cast<size_t>(strides[p]));
    return true;
  }

  int width_ = 0, height_ = 0;
  bool yuv_ = false;
  AVPixelFormat target_ = AV_PIX_FMT_BGR0;
  REFERENCE_TIME period_ = 0;
  REFERENCE_TIME next_ = 0;
  SwsContext* scaler_ = nullptr;
  std::vector<uint8_t> scratch_;
};

class AudioPin final : public MediaPin {
 public:
  AudioPin(const wchar_t* name, CPushSource* source, std::shared_ptr<MediaFile> file, size_t stream)
      : MediaPin(name, source, std::move(file), stream) {
    channels_ = Codec()->ch_layout.nb_channels;
    rate_ = Codec()->sample_rate;
    Media().av_channel_layout_copy(&layout_, &Codec()->ch_layout);
  }
  ~AudioPin() override {
    Media().swr_free(&resampler_);
    Media().av_channel_layout_uninit(&layout_);
    Media().av_channel_layout_uninit(&inputLayout_);
  }

  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position != 0) return S_FALSE;
    type->SetType(&MEDIATYPE_Audio);
    type->SetSubtype(&MEDIASUBTYPE_PCM);
    type->SetFormatType(&FORMAT_WaveFormatEx);
    const WORD block = static_cast<WORD>(2 * channels_);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, static_cast<WORD>(channels_), static_cast<DWORD>(rate_),
                        static_cast<DWORD>(rate_) * block, block, 16, 0};
    return type->SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format) ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 4;
    request->cbBuffer = BufferBytes();
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }

  // Up to a buffer of the decoded sound, which may span frames or part of one.
  HRESULT FillBuffer(IMediaSample* sample) override {
    std::lock_guard<std::mutex> lock(file_->Mutex());
    const size_t block = 2 * static_cast<size_t>(channels_);
    const size_t wanted = static_cast<size_t>(BufferBytes()) / block * block;
    while (pending_.size() < wanted && !ended_) {
      const int got = file_->Next(State(), frame_);
      if (got == AVERROR_EOF) {
        ended_ = true;
        if (!Drain()) return E_FAIL;
        break;
      }
      const int64_t stamp = frame_->best_effort_timestamp;
      const REFERENCE_TIME start = stamp != AV_NOPTS_VALUE ? file_->MediaTime(State(), stamp) : PendingEnd();
      const int frameRate = frame_->sample_rate > 0 ? frame_->sample_rate : rate_;
      const bool early = start + Media().av_rescale(frame_->nb_samples, UNITS, frameRate) <= position_;
      if (!early) {
        if (pending_.empty()) pendingStart_ = start;
        if (!Convert()) {
          Media().av_frame_unref(frame_);
          return E_FAIL;
        }
      }
      Media().av_frame_unref(frame_);
    }
    if (pending_.empty()) return S_FALSE;
    const size_t bytes = std::min(pending_.size(), wanted);
    BYTE* data = nullptr;
    if (sample->GetPointer(&data) != S_OK || static_cast<size_t>(sample->GetSize()) < bytes) return E_FAIL;
    std::memcpy(data, pending_.data(), bytes);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(bytes));
    REFERENCE_TIME start = pendingStart_ - position_;
    pendingStart_ += Media().av_rescale(static_cast<int64_t>(bytes / block), UNITS, rate_);
    REFERENCE_TIME end = pendingStart_ - position_;
    sample->SetTime(&start, &end);
    sample->SetActualDataLength(static_cast<LONG>(bytes));
    return S_OK;
  }

 private:
  LONG BufferBytes() const { return std::max(4096, rate_ / 4 * 2 * channels_); }
  REFERENCE_TIME PendingEnd() const {
    return pendingStart_ + Media().av_rescale(static_cast<int64_t>(pending_.size() / (2 * channels_)), UNITS, rate_);
  }

  void Reset() override {
    pending_.clear();
    ended_ = false;
    pendingStart_ = position_;
    // What the resampler holds belongs before the seek.
    Media().swr_free(&resampler_);
  }

  // Appends the frame as interleaved 16-bit values in the connected rate and channels. A
  // stream whose rate, channels or sample format change midway gets a resampler made for the
  // frames that follow, once the one before has given up what it held.
  bool Convert() {
    const int frameRate = frame_->sample_rate > 0 ? frame_->sample_rate : rate_;
    if (Media().av_channel_layout_check(&frame_->ch_layout) != 1) return false;
    if (!resampler_ || frame_->format != inputFormat_ || frameRate != inputRate_ ||
        Media().av_channel_layout_compare(&frame_->ch_layout, &inputLayout_) != 0) {
      if (!Drain()) return false;
      if (Media().swr_alloc_set_opts2(&resampler_, &layout_, AV_SAMPLE_FMT_S16, rate_, &frame_->ch_layout,
                              static_cast<AVSampleFormat>(frame_->format), frameRate, 0, nullptr) < 0 ||
          Media().swr_init(resampler_) < 0) {
        Media().swr_free(&resampler_);
        return false;
      }
      inputFormat_ = frame_->format;
      inputRate_ = frameRate;
      Media().av_channel_layout_uninit(&inputLayout_);
      if (Media().av_channel_layout_copy(&inputLayout_, &frame_->ch_layout) < 0) return false;
    }
    return Resample(const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
  }

  // The rest of what the resampler holds, appended; the resampler is gone afterwards.
  bool Drain() {
    if (!resampler_) return true;
    const bool drained = Resample(nullptr, 0);
    Media().swr_free(&resampler_);
    return drained;
  }

  bool Resample(const uint8_t** in, int count) {
    const size_t block = 2 * static_cast<size_t>(channels_);
    const size_t before = pending_.size();
    const int room = Media().swr_get_out_samples(resampler_, count);
    if (room < 0) return false;
    if (room == 0) return true;
    pending_.resize(before + static_cast<size_t>(room) * block);
    uint8_t* out = pending_.data() + before;
    const int made = Media().swr_convert(resampler_, &out, room, in, count);
    if (made < 0) {
      pending_.resize(before);
      return false;
    }
    pending_.resize(before + static_cast<size_t>(made) * block);
    return true;
  }

  int channels_ = 0, rate_ = 0;
  AVChannelLayout layout_{};  // the connected one
  SwrContext* resampler_ = nullptr;
  int inputFormat_ = -1, inputRate_ = 0;
  AVChannelLayout inputLayout_{};
  std::vector<uint8_t> pending_;
  REFERENCE_TIME pendingStart_ = 0;
  bool ended_ = false;
};

class MediaFileSource final : public CPushSource, public IFileSourceFilter {
 public:
  MediaFileSource(REFCLSID clsid, bool reader) : CPushSource(nullptr, nullptr, clsid), reader_(reader) {}
  DSHOW_DECLARE_IUNKNOWN

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object && iid == IID_IFileSourceFilter) return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    return CPushSource::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT Load(LPCWSTR name, const AM_MEDIA_TYPE*) override {
    if (!name) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (loaded_) return VFW_E_WRONG_STATE;
    auto file = std::make_shared<MediaFile>();
    const HRESULT hr = file->Open(name);
    if (FAILED(hr)) return hr;
    bool outputNamed = false;
    for (size_t i = 0; i < file->Streams().size(); ++i) {
      const StreamState& state = file->Streams()[i];
      const bool video = state.codec->codec_type == AVMEDIA_TYPE_VIDEO;
      wchar_t pinName[MAX_PIN_NAME];
      std::swprintf(pinName, MAX_PIN_NAME, video ? L"Raw Video %d" : L"Raw Audio %d", state.index);
      if (video && !reader_ && !outputNamed) {
        std::wcscpy(pinName, L"Output");
        outputNamed = true;
      }
      if (video)
        AddPin(new VideoPin(pinName, this, file, i));
      else
        AddPin(new AudioPin(pinName, this, file, i));
    }
    loaded_ = true;
    return S_OK;
  }

 private:
  bool reader_;
  bool loaded_ = false;
};

template <bool Reader>
HRESULT MakeSource(REFIID iid, void** object) {
  auto* source = new MediaFileSource(Reader ? CLSID_WMAsfReader : CLSID_MediaFileSource, Reader);
  source->NonDelegatingAddRef();
  const HRESULT hr = source->NonDelegatingQueryInterface(iid, object);
  source->NonDelegatingRelease();
  return hr;
}

const bool g_registered = [] {
  dshow::RegisterMediaFileSources();
  return true;
}();

}  // namespace

namespace dshow {

void RegisterMediaFileSources() {
  RegisterClassMaker(CLSID_WMAsfReader, MakeSource<true>);
  RegisterClassMaker(CLSID_MediaFileSource, MakeSource<false>);
  RegisterFileSource(L"", CLSID_MediaFileSource);
}

}  // namespace dshow
