#include "scene/dynamic_flag_system.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"

namespace {

constexpr DWORD kWriteOnly = 8;
constexpr DWORD kManagedPool = 1;
constexpr DWORD kIndex16 = 0x65;

// "color": four decimal numbers, alpha, red, green, blue. A missing number reads 0 and each is
// held to a byte, so one value never spills into its neighbour.
uint32_t ParseColour(const char* text) {
  char buffer[256];
  std::strncpy(buffer, text, sizeof buffer - 1);
  buffer[sizeof buffer - 1] = '\0';
  uint32_t parts[4] = {0, 0, 0, 0};
  char* rest = nullptr;
  const char* token = strtok_r(buffer, ",", &rest);
  for (int i = 0; i < 4 && token != nullptr; ++i, token = strtok_r(nullptr, ",", &rest))
    parts[i] = static_cast<uint32_t>(std::clamp(std::atoi(token), 0, 255));
  return parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
}

}  // namespace

CDynamicFlagSystem::CDynamicFlagSystem() { D3DXMatrixIdentity(&world); }

CDynamicFlagSystem::~CDynamicFlagSystem() {
  Clear();
  if (renderer != nullptr && indexBuffer >= 0) renderer->ReleaseIndexBuffer(indexBuffer);
  indexBuffer = -1;
  ReleaseIniFile(flagList);
  flagList = nullptr;
}

void CDynamicFlagSystem::Init() {
  renderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  if (renderer == nullptr) return;
  effect = renderer->GetEffect("DynamicFlag");
  // A second Init (the scene started again) keeps one buffer and one flag list.
  if (indexBuffer < 0) indexBuffer = renderer->CreateIndexBuffer(kFlagIndexBufferBytes, kWriteOnly, kManagedPool, kIndex16);
  if (flagList == nullptr && g_pIniService != nullptr) flagList = g_pIniService->OpenIni(kFlagListPath, 0);
}

DynamicFlagType CDynamicFlagSystem::MakeType(const char* typeName, IIniFile* materialIni) const {
  DynamicFlagType type;
  type.name = typeName;
  // Segment counts below 1 read 1, and one grid never holds more quads than the index buffer.
  type.verticalSegments = std::clamp(flagList->GetInt(typeName, "numVerticalSegment", 3), 1, kFlagMaxQuads);
  type.horizontalSegments = std::clamp(flagList->GetInt(typeName, "numHorizonalSegment", 3), 1,
                                       kFlagMaxQuads / type.verticalSegments);
  if (!types.empty()) type.firstIndex = types.back().triangleCount * 3 + types.back().firstIndex;
  type.waveBase = flagList->GetFloat(typeName, "waveBase", 0.0f);
  type.waveAmplitude = flagList->GetFloat(typeName, "waveAmplitude", 0.0f);
  type.wavePhase = flagList->GetFloat(typeName, "wavePhase", 0.0f);
  type.waveFrequency = flagList->GetFloat(typeName, "waveFrequency", 0.0f);
  const float spread = flagList->GetFloat(typeName, "deformationSpread", 1.0f);
  type.inverseSpread = spread != 0.0f && std::isfinite(spread) ? 1.0f / spread : 1.0f;
  type.waveFunction = kWaveSine;
  char texture[256] = {};
  flagList->GetString(typeName, "texStage0", texture, sizeof texture, "");
  type.texture0 = renderer->LoadTexture(texture, 0);
  texture[0] = '\0';
  flagList->GetString(typeName, "texStage1", texture, sizeof texture, "");
  type.texture1 = renderer->LoadTexture(texture, 0);
  char colour[256] = {};
  flagList->GetString(typeName, "color", colour, sizeof colour, "255,255,255,255");
  type.colour = ParseColour(colour);
  type.modifiers.LoadFromINI(materialIni, typeName);
  return type;
}

void CDynamicFlagSystem::AddFlag(const char*, const char* typeName, const float* c0, const float* c1,
                                 const float* c2, IIniFile* materialIni) {
  if (flagList == nullptr || renderer == nullptr || typeName == nullptr || materialIni == nullptr) return;
  if (c0 == nullptr || c1 == nullptr || c2 == nullptr) return;
  const D3DXVECTOR3 p0(c0[0], c0[1], c0[2]), p1(c1[0], c1[1], c1[2]), p2(c2[0], c2[1], c2[2]);
  // A corner edge of no length has no direction to lay the grid along.
  const D3DXVECTOR3 edgeA = p1 - p0, edgeB = p2 - p0;
  const float lengthA = D3DXVec3Length(&edgeA), lengthB = D3DXVec3Length(&edgeB);
  if (!(lengthA > 0.0f) || !(lengthB > 0.0f) || !std::isfinite(lengthA) || !std::isfinite(lengthB)) return;

  const auto found = std::find_if(types.begin(), types.end(), [&](const DynamicFlagType& t) { return t.name == typeName; });
  if (found != types.end()) {
    if (found - types.begin() != lastCreatedType) return;
    const uint32_t base = found->vertexCount;
    if (!AddInstance(*found, p0, p1, p2)) return;
    WriteIndices(*found, base);
    return;
  }
  DynamicFlagType type = MakeType(typeName, materialIni);
  if (!AddInstance(type, p0, p1, p2)) {
    renderer->ReleaseTexture(type.texture0);
    renderer->ReleaseTexture(type.texture1);
    return;
  }
  types.push_back(std::move(type));
  lastCreatedType = static_cast<int32_t>(types.size() - 1);
  WriteIndices(types.back(), 0);
}

bool CDynamicFlagSystem::AddInstance(DynamicFlagType& type, const D3DXVECTOR3& c0, const D3DXVECTOR3& c1,
                                     const D3DXVECTOR3& c2) {
  const int32_t h = type.horizontalSegments, v = type.verticalSegments;
  const uint32_t count = static_cast<uint32_t>((h + 1) * (v + 1));
  auto* grid = HostNewArray<DynamicFlagVertex>(count);
  if (grid == nullptr) return false;
  const D3DXVECTOR3 edgeA = c1 - c0, edgeB = c2 - c0;
  const float lengthA = D3DXVec3Length(&edgeA), lengthB = D3DXVec3Length(&edgeB);
  const D3DXVECTOR3 a = edgeA / lengthA, b = edgeB / lengthB;
  const float stepA = lengthA / static_cast<float>(h), stepB = lengthB / static_cast<float>(v);
  D3DXVECTOR3 n;
  D3DXVec3Cross(&n, &a, &b);
  for (int32_t r = 0; r <= v; ++r) {
    for (int32_t c = 0; c <= h; ++c) {
      const D3DXVECTOR3 p = c0 + a * (static_cast<float>(c) * stepA) + b * (static_cast<float>(r) * stepB);
      const float tu = static_cast<float>(c) / static_cast<float>(h), tv = static_cast<float>(r) / static_cast<float>(v);
      grid[r * (h + 1) + c] = DynamicFlagVertex{p.x, p.y, p.z, n.x, n.y, n.z, tu, tv, tu, tv};
    }
  }
  type.instances.push_back(DynamicFlagInstance{grid, count});
  type.vertexCount += count;
  return true;
}

void CDynamicFlagSystem::WriteIndices(DynamicFlagType& type, uint32_t baseVertex) {
  const uint32_t h = static_cast<uint32_t>(type.horizontalSegments), v = static_cast<uint32_t>(type.verticalSegments);
  const uint32_t start = type.triangleCount * 3 + type.firstIndex;
  const uint32_t count = h * v * 6;
  // Checked here rather than left to the renderer: indices past the buffer would land in
  // memory that is not the buffer's.
  if (indexBuffer < 0 || start > kFlagIndexCapacity || count > kFlagIndexCapacity - start) return;
  // Vertices past the 16-bit range cannot be named by an index.
  if (baseVertex + (h + 1) * (v + 1) > 0x10000u) return;
  auto* indices = static_cast<uint16_t*>(renderer->LockIndexBuffer(indexBuffer, start * 2, h * v * 12, 0));
  if (indices == nullptr) return;
  for (uint32_t j = 0; j < v; ++j) {
    for (uint32_t i = 0; i < h; ++i) {
      const uint32_t p = baseVertex + j * (h + 1) + i, q = p + (h + 1);
      uint16_t* out = indices + (j * h + i) * 6;
      const uint32_t quad[6] = {p, q + 1, q, p, p + 1, q + 1};
      for (int k = 0; k < 6; ++k) out[k] = static_cast<uint16_t>(quad[k]);
    }
  }
  renderer->UnlockIndexBuffer(indexBuffer);
  type.triangleCount += 2 * h * v;
}

void CDynamicFlagSystem::SetTime(float seconds) {
  for (DynamicFlagType& type : types) type.modifiers.Update(seconds);
  time = seconds;
}

void CDynamicFlagSystem::Render() {
  if (indexBuffer < 0 || renderer == nullptr) return;
  for (DynamicFlagType& type : types) {
    int buffer = -1;
    UINT firstVertex = 0;
    auto* out = static_cast<DynamicFlagVertex*>(
        renderer->LockDynamicVertices(kFlagVertexFormat, sizeof(DynamicFlagVertex), type.vertexCount, &buffer, &firstVertex));
    // Without room for the vertices there is nothing to draw this frame.
    if (out == nullptr) continue;
    const float* table = CTexCoordModifiers::GetWaveTable(type.waveFunction);
    for (const DynamicFlagInstance& instance : type.instances) {
      std::memcpy(out, instance.vertices, instance.vertexCount * sizeof(DynamicFlagVertex));
      for (uint32_t k = 0; k < instance.vertexCount; ++k) {
        DynamicFlagVertex& vertex = out[k];
        const float periods =
            (vertex.x + vertex.y + vertex.z) * type.inverseSpread + type.wavePhase + type.waveFrequency * time;
        const float w = type.waveAmplitude * table[WaveTableIndex(periods)] + type.waveBase;
        vertex.x += w * vertex.nx;
        vertex.y += w * vertex.ny;
        vertex.z += w * vertex.nz;
      }
      out += instance.vertexCount;
    }
    renderer->UnlockDynamicVertices(buffer);
    // A type whose every instance ran out of index space has vertices but nothing to draw.
    if (type.triangleCount == 0) continue;
    type.modifiers.Apply();
    renderer->SetTransform(D3DTS_WORLD, &world);
    renderer->SetTexture(0, type.texture0);
    renderer->SetTexture(1, type.texture1);
    renderer->SetRenderState(D3DRS_TEXTUREFACTOR, type.colour);
    renderer->DrawIndexed(buffer, sizeof(DynamicFlagVertex), indexBuffer, firstVertex, type.vertexCount, type.firstIndex,
                          type.triangleCount, effect, 0);
    type.modifiers.Reset();
  }
}

void CDynamicFlagSystem::Clear() {
  for (DynamicFlagType& type : types) {
    if (renderer != nullptr) {
      renderer->ReleaseTexture(type.texture0);
      renderer->ReleaseTexture(type.texture1);
    }
    for (DynamicFlagInstance& instance : type.instances) HostDeleteArray(instance.vertices);
    type.instances.clear();
  }
  types.clear();
  lastCreatedType = -1;
}
