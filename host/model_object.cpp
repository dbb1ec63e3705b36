#include "host/model_object.h"

// Its declarations first: the implementation below must be included only once.
#include "host/obj_files.h"

#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "frame/renderer.h"
#include "host/file_bytes.h"
#include "host/host.h"
#include "host/lighting_objects.h"
#include "host/renderer.h"
#include "win32/file_system.h"

namespace host {

namespace {

constexpr float kMiss = 2.0f;

// The stages of the model's own draw: its map times its colour, doubled (the samples' mid-grey
// Kd shows the map as it is, as under the scene's styled draws), and nothing after stage 0.
struct OwnStageState {
  DWORD stage, type, value;
};
constexpr OwnStageState kOwnStages[] = {
    {0, D3DTSS_COLOROP, D3DTOP_MODULATE2X}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},   {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
    {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},   {0, D3DTSS_RESULTARG, D3DTA_CURRENT},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},    {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE}};
constexpr size_t kOwnStageStates = std::size(kOwnStages);

// The folder part of a resource path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string Joined(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

bool Exists(const std::string& resourcePath) {
  return !win32::ResolvePath(win32::GetResourceRoot(), resourcePath.c_str(), win32::PathMode::Read).empty();
}

// The names of the materials whose "Kd" line the library gives: the reader cannot tell an
// absent colour from black.
std::set<std::string> MaterialsWithColour(const std::string& text) {
  std::set<std::string> named;
  std::istringstream lines(text);
  std::string current;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "newmtl") {
      std::getline(words >> std::ws, current);
      while (!current.empty() && (current.back() == '\r' || current.back() == ' ')) current.pop_back();
    } else if (key == "Kd") {
      named.insert(current);
    }
  }
  return named;
}

// A material's "Kd" as an opaque vertex colour; white for a material that gives none.
uint32_t MaterialColour(const tinyobj::material_t& m, const std::set<std::string>& coloured) {
  if (coloured.count(m.name) == 0) return 0xFFFFFFFFu;
  uint32_t colour = 0xFF000000u;
  for (int c = 0; c < 3; ++c) {
    const float v = std::isfinite(m.diffuse[c]) ? std::clamp(static_cast<float>(m.diffuse[c]), 0.0f, 1.0f) : 1.0f;
    colour |= static_cast<uint32_t>(std::lround(v * 255.0f)) << (16 - 8 * c);
  }
  return colour;
}

// What the OBJ reader hands over, gathered into parts.
struct ObjBuild {
  std::vector<float> positions, normals, texcoords;
  std::vector<tinyobj::material_t> materials;
  const MtlLibraryReader* libraries = nullptr;
  std::set<std::string> coloured;  // of the libraries read so far
  std::string currentMaterial;
  uint32_t currentColour = 0xFFFFFFFFu;
  std::vector<std::unique_ptr<ModelPart>>* parts = nullptr;
  size_t badFaces = 0;

  ModelPart& CurrentPart() {
    if (parts->empty()) parts->push_back(std::make_unique<ModelPart>());
    return *parts->back();
  }
  ModelSubMesh& CurrentSubMesh() {
    ModelPart& part = CurrentPart();
    for (ModelSubMesh& s : part.subMeshes)
      if (s.material == currentMaterial) return s;
    part.subMeshes.push_back(ModelSubMesh{currentMaterial, {}, {}});
    return part.subMeshes.back();
  }
};

// A 1-based (or negative, relative) OBJ index as a 0-based one; -1 when absent or out of range.
int FixIndex(int raw, size_t count) {
  long index = raw > 0 ? raw - 1L : raw < 0 ? static_cast<long>(count) + raw : -1L;
  return index >= 0 && static_cast<size_t>(index) < count ? static_cast<int>(index) : -1;
}

void AddFace(ObjBuild& b, const tinyobj::index_t* corners, int count) {
  const size_t vertexCount = b.positions.size() / 3;
  std::vector<int> v(count), n(count), t(count);
  for (int i = 0; i < count; ++i) {
    v[i] = FixIndex(corners[i].vertex_index, vertexCount);
    n[i] = FixIndex(corners[i].normal_index, b.normals.size() / 3);
    t[i] = FixIndex(corners[i].texcoord_index, b.texcoords.size() / 3);
    if (v[i] < 0) {
      ++b.badFaces;
      return;
    }
  }
  if (count < 3) {
    ++b.badFaces;
    return;
  }
  ModelSubMesh& mesh = b.CurrentSubMesh();
  auto P = [&](int i, int c) { return b.positions[3 * v[i] + c]; };
  for (int k = 1; k + 1 < count; ++k) {
    const int tri[3] = {0, k, k + 1};
    // The face normal, for corners that name none.
    const float e1[3] = {P(tri[1], 0) - P(tri[0], 0), P(tri[1], 1) - P(tri[0], 1), P(tri[1], 2) - P(tri[0], 2)};
    const float e2[3] = {P(tri[2], 0) - P(tri[0], 0), P(tri[2], 1) - P(tri[0], 1), P(tri[2], 2) - P(tri[0], 2)};
    float fn[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const float len = std::sqrt(fn[0] * fn[0] + fn[1] * fn[1] + fn[2] * fn[2]);
    if (len > 0) {
      for (float& c : fn) c /= len;
    }
    for (int corner : tri) {
      for (int c = 0; c < 3; ++c) mesh.vertices.push_back(P(corner, c));
      for (int c = 0; c < 3; ++c) mesh.vertices.push_back(n[corner] >= 0 ? b.normals[3 * n[corner] + c] : fn[c]);
      float colour;
      std::memcpy(&colour, &b.currentColour, 4);
      mesh.vertices.push_back(colour);
      for (int pair = 0; pair < 2; ++pair) {
        mesh.vertices.push_back(t[corner] >= 0 ? b.texcoords[3 * t[corner]] : 0.0f);
        mesh.vertices.push_back(t[corner] >= 0 ? b.texcoords[3 * t[corner] + 1] : 0.0f);
      }
    }
  }
}

// "#@light" and "#@node" lines; false for a malformed one.
bool ParseAttachment(const std::string& line, ModelAttachments& out) {
  std::istringstream in(line);
  std::string tag;
  in >> tag;
  if (tag == "#@light") {
    ModelAttachments::Light light;
    HostModelLight& e = light.entry;
    if (!(in >> e.type >> light.name >> e.colour[0] >> e.colour[1] >> e.colour[2] >> e.range >> e.position[0] >>
          e.position[1] >> e.position[2] >> e.outerCone >> e.direction[0] >> e.direction[1] >> e.direction[2]))
      return false;
    std::string extra;
    if (in >> extra) return false;
    out.lights.push_back(std::move(light));
    return true;
  }
  if (tag == "#@node") {
    ModelAttachments::Node node;
    if (!(in >> node.kind >> node.name)) return false;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        if (!(in >> node.entry.matrix.m[r][c])) return false;
    std::string extra;
    if (in >> extra) return false;
    out.nodes.push_back(std::move(node));
    return true;
  }
  return false;
}

// Möller-Trumbore over one triangle: the segment fraction of the hit, or a negative value.
float SegmentTriangle(const float* o, const float* d, const float* a, const float* b, const float* c) {
  const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  const float p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]};
  const float det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
  if (std::fabs(det) < 1e-12f) return -1.0f;
  const float inv = 1.0f / det;
  const float s[3] = {o[0] - a[0], o[1] - a[1], o[2] - a[2]};
  const float u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) * inv;
  if (u < 0.0f || u > 1.0f) return -1.0f;
  const float q[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2], s[0] * e1[1] - s[1] * e1[0]};
  const float v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) * inv;
  if (v < 0.0f || u + v > 1.0f) return -1.0f;
  return (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) * inv;
}

}  // namespace

// ---- Parts and attachments -------------------------------------------------------------------

void ModelPart::GetBounds(D3DVECTOR* out, float* r) {
  if (out != nullptr) *out = centre;
  if (r != nullptr) *r = radius;
}

int ModelPart::GetVertexBuffer(int32_t subMesh) {
  return subMesh >= 0 && static_cast<size_t>(subMesh) < buffers.size() ? buffers[subMesh].vertexBuffer : -1;
}

uint32_t ModelPart::GetVertexStride(int32_t subMesh) {
  return subMesh >= 0 && static_cast<size_t>(subMesh) < buffers.size() ? buffers[subMesh].stride : 0;
}

const HostModelLight* ModelAttachments::GetLight(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= lights.size()) return nullptr;
  lights[index].entry.name = lights[index].name.c_str();
  return &lights[index].entry;
}

const HostModelNode* ModelAttachments::GetNode(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= nodes.size()) return nullptr;
  Node& n = nodes[index];
  n.entry.kind = n.kind.c_str();
  n.entry.name = n.name.c_str();
  return &n.entry;
}

bool ModelClass::TakeFailure() {
  if (failCreations_ <= 0) return false;
  --failCreations_;
  return true;
}

// ---- The model ---------------------------------------------------------------------------------

ModelObject::ModelObject(std::shared_ptr<ModelClass> cls, GeometryService* geometry, MotiveService* motive)
    : class_(std::move(cls)), geometry_(geometry), motive_(motive) {
  for (int i = 0; i < 4; ++i) transform.m[i][i] = 1.0f;
  Reset();
  if (class_ != nullptr) {
    class_->objects_.push_back(this);
    ++class_->created_;
  }
}

ModelObject::~ModelObject() {
  ReleaseResources();
  if (class_ != nullptr) {
    auto& list = class_->objects_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void ModelObject::Destroy() { ReleaseResources(); }

IRenderer* ModelObject::Renderer() const {
  return host != nullptr ? static_cast<IRenderer*>(host->GetService("dx8render")) : nullptr;
}

void ModelObject::ReleaseResources() {
  IRenderer* renderer = Renderer();
  for (auto& part : parts_) {
    for (HostSubMesh& b : part->buffers)
      if (renderer != nullptr && b.vertexBuffer >= 0) renderer->ReleaseVertexBuffer(b.vertexBuffer);
    part->buffers.clear();
    part->meshInterface = HostModelMesh{};
  }
  if (renderer != nullptr)
    for (int t : textures_) renderer->ReleaseTexture(t);
  textures_.clear();
  textureNames_.clear();
}

void ModelObject::Reset() {
  ReleaseResources();
  parts_.clear();
  parts_.push_back(std::make_unique<ModelPart>());
  attachments_ = ModelAttachments{};
  for (auto& part : parts_) {
    part->mesh = &part->meshInterface;
    part->material = part.get();
  }
  parts_.front()->attachments = &attachments_;
  BuildMesh("");
}

void ModelObject::BuildMesh(const std::string& path) {
  constexpr size_t kFloats = kModelVertexStride / 4;
  std::vector<ModelMesh::PartInput> parts;
  for (auto& part : parts_) {
    ModelMesh::PartInput in;
    for (const ModelSubMesh& s : part->subMeshes)
      for (size_t v = 0; v + 2 < s.vertices.size() / kFloats; v += 3)
        for (size_t k = 0; k < 3; ++k) {
          const float* p = &s.vertices[(v + k) * kFloats];
          in.corners.push_back(D3DVECTOR{p[0], p[1], p[2]});
        }
    parts.push_back(std::move(in));
  }
  std::vector<ModelMesh::NodeInput> nodes;
  for (const auto& n : attachments_.nodes) nodes.push_back(ModelMesh::NodeInput{n.name, n.entry.matrix});
  const size_t dropped = mesh_.Build(parts, nodes);
  if (dropped > 0 && host != nullptr)
    host->Log("[modelr] %s: %zu triangles past the 16-bit index range left out of the mesh", path.c_str(), dropped);
  for (auto& part : parts_) part->hostMesh = nullptr;
  parts_.front()->hostMesh = &mesh_;
}

int ModelObject::TextureIndex(const std::string& file, const std::string& modelFolder) {
  if (file.empty()) return -1;
  std::string found;
  for (const std::string& folder : context_.texturePaths) {
    if (folder.empty()) continue;
    if (Exists(Joined(folder, file))) {
      found = Joined(folder, file);
      break;
    }
  }
  if (found.empty()) found = Joined(modelFolder, file);
  IRenderer* renderer = Renderer();
  const int handle = renderer != nullptr ? renderer->LoadTexture(found.c_str(), 0) : -1;
  if (handle < 0) {
    if (host != nullptr) host->Log("[modelr] texture %s of %s not loaded", file.c_str(), modelName_.c_str());
    return -1;
  }
  textures_.push_back(handle);
  textureNames_.push_back(found);
  return static_cast<int>(textures_.size()) - 1;
}

bool ModelObject::Load(const std::string& path) {
  Reset();
  const std::string file = win32::ResolvePath(win32::GetResourceRoot(), path.c_str(), win32::PathMode::Read);
  if (file.empty()) {
    if (host != nullptr) host->Log("[modelr] no model file %s", path.c_str());
    return false;
  }
  std::vector<uint8_t> bytes;
  if (std::string error; !ReadFileBytes(file, "model", kObjFileMaxBytes, &bytes, &error)) {
    if (host != nullptr) host->Log("[modelr] %s", error.c_str());
    return false;
  }
  const std::string text(bytes.begin(), bytes.end());
  bytes = std::vector<uint8_t>();

  std::vector<std::unique_ptr<ModelPart>> parts;
  ObjBuild build;
  build.parts = &parts;
  tinyobj::callback_t cb;
  cb.vertex_cb = [](void* u, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z, tinyobj::real_t) {
    auto* b = static_cast<ObjBuild*>(u);
    b->positions.insert(b->positions.end(), {x, y, z});
  };
  cb.normal_cb = [](void* u, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z) {
    auto* b = static_cast<ObjBuild*>(u);
    b->normals.insert(b->normals.end(), {x, y, z});
  };
  cb.texcoord_cb = [](void* u, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z) {
    auto* b = static_cast<ObjBuild*>(u);
    b->texcoords.insert(b->texcoords.end(), {x, y, z});
  };
  cb.index_cb = [](void* u, tinyobj::index_t* corners, int count) { AddFace(*static_cast<ObjBuild*>(u), corners, count); };
  cb.usemtl_cb = [](void* u, const char* name, int) {
    auto* b = static_cast<ObjBuild*>(u);
    b->currentMaterial = name;
    b->currentColour = 0xFFFFFFFFu;
    for (const tinyobj::material_t& m : b->materials)
      if (m.name == b->currentMaterial) b->currentColour = MaterialColour(m, b->coloured);
  };
  cb.mtllib_cb = [](void* u, const tinyobj::material_t* materials, int count) {
    auto* b = static_cast<ObjBuild*>(u);
    b->materials.assign(materials, materials + count);
    for (const std::string& text : b->libraries->Texts())
      for (const std::string& material : MaterialsWithColour(text)) b->coloured.insert(material);
  };
  cb.object_cb = [](void* u, const char* name) {
    auto* b = static_cast<ObjBuild*>(u);
    b->parts->push_back(std::make_unique<ModelPart>());
    b->parts->back()->name = name;
  };
  std::istringstream in(text);
  MtlLibraryReader mtl(path);
  build.libraries = &mtl;
  std::string warn, err;
  const bool ok = tinyobj::LoadObjWithCallback(in, cb, &build, &mtl, &warn, &err);
  if (!ok || !mtl.Refusal().empty()) {
    if (host != nullptr)
      host->Log("[modelr] cannot read model %s: %s", path.c_str(), (ok ? mtl.Refusal() : err).c_str());
    return false;
  }
  if (build.badFaces > 0 && host != nullptr)
    host->Log("[modelr] %s: %zu faces with bad corners skipped", path.c_str(), build.badFaces);

  // The attachments, in file order.
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, 2, "#@") != 0) continue;
    if (!ParseAttachment(line.substr(start), attachments_) && host != nullptr)
      host->Log("[modelr] %s: malformed line skipped: %s", path.c_str(), line.c_str());
  }

  if (!parts.empty()) parts_ = std::move(parts);
  for (auto& part : parts_) {
    part->mesh = &part->meshInterface;
    part->material = part.get();
    part->attachments = nullptr;
  }
  parts_.front()->attachments = &attachments_;

  // Textures and subset records by material.
  const std::string folder = FolderOf(path);
  std::map<std::string, HostSubsetRecord> subsets;
  for (const tinyobj::material_t& m : build.materials) {
    HostSubsetRecord s;
    s.textureIndex[0] = TextureIndex(m.diffuse_texname, folder);
    s.textureIndex[1] = TextureIndex(m.ambient_texname, folder);
    s.textureIndex[2] = TextureIndex(m.specular_texname, folder);
    s.hasSecondMap = m.ambient_texname.empty() ? 0 : 1;
    s.hasDetailMap = m.specular_texname.empty() ? 0 : 1;
    subsets[m.name] = s;
  }
  for (auto& part : parts_)
    for (ModelSubMesh& s : part->subMeshes) {
      auto known = subsets.find(s.material);
      if (known != subsets.end()) s.subset = known->second;
    }
  BuildBuffers();
  BuildMesh(path);
  return true;
}

void ModelObject::BuildBuffers() {
  IRenderer* renderer = Renderer();
  constexpr size_t kFloats = kModelVertexStride / 4;
  for (auto& part : parts_) {
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    bool any = false;
    for (ModelSubMesh& s : part->subMeshes) {
      const uint32_t count = static_cast<uint32_t>(s.vertices.size() / kFloats);
      HostSubMesh b;
      b.stride = kModelVertexStride;
      b.vertexCount = count;
      if (renderer != nullptr && count > 0) {
        b.vertexBuffer = renderer->CreateVertexBuffer(kModelVertexFvf, count * kModelVertexStride, 0, 1);
        if (void* p = b.vertexBuffer >= 0 ? renderer->LockVertexBuffer(b.vertexBuffer, 0, 0, 0) : nullptr) {
          std::memcpy(p, s.vertices.data(), s.vertices.size() * sizeof(float));
          renderer->UnlockVertexBuffer(b.vertexBuffer);
        }
      }
      part->buffers.push_back(b);
      for (size_t v = 0; v < count; ++v)
        for (int c = 0; c < 3; ++c) {
          const float x = s.vertices[v * kFloats + c];
          lo[c] = any ? std::min(lo[c], x) : x;
          hi[c] = any ? std::max(hi[c], x) : x;
          if (c == 2) any = true;
        }
    }
    part->centre = D3DVECTOR{(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
    const float dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
    part->radius = std::sqrt(dx * dx + dy * dy + dz * dz) / 2;
    part->meshInterface.subMeshCount = static_cast<uint32_t>(part->buffers.size());
    part->meshInterface.subMeshes = part->buffers.empty() ? nullptr : part->buffers.data();
  }
}

void ModelObject::Realize(uint32_t arg) {
  ModelDraw draw;
  draw.arg = arg;
  draw.transform = transform;
  IRenderer* renderer = Renderer();
  for (auto& part : parts_) {
    if (part->renderHook != nullptr) {
      part->renderHook(part.get(), renderer, part->renderHookContext);
      draw.hookCalled = true;
    }
  }
  if (renderer != nullptr) {
    draw.zWrite = renderer->GetRenderState(D3DRS_ZWRITEENABLE);
    draw.destBlend = renderer->GetRenderState(D3DRS_DESTBLEND);
    draw.fog = renderer->GetRenderState(D3DRS_FOGENABLE);
    draw.textureFactor = renderer->GetRenderState(D3DRS_TEXTUREFACTOR);
    draw.lighting = renderer->GetRenderState(D3DRS_LIGHTING);
    draw.stage0ColorOp = renderer->GetTextureStageState(0, D3DTSS_COLOROP);
    draw.stage0ColorArg1 = renderer->GetTextureStageState(0, D3DTSS_COLORARG1);
    renderer->SetTransform(D3DTS_WORLD, &transform);
    for (auto& part : parts_) {
      for (size_t i = 0; i < part->buffers.size(); ++i) {
        const HostSubMesh& b = part->buffers[i];
        if (b.vertexBuffer < 0 || b.vertexCount < 3) continue;
        const bool hooks = part->hookMode == 0;
        const HostSubsetRecord& subset = part->subMeshes[i].subset;
        if (hooks && part->preDrawHook != nullptr) {
          part->preDrawHook(&subset, textures_.data());
          ++draw.preHooks;
        }
        // Without hooks nothing of the module's sets up the sub-mesh's material: the model binds
        // its own map and sets the stages it draws with for this draw, so that stages an earlier
        // record's hooks switched on do not run over it, and then gives them back as it found them.
        StageBinding found;
        DWORD kept[kOwnStageStates];
        if (!hooks) {
          found = SaveStage(renderer, 0);
          for (size_t k = 0; k < kOwnStageStates; ++k)
            kept[k] = renderer->GetTextureStageState(kOwnStages[k].stage, kOwnStages[k].type);
          const int32_t map = subset.textureIndex[0];
          renderer->SetTexture(0, map >= 0 && static_cast<size_t>(map) < textures_.size() ? textures_[map] : -1);
          for (const OwnStageState& own : kOwnStages) renderer->SetTextureStageState(own.stage, own.type, own.value);
        }
        renderer->SetVertexShader(kModelVertexFvf);
        renderer->DrawPrimitive(D3DPT_TRIANGLELIST, b.vertexBuffer, b.stride, 0, b.vertexCount / 3, part->effect, 0);
        if (!hooks)
          for (size_t k = 0; k < kOwnStageStates; ++k)
            renderer->SetTextureStageState(kOwnStages[k].stage, kOwnStages[k].type, kept[k]);
        RestoreStage(renderer, 0, found);
        ++draw.subMeshesDrawn;
        if (hooks && part->postDrawHook != nullptr) {
          part->postDrawHook(&subset, textures_.data());
          ++draw.postHooks;
        }
      }
    }
  }
  draws_.Add(draw);
}

void ModelObject::BeginFrame() {
  messages_.BeginFrame();
  draws_.BeginFrame();
}

float ModelObject::RayTest(const D3DVECTOR* from, const D3DVECTOR* to) {
  if (from == nullptr || to == nullptr) return kMiss;
  const float o[3] = {from->x, from->y, from->z};
  const float d[3] = {to->x - from->x, to->y - from->y, to->z - from->z};
  constexpr size_t kFloats = kModelVertexStride / 4;
  float best = kMiss;
  for (auto& part : parts_)
    for (const ModelSubMesh& s : part->subMeshes)
      for (size_t v = 0; v + 2 < s.vertices.size() / kFloats; v += 3) {
        const float* a = &s.vertices[v * kFloats];
        const float t = SegmentTriangle(o, d, a, a + kFloats, a + 2 * kFloats);
        if (t >= 0.0f && t <= 1.0f && t < best) {
          best = t;
          hitPart_ = part->name;
        }
      }
  return best;
}

HostModelGeometry* ModelObject::GetGeometry(int32_t part) {
  if (noGeometry_ || part < 0 || static_cast<size_t>(part) >= parts_.size()) return nullptr;
  return parts_[part].get();
}

RecordingAnimation& ModelObject::Animation() {
  if (animation_ == nullptr) animation_ = std::make_unique<RecordingAnimation>("model");
  return *animation_;
}

IAnimation* ModelObject::GetAnimation() { return noAnimation_ ? nullptr : &Animation(); }

IMotionController* ModelObject::GetMotionController(int32_t index) {
  return index == 0 && motion_ != nullptr ? motion_.get() : nullptr;
}

int ModelObject::OnMessage(const RecordedMessage& message, const MessageArg*) {
  messages_.Add(message);
  if (message.args.empty()) return 0;
  switch (message.id) {
    case 20500:
      modelName_ = message.args[0].s;
      if (geometry_ != nullptr) context_ = geometry_->Context();
      Load(modelName_);
      return 1;
    case 20501:
      animationName_ = message.args[0].s;
      return 1;
    case 20510:
      motionName_ = message.args[0].s;
      motionFolder_ = motive_ != nullptr ? motive_->Folder() : std::string();
      motion_ = std::make_unique<MotionController>();
      return 1;
    case 20511:
      modelOption_ = message.args[0].l;
      return 1;
    default:
      return 0;
  }
}

}  // namespace host
