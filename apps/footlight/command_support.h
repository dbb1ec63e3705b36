// What the subcommands share beyond their options: a scene system in a fresh host.
#pragma once
#include <string>

#include "frame/dma_interface.h"

class CSceneSystem;
namespace host {
class ReferenceHost;
}

namespace footlight {

// Loads the module into the host and makes a scene system (of the class named); null, with one
// error line on stderr (and every object destroyed), when either fails.
CSceneSystem* MakeSceneSystem(host::ReferenceHost& host, DMAInterfaceFn entry, const char* className = "CSceneSystem");

// The one line for scene `number` that did not load from the scene root folder `folder` ("":
// the default) below the process's resource root: its scene file that does not open, with the
// reason, or the file that opened but did not load.
std::string SceneLoadError(int number, const std::string& folder = "");

}  // namespace footlight
