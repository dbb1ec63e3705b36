#include "apps/footlight/terrain_command.h"

#include "apps/footlight/command_support.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "frame/component_base.h"
#include "host/height_file.h"
#include "host/mask_file.h"
#include "host/standard_host.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "terrain/terrain_editor.h"
#include "terrain/terrain_manager.h"
#include "win32/file_system.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace footlight {

const char* const kTerrainUsage =
    "  terrain HEIGHTS [--resource DIR] [--scale S] [--layer NAME] [--textures PREFIX]\n"
    "      [--eye X,Y,Z] [--at X,Y,Z] [--fov DEG] [--size WxH] [--frames N] [--wireframe]\n"
    "      [--ray X,Y,Z:X,Y,Z]... [--height X,Z]...\n"
    "                               load a height file (raw 16-bit samples, side x side) into the\n"
    "                               terrain, add the base layer NAME (default grass.dds) from PREFIX\n"
    "                               (default resource\\terrain\\), look from the eye at the point\n"
    "                               and print per frame (default 1) the visible blocks, patches per\n"
    "                               level, draws, triangles, vertices and buffer discards; then each\n"
    "                               ray's hit and each ground height; HEIGHTS and the module's files\n"
    "                               are resource paths below DIR (default .)\n"
    "      [--brush W,H[,HX,HZ]] [--raise X,Y,N]... [--set X,Y,N]...\n"
    "      [--paint X,Y[:X2,Y2] --mask FILE --paint-layer NAME]\n"
    "                               edit after the frames: a brush of W x H grid points (default\n"
    "                               9,9) whose 1-based hot spot cell (default the middle) lies on\n"
    "                               the point under pixel X,Y of the --size view; --raise adds N\n"
    "                               and --set sets N, weighted 1 at the hot spot down to 0 at the\n"
    "                               rim, and print the changed heights; --paint drags the mouse\n"
    "                               from X,Y to X2,Y2 painting layer NAME through the 8-bit PGM\n"
    "                               mask FILE (a resource path, 2 (W - 1) square) and prints per\n"
    "                               painted patch its slots, blend maps and painted texels\n"
    "      [--editor [--click X,Y@FRAME]...]\n"
    "                               make the terrain editor after the terrain: its scene (scene 1)\n"
    "                               puts the walker (object 10005) at 222,0,333 under an orbiting\n"
    "                               camera; each --click presses the left button at pixel X,Y of\n"
    "                               the view before frame FRAME (1 to --frames), sending the walker\n"
    "                               to the scene's ground under it; each frame prints the walker's\n"
    "                               position\n";

namespace {

bool ParseFloats(const std::string& text, size_t count, float* out) {
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t end = i + 1 < count ? text.find(',', start) : text.size();
    if (end == std::string::npos) return false;
    const std::string part = text.substr(start, end - start);
    if (part.empty()) return false;
    char* stop = nullptr;
    errno = 0;
    const float v = std::strtof(part.c_str(), &stop);
    if (*stop != '\0' || errno != 0 || !std::isfinite(v)) return false;
    out[i] = v;
    start = end + 1;
  }
  return true;
}

bool ParseWhole(const std::string& text, int least, int most, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < least || v > most) return false;
  *out = static_cast<int>(v);
  return true;
}

std::string Vec(const D3DXVECTOR3& v) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "(%.3f, %.3f, %.3f)", v.x, v.y, v.z);
  return buf;
}

bool ParseWholes(const std::string& text, size_t least, size_t most, int lo, int hi, std::vector<int>* out) {
  out->clear();
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(',', start);
    int v = 0;
    if (!ParseWhole(text.substr(start, end == std::string::npos ? std::string::npos : end - start), lo, hi, &v))
      return false;
    out->push_back(v);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out->size() >= least && out->size() <= most;
}

// All grid heights of the terrain, X-major over the whole field.
std::vector<int16_t> FieldHeights(const CTerrainManager* terrain) {
  std::vector<int16_t> out(static_cast<size_t>(kFieldSamples) * kFieldSamples);
  for (int bx = 0; bx < 8; ++bx)
    for (int bz = 0; bz < 8; ++bz) {
      const CTerrainBlock* block = terrain->Block(bx, bz);
      for (int x = 0; x < kBlockSamples; ++x)
        for (int z = 0; z < kBlockSamples; ++z)
          out[static_cast<size_t>(bx * kBlockQuads + x) * kFieldSamples + bz * kBlockQuads + z] =
              block->m_aHeights[x * kBlockSamples + z];
    }
  return out;
}

int PaintedTexels(IDirect3DTexture8* texture) {
  D3DLOCKED_RECT locked{};
  if (texture == nullptr || FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return -1;
  int n = 0;
  for (int v = 0; v < 64; ++v)
    for (int u = 0; u < 64; ++u) n += static_cast<const uint8_t*>(locked.pBits)[v * locked.Pitch + u * 2 + 1] != 0;
  texture->UnlockRect(0);
  return n;
}

// A left click as the window gets it: the cursor on the point and the button down, then up.
void DeliverClick(host::ReferenceHost& host, int x, int y) {
  const uint32_t position = (static_cast<uint32_t>(y) << 16) | static_cast<uint32_t>(x);
  POINT screen{x, y};
  ClientToScreen(host.GetWindowHandle(), &screen);
  win32::SetCursorPosition(screen.x, screen.y);
  win32::SetKeyDown(VK_LBUTTON, true);
  host.SystemMessage(WM_LBUTTONDOWN, 1, position);  // MK_LBUTTON
  win32::SetKeyDown(VK_LBUTTON, false);
  host.SystemMessage(WM_LBUTTONUP, 0, position);
}

CSceneSystem* EditorScene(host::ReferenceHost& host, const ComponentHandle& editorHandle) {
  auto* editor = static_cast<CTerrainEditor*>(static_cast<CComponentBase*>(host.GetObject(&editorHandle)));
  if (editor == nullptr) return nullptr;
  return static_cast<CSceneSystem*>(static_cast<CComponentBase*>(host.GetObject(&editor->SceneHandle())));
}

// The scene picks once a frame, so asked again after the click it answers with the click's point.
std::string EditorPick(host::ReferenceHost& host, const ComponentHandle& editorHandle) {
  CSceneSystem* scene = EditorScene(host, editorHandle);
  ScenePick pick{};
  if (scene == nullptr || !scene->PickScenePoint(&pick, 0, 0, 1)) return "no ground under the pixel";
  return "ground " + Vec(D3DXVECTOR3(pick.x, pick.y, pick.z));
}

CSceneBaseObj* EditorWalker(host::ReferenceHost& host, const ComponentHandle& editorHandle) {
  CSceneSystem* scene = EditorScene(host, editorHandle);
  // The editor's walker key stays (0, 0); the module's own copy is out of reach through dlopen.
  const uint32_t walkerKey[2] = {0, 0};
  return scene != nullptr ? scene->FindSceneObjectById(walkerKey) : nullptr;
}

}  // namespace

std::vector<float> ConeWeights(int width, int height, int hotX, int hotZ) {
  std::vector<float> w(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)), 0.0f);
  const int cx = hotX - 1, cz = hotZ - 1;
  for (int i = 0; i < width; ++i)
    for (int j = 0; j < height; ++j) {
      // The reach on each side is the distance from the hot cell to that side's edge.
      const int reachX = i < cx ? cx : width - 1 - cx, reachZ = j < cz ? cz : height - 1 - cz;
      const double dx = i == cx ? 0.0 : static_cast<double>(i - cx) / reachX;
      const double dz = j == cz ? 0.0 : static_cast<double>(j - cz) / reachZ;
      w[static_cast<size_t>(i) * height + j] = static_cast<float>(std::max(0.0, 1.0 - std::sqrt(dx * dx + dz * dz)));
    }
  return w;
}

bool ParseTerrainOptions(const std::vector<std::string>& args, TerrainOptions* out, std::string* error) {
  TerrainOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string v;
    auto value = [&]() {
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    auto bad = [&](const std::string& wants) {
      *error = "option " + arg + " takes " + wants + ", got \"" + v + "\"";
      return false;
    };
    if (arg == "--resource") {
      if (!value()) return false;
      if (v.empty()) return bad("a directory");
      o.resource = v;
    } else if (arg == "--scale") {
      if (!value()) return false;
      if (!ParseFloats(v, 1, &o.scale)) return bad("a number");
    } else if (arg == "--layer") {
      if (!value()) return false;
      if (v.empty()) return bad("a texture name");
      o.layer = v;
    } else if (arg == "--textures") {
      if (!value()) return false;
      o.textures = v;
    } else if (arg == "--eye" || arg == "--at") {
      if (!value()) return false;
      float p[3];
      if (!ParseFloats(v, 3, p)) return bad("X,Y,Z");
      std::copy(p, p + 3, arg == "--eye" ? o.eye.begin() : o.at.begin());
      (arg == "--eye" ? o.eyeGiven : o.atGiven) = true;
    } else if (arg == "--fov") {
      if (!value()) return false;
      if (!ParseFloats(v, 1, &o.fov) || o.fov <= 0.0f || o.fov >= 180.0f) return bad("degrees between 0 and 180");
    } else if (arg == "--size") {
      if (!value()) return false;
      const size_t x = v.find('x');
      if (x == std::string::npos || !ParseWhole(v.substr(0, x), 1, 4096, &o.width) ||
          !ParseWhole(v.substr(x + 1), 1, 4096, &o.height))
        return bad("WxH");
    } else if (arg == "--frames") {
      if (!value()) return false;
      if (!ParseWhole(v, 1, 100000, &o.frames)) return bad("a whole number from 1");
    } else if (arg == "--wireframe") {
      o.wireframe = true;
    } else if (arg == "--ray") {
      if (!value()) return false;
      const size_t colon = v.find(':');
      std::array<float, 6> ray{};
      if (colon == std::string::npos || !ParseFloats(v.substr(0, colon), 3, ray.data()) ||
          !ParseFloats(v.substr(colon + 1), 3, ray.data() + 3))
        return bad("X,Y,Z:X,Y,Z");
      o.rays.push_back(ray);
    } else if (arg == "--height") {
      if (!value()) return false;
      std::array<float, 2> p{};
      if (!ParseFloats(v, 2, p.data())) return bad("X,Z");
      o.points.push_back(p);
    } else if (arg == "--brush") {
      if (!value()) return false;
      std::vector<int> b;
      if (!ParseWholes(v, 2, 4, 0, 65536, &b) || b.size() == 3 || b[0] < 1 || b[1] < 1 || b[0] * b[1] > 65536)
        return bad("W,H[,HX,HZ] with W x H of 1 to 65536 grid points");
      o.brush = {b[0], b[1], (b[0] + 1) / 2, (b[1] + 1) / 2};
      if (b.size() == 4) {
        if (b[2] < 1 || b[2] > b[0] || b[3] < 1 || b[3] > b[1]) return bad("a hot spot HX,HZ from 1,1 to W,H");
        o.brush[2] = b[2];
        o.brush[3] = b[3];
      }
    } else if (arg == "--raise" || arg == "--set") {
      if (!value()) return false;
      std::vector<int> e;
      if (!ParseWholes(v, 3, 3, -32768, 65535, &e) || e[0] < 0 || e[1] < 0 || e[2] > 32767)
        return bad("a pixel X,Y and a height N of -32768 to 32767");
      o.edits.push_back({arg == "--set", e[0], e[1], e[2]});
    } else if (arg == "--paint") {
      if (!value()) return false;
      const size_t colon = v.find(':');
      std::vector<int> from, to;
      if (!ParseWholes(v.substr(0, colon), 2, 2, 0, 65535, &from) ||
          (colon != std::string::npos && !ParseWholes(v.substr(colon + 1), 2, 2, 0, 65535, &to)))
        return bad("a pixel X,Y or a stroke X,Y:X2,Y2");
      if (to.empty()) to = from;
      o.stroke = {from[0], from[1], to[0], to[1]};
      o.paint = true;
    } else if (arg == "--mask") {
      if (!value()) return false;
      if (v.empty()) return bad("a PGM file");
      o.mask = v;
    } else if (arg == "--paint-layer") {
      if (!value()) return false;
      if (v.empty()) return bad("a texture name");
      o.paintLayer = v;
    } else if (arg == "--editor") {
      o.editor = true;
    } else if (arg == "--click") {
      if (!value()) return false;
      const size_t at = v.find('@');
      std::vector<int> pixel;
      int frame = 0;
      if (at == std::string::npos || !ParseWholes(v.substr(0, at), 2, 2, 0, 65535, &pixel) ||
          !ParseWhole(v.substr(at + 1), 1, 100000, &frame))
        return bad("a pixel and a frame X,Y@FRAME");
      o.clicks.push_back({pixel[0], pixel[1], frame});
    } else if (arg == "--help" || arg == "-h") {
      *error = "";
      return false;
    } else if (!footlight::TakePositional(arg, "terrain", "height file", &o.heights, error)) {
      return false;
    }
  }
  if (o.heights.empty()) {
    *error = "terrain needs a height file (see footlight --help)";
    return false;
  }
  if (o.paint != (!o.mask.empty() && !o.paintLayer.empty()) || (!o.paint && (!o.mask.empty() || !o.paintLayer.empty()))) {
    *error = "--paint, --mask and --paint-layer go together";
    return false;
  }
  auto outside = [&](int x, int y) { return x >= o.width || y >= o.height; };
  for (const auto& e : o.edits)
    if (outside(e.x, e.y)) {
      *error = "pixel " + std::to_string(e.x) + "," + std::to_string(e.y) + " lies outside the " +
               std::to_string(o.width) + "x" + std::to_string(o.height) + " view";
      return false;
    }
  if (o.paint && (outside(o.stroke[0], o.stroke[1]) || outside(o.stroke[2], o.stroke[3]))) {
    *error = "the stroke leaves the " + std::to_string(o.width) + "x" + std::to_string(o.height) + " view";
    return false;
  }
  if (!o.clicks.empty() && !o.editor) {
    *error = "--click is an option of --editor";
    return false;
  }
  for (const auto& c : o.clicks) {
    if (outside(c.x, c.y)) {
      *error = "click " + std::to_string(c.x) + "," + std::to_string(c.y) + " lies outside the " +
               std::to_string(o.width) + "x" + std::to_string(o.height) + " view";
      return false;
    }
    if (c.frame > o.frames) {
      *error = "click at frame " + std::to_string(c.frame) + " comes after the last frame (" +
               std::to_string(o.frames) + ")";
      return false;
    }
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(o.resource, ec)) {
    *error = "the resource root \"" + o.resource + "\" is not a directory";
    return false;
  }
  *out = o;
  return true;
}

int RunTerrainCommand(const TerrainOptions& o, DMAInterfaceFn entry, std::FILE* out, std::FILE* err) {
  const std::string path = win32::ResolvePath(o.resource, o.heights.c_str(), win32::PathMode::Read);
  if (path.empty()) {
    std::fprintf(err, "footlight: no height file %s below %s\n", o.heights.c_str(), o.resource.c_str());
    return 1;
  }
  host::HeightField field;
  std::string error;
  if (!host::ReadHeightFile(path, &field, &error)) {
    std::fprintf(err, "footlight: %s: %s\n", o.heights.c_str(), error.c_str());
    return 1;
  }
  host::MaskImage mask;
  if (o.paint) {
    const std::string maskPath = win32::ResolvePath(o.resource, o.mask.c_str(), win32::PathMode::Read);
    if (maskPath.empty()) {
      std::fprintf(err, "footlight: no mask file %s below %s\n", o.mask.c_str(), o.resource.c_str());
      return 1;
    }
    if (!host::ReadMaskFile(maskPath, &mask, &error)) {
      std::fprintf(err, "footlight: %s: %s\n", o.mask.c_str(), error.c_str());
      return 1;
    }
    const int side = 2 * (o.brush[0] - 1);
    if (mask.width != side || mask.height != side) {
      std::fprintf(err, "footlight: %s: the mask is %d x %d but a brush %d wide takes %d x %d\n", o.mask.c_str(),
                   mask.width, mask.height, o.brush[0], side, side);
      return 2;
    }
  }
  // The device is the view, so pixels of the edits are pixels of --size.
  host::RendererConfig config;
  config.device.width = static_cast<UINT>(o.width);
  config.device.height = static_cast<UINT>(o.height);
  host::StandardHost standard(o.resource, config);
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(entry) == nullptr) {
    std::fprintf(err, "footlight: the module returned an empty class list\n");
    return 1;
  }
  int status = 0;
  {
    ComponentHandle handle{};
    host.CreateObject(&handle, "CTerrainManager");
    auto* terrain = static_cast<CTerrainManager*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
    ITerrainEdit* edit = terrain;
    const TerrainHeightMap map = field.Map();
    if (terrain == nullptr || !terrain->HasBlocks() || !edit->UpdateAllBlocks(&map)) {
      std::fprintf(err, "footlight: the terrain component could not be made\n");
      for (const auto& line : host.LogLines()) std::fprintf(err, "%s\n", line.c_str());
      host.DestroyAll();
      return 1;
    }
    edit->SetHeightScale(o.scale);
    edit->SetWireframe(o.wireframe);
    edit->SetName(o.textures.c_str());
    const int32_t layer = edit->AddLayer(o.layer.c_str(), nullptr, nullptr, false);
    if (layer < 0) {
      std::fprintf(err, "footlight: cannot load the layer texture %s%s\n", o.textures.c_str(), o.layer.c_str());
      host.DestroyAll();
      return 1;
    }
    if (!o.edits.empty() || o.paint) edit->SetBrushSize(o.brush[0], o.brush[1], o.brush[2], o.brush[3]);
    if (o.paint) {
      edit->SetBrushMask(mask.bytes.data(), mask.width, mask.height, o.paintLayer.c_str(), nullptr, nullptr, false);
      if (terrain->PaintLayer() < 0) {
        std::fprintf(err, "footlight: cannot load the paint layer texture %s%s\n", o.textures.c_str(),
                     o.paintLayer.c_str());
        host.DestroyAll();
        return 1;
      }
    }
    int lo = INT_MAX, hi = INT_MIN;
    for (int x = 0; x < field.side; ++x)
      for (int z = 0; z < field.side; ++z) {
        const int h = field.heights[static_cast<size_t>(x) * host::kHeightFieldSide + z];
        lo = std::min(lo, h);
        hi = std::max(hi, h);
      }
    std::fprintf(out, "terrain %s: %d x %d samples, heights %d..%d, scale %g, layer %s\n", o.heights.c_str(),
                 field.side, field.side, lo, hi, o.scale, o.layer.c_str());
    // By default the eye stands over the field's first corner and looks across to the middle.
    const float side = static_cast<float>(field.side - 1);
    const float top = std::max(std::fabs(hi * o.scale), std::fabs(lo * o.scale));
    const D3DXVECTOR3 eye = o.eyeGiven ? D3DXVECTOR3(o.eye[0], o.eye[1], o.eye[2])
                                       : D3DXVECTOR3(side * 0.1f, top + 60.0f, side * 0.1f);
    const D3DXVECTOR3 at = o.atGiven ? D3DXVECTOR3(o.at[0], o.at[1], o.at[2])
                                     : D3DXVECTOR3(side * 0.5f, 0.0f, side * 0.5f);
    D3DXVECTOR3 up(0, 1, 0);
    if (std::fabs(eye.x - at.x) < 1e-4f && std::fabs(eye.z - at.z) < 1e-4f) up = D3DXVECTOR3(0, 0, 1);
    standard.renderer.SetLookAt(&eye, &at, &up);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, o.fov * 3.14159265f / 180.0f,
                               static_cast<float>(o.width) / static_cast<float>(o.height), 1.0f, 6000.0f);
    standard.renderer.SetTransform(D3DTS_PROJECTION, &projection);
    std::fprintf(out, "eye %s at %s fov %g size %dx%d%s\n", Vec(eye).c_str(), Vec(at).c_str(), o.fov, o.width,
                 o.height, o.wireframe ? " wireframe" : "");
    ComponentHandle editorHandle{};
    if (o.editor && (!host.CreateObject(&editorHandle, "CTerrainEditor") || host.GetObject(&editorHandle) == nullptr)) {
      std::fprintf(err, "footlight: the terrain editor could not be made\n");
      for (const auto& line : host.LogLines()) std::fprintf(err, "%s\n", line.c_str());
      host.DestroyAll();
      return 1;
    }

    uint32_t lastVertexEnd = 0, lastIndexEnd = 0;
    for (int frame = 1; frame <= o.frames; ++frame) {
      standard.renderer.ClearRecords();
      for (const auto& c : o.clicks)
        if (c.frame == frame) {
          DeliverClick(host, c.x, c.y);
          std::fprintf(out, "click (%d, %d) before frame %d: %s\n", c.x, c.y, frame,
                       EditorPick(host, editorHandle).c_str());
        }
      standard.Frame(16);
      int blocks = 0, levels[6] = {};
      for (uint8_t b : terrain->m_aVisibleBlocks) blocks += b;
      for (int i = 0; i < kTerrainPatchCount; ++i)
        if (terrain->m_aVisible[i]) levels[std::clamp(terrain->m_aLevel[i], 0, 5)]++;
      uint64_t triangles = 0, vertices = 0;
      int discards = 0;
      for (const auto& d : standard.renderer.Draws()) {
        triangles += d.primitiveCount;
        vertices += d.vertexCount;
        // The cursors only move forward, except where a run starts the buffers again.
        if (d.baseVertex < lastVertexEnd && d.baseVertex + d.vertexCount != lastVertexEnd) ++discards;
        else if (d.startIndex < lastIndexEnd && d.startIndex + d.primitiveCount * 3 != lastIndexEnd) ++discards;
        lastVertexEnd = d.baseVertex + d.vertexCount;
        lastIndexEnd = d.startIndex + d.primitiveCount * 3;
      }
      std::fprintf(out,
                   "frame %d: %d blocks, patches by level %d %d %d %d %d %d, %zu draws, %llu triangles, "
                   "%llu vertices, %d discards\n",
                   frame, blocks, levels[0], levels[1], levels[2], levels[3], levels[4], levels[5],
                   standard.renderer.Draws().size(), static_cast<unsigned long long>(triangles),
                   static_cast<unsigned long long>(vertices), discards);
      if (o.editor) {
        if (CSceneBaseObj* walker = EditorWalker(host, editorHandle)) {
          D3DXVECTOR3 p(0.0f, 0.0f, 0.0f);
          float yaw = 0.0f;
          walker->GetPosition(&p, &yaw);
          std::fprintf(out, "  walker %s yaw %.3f\n", Vec(p).c_str(), yaw);
        } else {
          std::fprintf(out, "  no walker\n");
        }
      }
    }
    if (!o.edits.empty()) {
      const std::vector<float> weights = ConeWeights(o.brush[0], o.brush[1], o.brush[2], o.brush[3]);
      for (const auto& e : o.edits) {
        const std::vector<int16_t> before = FieldHeights(terrain);
        edit->SelectUnderBrush(weights.data(), e.x, e.y);
        std::fprintf(out, "%s %d at pixel (%d, %d): ", e.set ? "set" : "raise", e.amount, e.x, e.y);
        if (!terrain->m_bSelectionActive) {
          std::fprintf(out, "no ground under the pixel\n");
          continue;
        }
        if (e.set) edit->SetUnderBrush(static_cast<int16_t>(e.amount));
        else edit->RaiseUnderBrush(static_cast<int16_t>(e.amount));
        edit->FlushDirtyRegions();
        const std::vector<int16_t> after = FieldHeights(terrain);
        std::vector<size_t> changed;
        for (size_t i = 0; i < after.size(); ++i)
          if (after[i] != before[i]) changed.push_back(i);
        std::fprintf(out, "%zu heights changed\n", changed.size());
        for (size_t i : changed)
          std::fprintf(out, "  (%zu, %zu): %d -> %d\n", i / kFieldSamples, i % kFieldSamples, before[i], after[i]);
      }
    }
    if (o.paint) {
      // The mouse moves one pixel a frame along the stroke, painting where the picked point moves.
      edit->BeginPickMode();
      const int dx = o.stroke[2] - o.stroke[0], dy = o.stroke[3] - o.stroke[1];
      const int steps = std::max(std::abs(dx), std::abs(dy));
      for (int k = 0; k <= steps; ++k) {
        const int x = o.stroke[0] + (steps == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(dx) * k / steps)));
        const int y = o.stroke[1] + (steps == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(dy) * k / steps)));
        host.SystemMessage(WM_MOUSEMOVE, 0, (static_cast<uint32_t>(y) << 16) | static_cast<uint32_t>(x));
        standard.Frame(16);
      }
      edit->ResetPick();
      int patches = 0;
      for (int px = 0; px < kFieldPatches; ++px)
        for (int pz = 0; pz < kFieldPatches; ++pz) {
          const TerrainPatchLayers* p = terrain->PatchLayers(px, pz);
          if (p == nullptr || p->count < 2) continue;
          ++patches;
          std::fprintf(out, "patch (%d, %d): %d slots:", px, pz, p->count);
          for (int k = 0; k < p->count; ++k) {
            const TerrainLayerSlot& slot = p->slots[k];
            std::fprintf(out, "%s %s", k == 0 ? "" : " |", terrain->LayerName(slot.textureLayer).c_str());
            if (slot.textureCount == 2) {
              const TerrainLayer* blend = terrain->Layer(slot.blendLayer);
              std::fprintf(out, " + %s (%d painted texels)", terrain->LayerName(slot.blendLayer).c_str(),
                           PaintedTexels(blend != nullptr ? blend->texture : nullptr));
            }
          }
          std::fprintf(out, "\n");
        }
      std::fprintf(out, "paint %s from pixel (%d, %d) to (%d, %d): %d patches painted\n", o.paintLayer.c_str(),
                   o.stroke[0], o.stroke[1], o.stroke[2], o.stroke[3], patches);
    }
    for (const auto& r : o.rays) {
      const D3DXVECTOR3 a(r[0], r[1], r[2]), b(r[3], r[4], r[5]);
      D3DXVECTOR3 normal(0, 0, 0);
      const float t = edit->Pick(&a, &b, &normal);
      if (t >= 0.0f && t <= 1.0f) {
        const D3DXVECTOR3 p = a + (b - a) * t;
        std::fprintf(out, "ray %s to %s: t %.6f point %s normal %s\n", Vec(a).c_str(), Vec(b).c_str(), t,
                     Vec(p).c_str(), Vec(normal).c_str());
      } else {
        std::fprintf(out, "ray %s to %s: no hit\n", Vec(a).c_str(), Vec(b).c_str());
      }
    }
    for (const auto& p : o.points) {
      D3DXVECTOR3 point(p[0], 0.0f, p[1]), normal(0, 0, 0);
      if (edit->SampleHeight(&point, &normal))
        std::fprintf(out, "height (%.3f, %.3f): %.3f normal %s\n", p[0], p[1], point.y, Vec(normal).c_str());
      else
        std::fprintf(out, "height (%.3f, %.3f): outside the field\n", p[0], p[1]);
    }
    if (!host.LogLines().empty()) {
      std::fprintf(out, "== host log ==\n");
      for (const auto& line : host.LogLines()) std::fprintf(out, "%s\n", line.c_str());
    }
    if (!standard.renderer.Log().empty()) {
      std::fprintf(out, "== renderer log ==\n");
      for (const auto& line : standard.renderer.Log()) std::fprintf(out, "%s\n", line.c_str());
    }
    host.DestroyAll();
  }
  const size_t live = host.Allocator().LiveBlocks();
  std::fprintf(out, "live host blocks: %zu\n", live);
  if (live != 0) status = 1;
  return status;
}

}  // namespace footlight
