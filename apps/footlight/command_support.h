// What the subcommands share beyond their options: a scene system in a fresh host.
#pragma once
#include <string>

#include "frame/dma_interface.h"

class CComponentBase;
class CSceneSystem;
namespace host {
class ReferenceHost;
}

namespace footlight {

// Loads the module into the host, unless it is loaded, and makes one `className` component of it,
// but only when the module's class list names that class: what the host would make in its place
// (a host class or its fallback) is never handed out as the module's component. Null otherwise,
// with the one line on stderr: "the module has no class named "X"" or "the module made no X".
CComponentBase* MakeModuleComponent(host::ReferenceHost& host, DMAInterfaceFn entry, const char* className);

// MakeModuleComponent for a scene system (of the class named), which must have started its
// lighting system; null, with the one line on stderr and every object destroyed, otherwise.
CSceneSystem* MakeSceneSystem(host::ReferenceHost& host, DMAInterfaceFn entry, const char* className = "CSceneSystem");

// The one line for scene `number` that did not load from the scene root folder `folder` ("":
// the default) below the process's resource root: its scene file that does not open, with the
// reason, or the file that opened but did not load.
std::string SceneLoadError(int number, const std::string& folder = "");

}  // namespace footlight
