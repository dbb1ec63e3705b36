// The producer of the tree's build input (magic "60.1"), which the module's off-line builds read:
// a writer of the file's sections from a description, and the description of a Wavefront OBJ
// mesh. The layout, little-endian, sections back to back:
//
//   header (72 bytes): u32 magic 0x312E3036 ("60.1"), u32 unread, u32 size of block A, u32 count
//     of the first u32 array, u32 count of the second (the names' offsets in block A), u32
//     material count, u32 counts of 80- and 108-byte records, i32 build records, u32 triangles,
//     i32 vertex buffers, 3 x f32 scene size, 3 x f32 scene centre, u32 unread;
//   block A; the two u32 arrays; 56-byte materials (24 bytes of parameters, 4 x u32 slot used,
//   4 x u32 texture: an index into the names); the 80- and 108-byte records; the build records
//   (108 bytes, then 64 per item: the buffer at 28, triangle count 32, first triangle 36, vertex
//   count 40, first vertex 44, material 48, item count 104); u16 triangle triples relative to
//   their record's first vertex; per buffer {u32 format code, u32 byte size}; the vertex data.
//
// From an OBJ: one record per object and material, no record over 65,535 vertices, buffers of
// format code 0 (position, normal, white diffuse, one coordinate pair; 36 bytes) filled up to
// 65,535 vertices each; one material per MTL material, its map_Kd name in block A; size and centre
// from the box of every position.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct BuildInputRecord {
  uint32_t buffer = 0;
  uint32_t triangleCount = 0;
  uint32_t firstTriangle = 0;
  uint32_t vertexCount = 0;
  uint32_t firstVertex = 0;
  uint32_t material = 0;
  uint32_t itemCount = 0;  // 64-byte items the module carries
};

struct BuildInputBuffer {
  uint32_t code = 0;
  std::vector<uint8_t> bytes;
};

using BuildInputMaterial = std::array<uint8_t, 56>;

struct BuildInput {
  std::vector<std::string> names;  // texture names: block A and the second array
  std::vector<BuildInputMaterial> materials;
  std::vector<BuildInputRecord> records;
  std::vector<uint16_t> triangles;  // three per triangle
  std::vector<BuildInputBuffer> buffers;
  float size[3] = {0.0f, 0.0f, 0.0f};
  float centre[3] = {0.0f, 0.0f, 0.0f};
  // Sections the builds skip.
  uint32_t firstArrayCount = 0;
  uint32_t records80 = 0;
  uint32_t records108 = 0;
};

std::vector<uint8_t> WriteBuildInput(const BuildInput& input);

// A material whose slot 0 draws texture `texture` (an index into the names), or none when it is
// negative; unused slots hold 0xFFFFFFFF. The parameters carry the diffuse colour and opacity.
BuildInputMaterial MakeBuildMaterial(int texture, const float diffuse[3] = nullptr, float opacity = 1.0f);

// The build input of an OBJ file (a resource path, its MTL libraries beside it). False with a
// one-line reason when it does not read (host/obj_files.h), names a library or a texture whose
// path leads out of the resource root, or holds no triangle.
bool BuildInputFromObj(const std::string& objPath, BuildInput* out, std::string* error);

}  // namespace host
