// What the subcommands share: argument checks and a scene system in a fresh host.
#pragma once
#include <cstdio>
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

// The pieces of a comma-separated option value, empty ones kept ("a,,b" gives three).
std::vector<std::string> SplitCommas(const std::string& text);

// What every subcommand does first: the usage on --help (status 0), one error line for options
// that do not parse (status 2), or -1 with `options` filled in to go on.
template <typename Options, typename ParseFn>
int TakeOptions(const std::vector<std::string>& args, const char* usageHead, const char* usage, ParseFn parse,
                Options* options) {
  if (WantsHelp(args)) {
    std::printf("%s%s", usageHead, usage);
    return 0;
  }
  std::string error;
  if (!parse(args, options, &error)) {
    std::fprintf(stderr, "footlight: %s\n", error.c_str());
    return 2;
  }
  return -1;
}

// Loads the module into the host and makes a scene system (of the class named); null, with one
// error line on stderr (and every object destroyed), when either fails.
CSceneSystem* MakeSceneSystem(host::ReferenceHost& host, DMAInterfaceFn entry, const char* className = "CSceneSystem");

}  // namespace footlight
