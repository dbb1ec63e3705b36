#include "dshow/media_libraries.h"

#include <cstdarg>

#include "library_table.h"
#include "win32/win32.h"

namespace dshow {

namespace {

#define FOOTLIGHT_SONAME(name, major) "lib" name ".so." AV_STRINGIFY(major)
constexpr const char* kUtil = FOOTLIGHT_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR);
constexpr const char* kCodec = FOOTLIGHT_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR);
constexpr const char* kFormat = FOOTLIGHT_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR);
constexpr const char* kScale = FOOTLIGHT_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR);
constexpr const char* kResample = FOOTLIGHT_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR);
#undef FOOTLIGHT_SONAME

MediaLibraries g_media;
std::string g_error;

// FFmpeg's own messages, warnings and worse, go to the platform's debug output, never to the
// terminal.
void LogToPlatform(void* object, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_WARNING) return;
  char line[1024];
  int prefix = 1;
  g_media.av_log_format_line2(object, level, format, arguments, line, sizeof line, &prefix);
  OutputDebugStringA(line);
}

bool Load() {
  void* Util = platform::OpenLibrary(kUtil, &g_error);
  void* Resample = Util != nullptr ? platform::OpenLibrary(kResample, &g_error) : nullptr;
  void* Codec = Resample != nullptr ? platform::OpenLibrary(kCodec, &g_error) : nullptr;
  void* Format = Codec != nullptr ? platform::OpenLibrary(kFormat, &g_error) : nullptr;
  void* Scale = Format != nullptr ? platform::OpenLibrary(kScale, &g_error) : nullptr;
  if (Scale == nullptr) return false;
#define FOOTLIGHT_MEDIA_FIND(library, name) \
  if (!platform::FindFunction(library, k##library, #name, g_media.name, &g_error)) return false;
  FOOTLIGHT_MEDIA_FUNCTIONS(FOOTLIGHT_MEDIA_FIND)
#undef FOOTLIGHT_MEDIA_FIND
  g_media.av_log_set_callback(LogToPlatform);
  return true;
}

}  // namespace

bool LoadMediaLibraries() {
  static const bool loaded = [] {
    const bool ok = Load();
    if (!ok) OutputDebugStringA(("the media libraries: " + g_error + "\n").c_str());
    return ok;
  }();
  return loaded;
}

const std::string& MediaLibrariesError() { return g_error; }

const MediaLibraries& Media() { return g_media; }

}  // namespace dshow
