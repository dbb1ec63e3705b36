#include "apps/footlight/path_command.h"

#include <climits>

#include "apps/footlight/scene_session.h"
#include "objects/scene_base_obj.h"
#include "scene/nav_mesh.h"
#include "scene/scene_system.h"

namespace footlight {

namespace {

struct PathOptions {
  int scene = 0;
  std::string resource = ".";
  cli::Point from, to;
};

int RunPath(const PathOptions& options, DMAInterfaceFn entry, std::FILE* out, std::FILE* err) {
  SceneSession session(options.resource, entry);
  auto finish = [&](int status) { return session.Close(status, out); };
  if (!session.Load(options.scene)) return finish(1);
  CSceneSystem* scene = session.scene();
  // Without the mesh every search fails, which would read as two points with no route between.
  if (scene->navMesh == nullptr)
    return finish(cli::Fail("scene " + std::to_string(options.scene) + " has no \"navigation\" model to search"));
  const uint32_t id[2] = {1, 1};
  CSceneBaseObj* object = scene->CreateSceneObject(id);
  if (object == nullptr) {
    std::fprintf(err, "footlight: the scene made no scene object\n");
    return finish(1);
  }
  if (object->GetPathData() == nullptr) {
    std::fprintf(err, "footlight: the module's scene objects keep no path yet (their path slots come later)\n");
    return finish(1);
  }
  const D3DXVECTOR3 from(options.from.x, options.from.y, options.from.z);
  const D3DXVECTOR3 to(options.to.x, options.to.y, options.to.z);
  if (!scene->FindPath(object, nullptr, 0, &from, &to)) {
    std::fprintf(out, "no route\n");
    return finish(0);
  }
  const NavPath* path = object->GetPathData();
  std::fprintf(out, "route of %zu waypoints\n", path->waypoints.size());
  for (const NavWaypoint& w : path->waypoints)
    std::fprintf(out, "%.3f,%.3f,%.3f\n", static_cast<double>(w.point.x), static_cast<double>(w.point.y),
                 static_cast<double>(w.point.z));
  return finish(0);
}

}  // namespace

void AddPathCommand(cli::Program& program) {
  auto* o = program.Keep<PathOptions>();
  CLI::App* cmd = program.Command(
      "path", "print a scene object's route between two points of a scene",
      [o](const cli::Context& context) { return RunPath(*o, context.entry, stdout, stderr); });
  cli::Value(cmd, "FROM", &o->from, "where the route starts")->required();
  cli::Value(cmd, "TO", &o->to, "where it ends")->required();
  cli::Whole(cmd, "--scene", &o->scene, 0, INT_MAX, "the scene to load")->required();
  cli::ResourceRoot(cmd, &o->resource);
}

}  // namespace footlight
