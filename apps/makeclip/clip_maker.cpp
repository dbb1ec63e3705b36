#include "apps/makeclip/clip_maker.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace clip {

Rgb PatternPixel(const ClipOptions& options, int frame, int x, int y) {
  const int w = options.width, h = options.height;
  if (y < h / 4) return {255, 0, 0};
  if (y >= h - h / 4) return {0, 0, 255};
  static const Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                               {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
  const int bar = std::min(7, x * 8 / w);
  const int middleRows = h - 2 * (h / 4);
  if (bar == 0 && y < h / 4 + middleRows / 2) {
    const auto grey = static_cast<uint8_t>((frame * 8) & 0xFF);
    return {grey, grey, grey};
  }
  return kBars[bar];
}

namespace {

struct Encoder {
  AVStream* stream = nullptr;
  AVCodecContext* codec = nullptr;
  ~Encoder() { avcodec_free_context(&codec); }
};

struct Output {
  AVFormatContext* format = nullptr;
  ~Output() {
    if (!format) return;
    if (format->pb) avio_closep(&format->pb);
    avformat_free_context(format);
  }
};

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

bool EndsWith(std::string text, const char* tail) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

bool Open(Output& out, Encoder& encoder, AVCodecID id, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder(id);
  if (!codec) return Fail(error, std::string("no encoder for ") + avcodec_get_name(id));
  encoder.stream = avformat_new_stream(out.format, nullptr);
  encoder.codec = avcodec_alloc_context3(codec);
  if (!encoder.stream || !encoder.codec) return Fail(error, "out of memory");
  return true;
}

bool Start(Output& out, Encoder& encoder, std::string* error) {
  if (out.format->oformat->flags & AVFMT_GLOBALHEADER) encoder.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  encoder.codec->thread_count = 1;
  if (avcodec_open2(encoder.codec, encoder.codec->codec, nullptr) < 0)
    return Fail(error, std::string("cannot open the encoder ") + encoder.codec->codec->name);
  if (avcodec_parameters_from_context(encoder.stream->codecpar, encoder.codec) < 0) return Fail(error, "out of memory");
  encoder.stream->time_base = encoder.codec->time_base;
  return true;
}

// Sends a frame (null: the end) and writes every packet the encoder gives back.
bool Encode(Output& out, Encoder& encoder, AVFrame* frame, std::string* error) {
  if (avcodec_send_frame(encoder.codec, frame) < 0) return Fail(error, "the encoder refused a frame");
  AVPacket* packet = av_packet_alloc();
  for (;;) {
    const int got = avcodec_receive_packet(encoder.codec, packet);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
    if (got < 0) {
      av_packet_free(&packet);
      return Fail(error, "the encoder failed");
    }
    av_packet_rescale_ts(packet, encoder.codec->time_base, encoder.stream->time_base);
    packet->stream_index = encoder.stream->index;
    if (av_interleaved_write_frame(out.format, packet) < 0) {
      av_packet_free(&packet);
      return Fail(error, "cannot write the clip");
    }
  }
  av_packet_free(&packet);
  return true;
}

struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

}  // namespace

bool MakeClip(const std::string& path, const ClipOptions& options, std::string* error) {
  const bool wmv = EndsWith(path, ".asf") || EndsWith(path, ".wmv");
  const bool mkv = EndsWith(path, ".mkv");
  const bool ts = EndsWith(path, ".ts");
  if (!wmv && !mkv && !ts) return Fail(error, "unknown clip type (use .asf, .wmv, .mkv or .ts): " + path);
  if (options.width < 2 || options.height < 2 || options.width > 4096 || options.height > 4096)
    return Fail(error, "sizes must be 2 to 4096");
  if ((wmv || ts) && (options.width % 2 || options.height % 2))
    return Fail(error, std::string(wmv ? "WMV2" : "MPEG-2") + " takes even sizes only: " + std::to_string(options.width) +
                           "x" + std::to_string(options.height));
  if (options.frames < 1 || options.rate < 1 || options.rate > 240) return Fail(error, "frames and rate must be positive");
  if (options.firstFrame < 0 || options.firstFrame > 1000000) return Fail(error, "the first frame must be 0 to 1000000");
  const int sampleRate = options.sampleRate;
  if (sampleRate < (ts ? 16000 : 8000) || sampleRate > (ts ? 48000 : 96000))
    return Fail(error, std::string("the sample rate must be ") + (ts ? "16000 to 48000" : "8000 to 96000"));

  Output out;
  if (avformat_alloc_output_context2(&out.format, nullptr, wmv ? "asf" : ts ? "mpegts" : "matroska", path.c_str()) < 0)
    return Fail(error, "cannot make the container");
  Encoder audio, video;
  if (options.audio) {
    if (!Open(out, audio, wmv ? AV_CODEC_ID_WMAV2 : ts ? AV_CODEC_ID_MP2 : AV_CODEC_ID_PCM_S16LE, error)) return false;
    AVCodecContext* c = audio.codec;
    c->sample_fmt = wmv ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    c->sample_rate = sampleRate;
    av_channel_layout_default(&c->ch_layout, 2);
    c->bit_rate = ts ? 192000 : 128000;
    c->time_base = {1, sampleRate};
    if (!Start(out, audio, error)) return false;
  }
  if (!Open(out, video, wmv ? AV_CODEC_ID_WMV2 : ts ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_FFV1, error)) return false;
  {
    AVCodecContext* c = video.codec;
    c->width = options.width;
    c->height = options.height;
    c->pix_fmt = wmv || ts ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_BGR0;
    c->time_base = {1, options.rate};
    c->framerate = {options.rate, 1};
    c->gop_size = 12;
    if (ts) {
      // Rates MPEG-2 has no code for (10 a second) are written with its rate extension.
      c->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
      // Pictures in the order they are shown: a decoder holds none back, so none is lost where
      // a joined clip's picture size changes.
      c->max_b_frames = 0;
      c->flags |= AV_CODEC_FLAG_LOW_DELAY;
    }
    if (wmv || ts) {
      // A fine fixed quantiser keeps the flat bands close to their colours.
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = FF_QP2LAMBDA * 2;
    }
    if (!Start(out, video, error)) return false;
    video.stream->avg_frame_rate = {options.rate, 1};
  }
  // Every transport stream's clock starts a second before its frame 0, so that no time stamp
  // is negative and none is shifted: clips that go on one another join without a gap.
  if (ts) out.format->output_ts_offset = AV_TIME_BASE;
  if (avio_open(&out.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail(error, "cannot write " + path);
  if (avformat_write_header(out.format, nullptr) < 0) return Fail(error, "cannot write the clip's header");

  Frame picture(av_frame_alloc()), rgb(av_frame_alloc()), sound(av_frame_alloc());
  picture->format = video.codec->pix_fmt;
  picture->width = options.width;
  picture->height = options.height;
  rgb->format = AV_PIX_FMT_BGR0;
  rgb->width = options.width;
  rgb->height = options.height;
  if (av_frame_get_buffer(picture.get(), 0) < 0 || av_frame_get_buffer(rgb.get(), 0) < 0) return Fail(error, "out of memory");
  SwsContext* scaler = wmv || ts ? sws_getContext(options.width, options.height, AV_PIX_FMT_BGR0, options.width, options.height,
                                            AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr)
                           : nullptr;
  std::unique_ptr<SwsContext, void (*)(SwsContext*)> scalerHolder(scaler, sws_freeContext);

  const int64_t totalSamples = static_cast<int64_t>(options.frames) * sampleRate / options.rate;
  int64_t samplesWritten = 0;
  const int64_t firstSample = static_cast<int64_t>(options.firstFrame) * sampleRate / options.rate;
  const int audioFrame = options.audio && audio.codec->frame_size > 0 ? audio.codec->frame_size : 1024;
  auto writeSound = [&](int64_t until) {
    while (options.audio && samplesWritten < std::min(until, totalSamples)) {
      const int n = static_cast<int>(std::min<int64_t>(audioFrame, totalSamples - samplesWritten));
      av_frame_unref(sound.get());
      sound->format = audio.codec->sample_fmt;
      sound->sample_rate = sampleRate;
      sound->nb_samples = wmv || ts ? audioFrame : n;  // the WMA and layer II encoders take whole frames
      av_channel_layout_copy(&sound->ch_layout, &audio.codec->ch_layout);
      if (av_frame_get_buffer(sound.get(), 0) < 0) return Fail(error, "out of memory");
      for (int i = 0; i < sound->nb_samples; ++i) {
        const double t = static_cast<double>(firstSample + samplesWritten + i) / sampleRate;
        const double value = i < n ? kToneAmplitude * std::sin(2.0 * M_PI * kToneHz * t) : 0.0;
        if (wmv) {
          for (int ch = 0; ch < 2; ++ch) reinterpret_cast<float*>(sound->data[ch])[i] = static_cast<float>(value);
        } else {
          const auto v = static_cast<int16_t>(std::lround(value * 32767.0));
          auto* at = reinterpret_cast<int16_t*>(sound->data[0]) + 2 * i;
          at[0] = at[1] = v;
        }
      }
      sound->pts = firstSample + samplesWritten;
      if (!Encode(out, audio, sound.get(), error)) return false;
      samplesWritten += n;
    }
    return true;
  };

  for (int f = 0; f < options.frames; ++f) {
    const int number = options.firstFrame + f;
    if (!writeSound(static_cast<int64_t>(f + 1) * sampleRate / options.rate)) return false;
    if (av_frame_make_writable(rgb.get()) < 0 || av_frame_make_writable(picture.get()) < 0) return Fail(error, "out of memory");
    for (int y = 0; y < options.height; ++y) {
      uint8_t* row = rgb->data[0] + static_cast<ptrdiff_t>(y) * rgb->linesize[0];
      for (int x = 0; x < options.width; ++x) {
        const Rgb p = PatternPixel(options, number, x, y);
        row[4 * x] = p.b, row[4 * x + 1] = p.g, row[4 * x + 2] = p.r, row[4 * x + 3] = 0;
      }
    }
    AVFrame* into = rgb.get();
    if (scaler) {
      sws_scale(scaler, rgb->data, rgb->linesize, 0, options.height, picture->data, picture->linesize);
      into = picture.get();
    }
    into->pts = number;
    if (!Encode(out, video, into, error)) return false;
  }
  if (!writeSound(totalSamples)) return false;
  if (options.audio && !Encode(out, audio, nullptr, error)) return false;
  if (!Encode(out, video, nullptr, error)) return false;
  if (av_write_trailer(out.format) < 0) return Fail(error, "cannot finish the clip");
  return true;
}

}  // namespace clip
