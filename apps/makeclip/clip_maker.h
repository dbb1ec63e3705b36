// Test clips made by the project: a known picture and a tone, encoded by the FFmpeg libraries.
//
// The picture (rows counted from the top): the upper quarter is a red band, the lower quarter
// a blue band, the middle half holds eight colour bars (white, yellow, cyan, green, magenta,
// red, blue, black) from left to right, with a frame-number block over the first bar's upper
// half whose grey level is 8 x the frame number (mod 256). The sound is a 440 Hz sine at half
// scale, stereo, at the clip's sample rate (44100 Hz unless asked otherwise).
//
// The extension chooses the codecs: .asf and .wmv hold WMV2 video and WMA2 sound; .mkv holds
// FFV1 video in 32-bit RGB and 16-bit PCM, both lossless; .ts is an MPEG transport stream of
// MPEG-2 video and MPEG audio layer II, whose files joined end to end make one stream whose
// format changes where they meet. With sound, the sound is stream 0 and the video stream 1;
// without, the video is stream 0.
#pragma once
#include <cstdint>
#include <string>

namespace clip {

struct ClipOptions {
  int width = 320;
  int height = 240;
  int frames = 30;
  int rate = 30;  // frames a second
  bool audio = true;
  int sampleRate = 44100;  // 8000 to 96000; layer II takes 16000 to 48000 only
  // The number (and time) of the first frame, the sound starting with it: a clip that goes
  // on where another of the same rate ended.
  int firstFrame = 0;
};

struct Rgb {
  uint8_t r, g, b;
};

// The pattern's pixel at column x, row y (0 the top) of frame `frame`.
Rgb PatternPixel(const ClipOptions& options, int frame, int x, int y);

constexpr double kToneHz = 440.0;
constexpr double kToneAmplitude = 0.5;  // of full scale

// Writes the clip; false with a one-line reason (an unknown extension, an odd width for WMV2 or
// MPEG-2, sizes or rates out of range, a file that cannot be written).
bool MakeClip(const std::string& path, const ClipOptions& options, std::string* error);

}  // namespace clip
