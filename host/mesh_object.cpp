#include "host/mesh_object.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <tuple>

#include "frame/renderer.h"
#include "host/file_bytes.h"
#include "host/host.h"
#include "host/obj_files.h"
#include "host/obj_text.h"

namespace host {

namespace {

void FaceNormal(const float* a, const float* b, const float* c, float* n) {
  const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  n[0] = u[1] * v[2] - u[2] * v[1];
  n[1] = u[2] * v[0] - u[0] * v[2];
  n[2] = u[0] * v[1] - u[1] * v[0];
  const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  for (int i = 0; i < 3; ++i) n[i] = length > 0 ? n[i] / length : 0.0f;
}

uint32_t VertexColour(const tinyobj::attrib_t& attrib, int vertex) {
  uint32_t colour = 0xFF000000u;
  for (int c = 0; c < 3; ++c) {
    const size_t at = 3 * static_cast<size_t>(vertex) + static_cast<size_t>(c);
    const float v = at < attrib.colors.size() && std::isfinite(attrib.colors[at]) ? attrib.colors[at] : 1.0f;
    colour |= static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)) << (16 - 8 * c);
  }
  return colour;
}

}  // namespace

bool LoadObjMesh(IIniService& files, const char* path, MeshData* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadServiceFile(files, path, "OBJ", kObjFileMaxBytes, &bytes, error)) return false;
  std::string text(bytes.begin(), bytes.end());
  bytes = std::vector<uint8_t>();
  if (const std::string why = ObjTextProblem(text); !why.empty()) {
    *error = std::string(path) + " " + why;
    return false;
  }
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warn, err;
  std::istringstream stream(text);
  if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &stream, nullptr, true)) {
    *error = std::string(path) + " is not a readable OBJ file" + (err.empty() ? "" : ": " + err.substr(0, err.find('\n')));
    return false;
  }
  MeshData mesh;
  // One vertex per distinct position, coordinate and normal.
  std::map<std::tuple<int, int, float, float, float>, uint32_t> made;
  for (const auto& shape : shapes) {
    const auto& idx = shape.mesh.indices;
    for (size_t f = 0; f + 3 <= idx.size(); f += 3) {
      float faceNormal[3] = {0, 0, 0};
      const tinyobj::index_t* corner = &idx[f];
      for (int k = 0; k < 3; ++k)
        if (corner[k].vertex_index < 0 || static_cast<size_t>(corner[k].vertex_index) * 3 + 2 >= attrib.vertices.size()) {
          *error = std::string(path) + " names a vertex it does not have";
          return false;
        }
      FaceNormal(&attrib.vertices[3 * static_cast<size_t>(corner[0].vertex_index)],
                 &attrib.vertices[3 * static_cast<size_t>(corner[1].vertex_index)],
                 &attrib.vertices[3 * static_cast<size_t>(corner[2].vertex_index)], faceNormal);
      for (int k = 0; k < 3; ++k) {
        MeshVertex v{};
        std::memcpy(v.position, &attrib.vertices[3 * static_cast<size_t>(corner[k].vertex_index)], sizeof v.position);
        const int n = corner[k].normal_index;
        if (n >= 0 && static_cast<size_t>(n) * 3 + 2 < attrib.normals.size())
          std::memcpy(v.normal, &attrib.normals[3 * static_cast<size_t>(n)], sizeof v.normal);
        else
          std::memcpy(v.normal, faceNormal, sizeof v.normal);
        const int t = corner[k].texcoord_index;
        if (t >= 0 && static_cast<size_t>(t) * 2 + 1 < attrib.texcoords.size())
          std::memcpy(v.uv, &attrib.texcoords[2 * static_cast<size_t>(t)], sizeof v.uv);
        const auto key = std::make_tuple(corner[k].vertex_index, t, v.normal[0], v.normal[1], v.normal[2]);
        auto it = made.find(key);
        if (it == made.end()) {
          if (mesh.vertices.size() >= 65536) {
            *error = std::string(path) + " has more than 65536 vertices";
            return false;
          }
          it = made.emplace(key, static_cast<uint32_t>(mesh.vertices.size())).first;
          mesh.vertices.push_back(v);
          mesh.colours.push_back(VertexColour(attrib, corner[k].vertex_index));
        }
        mesh.indices.push_back(static_cast<uint16_t>(it->second));
      }
    }
  }
  if (mesh.indices.empty()) {
    *error = std::string(path) + " holds no triangle";
    return false;
  }
  *out = std::move(mesh);
  return true;
}

MeshObject::~MeshObject() { Destroy(); }

void MeshObject::Destroy() {
  if (buffer_ >= 0) renderer_.ReleaseVertexBuffer(buffer_);
  buffer_ = -1;
}

bool MeshObject::SetMesh(MeshData mesh, std::string* error) {
  if (mesh.vertices.empty() || mesh.vertices.size() > 65536 || mesh.indices.size() % 3 != 0) {
    *error = "a mesh needs 1 to 65536 vertices and whole triangles";
    return false;
  }
  for (uint16_t i : mesh.indices)
    if (i >= mesh.vertices.size()) {
      *error = "a triangle of the mesh names a vertex it does not have";
      return false;
    }
  Destroy();
  const auto bytes = static_cast<UINT>(mesh.vertices.size() * sizeof(MeshVertex));
  const int buffer = renderer_.CreateVertexBuffer(kMeshVertexFormat, bytes, 0, D3DPOOL_MANAGED);
  if (buffer < 0) {
    *error = "the renderer made no vertex buffer";
    return false;
  }
  void* data = renderer_.LockVertexBuffer(buffer, 0, 0, 0);
  if (data == nullptr) {
    renderer_.ReleaseVertexBuffer(buffer);
    *error = "the vertex buffer does not lock";
    return false;
  }
  std::memcpy(data, mesh.vertices.data(), bytes);
  renderer_.UnlockVertexBuffer(buffer);
  buffer_ = buffer;
  mesh_ = std::move(mesh);
  description_.vertexCount = static_cast<uint32_t>(mesh_.vertices.size());
  description_.triangleCount = static_cast<uint32_t>(mesh_.indices.size() / 3);
  return true;
}

bool MeshObject::Load(IIniService& files, const char* path, std::string* error) {
  MeshData mesh;
  return LoadObjMesh(files, path, &mesh, error) && SetMesh(std::move(mesh), error);
}

MeshObject* MeshObject::Of(ReferenceHost& host, const ComponentHandle& handle) {
  if (host.ClassOf(handle) != "mesh") return nullptr;
  return static_cast<MeshObject*>(static_cast<ISceneModelOwner*>(host.GetObject(&handle)));
}

void RegisterMeshClass(ReferenceHost& host, IRenderer& renderer) {
  host.RegisterHostClass("mesh", [&renderer] { return std::make_unique<MeshObject>(renderer); });
}

}  // namespace host
