// What the subcommands share: argument checks and a scene system in a fresh host.
#pragma once
#include <string>
#include <vector>

#include "frame/dma_interface.h"

class CSceneSystem;
namespace host {
class ReferenceHost;
}

namespace footlight {

// False with a one-line reason when `root` is not a directory.
bool CheckResourceRoot(const std::string& root, std::string* error);

// An argument that is no option value: an unknown option, the command's one positional argument
// (`what` names it), or one too many. False with a one-line reason.
bool TakePositional(const std::string& arg, const char* command, const char* what, std::string* slot,
                    std::string* error);

// True when the arguments ask for the command's usage (--help or -h).
bool WantsHelp(const std::vector<std::string>& args);

// Loads the module into the host and makes a scene system; null, with one error line on stderr
// (and every object destroyed), when either fails.
CSceneSystem* MakeSceneSystem(host::ReferenceHost& host, DMAInterfaceFn entry);

}  // namespace footlight
