// The stage options of footlight object: --scene N places the object on scene N's stage
// (--at X,Z), walks it (--walk X,Z with MoveTo, or --path X,Z along the scene's route), plays
// animations (--play NAME, --sequence A,B,..), hands it text events (--event TEXT, any number)
// and prints per frame its position, yaw, walk, waypoint and animation, then what it sent to
// the host's effect, sound and shader objects.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "apps/footlight/cli.h"
#include "host/standard_host.h"

class CSceneBaseObj;
class CSceneSystem;

struct ObjectWalkOptions {
  long scene = -1;  // -1: no stage
  std::optional<footlight::cli::GroundPoint> at;
  std::optional<footlight::cli::GroundPoint> walkTo;  // --walk: straight with MoveTo
  std::optional<footlight::cli::GroundPoint> pathTo;  // --path: along the scene's route
  std::string play;
  std::optional<std::vector<std::string>> sequence;
  std::vector<std::string> events;

  bool Any() const;
};

// Declares the stage options (all but --scene, which the command shares with the drawing) on a
// command.
void DeclareObjectWalkOptions(CLI::App* cmd, ObjectWalkOptions* options);
// The options together once all are read (they need --scene): "" or the one error line.
std::string CheckObjectWalkOptions(const ObjectWalkOptions& o);

// The stage part in three steps, for a caller that runs the frames itself (drawing as it goes):
// Start places the object, starts its animations, events and walk and says how many frames to
// run (`frames`, or the default for a walk or a stand when it is negative); Frame prints a frame
// that has run and answers false once the walk arrived; Finish prints how the walk ended and the
// messages the object sent to the effect, sound and shader objects. Start sets the host to keep
// two frames of messages, so each frame takes those messages into the walk's own list.
struct ObjectWalk {
  const host::ReferenceHost* host = nullptr;
  size_t messagesSeen = 0;                  // the host's message count when last taken
  std::vector<host::RecordedMessage> sent;  // to the effect, sound and shader objects
  bool walking = false;
  bool arrived = false;
  int limit = 0;
};
ObjectWalk StartObjectWalk(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object,
                           const ObjectWalkOptions& o, int frames);
bool ObjectWalkFrame(ObjectWalk& run, CSceneBaseObj* object, int frame);
void FinishObjectWalk(ObjectWalk& run, int framesRun);

// Runs the stage part on an object whose model is loaded: at most `frames` frames (a walk ends
// sooner when it arrives); 0, or 1 when the scene did not load.
int RunObjectWalk(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object,
                  const ObjectWalkOptions& o, int frames);
// Loads the stage's scene before the object is made; false (and the error line) when it does not.
bool LoadObjectStage(CSceneSystem* scene, const ObjectWalkOptions& o);
