// The FFmpeg libraries the file sources and the colour converter call, opened when a media
// file first opens or a converter is first configured, never at start: one table of their
// functions, filled by name from the libraries whose major versions the headers were built
// against.
#pragma once
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>

// Load's answer when the media libraries cannot be opened (ERROR_MOD_NOT_FOUND): the file
// fails to open as an unreadable one would, with its reason in AMGetErrorText.
#define HRESULT_MODULE_NOT_FOUND (static_cast<HRESULT>(0x8007007Eu))

// Each function the platform calls and the library it is taken from.
#define FOOTLIGHT_MEDIA_FUNCTIONS(X)                                                                 \
  X(Util, av_channel_layout_check) X(Util, av_channel_layout_compare) X(Util, av_channel_layout_copy) \
  X(Util, av_channel_layout_uninit) X(Util, av_dict_free) X(Util, av_dict_set) X(Util, av_frame_alloc) \
  X(Util, av_frame_free) X(Util, av_frame_unref) X(Util, av_image_copy) X(Util, av_log_format_line2)  \
  X(Util, av_log_set_callback) X(Util, av_rescale) X(Util, av_rescale_q)                              \
  X(Codec, av_packet_alloc) X(Codec, av_packet_free) X(Codec, avcodec_alloc_context3)                 \
  X(Codec, avcodec_find_decoder) X(Codec, avcodec_flush_buffers) X(Codec, avcodec_free_context)       \
  X(Codec, avcodec_open2) X(Codec, avcodec_parameters_to_context) X(Codec, avcodec_receive_frame)     \
  X(Codec, avcodec_send_packet)                                                                       \
  X(Format, av_read_frame) X(Format, av_seek_frame) X(Format, avformat_close_input)                   \
  X(Format, avformat_find_stream_info) X(Format, avformat_open_input)                                 \
  X(Scale, sws_freeContext) X(Scale, sws_getCachedContext) X(Scale, sws_getContext) X(Scale, sws_scale) \
  X(Resample, swr_alloc_set_opts2) X(Resample, swr_convert) X(Resample, swr_free)                     \
  X(Resample, swr_get_out_samples) X(Resample, swr_init)

namespace dshow {

struct MediaLibraries {
#define FOOTLIGHT_MEDIA_SLOT(library, name) decltype(&::name) name = nullptr;
  FOOTLIGHT_MEDIA_FUNCTIONS(FOOTLIGHT_MEDIA_SLOT)
#undef FOOTLIGHT_MEDIA_SLOT
};

// Opens the libraries and fills the table the first time it is called, from any thread; later
// calls give the same answer. False when one library or function is missing: the reason is
// then `MediaLibrariesError()`, and it is also written once to the debug output.
bool LoadMediaLibraries();
const std::string& MediaLibrariesError();

// The table, for code that runs only once `LoadMediaLibraries` has succeeded.
const MediaLibraries& Media();

}  // namespace dshow
