// footlight-makeclip OUT [--size WxH] [--frames N] [--rate R] [--no-audio]: writes a test clip
// (apps/makeclip/clip_maker.h) of the kind its extension names.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/makeclip/clip_maker.h"

namespace {

constexpr const char* kUsage =
    "usage: footlight-makeclip OUT [--size WxH] [--frames N] [--rate R] [--no-audio]\n"
    "  writes colour bars, a frame-number block, a red upper and a blue lower band and a 440 Hz\n"
    "  tone; .asf/.wmv: WMV2 and WMA2 (even sizes), .mkv: FFV1 in 32-bit RGB and PCM, lossless;\n"
    "  sound is stream 0 and video stream 1 (default 320x240, 30 frames, 30 a second)\n";

bool Number(const char* text, int* out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 1000000) return false;
  *out = static_cast<int>(value);
  return true;
}

int Bad(const std::string& text) {
  std::fprintf(stderr, "footlight-makeclip: %s\n", text.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  clip::ClipOptions options;
  std::string out;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--no-audio") {
      options.audio = false;
    } else if (arg == "--size" && hasValue) {
      const std::string size = argv[++i];
      const size_t x = size.find('x');
      if (x == std::string::npos || !Number(size.substr(0, x).c_str(), &options.width) ||
          !Number(size.substr(x + 1).c_str(), &options.height))
        return Bad("bad size (WxH): " + size);
    } else if (arg == "--frames" && hasValue) {
      if (!Number(argv[++i], &options.frames)) return Bad(std::string("bad frame count: ") + argv[i]);
    } else if (arg == "--rate" && hasValue) {
      if (!Number(argv[++i], &options.rate)) return Bad(std::string("bad rate: ") + argv[i]);
    } else if (arg.rfind("--", 0) == 0) {
      return Bad("unknown or incomplete option: " + arg);
    } else if (out.empty()) {
      out = arg;
    } else {
      return Bad("more than one output: " + arg);
    }
  }
  if (out.empty()) return Bad("no output file (see --help)");
  std::string error;
  if (!clip::MakeClip(out, options, &error)) {
    std::fprintf(stderr, "footlight-makeclip: %s\n", error.c_str());
    return error.find("WMV2 takes even") != std::string::npos || error.find("unknown clip type") != std::string::npos ||
                   error.find("must be") != std::string::npos
               ? 2
               : 1;
  }
  std::printf("wrote %s: %dx%d, %d frames at %d a second%s\n", out.c_str(), options.width, options.height,
              options.frames, options.rate, options.audio ? ", 440 Hz tone" : "");
  return 0;
}
