#include "apps/footlight/tree_command.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "apps/footlight/command_support.h"
#include "frame/component_base.h"
#include "host/build_input_writer.h"
#include "host/standard_host.h"
#include "visibility/adaptive_binary_tree.h"
#include "win32/file_system.h"

const char* const kTreeUsage =
    "  tree run FILE[:CLASS]... [--resource DIR] [--frames N] [--eye X,Y,Z] [--at X,Y,Z]\n"
    "      [--key B|O]... [--collision FILE] [--occluder FILE]\n"
    "                               load each render-geometry file (a resource path below DIR,\n"
    "                               default .; textures from DIR's scene folder) with its blend\n"
    "                               class (default 0), rebuild the render tree, look from the eye\n"
    "                               (default 0,0,-10) at the point (default 0,0,0) and run N frames\n"
    "                               (default 1), printing each frame's batches per pass, refused\n"
    "                               draws, boxes tested and hidden and its cost; then the tree's\n"
    "                               nodes, leaves and depth; each --key is pressed before the\n"
    "                               first frame (B drawing, O occlusion culling); --collision and\n"
    "                               --occluder load a collision or occluder tree file first\n"
    "  tree build INPUT OUTBASE [--colour FILE] [--resource DIR]\n"
    "                               build OUTBASE.geo, OUTBASE.collision and OUTBASE.occluder from\n"
    "                               a build input, or from an OBJ mesh (INPUT ending in .obj, its\n"
    "                               MTL beside it) first written as OUTBASE.in; --colour takes one\n"
    "                               ARGB word per vertex; prints what each build made and its time\n"
    "  tree query --collision FILE (--ray A B | --sphere X,Y,Z R [--first] | --bounds)\n"
    "      [--resource DIR]         ask a collision tree file: the fraction along A to B of the\n"
    "                               first hit (3.4e+38: none), the sphere's contact (--first: only\n"
    "                               whether it touches), or the tree's box\n";

namespace {

constexpr float kFieldOfView = 0.898513f;

struct TreeFile {
  std::string path;
  uint32_t blendClass = 0;
};

struct TreeOptions {
  std::string mode;
  std::vector<TreeFile> files;
  std::string resource = ".";
  int frames = 1;
  D3DXVECTOR3 eye{0.0f, 0.0f, -10.0f};
  D3DXVECTOR3 at{0.0f, 0.0f, 0.0f};
  std::vector<char> keys;
  std::string collision, occluder;
  // build
  std::string input, outBase, colour;
  // query
  std::string query;  // "ray", "sphere" or "bounds"
  D3DXVECTOR3 a{0.0f, 0.0f, 0.0f}, b{0.0f, 0.0f, 0.0f};
  float radius = 0.0f;
  bool first = false;
};

bool ParseWhole(const std::string& text, long least, long most, long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < least || value > most) return false;
  *out = value;
  return true;
}

bool ParsePoint(const std::string& text, D3DXVECTOR3* out) {
  float v[3];
  const char* p = text.c_str();
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    errno = 0;
    v[i] = std::strtof(p, &end);
    if (end == p || errno != 0) return false;
    if (i < 2 && *end != ',') return false;
    p = end + (i < 2 ? 1 : 0);
  }
  if (*p != '\0') return false;
  *out = D3DXVECTOR3(v[0], v[1], v[2]);
  return true;
}

bool ParseRadius(const std::string& text, float* out) {
  char* end = nullptr;
  errno = 0;
  const float v = std::strtof(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !(v >= 0.0f)) return false;
  *out = v;
  return true;
}

// The options every mode takes: a value after each, true when `arg` was one.
bool TakeValue(const std::vector<std::string>& args, size_t* i, const std::string& arg, std::string* value,
               std::string* error) {
  if (*i + 1 >= args.size()) {
    *error = "option " + arg + " needs a value";
    return false;
  }
  *value = args[++*i];
  return true;
}

bool ParseRun(const std::string& arg, const std::string& v, TreeOptions* o, std::string* error) {
  long n = 0;
  if (arg == "--frames") {
    if (!ParseWhole(v, 0, INT_MAX, &n)) {
      *error = "option --frames takes a whole number from 0, got \"" + v + "\"";
      return false;
    }
    o->frames = static_cast<int>(n);
  } else if (arg == "--eye" || arg == "--at") {
    if (!ParsePoint(v, arg == "--eye" ? &o->eye : &o->at)) {
      *error = "option " + arg + " takes X,Y,Z, got \"" + v + "\"";
      return false;
    }
  } else if (arg == "--key") {
    if (v != "B" && v != "O") {
      *error = "option --key takes B or O, got \"" + v + "\"";
      return false;
    }
    o->keys.push_back(v[0]);
  } else if (arg == "--occluder") {
    o->occluder = v;
  } else {
    o->collision = v;
  }
  return true;
}

bool ParseRunFile(const std::string& arg, TreeOptions* o, std::string* error) {
  TreeFile f;
  f.path = arg;
  const size_t colon = arg.rfind(':');
  if (colon != std::string::npos) {
    long n = 0;
    if (!ParseWhole(arg.substr(colon + 1), 0, UINT32_MAX, &n)) {
      *error = "the blend class of \"" + arg + "\" is not a whole number";
      return false;
    }
    f.path = arg.substr(0, colon);
    f.blendClass = static_cast<uint32_t>(n);
  }
  o->files.push_back(f);
  return true;
}

bool Parse(const std::vector<std::string>& args, TreeOptions* o, std::string* error) {
  if (args.empty() || (args[0] != "run" && args[0] != "build" && args[0] != "query")) {
    *error = "tree takes the subcommand run, build or query (see footlight --help)";
    return false;
  }
  o->mode = args[0];
  const bool run = o->mode == "run", build = o->mode == "build", query = o->mode == "query";
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string v;
    const bool runValue = run && (arg == "--frames" || arg == "--eye" || arg == "--at" || arg == "--key" ||
                                  arg == "--collision" || arg == "--occluder");
    if (arg == "--resource" || runValue || (build && arg == "--colour") || (query && arg == "--collision")) {
      if (!TakeValue(args, &i, arg, &v, error)) return false;
      if (arg == "--resource")
        o->resource = v;
      else if (runValue && !ParseRun(arg, v, o, error))
        return false;
      else if (arg == "--colour")
        o->colour = v;
      else if (query)
        o->collision = v;
    } else if (query && (arg == "--ray" || arg == "--sphere" || arg == "--bounds")) {
      if (!o->query.empty()) {
        *error = "tree query takes one of --ray, --sphere and --bounds";
        return false;
      }
      o->query = arg.substr(2);
      if (arg == "--bounds") continue;
      if (i + 2 >= args.size()) {
        *error = "option " + arg + (arg == "--ray" ? " needs the points A and B" : " needs a centre and a radius");
        return false;
      }
      const std::string first = args[++i], second = args[++i];
      const bool ok = ParsePoint(first, arg == "--ray" ? &o->a : &o->b) &&
                      (arg == "--ray" ? ParsePoint(second, &o->b) : ParseRadius(second, &o->radius));
      if (!ok) {
        *error = arg == "--ray" ? "option --ray takes X,Y,Z X,Y,Z, got \"" + first + "\" \"" + second + "\""
                                : "option --sphere takes X,Y,Z and a radius from 0, got \"" + first + "\" \"" +
                                      second + "\"";
        return false;
      }
    } else if (query && arg == "--first") {
      o->first = true;
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option " + arg + " for tree " + o->mode + " (see footlight --help)";
      return false;
    } else if (run) {
      if (!ParseRunFile(arg, o, error)) return false;
    } else if (build) {
      if (o->outBase.empty() && !o->input.empty()) {
        o->outBase = arg;
      } else if (!footlight::TakePositional(arg, "tree build", "input and output base", &o->input, error)) {
        return false;
      }
    } else {
      *error = "tree query takes no file but --collision FILE, got \"" + arg + "\"";
      return false;
    }
  }
  if (run && o->files.empty()) {
    *error = "tree run needs a geometry file (see footlight --help)";
    return false;
  }
  if (build && o->outBase.empty()) {
    *error = "tree build needs an input and an output base (see footlight --help)";
    return false;
  }
  if (query && (o->collision.empty() || o->query.empty())) {
    *error = "tree query needs --collision FILE and one of --ray, --sphere and --bounds";
    return false;
  }
  if (query && o->first && o->query != "sphere") {
    *error = "option --first goes with --sphere";
    return false;
  }
  return footlight::CheckResourceRoot(o->resource, error);
}

// The module in a fresh host with one tree; null with one error line when either is missing.
CAdaptiveBinaryTree* MakeTree(host::StandardHost& standard, DMAInterfaceFn entry) {
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(entry) == nullptr) {
    std::fprintf(stderr, "footlight: the module returned an empty class list\n");
    return nullptr;
  }
  ComponentHandle handle{};
  host.CreateObject(&handle, "CAdaptiveBinaryTree");
  auto* tree = static_cast<CAdaptiveBinaryTree*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
  if (tree == nullptr) {
    std::fprintf(stderr, "footlight: the module made no CAdaptiveBinaryTree\n");
    host.DestroyAll();
  }
  return tree;
}

// Destroys every object and prints the live host blocks: a run that leaks fails.
int Finish(host::StandardHost& standard, int status) {
  standard.host.DestroyAll();
  const size_t live = standard.host.Allocator().LiveBlocks();
  std::printf("live host blocks: %zu\n", live);
  return live == 0 ? status : 1;
}

int Fail(host::StandardHost& standard, const std::string& line) {
  std::fprintf(stderr, "footlight: %s\n", line.c_str());
  standard.host.DestroyAll();
  return 1;
}

bool EndsWithObj(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".obj";
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int RunBuild(const TreeOptions& o, DMAInterfaceFn entry) {
  host::StandardHost standard(o.resource);
  CAdaptiveBinaryTree* tree = MakeTree(standard, entry);
  if (tree == nullptr) return 1;
  std::string input = o.input;
  if (EndsWithObj(o.input)) {
    host::BuildInput built;
    std::string error;
    if (!host::BuildInputFromObj(o.input, &built, &error)) return Fail(standard, error);
    input = o.outBase + ".in";
    const std::string file = win32::ResolvePath(win32::GetResourceRoot(), input.c_str(), win32::PathMode::Write);
    const std::vector<uint8_t> bytes = host::WriteBuildInput(built);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (file.empty() || !out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
      return Fail(standard, "cannot write " + input);
    out.close();
    std::printf("input %s: %zu records, %zu triangles, %zu buffers, %zu materials, %zu textures\n", input.c_str(),
                built.records.size(), built.triangles.size() / 3, built.buffers.size(), built.materials.size(),
                built.names.size());
  }
  if (!o.colour.empty() &&
      win32::ResolvePath(win32::GetResourceRoot(), o.colour.c_str(), win32::PathMode::Read).empty())
    return Fail(standard, "the colour file " + o.colour + " is not a file below the resource folder");

  const std::string geo = o.outBase + ".geo", collision = o.outBase + ".collision", occluder = o.outBase + ".occluder";
  auto start = std::chrono::steady_clock::now();
  if (!tree->BuildRenderGeometry(input.c_str(), o.colour.empty() ? nullptr : o.colour.c_str(), geo.c_str()))
    return Fail(standard, "the render geometry of " + input + " does not build into " + geo);
  AbtBuildStats s = tree->LastBuildStats();
  std::printf("%s: %u batches (%u strips, %u lists), %u buffers; %.1f ms\n", geo.c_str(), s.m_nBatches, s.m_nStrips,
              s.m_nLists, s.m_nBuffers, Since(start));
  start = std::chrono::steady_clock::now();
  if (!tree->BuildCollisionTree(input.c_str(), collision.c_str()))
    return Fail(standard, "the collision tree of " + input + " does not build into " + collision);
  s = tree->LastBuildStats();
  std::printf("%s: %u nodes, %u leaves, %u triangles, %u points; %.1f ms\n", collision.c_str(), s.m_nNodes,
              s.m_nLeaves, s.m_nTriangles, s.m_nPoints, Since(start));
  start = std::chrono::steady_clock::now();
  if (!tree->BuildOccluderTree(input.c_str(), occluder.c_str()))
    return Fail(standard, "the occluder tree of " + input + " does not build into " + occluder);
  s = tree->LastBuildStats();
  std::printf("%s: %u nodes, %u leaves, %u polygons, %u planes, %u points; %.1f ms\n", occluder.c_str(), s.m_nNodes,
              s.m_nLeaves, s.m_nPolygons, s.m_nPlanes, s.m_nPoints, Since(start));
  return Finish(standard, 0);
}

int RunQuery(const TreeOptions& o, DMAInterfaceFn entry) {
  host::StandardHost standard(o.resource);
  CAdaptiveBinaryTree* tree = MakeTree(standard, entry);
  if (tree == nullptr) return 1;
  if (!tree->LoadCollisionTree(o.collision.c_str()))
    return Fail(standard, o.collision + " is not a collision tree file that loads");
  if (o.query == "ray") {
    const float t = tree->RayDistance(&o.a, &o.b);
    if (t <= 1.0f) {
      const D3DXVECTOR3 hit = o.a + (o.b - o.a) * t;
      std::printf("fraction %g, at %g,%g,%g\n", t, hit.x, hit.y, hit.z);
    } else {
      std::printf("fraction %g, no hit\n", t);
    }
  } else if (o.query == "sphere") {
    D3DXVECTOR3 point(0, 0, 0), direction(0, 0, 0);
    float depth = 0.0f;
    if (!tree->CollideSphere(&o.b, o.radius, &point, &direction, &depth, o.first))
      std::printf("no contact\n");
    else if (o.first)
      std::printf("contact\n");
    else
      std::printf("contact at %g,%g,%g, direction %g,%g,%g, depth %g\n", point.x, point.y, point.z, direction.x,
                  direction.y, direction.z, depth);
  } else {
    D3DXVECTOR3 maximum(0, 0, 0), minimum(0, 0, 0);
    tree->GetCollisionBounds(&maximum, &minimum);
    std::printf("bounds %g,%g,%g to %g,%g,%g\n", minimum.x, minimum.y, minimum.z, maximum.x, maximum.y, maximum.z);
  }
  return Finish(standard, 0);
}

int RunFrames(const TreeOptions& o, DMAInterfaceFn entry) {
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  CAdaptiveBinaryTree* tree = MakeTree(standard, entry);
  if (tree == nullptr) return 1;
  for (const TreeFile& f : o.files)
    if (!tree->Load(f.path.c_str(), f.blendClass))
      return Fail(standard, f.path + " is not a render-geometry file that loads");
  if (!o.collision.empty() && !tree->LoadCollisionTree(o.collision.c_str()))
    return Fail(standard, o.collision + " is not a collision tree file that loads");
  if (!o.occluder.empty() && !tree->LoadOccluderTree(o.occluder.c_str()))
    return Fail(standard, o.occluder + " is not an occluder tree file that loads");
  tree->RebuildRenderTree();

  host::Renderer& renderer = standard.renderer;
  D3DXMATRIX view, projection;
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  D3DXMatrixLookAtLH(&view, &o.eye, &o.at, &up);
  const RendererSize* size = renderer.GetBackBufferSize();
  const float aspect = size != nullptr && size->height > 0 ? static_cast<float>(size->width) / size->height : 4.0f / 3.0f;
  D3DXMatrixPerspectiveFovLH(&projection, kFieldOfView, aspect, 0.1f, 10000.0f);
  renderer.SetTransform(2, &view);
  renderer.SetTransform(3, &projection);
  for (char key : o.keys) host.SystemMessage(0x100, static_cast<uint32_t>(key), 0);

  renderer.SetRecording(true);
  for (int frame = 1; frame <= o.frames; ++frame) {
    renderer.ClearRecords();
    standard.Frame(16);
    const AbtFrameStats& s = tree->LastFrameStats();
    size_t draws = 0;  // the batches' indexed draws, not the occlusion system's debug lines
    for (const host::DrawRecord& d : renderer.Draws()) draws += d.slot == 52 || d.slot == 53 ? 1 : 0;
    std::string cost = "(none)";
    for (const host::TextRecord& t : renderer.Texts())
      if (t.text.rfind("Visibility Determination", 0) == 0) cost = t.text;
    std::printf("frame %d: opaque %u, blended %u, draws %zu, refused %u, tested %u, hidden %u; %s\n", frame,
                s.m_nOpaque, s.m_nBlended, draws, s.m_nRefused, s.m_nTested, s.m_nHidden, cost.c_str());
  }
  uint32_t nodes = 0, leaves = 0, depth = 0;
  tree->TreeShape(&nodes, &leaves, &depth);
  std::printf("nodes %u, leaves %u, depth %u\n", nodes, leaves, depth);
  return Finish(standard, 0);
}

}  // namespace

int RunTreeCommand(const std::vector<std::string>& args, DMAInterfaceFn entry) {
  TreeOptions o;
  if (const int status = footlight::TakeOptions(args, "usage: footlight tree run|build|query ... [OPTIONS]\n",
                                                kTreeUsage, Parse, &o);
      status >= 0)
    return status;
  if (o.mode == "build") return RunBuild(o, entry);
  if (o.mode == "query") return RunQuery(o, entry);
  return RunFrames(o, entry);
}
