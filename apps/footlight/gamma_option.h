// footlight run --gamma G: the display gamma a scene system sets after its Init (its slot 113),
// and the ramp entries a person checks it by.
#pragma once
#include <string>
#include <vector>

#include "host/host.h"

// "LABEL: 0 0x0000, 128 0x8000, 255 0xff00": ramp entries 0, 128 and 255 (red) as the display
// holds them now.
std::string GammaRampLine(const std::string& label);

// True when the classes of a run (none: every class) include a scene system.
bool RunsASceneSystem(const std::vector<std::string>& classes);

class CSceneSystem;

// The first live scene system ("CSceneSystem" or "SceneSystem"), or null.
CSceneSystem* FirstSceneSystem(host::ReferenceHost& host);

// Has the first live scene system ("CSceneSystem" or "SceneSystem") set the gamma and returns the
// ramp line "gamma G: ramp: ...", or a line that says no scene system was made.
std::string SetSceneGamma(host::ReferenceHost& host, float gamma);
