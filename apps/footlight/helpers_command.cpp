#include "apps/footlight/helpers_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/generic_object.h"
#include "apps/footlight/command_support.h"
#include "host/standard_host.h"
#include "scene/scene_system.h"

const char* const kHelpersUsage =
    "  helpers [--scene N] [FILE] [--save OUT] [--resource DIR]\n"
    "                               load scene N and/or the helper-point file FILE, print the\n"
    "                               groups, points (name, position, fixed) and light sockets,\n"
    "                               and save the points to OUT (module paths below DIR)\n";

namespace {

struct HelpersOptions {
  int scene = -1;
  std::string file;
  std::string save;
  std::string resource = ".";
};

bool Parse(const std::vector<std::string>& args, HelpersOptions* o, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--scene" || a == "--save" || a == "--resource") {
      if (i + 1 >= args.size()) {
        *error = "option " + a + " needs a value";
        return false;
      }
      const std::string& v = args[++i];
      if (a == "--save") {
        o->save = v;
      } else if (a == "--resource") {
        o->resource = v;
      } else {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(v.c_str(), &end, 10);
        if (end == v.c_str() || *end != '\0' || errno != 0 || n < 0 || n > INT_MAX) {
          *error = "option --scene takes a whole number from 0, got \"" + v + "\"";
          return false;
        }
        o->scene = static_cast<int>(n);
      }
    } else if (!footlight::TakePositional(a, "helpers", "FILE", &o->file, error)) {
      return false;
    }
  }
  return footlight::CheckResourceRoot(o->resource, error);
}

void Print(CSceneSystem* scene) {
  const int32_t groups = scene->GetHelperGroupCount();
  std::printf("helper groups: %d\n", groups);
  for (int32_t g = 0; g < groups; ++g) {
    const int32_t points = scene->GetHelperPointCount(g);
    std::printf("group \"%s\": %d points\n", scene->GetHelperGroupName(g), points);
    for (int32_t p = 0; p < points; ++p) {
      const D3DXMATRIX* frame = scene->GetHelperPointMatrix(g, p);
      const bool fixed = scene->helperGroups[static_cast<size_t>(g)].points[static_cast<size_t>(p)].inUse != 0;
      std::printf("  \"%s\" at %.3f,%.3f,%.3f%s\n", scene->GetHelperPointName(g, p), frame->m[3][0], frame->m[3][1],
                  frame->m[3][2], fixed ? " fixed" : "");
    }
  }
  const int32_t sockets = scene->GetLightSocketCount();
  std::printf("light sockets: %d\n", sockets);
  for (int32_t i = 0; i < sockets; ++i) {
    D3DMATRIX frame{};
    const char* name = scene->GetLightSocket(i, &frame);
    std::printf("  \"%s\" at %.3f,%.3f,%.3f\n", name, frame.m[3][0], frame.m[3][1], frame.m[3][2]);
  }
}

}  // namespace

int RunHelpersCommand(const std::vector<std::string>& args, DMAInterfaceFn entry) {
  HelpersOptions o;
  if (const int status = footlight::TakeOptions(args, "usage: footlight\n", kHelpersUsage, Parse, &o); status >= 0) return status;
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  auto effects = std::make_shared<host::RecordingClass>("effect");
  host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
  CSceneSystem* scene = footlight::MakeSceneSystem(host, entry);
  if (scene == nullptr) return 1;
  int status = 0;
  if (o.scene >= 0 && !scene->LoadScene(static_cast<uint32_t>(o.scene))) {
    std::fprintf(stderr, "footlight: scene %d did not load\n", o.scene);
    status = 1;
  } else if (!o.file.empty() && !scene->LoadHelperPoints(o.file.c_str())) {
    std::fprintf(stderr, "footlight: the helper-point file %s does not open\n", o.file.c_str());
    status = 1;
  } else {
    Print(scene);
    if (!o.save.empty()) {
      if (scene->SaveHelperPoints(o.save.c_str())) {
        std::printf("saved to %s\n", o.save.c_str());
      } else {
        std::fprintf(stderr, "footlight: the helper points could not be saved to %s\n", o.save.c_str());
        status = 1;
      }
    }
  }
  host.DestroyAll();
  return status;
}
