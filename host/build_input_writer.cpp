#include "host/build_input_writer.h"

#include <tiny_obj_loader.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <tuple>

#include "host/file_bytes.h"
#include "host/obj_files.h"
#include "host/obj_text.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace host {

namespace {

constexpr uint32_t kMagic = 0x312E3036u;
constexpr uint32_t kMaxVertices = 65535;
constexpr uint32_t kStride = 36;  // format code 0

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutF32(std::vector<uint8_t>& out, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  PutU32(out, v);
}

}  // namespace

std::vector<uint8_t> WriteBuildInput(const BuildInput& in) {
  std::vector<uint8_t> pool, offsets;
  for (const std::string& name : in.names) {
    PutU32(offsets, static_cast<uint32_t>(pool.size()));
    pool.insert(pool.end(), name.begin(), name.end());
    pool.push_back(0);
  }
  std::vector<uint8_t> out;
  PutU32(out, kMagic);
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>(pool.size()));
  PutU32(out, in.firstArrayCount);
  PutU32(out, static_cast<uint32_t>(in.names.size()));
  PutU32(out, static_cast<uint32_t>(in.materials.size()));
  PutU32(out, in.records80);
  PutU32(out, in.records108);
  PutU32(out, static_cast<uint32_t>(in.records.size()));
  PutU32(out, static_cast<uint32_t>(in.triangles.size() / 3));
  PutU32(out, static_cast<uint32_t>(in.buffers.size()));
  for (float f : in.size) PutF32(out, f);
  for (float f : in.centre) PutF32(out, f);
  PutU32(out, 0);
  out.insert(out.end(), pool.begin(), pool.end());
  for (uint32_t i = 0; i < in.firstArrayCount; ++i) PutU32(out, i);
  out.insert(out.end(), offsets.begin(), offsets.end());
  for (const BuildInputMaterial& m : in.materials) out.insert(out.end(), m.begin(), m.end());
  out.insert(out.end(), 80ull * in.records80 + 108ull * in.records108, 0);
  for (const BuildInputRecord& r : in.records) {
    for (int i = 0; i < 7; ++i) PutU32(out, 0);  // carried fields: three words, a vector, a word
    for (uint32_t v : {r.buffer, r.triangleCount, r.firstTriangle, r.vertexCount, r.firstVertex, r.material})
      PutU32(out, v);
    out.insert(out.end(), 52, 0);  // carried: 32 and 16 bytes and a word
    PutU32(out, r.itemCount);
    for (uint32_t i = 0; i < r.itemCount; ++i)
      for (int b = 0; b < 64; ++b) out.push_back(static_cast<uint8_t>(i + b));
  }
  for (uint16_t t : in.triangles) PutU16(out, t);
  for (const BuildInputBuffer& b : in.buffers) {
    PutU32(out, b.code);
    PutU32(out, static_cast<uint32_t>(b.bytes.size()));
  }
  for (const BuildInputBuffer& b : in.buffers) out.insert(out.end(), b.bytes.begin(), b.bytes.end());
  return out;
}

BuildInputMaterial MakeBuildMaterial(int texture, const float diffuse[3], float opacity) {
  std::vector<uint8_t> m;
  for (int k = 0; k < 3; ++k) PutF32(m, diffuse != nullptr ? diffuse[k] : 1.0f);
  PutF32(m, opacity);
  PutF32(m, 0.0f);
  PutF32(m, 0.0f);
  for (int k = 0; k < 4; ++k) PutU32(m, k == 0 && texture >= 0 ? 1 : 0);
  for (int k = 0; k < 4; ++k) PutU32(m, k == 0 && texture >= 0 ? static_cast<uint32_t>(texture) : 0xFFFFFFFFu);
  BuildInputMaterial out;
  std::memcpy(out.data(), m.data(), out.size());
  return out;
}

namespace {

// One record in the making: its vertices (by OBJ position, normal and coordinate index) and
// triangles.
struct RecordBuild {
  uint32_t material = 0;
  std::map<std::tuple<int, int, int>, uint16_t> welded;
  std::vector<uint8_t> vertices;
  std::vector<uint16_t> triangles;
};

class ObjConverter {
 public:
  ObjConverter(const tinyobj::attrib_t& attrib, BuildInput* out) : attrib_(attrib), out_(out) {}

  void Face(const tinyobj::index_t* corners, uint32_t material) {
    if (current_.material != material || current_.welded.size() + 3 > kMaxVertices) Flush(material);
    float face[3] = {0.0f, 1.0f, 0.0f};
    FaceNormal(corners, face);
    for (int k = 0; k < 3; ++k) current_.triangles.push_back(Corner(corners[k], face));
  }

  // Ends the record in the making: it goes into the current buffer when its vertices fit there,
  // else into a new buffer.
  void Flush(uint32_t nextMaterial) {
    RecordBuild done = std::move(current_);
    current_ = RecordBuild{};
    current_.material = nextMaterial;
    if (done.triangles.empty()) return;
    const auto count = static_cast<uint32_t>(done.vertices.size() / kStride);
    if (out_->buffers.empty() || out_->buffers.back().bytes.size() / kStride + count > kMaxVertices)
      out_->buffers.push_back(BuildInputBuffer{0, {}});
    BuildInputBuffer& buffer = out_->buffers.back();
    BuildInputRecord r;
    r.buffer = static_cast<uint32_t>(out_->buffers.size() - 1);
    r.triangleCount = static_cast<uint32_t>(done.triangles.size() / 3);
    r.firstTriangle = static_cast<uint32_t>(out_->triangles.size() / 3);
    r.vertexCount = count;
    r.firstVertex = static_cast<uint32_t>(buffer.bytes.size() / kStride);
    r.material = done.material;
    buffer.bytes.insert(buffer.bytes.end(), done.vertices.begin(), done.vertices.end());
    out_->triangles.insert(out_->triangles.end(), done.triangles.begin(), done.triangles.end());
    out_->records.push_back(r);
  }

 private:
  const float* Position(int i) const { return &attrib_.vertices[3 * static_cast<size_t>(i)]; }

  void FaceNormal(const tinyobj::index_t* corners, float* out) const {
    const float* p0 = Position(corners[0].vertex_index);
    const float* p1 = Position(corners[1].vertex_index);
    const float* p2 = Position(corners[2].vertex_index);
    const float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0f)
      for (int k = 0; k < 3; ++k) out[k] = n[k] / length;
  }

  uint16_t Corner(const tinyobj::index_t& c, const float* faceNormal) {
    const auto key = std::make_tuple(c.vertex_index, c.normal_index, c.texcoord_index);
    const auto found = current_.welded.find(key);
    if (found != current_.welded.end()) return found->second;
    const auto index = static_cast<uint16_t>(current_.welded.size());
    current_.welded.emplace(key, index);
    std::vector<uint8_t>& v = current_.vertices;
    for (int k = 0; k < 3; ++k) PutF32(v, Position(c.vertex_index)[k]);
    for (int k = 0; k < 3; ++k)
      PutF32(v, c.normal_index >= 0 ? attrib_.normals[3 * static_cast<size_t>(c.normal_index) + k] : faceNormal[k]);
    PutU32(v, 0xFFFFFFFFu);
    for (int k = 0; k < 2; ++k)
      PutF32(v, c.texcoord_index >= 0 ? attrib_.texcoords[2 * static_cast<size_t>(c.texcoord_index) + k] : 0.0f);
    return index;
  }

  const tinyobj::attrib_t& attrib_;
  BuildInput* out_;
  RecordBuild current_;
};

}  // namespace

bool BuildInputFromObj(const std::string& objPath, BuildInput* out, std::string* error) {
  *out = BuildInput{};
  const std::string file = win32::ResolvePath(win32::GetResourceRoot(), objPath.c_str(), win32::PathMode::Read);
  if (file.empty()) {
    *error = objPath + " is not a file below the resource folder";
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(file, "OBJ", kObjFileMaxBytes, &bytes, error)) return false;
  std::string whole(bytes.begin(), bytes.end());
  bytes = std::vector<uint8_t>();
  if (const std::string why = ObjTextProblem(whole); !why.empty()) {
    *error = objPath + " " + why;
    return false;
  }
  std::istringstream text(std::move(whole));
  MtlLibraryReader libraries(objPath);
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warn, err;
  if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &text, &libraries, true)) {
    *error = objPath + " does not read as an OBJ mesh" + (err.empty() ? std::string() : ": " + err);
    if (!error->empty() && error->back() == '\n') error->pop_back();
    return false;
  }
  if (!libraries.Refusal().empty()) {
    *error = objPath + ": " + libraries.Refusal();
    return false;
  }
  // The tree looks a material's texture up in the resource root's scene folder.
  for (const tinyobj::material_t& m : materials) {
    const std::string texture = "scene\\" + m.diffuse_texname;
    if (!m.diffuse_texname.empty() &&
        win32::ResolvePath(win32::GetResourceRoot(), texture.c_str(), win32::PathMode::Read).empty() &&
        GetLastError() == ERROR_ACCESS_DENIED) {
      *error = objPath + ": the texture " + m.diffuse_texname + " of material " + m.name +
               " leads out of the resource root";
      return false;
    }
  }
  // One build material per MTL material, and one plain material for faces that name none.
  std::map<std::string, int> nameIndex;
  for (const tinyobj::material_t& m : materials) {
    int texture = -1;
    if (!m.diffuse_texname.empty()) {
      const auto [it, added] = nameIndex.emplace(m.diffuse_texname, static_cast<int>(out->names.size()));
      if (added) out->names.push_back(m.diffuse_texname);
      texture = it->second;
    }
    const float diffuse[3] = {m.diffuse[0], m.diffuse[1], m.diffuse[2]};
    out->materials.push_back(MakeBuildMaterial(texture, diffuse, m.dissolve));
  }
  const auto plain = static_cast<uint32_t>(out->materials.size());
  out->materials.push_back(MakeBuildMaterial(-1));

  ObjConverter converter(attrib, out);
  const auto vertexCount = static_cast<int>(attrib.vertices.size() / 3);
  for (const tinyobj::shape_t& shape : shapes) {
    const tinyobj::mesh_t& mesh = shape.mesh;
    size_t at = 0;
    for (size_t f = 0; f < mesh.num_face_vertices.size(); ++f) {
      const size_t corners = mesh.num_face_vertices[f];
      const tinyobj::index_t* c = &mesh.indices[at];
      at += corners;
      if (corners != 3) continue;
      bool inside = true;
      for (int k = 0; k < 3; ++k)
        inside = inside && c[k].vertex_index >= 0 && c[k].vertex_index < vertexCount &&
                 c[k].normal_index < static_cast<int>(attrib.normals.size() / 3) &&
                 c[k].texcoord_index < static_cast<int>(attrib.texcoords.size() / 2);
      if (!inside) continue;
      const int id = f < mesh.material_ids.size() ? mesh.material_ids[f] : -1;
      converter.Face(c, id >= 0 && id < static_cast<int>(plain) ? static_cast<uint32_t>(id) : plain);
    }
    converter.Flush(0);  // one record per object and material
  }
  if (out->records.empty()) {
    *error = objPath + " holds no triangle";
    return false;
  }
  float lo[3] = {3.4e38f, 3.4e38f, 3.4e38f}, hi[3] = {-3.4e38f, -3.4e38f, -3.4e38f};
  for (size_t i = 0; i + 2 < attrib.vertices.size(); i += 3)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::fmin(lo[k], attrib.vertices[i + k]);
      hi[k] = std::fmax(hi[k], attrib.vertices[i + k]);
    }
  for (int k = 0; k < 3; ++k) {
    out->size[k] = hi[k] - lo[k];
    out->centre[k] = (hi[k] + lo[k]) * 0.5f;
    if (!std::isfinite(out->size[k]) || !std::isfinite(out->centre[k])) {
      char line[160];
      std::snprintf(line, sizeof line, " spans more than a float holds: %c runs from %g to %g", "xyz"[k], lo[k], hi[k]);
      *error = objPath + line;
      return false;
    }
  }
  return true;
}

}  // namespace host
