// The drawing side of footlight object:
//   --scene N --draw [--box] [--title TEXT --font F] [--highlight on|off|MODE]
//   [--afterimage I,R,A,D,C] [--shine] [--pick X,Y]
// With --draw the object is drawn for the command's frames, the way the scene's passes call it
// (its slots 3 and 4 after each frame of the scene), and each frame's draws are printed: the path
// line, the box, the model, the after-image copies with their texture factor, the name plate,
// and the head and top screen points. The after-image run goes in as the model's "afterImage"
// animation event.
#pragma once
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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
  bool hasTitle = false;
  std::string title;
  long font = 0;
  std::string highlight;  // "", "on", "off" or a mode 0-5
  std::string afterImage;  // the five tokens as given
  bool shine = false;
  bool pick = false;
  int pickX = 0, pickY = 0;

  // Anything to do after the model is loaded.
  bool Wanted() const { return draw || box || hasTitle || !highlight.empty() || !afterImage.empty() || shine || pick; }
};

// Takes args[*i] (and its value) when it is one of the options above: true with *i moved past
// it, or false with *error set when it is one of them and malformed. *taken says whether it was
// one of them.
bool TakeObjectDrawOption(const std::vector<std::string>& args, size_t* i, ObjectDrawOptions* o, bool* taken,
                          std::string* error);

// Loads the scene when one is asked for; false with one error line on stderr when it does not
// load.
bool LoadObjectScene(CSceneSystem* scene, const ObjectDrawOptions& o);

// Applies the options to a loaded object and draws it for `frames` frames, printing as it goes.
// 0 on success, 2 when an option names what the host does not have (a font), 1 when the work
// failed.
// `afterExecute`, when given, runs after the object's update in each frame, before the frame is
// drawn; answering false makes that frame the last.
int DrawObject(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object, const ObjectDrawOptions& o,
               int frames, FILE* out, const std::function<bool(int frame)>& afterExecute = nullptr);

}  // namespace footlight
