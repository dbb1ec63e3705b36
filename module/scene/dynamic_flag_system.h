// The scene's waving flags: flat cloth panels whose vertices are pushed along their normal by a
// travelling wave every frame. Flags of one kind share a type (grid size, wave, textures, colour
// and texture-coordinate modifiers from the flag list section named after the kind); all
// instances of a type are drawn in one indexed draw from one shared 16-bit index buffer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "scene/tex_coord_modifiers.h"

class IIniFile;
class IRenderer;

// FVF 0x212: position, normal, two 2D coordinate sets holding the same values.
struct DynamicFlagVertex {
  float x, y, z;
  float nx, ny, nz;
  float tu0, tv0, tu1, tv1;
};
static_assert(sizeof(DynamicFlagVertex) == 40);

constexpr uint32_t kFlagVertexFormat = 0x212;
// The shared index buffer: 6144 bytes, 3072 16-bit indices for every flag of a scene.
constexpr uint32_t kFlagIndexBufferBytes = 6144;
constexpr uint32_t kFlagIndexCapacity = kFlagIndexBufferBytes / 2;
// One instance at most fills the whole buffer: 512 quads of six indices.
constexpr int32_t kFlagMaxQuads = static_cast<int32_t>(kFlagIndexCapacity / 6);
constexpr const char* kFlagListPath = "Resource\\ini\\Brivanta\\common\\flagList.ini";

// The rest pose of one placed flag: a counted host block of vertexCount vertices.
struct DynamicFlagInstance {
  DynamicFlagVertex* vertices = nullptr;
  uint32_t vertexCount = 0;
};

struct DynamicFlagType {
  std::string name;
  int texture0 = -1;
  int texture1 = -1;
  float inverseSpread = 1.0f;
  uint32_t vertexCount = 0;
  uint32_t triangleCount = 0;
  uint32_t firstIndex = 0;
  int32_t verticalSegments = 3;
  int32_t horizontalSegments = 3;
  uint32_t colour = 0xFFFFFFFFu;
  int32_t waveFunction = kWaveSine;
  float waveBase = 0.0f;
  float waveAmplitude = 0.0f;
  float wavePhase = 0.0f;
  float waveFrequency = 0.0f;
  std::vector<DynamicFlagInstance> instances;
  CTexCoordModifiers modifiers;
};

class CDynamicFlagSystem {
 public:
  CDynamicFlagSystem();
  virtual ~CDynamicFlagSystem();
  CDynamicFlagSystem(const CDynamicFlagSystem&) = delete;
  CDynamicFlagSystem& operator=(const CDynamicFlagSystem&) = delete;

  // Fetches the renderer and the "DynamicFlag" effect, makes the shared index buffer and opens
  // the flag list.
  void Init();
  // One flag with the corners c0 (origin), c1 (end of the horizontal edge) and c2 (end of the
  // vertical edge), of the kind `typeName`. Its texture-coordinate modifiers come from the
  // material INI's section of that kind. Only the most recently created type grows: a flag of
  // an older type is dropped.
  void AddFlag(const char* instanceName, const char* typeName, const float* c0, const float* c1, const float* c2,
               IIniFile* materialIni);
  void SetTime(float seconds);
  // One dynamic vertex lock and one indexed draw per type.
  void Render();
  // Releases every type's textures and rest grids; the index buffer and the flag list stay.
  void Clear();

  std::vector<DynamicFlagType> types;
  IRenderer* renderer = nullptr;
  int indexBuffer = -1;
  float time = 0.0f;
  IIniFile* flagList = nullptr;
  D3DXMATRIX world;
  int effect = -1;
  // The type the last AddFlag created; each flag system keeps its own, so two scene systems
  // never drop each other's flags.
  int32_t lastCreatedType = -1;

 private:
  DynamicFlagType MakeType(const char* typeName, IIniFile* materialIni) const;
  // Builds the rest grid of one instance and appends it to the type; false when the host
  // allocator refused the block.
  bool AddInstance(DynamicFlagType& type, const D3DXVECTOR3& c0, const D3DXVECTOR3& c1, const D3DXVECTOR3& c2);
  // Writes the instance's triangles into the shared index buffer; an instance whose indices do
  // not fit, or whose lock fails, adds none.
  void WriteIndices(DynamicFlagType& type, uint32_t baseVertex);
};
