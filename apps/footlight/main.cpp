// footlight: the command-line host. It loads libfootlight.so, hands it the reference host and
// drives its components, one command at a time (apps/footlight/cli.h).
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apps/footlight/camera_command.h"
#include "apps/footlight/classes_command.h"
#include "apps/footlight/cli.h"
#include "apps/footlight/film_command.h"
#include "apps/footlight/helpers_command.h"
#include "apps/footlight/lights_command.h"
#include "apps/footlight/maps_command.h"
#include "apps/footlight/object_command.h"
#include "apps/footlight/path_command.h"
#include "apps/footlight/play_command.h"
#include "apps/footlight/portals_command.h"
#include "apps/footlight/record_command.h"
#include "apps/footlight/run_command.h"
#include "apps/footlight/terrain_command.h"
#include "apps/footlight/tree_command.h"
#include "apps/footlight/video_command.h"

namespace {

// The module beside the program, as the build leaves it, or in the library folder beside the
// program's folder, as an install leaves it.
std::string DefaultLibrary() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return "libfootlight.so";
  path[n] = '\0';
  std::string dir(path);
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
  const std::string beside = dir + "/libfootlight.so";
  if (access(beside.c_str(), F_OK) == 0) return beside;
  const std::string installed = dir + "/../lib/libfootlight.so";
  return access(installed.c_str(), F_OK) == 0 ? installed : beside;
}

DMAInterfaceFn LoadEntry(const std::string& path) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    footlight::cli::Usage("cannot load " + path + ": " + (why != nullptr ? why : "unknown error"));
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(lib, "DMAInterface");
  if (symbol == nullptr) {
    footlight::cli::Usage(path + " has no DMAInterface symbol");
    return nullptr;
  }
  DMAInterfaceFn entry;
  std::memcpy(&entry, &symbol, sizeof(entry));
  return entry;  // the library stays loaded until the process ends
}

}  // namespace

int main(int argc, char** argv) {
  using namespace footlight;
  cli::Program program;
  AddClassesCommand(program);
  AddRunCommand(program);
  AddLightsCommand(program);
  AddPortalsCommand(program);
  AddTreeCommand(program);
  AddTerrainCommand(program);
  AddVideoCommand(program);
  AddMapsCommand(program);
  AddPathCommand(program);
  AddFilmCommand(program);
  AddHelpersCommand(program);
  AddPlayCommand(program);
  AddRecordCommand(program);
  AddObjectCommand(program);
  AddCameraCommand(program);
  if (const int status = program.Parse(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr); status >= 0)
    return status;
  cli::Context context;
  context.library = program.library().empty() ? DefaultLibrary() : program.library();
  context.entry = LoadEntry(context.library);
  if (context.entry == nullptr) return cli::kUsage;
  return program.Run(context);
}
