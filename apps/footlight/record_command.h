// footlight record --scene N --frames F [--elapsed MS] [--resource DIR] [--script FILE] OUT
//
// Makes the recording scene system "SceneSystem", loads scene N through its load slot, starts a
// recording, runs F frames of MS milliseconds while the script's timed actions place, walk,
// title and destroy scene objects, start effects, change parameters, switch lights and set
// states, then takes the movie and saves it to OUT (a module path below the resource root). It
// prints the recorded scene events, each track's event count and the movie's duration.
//
// A script is plain text, one action a line; blank lines and lines starting with '#' are
// skipped. Each line starts with the frame (from 0, never going back) whose Execute the action
// precedes. Objects are numbered from 1 in the order of their "object" lines:
//   FRAME object ID X Z             a scene object loads object file ID and stands at (X, Z)
//   FRAME walk K X Z                object K walks to (X, Z), facing its way (MoveToRecorded)
//   FRAME title K TEXT              object K's title (UTF-8, the rest of the line)
//   FRAME effect K NAME LIST MS MODE  object K plays an effect
//   FRAME param K KEY VALUE         a parameter of object K's model changes, as the game would
//   FRAME light NAME on|off         switches a light of the scene
//   FRAME state TEXT                the scene's state string (the rest of the line)
//   FRAME destroy K                 object K leaves the scene
//   FRAME unload                    the scene is unloaded (its objects go with it)
//   FRAME load N                    scene N is loaded
#pragma once
#include <istream>
#include <string>
#include <vector>

#include "apps/footlight/cli.h"

// What a walk of the script passes: units and radians a second, the walking action and the
// action played on arrival.
inline constexpr float kScriptMoveSpeed = 2.0f;
inline constexpr float kScriptTurnSpeed = 6.2831853f;
inline constexpr int kScriptWalkAction = 3;
inline constexpr int kScriptArrivalAction = 0;

// One action of a script: its line, frame and verb with the values that verb takes.
struct RecordAction {
  int line = 0;
  long frame = 0;
  std::string verb;
  int object = 0;  // K, from 1
  long id = 0;     // object file or scene
  float x = 0.0f, z = 0.0f;
  std::string text, text2;
  long ms = 0, mode = 0;
  bool on = false;
};

// The actions of a script for a recording of `frames` frames, in order; false with one line
// ("NAME line N: why") at the first line that is wrong. Nothing of the scene is needed: every
// line is checked before anything runs.
bool ReadRecordScript(std::istream& in, const std::string& name, int frames, std::vector<RecordAction>* actions,
                      std::string* error);

namespace footlight {

// The command: 0 when the movie was recorded and saved and nothing leaked; 1 when the scene, the
// script or the save failed or a host block is left.
void AddRecordCommand(cli::Program& program);

}  // namespace footlight
