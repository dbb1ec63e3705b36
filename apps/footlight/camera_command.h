// footlight camera [--resource DIR] [--scene N] [--mode free|first|orbit|auto|look|point]
//                  [--action NAME [--section S] [--loop]] [--input FILE] [--frames N] [--elapsed MS]
//                  [--size WxH] [--png OUT]
//
// Drives a "CBaseCamera" (with --scene, the scene's own camera, its eye adjuster and its
// "OriginCamera" points) and a scene object to follow, replays the window messages of FILE
// through "system_messages", runs the frames and prints per frame the mode, the camera's eye and
// look-at point and the renderer's view. With --scene the scene is drawn through the camera and
// --png writes the last frame's picture; a camera alone draws nothing.
//
// The input file: one message a line, "FRAME MESSAGE [ARGUMENT]", handed over before frame FRAME
// (1 .. N) runs, lines of one frame in file order; blank lines and lines starting with '#' are
// skipped. MESSAGE is keydown or keyup with a key (a letter, a digit, ctrl, add, subtract or a
// virtual-key number), mousemove, rbuttondown, rbuttonup, lbuttondown or lbuttonup with a client
// position X,Y, or wheel with a signed delta. Keys, buttons and the cursor also set the
// platform's input state, which the camera reads as well.
#pragma once
#include <string>
#include <vector>

#include "apps/footlight/cli.h"

namespace footlight {

struct CameraInputLine {
  int frame = 0;
  uint32_t message = 0;
  int key = 0;  // keys
  int x = 0, y = 0;  // mouse messages
  int wheel = 0;
};

// The largest input file read.
inline constexpr uint64_t kCameraInputMaxBytes = 16u << 20;

// False with "line N: reason" when a line breaks the rules above, names a frame past `frames`
// or an earlier frame than the line before it.
bool ParseCameraInput(const std::string& text, int frames, std::vector<CameraInputLine>* out, std::string* error);

// The name of a camera mode as --mode takes it ("free", ..., "action" for a camera action).
const char* CameraModeName(int32_t mode);

// The command: 0 on success; 1 when the scene or the action does not load or host blocks are
// left; 2 when the input file does not open or breaks its rules.
void AddCameraCommand(cli::Program& program);

}  // namespace footlight
