#include "apps/footlight/maps_command.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "apps/footlight/scene_session.h"
#include "scene/scene_system.h"
#include "win32/file_system.h"

namespace footlight {

const char* const kMapsUsage =
    "  maps --scene N --resource DIR [--size WxH] --out F\n"
    "                               load scene N and write walk.tga, walk.txt, height.tga,\n"
    "                               height.txt and planform.bmp (W x H cells, default 256 x 256,\n"
    "                               each 1 to 65535) into F, a folder below the resource root;\n"
    "                               print the box, the entry and the cells of each walk code\n";

bool ParseMapSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  return ParseBoundedInt(text.substr(0, x), 1, 65535, width) && ParseBoundedInt(text.substr(x + 1), 1, 65535, height);
}

bool ParseMapsOptions(const std::vector<std::string>& args, MapsOptions* out, std::string* error) {
  MapsOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg != "--scene" && arg != "--resource" && arg != "--size" && arg != "--out") {
      *error = (!arg.empty() && arg[0] == '-' ? "unknown option " + arg : "unexpected argument \"" + arg + "\"") +
               " (see footlight --help)";
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = "option " + arg + " needs a value";
      return false;
    }
    const std::string& v = args[++i];
    if (arg == "--scene" && !ParseBoundedInt(v, 0, 0x7fffffff, &o.scene)) {
      *error = "option --scene takes a whole number from 0, got \"" + v + "\"";
      return false;
    }
    if (arg == "--size" && !ParseMapSize(v, &o.width, &o.height)) {
      *error = "option --size takes WxH, each a whole number from 1 to 65535, got \"" + v + "\"";
      return false;
    }
    if (arg == "--resource") o.resource = v;
    if (arg == "--out") o.out = v;
  }
  if (o.scene < 0 || o.resource.empty() || o.out.empty()) {
    *error = "maps needs --scene N, --resource DIR and --out F (see footlight --help)";
    return false;
  }
  *out = o;
  return true;
}

namespace {

std::string ReadBack(const std::string& root, const std::string& path) {
  const std::string file = win32::ResolvePath(root, path.c_str(), win32::PathMode::Read);
  if (file.empty()) return {};
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const char* CodeName(uint8_t code) {
  switch (code) {
    case 0x0f: return "no ground";
    case 0x10: return "walking";
    case 0x11: return "dance";
    case 0x12: return "dance leader";
    case 0x13: return "pk";
    case 0x14: return "dj";
    case 0x1f: return "not walking";
    default: return "other";
  }
}

}  // namespace

int RunMapsCommand(const MapsOptions& options, DMAInterfaceFn entry, std::FILE* out, std::FILE* err) {
  SceneSession session(options.resource, entry);
  auto finish = [&](int status) { return session.Close(status, err); };
  if (!session.Load(options.scene, err)) return finish(1);
  CSceneSystem* scene = session.scene();
  const std::string folder = options.out + "\\";
  const std::string walk = folder + "walk.tga", walkText = folder + "walk.txt";
  const std::string height = folder + "height.tga", heightText = folder + "height.txt";
  const std::string planform = folder + "planform.bmp";
  if (!scene->GenerateWalkMap(options.width, options.height, walk.c_str(), walkText.c_str())) {
    std::fprintf(err, "footlight: the walk map was not written (no walk_patch model, or %s cannot be made)\n",
                 walk.c_str());
    return finish(1);
  }
  if (!scene->GenerateHeightMap(options.width, options.height, height.c_str(), heightText.c_str())) {
    std::fprintf(err, "footlight: the height map was not written (%s cannot be made)\n", height.c_str());
    return finish(1);
  }
  // The picture's eye stands well above anything a stage holds.
  scene->RenderScenePlanform(options.width, options.height, 1000.0f, planform.c_str());
  const std::string root = options.resource;
  if (ReadBack(root, planform).empty()) {
    std::fprintf(err, "footlight: the planform picture %s was not written\n", planform.c_str());
    return finish(1);
  }
  std::fprintf(out, "scene %d: %d x %d cells into %s\n", options.scene, options.width, options.height,
               options.out.c_str());
  std::string text = ReadBack(root, walkText);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  std::fprintf(out, "%s\n", text.c_str());
  const std::string map = ReadBack(root, walk);
  std::map<uint8_t, size_t> counts;
  for (size_t i = 18; i < map.size(); ++i) ++counts[static_cast<uint8_t>(map[i])];
  for (const auto& [code, n] : counts) std::fprintf(out, "code 0x%02x %-13s %zu cells\n", code, CodeName(code), n);
  std::fprintf(out, "wrote %s, %s, %s, %s, %s\n", walk.c_str(), walkText.c_str(), height.c_str(), heightText.c_str(),
               planform.c_str());
  return finish(0);
}

}  // namespace footlight
