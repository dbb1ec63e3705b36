#include "apps/footlight/tree_command.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "apps/footlight/raster_options.h"
#include "frame/component_base.h"
#include "host/build_input_writer.h"
#include "host/standard_host.h"
#include "visibility/adaptive_binary_tree.h"
#include "win32/file_system.h"

namespace {

constexpr float kFieldOfView = 0.898513f;

struct TreeFile {
  std::string path;
  uint32_t blendClass = 0;
};

struct TreeOptions {
  std::vector<TreeFile> files;
  std::string resource = ".";
  int frames = 1;
  footlight::cli::Point eye{0.0f, 0.0f, -10.0f};
  footlight::cli::Point at{0.0f, 0.0f, 0.0f};
  std::vector<char> keys;
  std::string collision, occluder;
  // build
  std::string input, outBase, colour;
  // query
  std::optional<footlight::cli::Ray> ray;
  std::optional<footlight::cli::Point> sphere;
  float radius = 0.0f;
  bool first = false;
  bool bounds = false;
  // run
  PictureOptions picture;
};

D3DXVECTOR3 Vector(const footlight::cli::Point& p) { return D3DXVECTOR3(p.x, p.y, p.z); }

// "FILE" or "FILE:CLASS", the blend class 0, 1 or 2.
bool ParseRunFile(const std::string& text, TreeFile* out) {
  TreeFile f;
  f.path = text;
  const size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    long long n = 0;
    if (!footlight::cli::ParseWhole(text.substr(colon + 1), 0, 2, &n)) return false;
    f.path = text.substr(0, colon);
    f.blendClass = static_cast<uint32_t>(n);
  }
  if (f.path.empty() || f.path[0] == '/') return false;
  *out = f;
  return true;
}

std::string CheckQuery(const TreeOptions& o) {
  const int asked = (o.ray ? 1 : 0) + (o.sphere ? 1 : 0) + (o.bounds ? 1 : 0);
  if (asked != 1) return "tree query takes one of --ray, --sphere and --bounds";
  if (o.first && !o.sphere) return "option --first goes with --sphere";
  return "";
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

// A failed off-line build's line, ending in the reason the tree kept for it.
int BuildFailed(host::StandardHost& standard, const CAdaptiveBinaryTree& tree, const std::string& line) {
  const char* why = tree.LastBuildStats().m_szFailure;
  return Fail(standard, why == nullptr ? line : line + ": " + why);
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
  if (std::string line; !footlight::cli::Readable(o.resource, o.input, &line) ||
                        (!o.colour.empty() && !footlight::cli::Readable(o.resource, o.colour, &line)))
    return footlight::cli::Fail(line);
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
    std::printf("wrote %s: %zu records, %zu triangles, %zu buffers, %zu materials, %zu textures\n",
                footlight::cli::OnDisk(o.resource, input).c_str(),
                built.records.size(), built.triangles.size() / 3, built.buffers.size(), built.materials.size(),
                built.names.size());
  }

  const std::string geo = o.outBase + ".geo", collision = o.outBase + ".collision", occluder = o.outBase + ".occluder";
  auto start = std::chrono::steady_clock::now();
  if (!tree->BuildRenderGeometry(input.c_str(), o.colour.empty() ? nullptr : o.colour.c_str(), geo.c_str()))
    return BuildFailed(standard, *tree, "the render geometry of " + input + " does not build into " + geo);
  AbtBuildStats s = tree->LastBuildStats();
  std::printf("wrote %s: %u batches (%u strips, %u lists), %u buffers; %.1f ms\n",
              footlight::cli::OnDisk(o.resource, geo).c_str(), s.m_nBatches, s.m_nStrips, s.m_nLists, s.m_nBuffers,
              Since(start));
  start = std::chrono::steady_clock::now();
  if (!tree->BuildCollisionTree(input.c_str(), collision.c_str()))
    return BuildFailed(standard, *tree, "the collision tree of " + input + " does not build into " + collision);
  s = tree->LastBuildStats();
  std::printf("wrote %s: %u nodes, %u leaves, %u triangles, %u points; %.1f ms\n",
              footlight::cli::OnDisk(o.resource, collision).c_str(), s.m_nNodes,
              s.m_nLeaves, s.m_nTriangles, s.m_nPoints, Since(start));
  start = std::chrono::steady_clock::now();
  if (!tree->BuildOccluderTree(input.c_str(), occluder.c_str()))
    return BuildFailed(standard, *tree, "the occluder tree of " + input + " does not build into " + occluder);
  s = tree->LastBuildStats();
  std::printf("wrote %s: %u nodes, %u leaves, %u polygons, %u planes, %u points; %.1f ms\n",
              footlight::cli::OnDisk(o.resource, occluder).c_str(), s.m_nNodes,
              s.m_nLeaves, s.m_nPolygons, s.m_nPlanes, s.m_nPoints, Since(start));
  return Finish(standard, 0);
}

int RunQuery(const TreeOptions& o, DMAInterfaceFn entry) {
  if (std::string line; !footlight::cli::Readable(o.resource, o.collision, &line)) return footlight::cli::Fail(line);
  host::StandardHost standard(o.resource);
  CAdaptiveBinaryTree* tree = MakeTree(standard, entry);
  if (tree == nullptr) return 1;
  if (!tree->LoadCollisionTree(o.collision.c_str()))
    return Fail(standard, o.collision + " is not a collision tree file that loads");
  if (o.ray) {
    const D3DXVECTOR3 a = Vector(o.ray->from), b = Vector(o.ray->to);
    const float t = tree->RayDistance(&a, &b);
    if (t <= 1.0f) {
      const D3DXVECTOR3 hit = a + (b - a) * t;
      std::printf("fraction %g, at %g,%g,%g\n", t, hit.x, hit.y, hit.z);
    } else {
      std::printf("fraction %g, no hit\n", t);
    }
  } else if (o.sphere) {
    const D3DXVECTOR3 centre = Vector(*o.sphere);
    D3DXVECTOR3 point(0, 0, 0), direction(0, 0, 0);
    float depth = 0.0f;
    if (!tree->CollideSphere(&centre, o.radius, &point, &direction, &depth, o.first))
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
  for (const std::string& file : {o.collision, o.occluder})
    if (std::string line; !file.empty() && !footlight::cli::Readable(o.resource, file, &line))
      return footlight::cli::Fail(line);
  for (const TreeFile& f : o.files)
    if (std::string line; !footlight::cli::Readable(o.resource, f.path, &line)) return footlight::cli::Fail(line);
  host::StandardHost standard(o.resource, o.picture.Config());
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
  const D3DXVECTOR3 eye = Vector(o.eye), at = Vector(o.at);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  const RendererSize* size = renderer.GetBackBufferSize();
  const float aspect = size != nullptr && size->height > 0 ? static_cast<float>(size->width) / size->height : 4.0f / 3.0f;
  D3DXMatrixPerspectiveFovLH(&projection, kFieldOfView, aspect, 0.1f, 10000.0f);
  renderer.SetTransform(2, &view);
  renderer.SetTransform(3, &projection);
  for (char key : o.keys) host.SystemMessage(0x100, static_cast<uint32_t>(key), 0);

  renderer.SetRecording(true);
  o.picture.ClearFrames(standard);
  int asserted = 0;  // frames whose occlusion system asserted: the run then fails
  for (int frame = 1; frame <= o.frames; ++frame) {
    renderer.ClearRecords();
    standard.Frame(16);
    const AbtFrameStats& s = tree->LastFrameStats();
    size_t draws = 0;  // the batches' indexed draws, not the occlusion system's debug lines
    for (const host::DrawRecord& d : renderer.Draws()) draws += d.slot == 52 || d.slot == 53 ? 1 : 0;
    std::string cost = "(none)";
    for (const host::TextRecord& t : renderer.Texts())
      if (t.text.rfind("Visibility Determination", 0) == 0) cost = t.text;
    std::printf("frame %d: opaque %u, blended %u, draws %zu, refused %u, tested %u, hidden %u%s; %s\n", frame,
                s.m_nOpaque, s.m_nBlended, draws, s.m_nRefused, s.m_nTested, s.m_nHidden,
                s.m_bOcclusionAsserted ? ", occlusion asserted" : "", cost.c_str());
    asserted += s.m_bOcclusionAsserted ? 1 : 0;
  }
  uint32_t nodes = 0, leaves = 0, depth = 0;
  tree->TreeShape(&nodes, &leaves, &depth);
  std::printf("nodes %u, leaves %u, depth %u\n", nodes, leaves, depth);
  if (asserted > 0) std::fprintf(stderr, "footlight: the occlusion system asserted in %d of %d frames\n", asserted, o.frames);
  const int written = WritePicture(o.picture, renderer);
  return Finish(standard, asserted > 0 ? 1 : written);
}

}  // namespace

namespace footlight {

void AddTreeCommand(cli::Program& program) {
  auto* o = program.Keep<TreeOptions>();
  CLI::App* tree = program.Command("tree", "build, run and ask the adaptive binary tree", nullptr);
  tree->require_subcommand(0, 1);

  CLI::App* run = program.Command(
      "run", "load render geometry into the tree, look from the eye and run frames",
      [o](const cli::Context& context) { return RunFrames(*o, context.entry); }, tree);
  cli::Custom<TreeFile>(run, "FILE", &o->files, "FILE[:CLASS]",
                        "FILE[:CLASS], a file below the resource root and a blend class 0, 1 or 2",
                        ParseRunFile,
                        "render-geometry files, each with its blend class (default 0; 1 alpha-tested, 2 blended)")
      ->required();
  cli::ResourceRoot(run, &o->resource);
  cli::Whole(run, "--frames", &o->frames, 0, INT_MAX, "frames to run (default 1)");
  cli::Value(run, "--eye", &o->eye, "the eye (default 0,0,-10)");
  cli::Value(run, "--at", &o->at, "the point looked at (default 0,0,0)");
  cli::Custom<char>(
      run, "--key", &o->keys, "B|O", "a key B or O",
      [](const std::string& text, char* key) {
        if (text != "B" && text != "O") return false;
        *key = text[0];
        return true;
      },
      "press this key before the first frame (B drawing, O occlusion culling)");
  cli::ResourcePath(run, "--collision", &o->collision, "load this collision tree file first");
  cli::ResourcePath(run, "--occluder", &o->occluder, "load this occluder tree file first");
  DeclarePictureOptions(run, &o->picture);

  CLI::App* build = program.Command(
      "build", "build render geometry, a collision tree and an occluder tree from a build input or OBJ mesh",
      [o](const cli::Context& context) { return RunBuild(*o, context.entry); }, tree);
  cli::ResourcePath(build, "INPUT", &o->input, "the build input, or an OBJ mesh (ending in .obj)")->required();
  cli::ResourcePath(build, "OUTBASE", &o->outBase, "writes OUTBASE.geo, OUTBASE.collision and OUTBASE.occluder")
      ->required();
  cli::ResourcePath(build, "--colour", &o->colour, "a vertex-colour file: one ARGB word per vertex");
  cli::ResourceRoot(build, &o->resource);

  CLI::App* query = program.Command(
      "query", "ask a collision tree file: a ray's first hit, a sphere's contact or the box",
      [o](const cli::Context& context) { return RunQuery(*o, context.entry); }, tree);
  cli::ResourcePath(query, "--collision", &o->collision, "the collision tree file")->required();
  cli::Value(query, "--ray", &o->ray, "the fraction along the ray of its first hit");
  cli::Value(query, "--sphere", &o->sphere, "the contact of a sphere round the point (with --radius)");
  cli::Number(query, "--radius", &o->radius, "the sphere's radius (default 0)", cli::Range::From(0.0));
  query->add_flag("--first", o->first, "with --sphere: only whether it touches");
  query->add_flag("--bounds", o->bounds, "the tree's box");
  cli::ResourceRoot(query, &o->resource);
  program.Check(query, [o] { return CheckQuery(*o); });
}

}  // namespace footlight
