// The adaptive binary tree in a reference host with a renderer and a file service rooted at a
// temporary directory; a writer of render-geometry files; the friend hook through which tests
// reach the tree's containers.
#pragma once
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "frame/host_blocks.h"
#include "host/ini_service.h"
#include "host/renderer.h"
#include "support/module_host.h"
#include "visibility/adaptive_binary_tree.h"
#include "visibility/occlusion_system.h"
#include "win32/file_system.h"

struct AdaptiveBinaryTreeTestHook {
  using T = CAdaptiveBinaryTree;
  static std::vector<AbtLeafBatch>& Batches(T& t) { return t.m_LeafBatches; }
  static std::vector<AbtMaterial>& Materials(T& t) { return t.m_Materials; }
  static std::vector<int32_t>& Textures(T& t) { return t.m_Textures; }
  static std::vector<int32_t>& VertexBuffers(T& t) { return t.m_VertexBuffers; }
  static std::vector<int32_t>& IndexBuffers(T& t) { return t.m_IndexBuffers; }
  static AbtRenderNode*& Root(T& t) { return t.m_pRenderRoot; }
  static COcclusionSystem*& Occlusion(T& t) { return t.m_pOcclusion; }
  static bool DrawBatches(T& t) { return t.m_bDrawBatches; }
  static bool OcclusionCulling(T& t) { return t.m_bOcclusionCulling; }

  template <class E>
  static E* Flat(const std::vector<E>& v) {
    E* block = HostNewArray<E>(static_cast<uint32_t>(v.size()));
    for (size_t i = 0; i < v.size(); ++i) block[i] = v[i];
    return block;
  }
  static void SetCollision(T& t, const std::vector<AbtIndexNode>& nodes, const std::vector<AbtCollisionTriangle>& tris,
                           const std::vector<D3DXVECTOR3>& points) {
    t.m_pCollisionNodes = Flat(nodes);
    t.m_pCollisionTriangles = Flat(tris);
    t.m_pCollisionPoints = Flat(points);
  }
  static void SetOccluders(T& t, const std::vector<AbtIndexNode>& nodes, const std::vector<AbtOccluderPolygon>& polys,
                           const std::vector<uint32_t>& indices, const std::vector<D3DXVECTOR3>& points,
                           const std::vector<D3DXPLANE>& planes) {
    t.m_pOccluderNodes = Flat(nodes);
    t.m_pOccluderPolygons = Flat(polys);
    t.m_pOccluderIndices = Flat(indices);
    t.m_pOccluderPoints = Flat(points);
    t.m_pOccluderPlanes = Flat(planes);
  }
};

namespace abt_testing {

inline AbtBox Box(D3DXVECTOR3 mn, D3DXVECTOR3 mx) {
  AbtBox b;
  b.m_vecMin = mn;
  b.m_vecMax = mx;
  return b;
}

// A batch of one unit cube at (x, y, z) (its minimum corner).
inline AbtLeafBatch CubeBatch(float x, float y, float z, float size = 1.0f) {
  AbtLeafBatch b;
  b.m_Box = Box(D3DXVECTOR3(x, y, z), D3DXVECTOR3(x + size, y + size, z + size));
  b.m_vecCentre = D3DXVECTOR3(x + size / 2, y + size / 2, z + size / 2);
  return b;
}

// What a render-geometry file holds, written field by field as the format lays it out.
struct GeometrySpec {
  std::vector<std::string> names;
  std::vector<AbtMaterial> materials;
  std::vector<AbtLeafBatch> batches;
  struct Buffer {
    uint32_t code = 0;
    uint32_t count = 0;
    std::vector<uint8_t> bytes;  // empty: count × stride bytes of a pattern
  };
  std::vector<Buffer> buffers;
  std::vector<uint16_t> indices;
};

inline uint32_t StrideOf(uint32_t code) {
  const uint32_t t = code & 3, w = (code >> 2) & 15;
  const uint32_t wp = w > 1 ? w - 1 : w;
  return wp == 0 ? 36 + 8 * t : 40 + 4 * wp + 8 * t;
}

inline void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutChunk(std::vector<uint8_t>& out, uint16_t tag, const std::vector<uint8_t>& body) {
  PutU16(out, tag);
  PutU32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

inline std::vector<uint8_t> WriteGeometry(const GeometrySpec& s) {
  std::vector<uint8_t> out, header(72, 0), pool, offsets, materials, batches, buffers, indices;
  const uint32_t t = static_cast<uint32_t>(s.names.size());
  const uint32_t v = static_cast<uint32_t>(s.buffers.size());
  for (int i = 0; i < 4; ++i) {
    header[16 + i] = static_cast<uint8_t>(t >> (8 * i));
    header[40 + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  for (const std::string& n : s.names) {
    PutU32(offsets, static_cast<uint32_t>(pool.size()));
    pool.insert(pool.end(), n.begin(), n.end());
    pool.push_back(0);
  }
  ByteWriter mw, bw;
  for (const AbtMaterial& m : s.materials) m.Write(mw);
  for (const AbtLeafBatch& b : s.batches) b.Write(bw);
  for (const GeometrySpec::Buffer& b : s.buffers) {
    PutU32(buffers, b.code);
    PutU32(buffers, b.count);
    if (!b.bytes.empty()) {
      buffers.insert(buffers.end(), b.bytes.begin(), b.bytes.end());
    } else {
      for (uint32_t i = 0; i < b.count * StrideOf(b.code); ++i) buffers.push_back(static_cast<uint8_t>(i * 7));
    }
  }
  for (uint16_t i : s.indices) PutU16(indices, i);
  PutChunk(out, 0x1000, header);
  PutChunk(out, 0x2000, pool);
  PutChunk(out, 0x3000, offsets);
  PutChunk(out, 0x4000, mw.Bytes());
  PutChunk(out, 0x5000, bw.Bytes());
  PutChunk(out, 0x6000, buffers);
  PutChunk(out, 0x7000, indices);
  return out;
}

// Two textures, two materials (the second without a texture), one buffer of 8 vertices
// (code 1: 44 bytes) and `batchCount` triangle-list batches of one cube each along x.
inline GeometrySpec SmallScene(int batchCount = 3, float x0 = 0.0f) {
  GeometrySpec s;
  s.names = {"wall.bmp", "floor.bmp"};
  AbtMaterial textured, plain;
  textured.m_SlotUsed[0] = 1;
  textured.m_Texture[0] = 1;
  plain.m_Texture[0] = 77;  // slot unused: kept as stored
  s.materials = {textured, plain};
  s.buffers.push_back({1, 8, {}});
  s.indices = {0, 1, 2, 2, 1, 3, 4, 5, 6, 5, 6, 7};
  for (int i = 0; i < batchCount; ++i) {
    AbtLeafBatch b = CubeBatch(x0 + 2.0f * static_cast<float>(i), 0, 0);
    b.m_nPrimitiveKind = kAbtTriangleList;
    b.m_nPrimitiveCount = 2;
    b.m_nStartIndex = 0;
    b.m_nVertexCount = 4;
    b.m_nMinVertexIndex = static_cast<uint32_t>(i % 2 == 0 ? 0 : 4);
    b.m_nMaterial = static_cast<uint32_t>(i % 2);
    b.m_nVertexBuffer = 0;
    b.m_nIndexBuffer = 99;
    b.m_nBlendClass = 7;
    b.m_flEyeDistance = 5.0f;
    s.batches.push_back(b);
  }
  return s;
}

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "abt_XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

using Hook = AdaptiveBinaryTreeTestHook;

struct TreeHost {
  TempDir dir;
  testing_support::ModuleHost module;
  host::Renderer renderer;
  std::unique_ptr<host::IniService> ini;
  ComponentHandle handle{};
  CAdaptiveBinaryTree* tree = nullptr;

  explicit TreeHost(bool withRenderer = true) {
    ResetInsertBiasToggle();
    if (withRenderer) module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    ini = std::make_unique<host::IniService>(dir.path.string(), &module.host);
    module.host.SetIniService(ini.get());
    win32::SetResourceRoot(dir.path.string());
    std::filesystem::create_directories(dir.path / "scene");
    module.host.LoadModule(&DMAInterface);
    module.host.CreateObject(&handle, "CAdaptiveBinaryTree");
    tree = dynamic_cast<CAdaptiveBinaryTree*>(static_cast<CComponentBase*>(module.host.GetObject(&handle)));
  }
  ~TreeHost() {
    module.host.DestroyAll();
    win32::SetResourceRoot("");
  }

  // A 1 x 1 bitmap in the scene folder, where the tree looks for its textures.
  void WriteTexture(const std::string& name) {
    std::vector<uint8_t> b = {'B', 'M'};
    PutU32(b, 58);
    PutU32(b, 0);
    PutU32(b, 54);
    PutU32(b, 40);
    PutU32(b, 1);
    PutU32(b, 1);
    PutU16(b, 1);
    PutU16(b, 24);
    for (int i = 0; i < 6; ++i) PutU32(b, 0);
    for (uint8_t v : {0x10, 0x20, 0x30, 0x00}) b.push_back(v);
    Write("scene/" + name, b);
  }
  void WriteTextures(const GeometrySpec& s) {
    for (const std::string& n : s.names) WriteTexture(n);
  }

  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir.path / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
  }
  bool Load(const std::string& name, const std::vector<uint8_t>& bytes, uint32_t blendClass = 0) {
    Write(name, bytes);
    return tree->Load(name.c_str(), blendClass);
  }
  int RegistryLines(const std::string& text) {
    int n = 0;
    for (const std::string& line : module.host.Registry().LogLines())
      if (line.find(text) != std::string::npos) ++n;
    return n;
  }
};

}  // namespace abt_testing
