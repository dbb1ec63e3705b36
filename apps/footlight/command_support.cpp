#include "apps/footlight/command_support.h"

#include <sys/stat.h>

#include <cstdio>

#include "host/host.h"
#include "scene/scene_system.h"

namespace footlight {

bool CheckResourceRoot(const std::string& root, std::string* error) {
  struct stat info{};
  if (stat(root.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  *error = "the resource root \"" + root + "\" is not a directory";
  return false;
}

bool TakePositional(const std::string& arg, const char* command, const char* what, std::string* slot,
                    std::string* error) {
  if (!arg.empty() && arg[0] == '-') {
    *error = "unknown " + std::string(command) + " option " + arg;
    return false;
  }
  if (!slot->empty()) {
    *error = std::string(command) + " takes one " + what + ", got \"" + arg + "\" too";
    return false;
  }
  *slot = arg;
  return true;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

CSceneSystem* MakeSceneSystem(host::ReferenceHost& host, DMAInterfaceFn entry, const char* className) {
  if (host.LoadModule(entry) == nullptr) {
    std::fprintf(stderr, "footlight: the module returned an empty class list\n");
    return nullptr;
  }
  ComponentHandle handle{};
  host.CreateObject(&handle, className);
  auto* scene = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
  if (scene == nullptr) {
    std::fprintf(stderr, "footlight: the scene system did not start\n");
    host.DestroyAll();
  }
  return scene;
}

}  // namespace footlight
