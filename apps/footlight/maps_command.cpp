#include "apps/footlight/maps_command.h"

#include <algorithm>
#include <climits>
#include <map>

#include "apps/footlight/scene_session.h"
#include "scene/scene_system.h"
#include "win32/file_system.h"

namespace footlight {

namespace {

struct MapsOptions {
  int scene = 0;
  std::string resource = ".";
  cli::Size size{256, 256};
  std::string out;
};

// A map or picture the module wrote, of `size`: "" when it is not there or holds more than any
// of them may (four bytes a cell and a header), so a path swapped for a device is never read on.
std::string ReadBack(const std::string& root, const std::string& path, cli::Size size) {
  const std::string file = win32::ResolvePath(root, path.c_str(), win32::PathMode::Read);
  std::vector<uint8_t> bytes;
  const uint64_t most = 1024 + 4ull * static_cast<uint64_t>(size.width) * static_cast<uint64_t>(size.height);
  if (file.empty() || win32::ReadRegularFile(file, most, &bytes) != win32::FileRead::Read) return {};
  return std::string(bytes.begin(), bytes.end());
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

int RunMaps(const MapsOptions& options, DMAInterfaceFn entry, std::FILE* out, std::FILE* err) {
  SceneSession session(options.resource, entry);
  auto finish = [&](int status) { return session.Close(status, out); };
  if (!session.Load(options.scene)) return finish(1);
  CSceneSystem* scene = session.scene();
  const std::string folder = options.out + "\\";
  const std::string walk = folder + "walk.tga", walkText = folder + "walk.txt";
  const std::string height = folder + "height.tga", heightText = folder + "height.txt";
  const std::string planform = folder + "planform.bmp";
  if (!scene->GenerateWalkMap(options.size.width, options.size.height, walk.c_str(), walkText.c_str())) {
    std::fprintf(err, "footlight: the walk map was not written (no walk_patch model, or %s cannot be made)\n",
                 walk.c_str());
    return finish(1);
  }
  if (!scene->GenerateHeightMap(options.size.width, options.size.height, height.c_str(), heightText.c_str())) {
    std::fprintf(err, "footlight: the height map was not written (%s cannot be made)\n", height.c_str());
    return finish(1);
  }
  // The picture's eye stands well above anything a stage holds.
  scene->RenderScenePlanform(options.size.width, options.size.height, 1000.0f, planform.c_str());
  const std::string root = options.resource;
  if (ReadBack(root, planform, options.size).empty()) {
    std::fprintf(err, "footlight: the planform picture %s was not written\n", planform.c_str());
    return finish(1);
  }
  std::fprintf(out, "scene %d: %d x %d cells\n", options.scene, options.size.width, options.size.height);
  std::string text = ReadBack(root, walkText, options.size);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  std::fprintf(out, "%s\n", text.c_str());
  const std::string map = ReadBack(root, walk, options.size);
  std::map<uint8_t, size_t> counts;
  for (size_t i = 18; i < map.size(); ++i) ++counts[static_cast<uint8_t>(map[i])];
  for (const auto& [code, n] : counts) std::fprintf(out, "code 0x%02x %-13s %zu cells\n", code, CodeName(code), n);
  for (const std::string& file : {walk, walkText, height, heightText, planform}) cli::Wrote(cli::OnDisk(root, file));
  return finish(0);
}

}  // namespace

void AddMapsCommand(cli::Program& program) {
  auto* o = program.Keep<MapsOptions>();
  CLI::App* cmd = program.Command(
      "maps", "write a scene's walk map, height map and planform picture",
      [o](const cli::Context& context) { return RunMaps(*o, context.entry, stdout, stderr); });
  cli::Whole(cmd, "--scene", &o->scene, 0, INT_MAX, "the scene to load")->required();
  cli::ResourcePath(cmd, "--out", &o->out, "the folder the five files go into")->required()->type_name("FOLDER");
  cli::ResourceRoot(cmd, &o->resource);
  // The picture is drawn into a render target, which the device makes up to 4096 a side: a larger
  // size is refused here, before the two maps ahead of it are written.
  cli::Value(cmd, "--size", &o->size, "cells of the maps and pixels of the picture (default 256x256)", 4096);
  program.Check(cmd, [o] {
    std::string line;
    return cli::Writable(o->resource, o->out + "\\walk.tga", &line) ? std::string() : line;
  });
}

}  // namespace footlight
