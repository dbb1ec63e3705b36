#include "apps/footlight/terrain_command.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "apps/footlight/raster_options.h"
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

namespace {

std::string Vec(const D3DXVECTOR3& v) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "(%.3f, %.3f, %.3f)", v.x, v.y, v.z);
  return buf;
}

// "A,B,..." as `least` to `most` whole numbers, each from `lo` to `hi`.
bool ParseWholes(const std::string& text, size_t least, size_t most, long long lo, long long hi,
                 std::vector<int>* out) {
  out->clear();
  for (const std::string& part : cli::SplitCommas(text)) {
    long long v = 0;
    if (!cli::ParseWhole(part, lo, hi, &v)) return false;
    out->push_back(static_cast<int>(v));
  }
  return out->size() >= least && out->size() <= most;
}

bool ParseBrush(const std::string& text, std::array<int, 4>* out) {
  std::vector<int> b;
  if (!ParseWholes(text, 2, 4, 0, 65536, &b) || b.size() == 3 || b[0] < 1 || b[1] < 1 || b[0] * b[1] > 65536)
    return false;
  std::array<int, 4> brush{b[0], b[1], (b[0] + 1) / 2, (b[1] + 1) / 2};
  if (b.size() == 4) {
    if (b[2] < 1 || b[2] > b[0] || b[3] < 1 || b[3] > b[1]) return false;
    brush[2] = b[2];
    brush[3] = b[3];
  }
  *out = brush;
  return true;
}

bool ParseEdit(const std::string& text, TerrainOptions::HeightEdit* out) {
  std::vector<int> e;
  if (!ParseWholes(text, 3, 3, -32768, 65535, &e) || e[0] < 0 || e[1] < 0 || e[2] > 32767) return false;
  out->pixel = cli::Pixel{e[0], e[1]};
  out->amount = e[2];
  return true;
}

bool ParseStroke(const std::string& text, std::array<cli::Pixel, 2>* out) {
  const size_t colon = text.find(':');
  cli::Pixel from, to;
  if (!cli::ParsePixel(text.substr(0, colon), &from)) return false;
  if (colon == std::string::npos)
    to = from;
  else if (!cli::ParsePixel(text.substr(colon + 1), &to))
    return false;
  *out = {from, to};
  return true;
}

bool ParseClick(const std::string& text, TerrainOptions::Click* out) {
  const size_t at = text.find('@');
  long long frame = 0;
  if (at == std::string::npos || !cli::ParsePixel(text.substr(0, at), &out->pixel) ||
      !cli::ParseWhole(text.substr(at + 1), 1, 100000, &frame))
    return false;
  out->frame = static_cast<int>(frame);
  return true;
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

std::string CheckTerrainOptions(const TerrainOptions& o) {
  if (o.stroke.has_value() != (!o.mask.empty() && !o.paintLayer.empty()) ||
      (!o.stroke && (!o.mask.empty() || !o.paintLayer.empty())))
    return "--paint, --mask and --paint-layer go together";
  const std::string view = std::to_string(o.picture.size.width) + "x" + std::to_string(o.picture.size.height) + " view";
  auto outside = [&](const cli::Pixel& p) { return p.x >= o.picture.size.width || p.y >= o.picture.size.height; };
  auto pixel = [](const cli::Pixel& p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
  for (const auto& e : o.edits)
    if (outside(e.pixel)) return "pixel " + pixel(e.pixel) + " lies outside the " + view;
  if (o.stroke && (outside((*o.stroke)[0]) || outside((*o.stroke)[1]))) return "the stroke leaves the " + view;
  if (o.eye && o.at && o.eye->x == o.at->x && o.eye->y == o.at->y && o.eye->z == o.at->z)
    return "--eye and --at are the same point: the view looks nowhere";
  if (!o.clicks.empty() && !o.editor) return "--click is an option of --editor";
  for (const auto& c : o.clicks) {
    if (outside(c.pixel)) return "click " + pixel(c.pixel) + " lies outside the " + view;
    if (c.frame > o.frames)
      return "click at frame " + std::to_string(c.frame) + " comes after the last frame (" + std::to_string(o.frames) +
             ")";
  }
  return "";
}

namespace {

// How far the eye stands from the farthest corner of the box from (0, low, 0) to (side, top, side).
double FarthestCorner(const D3DXVECTOR3& eye, float side, float low, float top) {
  double most = 0.0;
  for (float x : {0.0f, side})
    for (float y : {low, top})
      for (float z : {0.0f, side})
        most = std::max(most, std::hypot(double{x} - eye.x, double{y} - eye.y, double{z} - eye.z));
  return most;
}

}  // namespace

int RunTerrain(const TerrainOptions& o, const cli::Context& context, std::FILE* out, std::FILE* err) {
  for (const std::string& file : {o.heights, o.mask})
    if (std::string line; !file.empty() && !cli::Readable(o.resource, file, &line)) return cli::Fail(line);
  const std::string path = win32::ResolvePath(o.resource, o.heights.c_str(), win32::PathMode::Read);
  host::HeightField field;
  std::string error;
  if (!host::ReadHeightFile(path, &field, &error)) return cli::Fail(o.heights + ": " + error);
  host::MaskImage mask;
  if (o.stroke) {
    const std::string maskPath = win32::ResolvePath(o.resource, o.mask.c_str(), win32::PathMode::Read);
    if (!host::ReadMaskFile(maskPath, &mask, &error)) return cli::Fail(o.mask + ": " + error);
    const int side = 2 * (o.brush[0] - 1);
    if (mask.width != side || mask.height != side) {
      std::fprintf(err, "footlight: %s: the mask is %d x %d but a brush %d wide takes %d x %d\n", o.mask.c_str(),
                   mask.width, mask.height, o.brush[0], side, side);
      return 2;
    }
  }
  // The device is the view, so pixels of the edits are pixels of --size.
  host::StandardHost standard(o.resource, o.picture.Config());
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(context.entry) == nullptr) return context.EmptyClassList();
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
    if (!o.edits.empty() || o.stroke) edit->SetBrushSize(o.brush[0], o.brush[1], o.brush[2], o.brush[3]);
    if (o.stroke) {
      edit->SetBrushMask(mask.bytes.data(), mask.width, mask.height, o.paintLayer.c_str(), nullptr, nullptr, false);
      if (terrain->PaintLayer() < 0) {
        std::fprintf(err, "footlight: cannot load the paint layer texture %s%s\n", o.textures.c_str(),
                     o.paintLayer.c_str());
        host.DestroyAll();
        return 1;
      }
    }
    int lo = INT_MAX, hi = INT_MIN;
    double sum = 0.0;
    for (int x = 0; x < field.side; ++x)
      for (int z = 0; z < field.side; ++z) {
        const int h = field.heights[static_cast<size_t>(x) * host::kHeightFieldSide + z];
        lo = std::min(lo, h);
        hi = std::max(hi, h);
        sum += h;
      }
    std::fprintf(out, "terrain %s: %d x %d samples, heights %d..%d, scale %g, layer %s\n", o.heights.c_str(),
                 field.side, field.side, lo, hi, o.scale, o.layer.c_str());
    // By default the eye stands above the highest point over the field's first corner and looks
    // across to the middle at the field's mean height, wherever the field lies.
    const float side = static_cast<float>(field.side - 1);
    const float low = std::min(lo * o.scale, hi * o.scale), top = std::max(lo * o.scale, hi * o.scale);
    const float mean = static_cast<float>(sum / (static_cast<double>(field.side) * field.side) * o.scale);
    const D3DXVECTOR3 eye = o.eye ? D3DXVECTOR3(o.eye->x, o.eye->y, o.eye->z)
                                  : D3DXVECTOR3(side * 0.1f, top + 60.0f, side * 0.1f);
    const D3DXVECTOR3 at = o.at ? D3DXVECTOR3(o.at->x, o.at->y, o.at->z) : D3DXVECTOR3(side * 0.5f, mean, side * 0.5f);
    D3DXVECTOR3 up(0, 1, 0);
    if (std::fabs(eye.x - at.x) < 1e-4f && std::fabs(eye.z - at.z) < 1e-4f) up = D3DXVECTOR3(0, 0, 1);
    standard.renderer.SetLookAt(&eye, &at, &up);
    // The far plane reaches the farthest corner of the box round the field.
    const double reach = FarthestCorner(eye, side, low, top);
    const float farPlane = static_cast<float>(std::max(6000.0, reach * 1.01 + 1.0));
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, o.fov * 3.14159265f / 180.0f,
                               static_cast<float>(o.picture.size.width) / static_cast<float>(o.picture.size.height), 1.0f, farPlane);
    standard.renderer.SetTransform(D3DTS_PROJECTION, &projection);
    std::fprintf(out, "eye %s at %s fov %g size %dx%d%s\n", Vec(eye).c_str(), Vec(at).c_str(), o.fov, o.picture.size.width,
                 o.picture.size.height, o.wireframe ? " wireframe" : "");
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
      // Each frame starts from a cleared picture and depth, as a game's frame does.
      standard.renderer.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
      for (const auto& c : o.clicks)
        if (c.frame == frame) {
          DeliverClick(host, c.pixel.x, c.pixel.y);
          std::fprintf(out, "click (%d, %d) before frame %d: %s\n", c.pixel.x, c.pixel.y, frame,
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
        edit->SelectUnderBrush(weights.data(), e.pixel.x, e.pixel.y);
        std::fprintf(out, "%s %d at pixel (%d, %d): ", e.set ? "set" : "raise", e.amount, e.pixel.x, e.pixel.y);
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
    if (o.stroke) {
      const cli::Pixel from = (*o.stroke)[0], to = (*o.stroke)[1];
      // The mouse moves one pixel a frame along the stroke, painting where the picked point moves.
      edit->BeginPickMode();
      const int dx = to.x - from.x, dy = to.y - from.y;
      const int steps = std::max(std::abs(dx), std::abs(dy));
      for (int k = 0; k <= steps; ++k) {
        const int x = from.x + (steps == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(dx) * k / steps)));
        const int y = from.y + (steps == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(dy) * k / steps)));
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
                   from.x, from.y, to.x, to.y, patches);
    }
    for (const auto& r : o.rays) {
      const D3DXVECTOR3 a(r.from.x, r.from.y, r.from.z), b(r.to.x, r.to.y, r.to.z);
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
    if (WritePicture(o.picture, standard.renderer, out, err) != 0) status = 1;
    for (const auto& p : o.points) {
      D3DXVECTOR3 point(p.x, 0.0f, p.z), normal(0, 0, 0);
      if (edit->SampleHeight(&point, &normal))
        std::fprintf(out, "height (%.3f, %.3f): %.3f normal %s\n", p.x, p.z, point.y, Vec(normal).c_str());
      else
        std::fprintf(out, "height (%.3f, %.3f): outside the field\n", p.x, p.z);
    }
    if (!host.LogLines().empty()) {
      std::fprintf(out, "== host log ==\n");
      cli::PrintLog(out, host.LogLines());
    }
    if (!standard.renderer.Log().empty()) {
      std::fprintf(out, "== renderer log ==\n");
      cli::PrintLog(out, standard.renderer.Log());
    }
    host.DestroyAll();
  }
  const size_t live = host.Allocator().LiveBlocks();
  std::fprintf(out, "live host blocks: %zu\n", live);
  if (live != 0) status = 1;
  return status;
}

void AddTerrainCommand(cli::Program& program) {
  auto* o = program.Keep<TerrainOptions>();
  CLI::App* cmd = program.Command("terrain", "load a height field into the terrain, look at it, edit and paint it",
                                  [o](const cli::Context& context) { return RunTerrain(*o, context, stdout, stderr); });
  cli::ResourcePath(cmd, "HEIGHTS", &o->heights, "the height file: raw 16-bit samples, side x side")->required();
  cli::ResourceRoot(cmd, &o->resource);
  // Heights run to 32,767: a scale of at most 1000 keeps every scaled height, and the default eye
  // above them, where the view's float arithmetic still reaches.
  cli::Number(cmd, "--scale", &o->scale, "the height scale, -1000 to 1000 (default 1)", cli::Range{-1000.0, 1000.0});
  cli::ResourcePath(cmd, "--layer", &o->layer, "the base texture layer below PREFIX (default grass.dds)");
  cli::ResourcePath(cmd, "--textures", &o->textures, "the folder of the layer textures (default resource\\terrain\\)")
      ->type_name("PREFIX");
  cli::Value(cmd, "--eye", &o->eye, "the eye (default: above the field's first corner)");
  cli::Value(cmd, "--at", &o->at, "the point looked at (default: the field's middle)");
  cli::Number(cmd, "--fov", &o->fov, "the vertical field of view in degrees (default 60)", cli::Range::Between(0, 180));
  DeclarePictureOptions(cmd, &o->picture, "the view in pixels (default 800x600)");
  cli::Whole(cmd, "--frames", &o->frames, 1, 100000, "frames to run (default 1)");
  cmd->add_flag("--wireframe", o->wireframe, "draw the terrain as a wireframe");
  cli::Value(cmd, "--ray", &o->rays, "print the first hit of the ray with the ground (again for more)");
  cli::Value(cmd, "--height", &o->points, "print the ground height and normal at X,Z (again for more)");
  cli::Custom<std::array<int, 4>>(cmd, "--brush", &o->brush, "W,H[,HX,HZ]",
                                  "W,H[,HX,HZ] with W x H of 1 to 65536 grid points and a hot spot from 1,1 to W,H",
                                  ParseBrush,
                                  "the brush's grid points and 1-based hot spot (default 9,9 and the middle)");
  const auto edit = [](bool set) {
    return [set](const std::string& text, TerrainOptions::HeightEdit* e) {
      e->set = set;
      return ParseEdit(text, e);
    };
  };
  const std::string editWants = "a pixel X,Y and a height N of -32768 to 32767";
  cli::Custom<TerrainOptions::HeightEdit>(cmd, "--raise", &o->edits, "X,Y,N", editWants, edit(false),
                                          "raise the ground under the pixel by N, weighted by the brush");
  cli::Custom<TerrainOptions::HeightEdit>(cmd, "--set", &o->edits, "X,Y,N", editWants, edit(true),
                                          "set the ground under the pixel to N, weighted by the brush");
  cli::Custom<std::array<cli::Pixel, 2>>(cmd, "--paint", &o->stroke, "X,Y[:X2,Y2]",
                                         "a pixel X,Y or a stroke X,Y:X2,Y2", ParseStroke,
                                         "drag the mouse along the stroke, painting --paint-layer through --mask");
  cli::ResourcePath(cmd, "--mask", &o->mask, "the brush mask: an 8-bit PGM, 2 (W - 1) square");
  cli::ResourcePath(cmd, "--paint-layer", &o->paintLayer, "the texture layer the stroke paints below PREFIX")
      ->type_name("NAME");
  cmd->add_flag("--editor", o->editor, "make the terrain editor after the terrain (its scene, walker and camera)");
  cli::Custom<TerrainOptions::Click>(cmd, "--click", &o->clicks, "X,Y@FRAME", "a pixel and a frame X,Y@FRAME",
                                     ParseClick, "with --editor: a left click at the pixel before the frame");
  program.Check(cmd, [o] { return CheckTerrainOptions(*o); });
}

}  // namespace footlight
