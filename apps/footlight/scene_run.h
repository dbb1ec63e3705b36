// footlight run --scene N: loads a scene from the resource tree into a scene system, runs it for
// some frames, prints what the load made, then unloads it and destroys everything.
#pragma once
#include <cstdio>
#include <string>

#include "host/standard_host.h"

namespace footlight {

struct SceneRunOptions {
  bool wanted = false;   // --scene was given
  int scene = 0;         // --scene N
  std::string root;      // --root F: the scene root folder (slot 54); empty: the default
  bool ground = false;   // --ground X,Z
  float groundX = 0.0f, groundZ = 0.0f;
  bool pick = false;     // --pick X,Y
  int pickX = 0, pickY = 0;
  int trace = 0;         // --trace F: print frame F's renderer calls; 0: none
  // True when one of the scene options other than --scene was given.
  bool Extras() const { return !root.empty() || ground || pick || trace > 0; }
};

extern const char* const kSceneUsage;

// True for the options this file parses (--scene, --root, --ground, --pick, --trace).
bool IsSceneOption(const std::string& option);
// Parses one of them with its value; false and an error line for a bad value.
bool ParseSceneOption(const std::string& option, const char* value, SceneRunOptions* out, std::string* error);

// Makes a scene system, loads the scene, runs `frames` frames of `elapsedMs`, prints the report
// to `out`, unloads and destroys. 0 on success; 1 (one line on `err`) when the scene does not
// load or a host block is left.
int RunScene(host::StandardHost& standard, const SceneRunOptions& options, int frames, int elapsedMs, FILE* out,
             FILE* err);

}  // namespace footlight
