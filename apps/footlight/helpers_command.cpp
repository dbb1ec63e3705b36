#include "apps/footlight/helpers_command.h"

#include <climits>
#include <cstdio>
#include <memory>

#include "apps/footlight/scene_session.h"
#include "scene/scene_system.h"

namespace {

struct HelpersOptions {
  int scene = -1;
  std::string file;
  std::string save;
  std::string resource = ".";
};

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

int RunHelpers(const HelpersOptions& o, DMAInterfaceFn entry) {
  if (std::string line; !o.file.empty() && !footlight::cli::Readable(o.resource, o.file, &line, host::kIniFileMaxBytes))
    return footlight::cli::Fail(line);
  footlight::SceneSession session(o.resource, entry);
  if (o.scene >= 0 ? !session.Load(o.scene) : !session.Start()) return session.Close(1);
  CSceneSystem* scene = session.scene();
  int status = 0;
  if (!o.file.empty() && !scene->LoadHelperPoints(o.file.c_str())) {
    std::fprintf(stderr, "footlight: the helper-point file %s does not read\n", o.file.c_str());
    status = 1;
  } else {
    Print(scene);
    if (!o.save.empty()) {
      if (scene->SaveHelperPoints(o.save.c_str())) {
        footlight::cli::Wrote(footlight::cli::OnDisk(o.resource, o.save));
      } else {
        std::fprintf(stderr, "footlight: the helper points could not be saved to %s\n", o.save.c_str());
        status = 1;
      }
    }
  }
  return session.Close(status);
}

}  // namespace

namespace footlight {

void AddHelpersCommand(cli::Program& program) {
  auto* o = program.Keep<HelpersOptions>();
  CLI::App* cmd = program.Command("helpers", "print a scene's helper points and light sockets and save the points",
                                  [o](const cli::Context& context) { return RunHelpers(*o, context.entry); });
  cli::ResourcePath(cmd, "FILE", &o->file, "a helper-point file to load");
  cli::Whole(cmd, "--scene", &o->scene, 0, INT_MAX, "load this scene first");
  cli::ResourcePath(cmd, "--save", &o->save, "save the points that are not fixed to this file");
  cli::ResourceRoot(cmd, &o->resource);
  program.Check(cmd, [o] {
    if (o->scene < 0 && o->file.empty()) return std::string("helpers needs --scene N or a helper-point FILE");
    std::string line;
    return o->save.empty() || cli::Writable(o->resource, o->save, &line) ? std::string() : line;
  });
}

}  // namespace footlight
