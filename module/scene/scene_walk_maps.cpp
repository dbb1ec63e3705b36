// Slots 51-53: the walk map, the height map and the planform picture of the scene's
// "walk_patch" model.
#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>

#include "d3d8/d3d8.h"
#include "d3dx8/d3dx8math.h"
#include "d3dx8/d3dx8tex.h"
#include "frame/exception.h"
#include "frame/host_blocks.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "scene/scene_class_objects.h"
#include "scene/scene_system.h"
#include "win32/crt_string.h"

namespace {

// The world rectangle a map covers and the heights of its box.
struct MapBox {
  float left, top, right, bottom, low, high;
};

std::string BoxText(const MapBox& b) {
  char text[512];
  std::snprintf(text, sizeof text,
                "Left= %f\r\nTop= %f\r\nRight= %f\r\nBottom= %f\r\nLow= %f\r\nHigh= %f\r\nCenter_X= %f\r\nCenter_Z= %f\r\n",
                static_cast<double>(b.left), static_cast<double>(b.top), static_cast<double>(b.right),
                static_cast<double>(b.bottom), static_cast<double>(b.low), static_cast<double>(b.high),
                static_cast<double>((b.right + b.left) * 0.5f), static_cast<double>((b.bottom + b.top) * 0.5f));
  return text;
}

// Writes the pieces in order into a new file through the host's file operations; false when
// the file cannot be created or a write fails (a full device must not pass for a map).
bool WriteMapFile(const char* path, std::initializer_list<std::pair<const void*, uint32_t>> pieces) {
  HANDLE file = g_pIniService->OpenFile(path, kFileAccessWrite, 0, kFileCreateAlways);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return false;
  struct Closer {
    HANDLE file;
    ~Closer() {
      try {
        g_pIniService->CloseFile(file);
      } catch (...) {
      }
    }
  } closer{file};
  for (const auto& piece : pieces) {
    uint32_t written = 0;
    if (!g_pIniService->WriteFile(file, piece.first, piece.second, &written) || written != piece.second) return false;
  }
  return true;
}

// The grid as a counted block of bytes, freed on every way out.
struct GridDeleter {
  void operator()(uint8_t* grid) const { HostDeleteArray(grid); }
};
using Grid = std::unique_ptr<uint8_t, GridDeleter>;

// Makes the width x height grid and fills every cell with what `cell` makes of the fraction of a
// vertical ray through its centre; null when it cannot be made.
template <class Cell>
Grid SampleGrid(IHostModel* model, int32_t width, int32_t height, const MapBox& box, Cell&& cell) {
  const uint64_t count = uint64_t(uint32_t(width)) * uint32_t(height);
  Grid grid(HostNewArray<uint8_t>(static_cast<uint32_t>(count)));
  if (grid == nullptr) return grid;
  for (int32_t r = 0; r < height; ++r)
    for (int32_t c = 0; c < width; ++c) {
      const float x = box.left + (static_cast<float>(c) + 0.5f) * (box.right - box.left) / static_cast<float>(width);
      const float z = box.top + (static_cast<float>(r) + 0.5f) * (box.bottom - box.top) / static_cast<float>(height);
      const D3DVECTOR from{x, 127.0f, z};
      const D3DVECTOR to{x, -128.0f, z};
      const float t = model->RayTest(&from, &to);
      grid.get()[uint64_t(uint32_t(r)) * uint32_t(width) + uint32_t(c)] = cell(t);
    }
  return grid;
}

// The 18-byte header of an uncompressed 8-bit greyscale TGA.
void TgaHeader(uint8_t out[18], int32_t width, int32_t height) {
  for (int i = 0; i < 18; ++i) out[i] = 0;
  out[2] = 3;
  out[12] = static_cast<uint8_t>(width & 0xff);
  out[13] = static_cast<uint8_t>((width >> 8) & 0xff);
  out[14] = static_cast<uint8_t>(height & 0xff);
  out[15] = static_cast<uint8_t>((height >> 8) & 0xff);
  out[16] = 8;
  out[17] = 8;
}

bool WriteMap(const char* path, int32_t width, int32_t height, const Grid& grid) {
  uint8_t header[18];
  TgaHeader(header, width, height);
  return WriteMapFile(path, {{header, 18u}, {grid.get(), uint32_t(width) * uint32_t(height)}});
}

// Sizes a map can be written in: the TGA header holds 16-bit sizes.
bool MapSizeFits(int32_t width, int32_t height) { return width >= 1 && height >= 1 && width <= 0xffff && height <= 0xffff; }

// The mesh behind the walk patch's first part with its info, or null.
IHostMesh* WalkPatchMesh(IHostModel* model, HostMeshInfo* info) {
  if (model == nullptr) return nullptr;
  HostModelGeometry* geometry = model->GetGeometry(0);
  IHostMesh* mesh = geometry != nullptr ? geometry->hostMesh : nullptr;
  if (mesh != nullptr) mesh->GetInfo(info);
  return mesh;
}

// The area code of a part name (0x1f for names of no walking area).
uint8_t WalkCode(const char* name) {
  static const char* const kAreas[] = {"DANCINGSCENE_AREA_WALKING", "DANCINGSCENE_AREA_DANCE",
                                       "DANCINGSCENE_AREA_DANCE_LEADER", "DANCINGSCENE_AREA_PK",
                                       "DANCINGSCENE_AREA_DJ"};
  uint32_t code = 0xff;
  if (name == nullptr) name = "";
  for (uint32_t i = 0; i < 5; ++i)
    if (std::strcmp(name, kAreas[i]) == 0) code = i;
  return static_cast<uint8_t>((code & 0x0f) | 0x10);
}

}  // namespace

bool CSceneSystem::GenerateWalkMap(int32_t width, int32_t height, const char* mapPath, const char* headerPath) {
  return Guard(
      "CSceneSystem::GenerateWalkMap",
      [&]() -> bool {
        if (!MapSizeFits(width, height) || mapPath == nullptr) return false;
        IHostModel* model = GetModelPtr("walk_patch");
        HostMeshInfo info;
        IHostMesh* mesh = WalkPatchMesh(model, &info);
        if (mesh == nullptr) return false;
        const float centre[3] = {info.boxCentre.x, info.boxCentre.y, info.boxCentre.z};
        const float size[3] = {info.boxSize.x, info.boxSize.y, info.boxSize.z};
        float lo[3], hi[3];
        for (int a = 0; a < 3; ++a) {
          const int p = static_cast<int>(centre[a] - size[a] * 0.5f);
          const int q = static_cast<int>(centre[a] + size[a] * 0.5f);
          lo[a] = static_cast<float>(p < q ? p : q);
          hi[a] = static_cast<float>(p < q ? q : p);
        }
        const MapBox box{lo[0], lo[2], hi[0], hi[2], lo[1], hi[1]};

        float entry[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (uint32_t i = 0; i < info.nodeCount; ++i) {
          HostMeshNode node;
          if (!mesh->GetNode(static_cast<int32_t>(i), &node)) continue;
          if (node.name == nullptr || _stricmp(node.name, "entries") != 0) continue;
          const D3DMATRIX& m = node.matrix;
          entry[0] = m._41;
          entry[2] = m._43;
          const float l2 = m._11 * m._11 + m._12 * m._12 + m._13 * m._13;
          if (l2 != 0.0f) {
            const float cosine = std::fmax(-1.0f, std::fmin(1.0f, m._11 / std::sqrt(l2)));
            entry[3] = std::acos(cosine);
            if (m._11 < 0.0f) entry[3] = 6.2831855f - entry[3];
          }
          break;
        }

        if (headerPath != nullptr) {
          char line[256];
          std::snprintf(line, sizeof line, "entry = %f, %f, %f, %f", static_cast<double>(entry[0]),
                        static_cast<double>(entry[1]), static_cast<double>(entry[2]), static_cast<double>(entry[3]));
          const std::string text = BoxText(box) + line;
          if (!WriteMapFile(headerPath, {{text.data(), static_cast<uint32_t>(text.size())}})) return false;
        }
        Grid grid = SampleGrid(model, width, height, box, [&](float t) -> uint8_t {
          if (t >= 1.0f) return 0x0f;
          return WalkCode(model->GetHitPartName());
        });
        if (grid == nullptr) return false;
        return WriteMap(mapPath, width, height, grid);
      },
      false);
}

bool CSceneSystem::GenerateHeightMap(int32_t width, int32_t height, const char* mapPath, const char* headerPath) {
  return Guard(
      "CSceneSystem::GenerateHeightMap",
      [&]() -> bool {
        if (!MapSizeFits(width, height) || mapPath == nullptr) return false;
        IHostModel* model = GetModelPtr("walk_patch");
        HostMeshInfo info;
        if (WalkPatchMesh(model, &info) == nullptr) return false;
        const D3DVECTOR& c = info.boxCentre;
        const D3DVECTOR& s = info.boxSize;
        const MapBox box{c.x - s.x * 0.5f, c.z - s.z * 0.5f, c.x + s.x * 0.5f,
                         c.z + s.z * 0.5f, c.y - s.y * 0.5f, c.y + s.y * 0.5f};
        if (headerPath != nullptr) {
          const std::string text = BoxText(box);
          if (!WriteMapFile(headerPath, {{text.data(), static_cast<uint32_t>(text.size())}})) return false;
        }
        Grid grid = SampleGrid(model, width, height, box, [](float t) -> uint8_t {
          if (t >= 1.0f) return 0xff;
          return static_cast<uint8_t>(static_cast<int>(t * 255.0f));
        });
        if (grid == nullptr) return false;
        if (!WriteMap(mapPath, width, height, grid)) {
          g_pHost->Log("Warning : Unable to create file for height map.");
          return false;
        }
        return true;
      },
      false);
}

namespace {

// Holds a surface reference and gives it back on every way out.
struct SurfaceRef {
  IDirect3DSurface8* surface = nullptr;
  SurfaceRef() = default;
  SurfaceRef(const SurfaceRef&) = delete;
  SurfaceRef& operator=(const SurfaceRef&) = delete;
  ~SurfaceRef() {
    if (surface == nullptr) return;
    try {
      surface->Release();
    } catch (...) {
    }
  }
};

}  // namespace

void CSceneSystem::RenderScenePlanform(int32_t width, int32_t height, float eyeHeight, const char* path) {
  Guard("CSceneSystem::RenderScenePlanform", [&] {
    HostMeshInfo info;
    if (WalkPatchMesh(GetModelPtr("walk_patch"), &info) == nullptr || width < 1 || height < 1 || path == nullptr ||
        g_pSceneRenderer == nullptr)
      return;
    IDirect3DDevice8* device = g_pSceneRenderer->GetDevice();
    if (device == nullptr) return;
    SurfaceRef target, oldTarget, oldDepth, tempDepth;
    if (FAILED(device->CreateRenderTarget(UINT(width), UINT(height), D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, TRUE,
                                          &target.surface)) ||
        target.surface == nullptr)
      return;
    device->GetRenderTarget(&oldTarget.surface);
    device->GetDepthStencilSurface(&oldDepth.surface);
    D3DMATRIX oldView{}, oldProjection{};
    g_pSceneRenderer->GetTransform(D3DTS_VIEW, &oldView);
    g_pSceneRenderer->GetTransform(D3DTS_PROJECTION, &oldProjection);

    // A depth surface smaller than the picture cannot serve it: a temporary one of the
    // picture's size takes its place.
    IDirect3DSurface8* depth = oldDepth.surface;
    if (depth != nullptr) {
      D3DSURFACE_DESC desc{};
      depth->GetDesc(&desc);
      if (desc.Width < UINT(width) || desc.Height < UINT(height)) {
        device->CreateDepthStencilSurface(UINT(width), UINT(height), desc.Format, D3DMULTISAMPLE_NONE,
                                          &tempDepth.surface);
        depth = tempDepth.surface;
      }
    }
    if (FAILED(device->SetRenderTarget(target.surface, depth))) return;

    auto restore = [&] {
      g_pSceneRenderer->SetTransform(D3DTS_PROJECTION, &oldProjection);
      g_pSceneRenderer->SetTransform(D3DTS_VIEW, &oldView);
      device->SetRenderTarget(oldTarget.surface, oldDepth.surface);
    };
    try {
      const D3DXVECTOR3 eye(info.boxCentre.x, eyeHeight, info.boxCentre.z);
      const D3DXVECTOR3 at(info.boxCentre.x, 0.0f, info.boxCentre.z);
      const D3DXVECTOR3 up(0.0f, 0.0f, -1.0f);
      D3DXMATRIX view, projection;
      D3DXMatrixLookAtLH(&view, &eye, &at, &up);
      D3DXMatrixOrthoLH(&projection, info.boxSize.x, info.boxSize.z, 0.0f, 10000.0f);
      g_pSceneRenderer->SetTransform(D3DTS_VIEW, &view);
      g_pSceneRenderer->SetTransform(D3DTS_PROJECTION, &projection);
      device->Clear(0, nullptr, 3, 0x00FFFFFF, 1.0f, 0);
      device->BeginScene();
      try {
        for (const SceneModelRecord& r : modelRecords) {
          if (!r.Visible || r.RenderStyle != 1) continue;
          if (auto* model = static_cast<IHostModel*>(g_pHost->GetObject(&r.modelObject))) {
            model->Realize(0);
            if (r.ClassName[0] != '\0') DrawSceneClassObject(r.classObject, 0);
          }
        }
      } catch (...) {
        device->EndScene();
        throw;
      }
      device->EndScene();
      D3DXSaveSurfaceToFileA(path, D3DXIFF_BMP, target.surface, nullptr, nullptr);
    } catch (...) {
      restore();
      throw;
    }
    restore();
  });
}
