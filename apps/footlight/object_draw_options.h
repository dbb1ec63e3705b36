// The drawing side of footlight object:
//   --scene N --draw [--box] [--title TEXT --font F] [--highlight on|off|MODE]
//   [--afterimage I,R,A,D,C] [--shine] [--pick X,Y] [--size WxH] [--png OUT]
// With --draw the object is drawn for the command's frames, the way the scene's passes call it
// (its slots 3 and 4 after each frame of the scene), and each frame's draws are printed: the path
// line, the box, the model, the after-image copies with their texture factor, the name plate,
// and the head and top screen points; --png writes the last frame's picture. The after-image run goes in as the model's "afterImage"
// animation event.
#pragma once
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "apps/footlight/cli.h"
#include "apps/footlight/raster_options.h"

class CSceneBaseObj;
class CSceneSystem;
namespace host {
class StandardHost;
}

namespace footlight {

struct ObjectDrawOptions {
  long scene = -1;
  bool draw = false;
  bool box = false;
  std::optional<std::string> title;
  long font = 0;
  std::string highlight;  // "", "on", "off" or a mode 0-5
  std::string afterImage;  // the animation event's five values, the colour in decimal as the event takes it
  bool shine = false;
  std::optional<cli::Pixel> pick;
  PictureOptions picture;

  // Anything to do after the model is loaded.
  bool Wanted() const { return draw || box || title || !highlight.empty() || !afterImage.empty() || shine || pick; }
};

// Declares the drawing options (all but --scene, which the command shares with the stage) on a
// command.
void DeclareObjectDrawOptions(CLI::App* cmd, ObjectDrawOptions* options);
// The options together: the one error line, or "".
std::string CheckObjectDrawOptions(const ObjectDrawOptions& options);
// "I,R,A,D,C" (interval ms 1-2147483647, ring count 1-16, start alpha, duration ms or P%, colour
// RRGGBB or 0xRRGGBB) as the animation event takes it, the colour in decimal. False for anything
// else.
bool ParseAfterImage(const std::string& text, std::string* event);

// Applies the options to a loaded object and draws it for `frames` frames, printing as it goes.
// 0 on success, 2 when an option names what the host does not have (a font), 1 when the work
// failed.
// `afterExecute`, when given, runs after the object's update in each frame, before the frame is
// drawn; answering false makes that frame the last.
int DrawObject(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object, const ObjectDrawOptions& o,
               int frames, FILE* out, const std::function<bool(int frame)>& afterExecute = nullptr);

}  // namespace footlight
