#include "apps/footlight/terrain_command.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "frame/component_base.h"
#include "host/height_file.h"
#include "host/standard_host.h"
#include "terrain/terrain_manager.h"
#include "win32/file_system.h"

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
    "                               are resource paths below DIR (default .)\n";

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

}  // namespace

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
      if (x == std::string::npos || !ParseWhole(v.substr(0, x), 1, 16384, &o.width) ||
          !ParseWhole(v.substr(x + 1), 1, 16384, &o.height))
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
    } else if (arg == "--help" || arg == "-h") {
      *error = "";
      return false;
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option " + arg + " (see footlight --help)";
      return false;
    } else if (o.heights.empty()) {
      o.heights = arg;
    } else {
      *error = "unexpected argument \"" + arg + "\" (see footlight --help)";
      return false;
    }
  }
  if (o.heights.empty()) {
    *error = "terrain needs a height file (see footlight --help)";
    return false;
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
  host::StandardHost standard(o.resource);
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

    uint32_t lastVertexEnd = 0, lastIndexEnd = 0;
    for (int frame = 1; frame <= o.frames; ++frame) {
      standard.renderer.ClearRecords();
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
