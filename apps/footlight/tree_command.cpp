#include "apps/footlight/tree_command.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "apps/footlight/command_support.h"
#include "frame/component_base.h"
#include "host/standard_host.h"
#include "visibility/adaptive_binary_tree.h"

const char* const kTreeUsage =
    "  tree run FILE[:CLASS]... [--resource DIR] [--frames N] [--eye X,Y,Z] [--at X,Y,Z]\n"
    "      [--key B|O]...\n"
    "                               load each render-geometry file (a resource path below DIR,\n"
    "                               default .; textures from DIR's scene folder) with its blend\n"
    "                               class (default 0), rebuild the render tree, look from the eye\n"
    "                               (default 0,0,-10) at the point (default 0,0,0) and run N frames\n"
    "                               (default 1), printing each frame's batches per pass, refused\n"
    "                               draws, boxes tested and hidden and its cost; then the tree's\n"
    "                               nodes, leaves and depth; each --key is pressed before the\n"
    "                               first frame (B drawing, O occlusion culling)\n";

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
  D3DXVECTOR3 eye{0.0f, 0.0f, -10.0f};
  D3DXVECTOR3 at{0.0f, 0.0f, 0.0f};
  std::vector<char> keys;
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

bool Parse(const std::vector<std::string>& args, TreeOptions* o, std::string* error) {
  if (args.empty() || args[0] != "run") {
    *error = "tree takes the subcommand run (see footlight --help)";
    return false;
  }
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string v;
    if (arg == "--resource" || arg == "--frames" || arg == "--eye" || arg == "--at" || arg == "--key") {
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      v = args[++i];
    }
    long n = 0;
    if (arg == "--resource") {
      o->resource = v;
    } else if (arg == "--frames") {
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
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option " + arg + " for tree run (see footlight --help)";
      return false;
    } else {
      TreeFile f;
      f.path = arg;
      const size_t colon = arg.rfind(':');
      if (colon != std::string::npos) {
        if (!ParseWhole(arg.substr(colon + 1), 0, UINT32_MAX, &n)) {
          *error = "the blend class of \"" + arg + "\" is not a whole number";
          return false;
        }
        f.path = arg.substr(0, colon);
        f.blendClass = static_cast<uint32_t>(n);
      }
      o->files.push_back(f);
    }
  }
  if (o->files.empty()) {
    *error = "tree run needs a geometry file (see footlight --help)";
    return false;
  }
  return footlight::CheckResourceRoot(o->resource, error);
}

}  // namespace

int RunTreeCommand(const std::vector<std::string>& args, DMAInterfaceFn entry) {
  TreeOptions o;
  if (const int status = footlight::TakeOptions(args, "usage: footlight tree run FILE[:CLASS]... [OPTIONS]\n", kTreeUsage, Parse, &o); status >= 0) return status;
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(entry) == nullptr) {
    std::fprintf(stderr, "footlight: the module returned an empty class list\n");
    return 1;
  }
  ComponentHandle handle{};
  host.CreateObject(&handle, "CAdaptiveBinaryTree");
  auto* tree = static_cast<CAdaptiveBinaryTree*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
  if (tree == nullptr) {
    std::fprintf(stderr, "footlight: the module made no CAdaptiveBinaryTree\n");
    host.DestroyAll();
    return 1;
  }
  for (const TreeFile& f : o.files) {
    if (!tree->Load(f.path.c_str(), f.blendClass)) {
      std::fprintf(stderr, "footlight: %s is not a render-geometry file that loads\n", f.path.c_str());
      host.DestroyAll();
      return 1;
    }
  }
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
                s.m_nOpaque, s.m_nBlended, draws, s.m_nRefused, s.m_nTested, s.m_nHidden,
                cost.c_str());
  }
  uint32_t nodes = 0, leaves = 0, depth = 0;
  tree->TreeShape(&nodes, &leaves, &depth);
  std::printf("nodes %u, leaves %u, depth %u\n", nodes, leaves, depth);
  host.DestroyAll();
  const size_t live = host.Allocator().LiveBlocks();
  std::printf("live host blocks: %zu\n", live);
  return live == 0 ? 0 : 1;
}
