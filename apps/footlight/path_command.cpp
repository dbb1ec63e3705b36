#include "apps/footlight/path_command.h"

#include <cmath>
#include <cstdlib>

#include "apps/footlight/scene_session.h"
#include "objects/scene_base_obj.h"
#include "scene/nav_mesh.h"
#include "scene/scene_system.h"

namespace footlight {

const char* const kPathUsage =
    "  path --scene N --resource DIR X,Y,Z X,Y,Z\n"
    "                               load scene N and print the waypoints of a scene object's\n"
    "                               route between the two points over the navigation mesh, or\n"
    "                               \"no route\"\n";

namespace {

bool ParsePoint(const std::string& text, float out[3]) {
  const char* p = text.c_str();
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    const float v = std::strtof(p, &end);
    if (end == p || !std::isfinite(v)) return false;
    out[i] = v;
    if (i < 2 && *end != ',') return false;
    p = end + (i < 2 ? 1 : 0);
  }
  return *p == '\0';
}

}  // namespace

bool ParsePathOptions(const std::vector<std::string>& args, PathOptions* out, std::string* error) {
  PathOptions o;
  int points = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--scene" || arg == "--resource") {
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      const std::string& v = args[++i];
      if (arg == "--resource") {
        o.resource = v;
      } else if (!ParseBoundedInt(v, 0, 0x7fffffff, &o.scene)) {
        *error = "option --scene takes a whole number from 0, got \"" + v + "\"";
        return false;
      }
    } else if (!arg.empty() && arg[0] == '-' && !(arg.size() > 1 && (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.'))) {
      *error = "unknown option " + arg + " (see footlight --help)";
      return false;
    } else if (points < 2) {
      if (!ParsePoint(arg, points == 0 ? o.from : o.to)) {
        *error = "a point is three numbers X,Y,Z, got \"" + arg + "\"";
        return false;
      }
      ++points;
    } else {
      *error = "unexpected argument \"" + arg + "\" (see footlight --help)";
      return false;
    }
  }
  if (o.scene < 0 || o.resource.empty() || points != 2) {
    *error = "path needs --scene N, --resource DIR and two points X,Y,Z (see footlight --help)";
    return false;
  }
  *out = o;
  return true;
}

int RunPathCommand(const PathOptions& options, DMAInterfaceFn entry, std::FILE* out, std::FILE* err) {
  SceneSession session(options.resource, entry);
  auto finish = [&](int status) { return session.Close(status, err); };
  if (!session.Load(options.scene, err)) return finish(1);
  CSceneSystem* scene = session.scene();
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
  const D3DXVECTOR3 from(options.from[0], options.from[1], options.from[2]);
  const D3DXVECTOR3 to(options.to[0], options.to[1], options.to[2]);
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

}  // namespace footlight
