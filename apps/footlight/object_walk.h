// The stage options of footlight object: --scene N places the object on scene N's stage
// (--at X,Z), walks it (--walk X,Z with MoveTo, or --path X,Z along the scene's route), plays
// animations (--play NAME, --sequence A,B,..), hands it text events (--event TEXT, any number)
// and prints per frame its position, yaw, walk, waypoint and animation, then what it sent to
// the host's effect, sound and shader objects.
#pragma once
#include <string>
#include <vector>

#include "host/standard_host.h"

class CSceneBaseObj;
class CSceneSystem;

extern const char* const kObjectWalkUsage;

struct ObjectWalkOptions {
  long scene = -1;  // -1: no stage
  bool at = false;
  float atX = 0.0f, atZ = 0.0f;
  enum class Walk { None, Straight, Path } walk = Walk::None;
  float toX = 0.0f, toZ = 0.0f;
  std::string play;
  std::vector<std::string> sequence;
  std::vector<std::string> events;

  bool Any() const;
};

// Takes args[*i] (and its value) when it is one of the stage options; false with `error` set on
// a malformed value, false with `error` empty when args[*i] is none of them.
bool TakeObjectWalkOption(const std::vector<std::string>& args, size_t* i, ObjectWalkOptions* o, std::string* error);
// Checks the options together once all are read (they need --scene).
bool CheckObjectWalkOptions(const ObjectWalkOptions& o, std::string* error);

// Runs the stage part on an object whose model is loaded: at most `frames` frames (a walk ends
// sooner when it arrives); 0, or 1 when the scene did not load.
int RunObjectWalk(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object,
                  const ObjectWalkOptions& o, int frames);
// Loads the stage's scene before the object is made; false (and the error line) when it does not.
bool LoadObjectStage(CSceneSystem* scene, const ObjectWalkOptions& o);
