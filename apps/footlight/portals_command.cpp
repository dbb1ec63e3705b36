#include "apps/footlight/portals_command.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "apps/footlight/raster_options.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"
#include "host/mesh_object.h"
#include "host/standard_host.h"
#include "visibility/cell_portal_graph_builder.h"

namespace {

struct PortalsOptions {
  std::string mesh;
  std::string resource = ".";
  bool model = false;
  int frames = 1;
  std::vector<int> nextCell;  // frames before which N is pressed
  PictureOptions picture;
};

// Prints the tables after every stage.
class StagePrinter final : public ICellPortalProgressListener {
 public:
  void OnProgress(const CellPortalProgress* r) override {
    last = r;
    std::printf("stage %u: vertices %zu, triangles %zu, planes %zu, inner nodes %u, leaves %u, pieces %zu, "
                "groups %zu, cells %zu, covered pieces %u\n",
                r->stage, r->vertices->size(), r->triangles->size(), r->planes->size(), r->statistics->innerNodes,
                r->statistics->leaves, r->pieces->size(), r->groups->size(), r->cells->size(),
                r->statistics->coveredPieces);
  }
  const CellPortalProgress* last = nullptr;
};

// The cells with their leaves and triangles, and the portals (settled groups with pieces)
// with the cells they join.
void PrintGraph(const CellPortalProgress& r) {
  size_t portals = 0;
  for (const PortalGroup* g : *r.groups) portals += g->settled != 0 && !g->pieces.empty() ? 1 : 0;
  std::printf("cells: %zu\nportals: %zu\n", r.cells->size(), portals);
  for (size_t c = 0; c < r.cells->size(); ++c) {
    const CellRecord* cell = (*r.cells)[c];
    uint32_t triangles = 0;
    for (int32_t leaf : cell->leaves) triangles += (*r.nodes)[static_cast<size_t>(leaf)].count;
    std::printf("cell %zu: leaves %zu, triangles %u, portals %zu\n", c, cell->leaves.size(), triangles,
                cell->groups.size());
  }
  size_t index = 0;
  for (const PortalGroup* g : *r.groups) {
    if (g->settled == 0 || g->pieces.empty()) continue;
    std::printf("portal %zu: pieces %zu, cells", index++, g->pieces.size());
    for (uint32_t c : g->cells) std::printf(" %u", c);
    std::printf("\n");
  }
}

// Looks at the whole mesh from above one front corner, as an editor shows a graph it built.
void LookAtMesh(host::Renderer& renderer, const std::vector<CellPortalVertex>& vertices) {
  if (vertices.empty()) return;
  D3DXVECTOR3 low = vertices.front().position, high = low;
  for (const CellPortalVertex& v : vertices) {
    D3DXVec3Minimize(&low, &low, &v.position);
    D3DXVec3Maximize(&high, &high, &v.position);
  }
  const D3DXVECTOR3 centre = (low + high) * 0.5f, half = (high - low) * 0.5f;
  const float radius = std::max(D3DXVec3Length(&half), 1e-3f);
  constexpr float kFov = D3DX_PI / 3.0f;
  // Far enough back that the sphere round the box fits the narrower side of the view.
  const float distance = radius / std::sin(kFov / 2.0f) * 1.05f;
  D3DXVECTOR3 away(-0.5f, 0.8f, -1.0f);
  D3DXVec3Normalize(&away, &away);
  const D3DXVECTOR3 eye = centre + away * distance, up(0.0f, 1.0f, 0.0f);
  D3DXMATRIX view, projection;
  D3DXMatrixLookAtLH(&view, &eye, &centre, &up);
  const RendererSize* size = renderer.GetBackBufferSize();
  const float aspect = size != nullptr && size->height > 0 ? static_cast<float>(size->width) / size->height : 1.0f;
  D3DXMatrixPerspectiveFovLH(&projection, aspect >= 1.0f ? kFov : 2.0f * std::atan(std::tan(kFov / 2.0f) / aspect),
                             aspect, distance * 0.01f, distance + 2.0f * radius);
  renderer.SetTransform(D3DTS_VIEW, &view);
  renderer.SetTransform(D3DTS_PROJECTION, &projection);
}

int RunPortals(const PortalsOptions& o, const footlight::cli::Context& context) {
  using footlight::cli::Fail;
  if (std::string line; !footlight::cli::Readable(o.resource, o.mesh, &line)) return Fail(line);
  host::StandardHost standard(o.resource, o.picture.Config());
  host::ReferenceHost& host = standard.host;
  host::RegisterMeshClass(host, standard.renderer);
  if (host.LoadModule(context.entry) == nullptr) return context.EmptyClassList();
  std::string error;
  ComponentHandle builderHandle{};
  host.CreateObject(&builderHandle, "CCellPortalGraphBuilder");
  auto* builder =
      static_cast<CCellPortalGraphBuilder*>(static_cast<CComponentBase*>(host.GetObject(&builderHandle)));
  if (builder == nullptr) {
    std::fprintf(stderr, "footlight: the module made no CCellPortalGraphBuilder\n");
    host.DestroyAll();
    return 1;
  }
  StagePrinter printer;
  builder->SetProgressListener(&printer);

  bool loaded = false;
  if (o.model) {
    ComponentHandle meshHandle{};
    host.CreateObject(&meshHandle, "mesh");
    host::MeshObject* mesh = host::MeshObject::Of(host, meshHandle);
    loaded = mesh != nullptr && mesh->Load(standard.ini, o.mesh.c_str(), &error);
    if (loaded) builder->AddModel(meshHandle);
  } else {
    host::MeshData mesh;
    loaded = host::LoadObjMesh(standard.ini, o.mesh.c_str(), &mesh, &error);
    if (loaded) {
      builder->Reserve(static_cast<uint32_t>(mesh.vertices.size()), static_cast<uint32_t>(mesh.indices.size() / 3));
      for (const host::MeshVertex& v : mesh.vertices) {
        CellPortalVertex record{};
        record.position = D3DXVECTOR3(v.position[0], v.position[1], v.position[2]);
        record.normal = D3DXVECTOR3(v.normal[0], v.normal[1], v.normal[2]);
        record.uv0[0] = v.uv[0];
        record.uv0[1] = v.uv[1];
        builder->AddVertex(&record);
      }
      for (size_t t = 0; t + 3 <= mesh.indices.size(); t += 3) {
        const CellPortalTriangle triangle{{mesh.indices[t], mesh.indices[t + 1], mesh.indices[t + 2]}, 0};
        builder->AddTriangle(&triangle);
      }
    }
  }
  if (!loaded) {
    std::fprintf(stderr, "footlight: %s\n", error.c_str());
    builder->SetProgressListener(nullptr);
    host.DestroyAll();
    return 1;
  }

  builder->Build(false, false);
  builder->SetProgressListener(nullptr);
  if (const char* why = builder->Failure()) {
    const std::string line = std::string("the cell-portal build failed: ") + why;
    host.DestroyAll();
    return Fail(line);
  }
  if (printer.last != nullptr) PrintGraph(*printer.last);

  host::Renderer& renderer = standard.renderer;
  if (printer.last != nullptr) LookAtMesh(renderer, *printer.last->vertices);
  o.picture.ClearFrames(standard);
  for (int frame = 1; frame <= o.frames; ++frame) {
    if (std::find(o.nextCell.begin(), o.nextCell.end(), frame) != o.nextCell.end()) host.SystemMessage(256, 'N', 0);
    standard.Frame(16);
    size_t outlines = 0, triangles = 0;
    for (const host::DrawRecord& draw : renderer.FrameDraws()) {
      if (draw.primitiveType == D3DPT_LINESTRIP) ++outlines;
      if (draw.primitiveType == D3DPT_TRIANGLELIST) triangles += draw.primitiveCount;
    }
    std::printf("frame %d: portal outlines %zu, cell triangles %zu\n", frame, outlines, triangles);
  }
  const int status = WritePicture(o.picture, renderer);
  host.DestroyAll();
  const size_t live = host.Allocator().LiveBlocks();
  std::printf("live host blocks: %zu\n", live);
  return live == 0 ? status : 1;
}

}  // namespace

namespace footlight {

void AddPortalsCommand(cli::Program& program) {
  auto* o = program.Keep<PortalsOptions>();
  CLI::App* cmd = program.Command("portals", "build cells and portals over an OBJ mesh and draw them",
                                  [o](const cli::Context& context) { return RunPortals(*o, context); });
  cli::ResourcePath(cmd, "MESH", &o->mesh, "the OBJ mesh")->required();
  cli::ResourceRoot(cmd, &o->resource);
  cmd->add_flag("--model", o->model, "hand the mesh over as the model of a host mesh object");
  cli::Whole(cmd, "--frames", &o->frames, 0, INT_MAX, "frames to draw (default 1)");
  cli::Whole(cmd, "--next-cell", &o->nextCell, 1, INT_MAX, "press N (select the next cell) before frame F")
      ->type_name("F");
  DeclarePictureOptions(cmd, &o->picture);
  program.Check(cmd, [o] {
    for (int frame : o->nextCell)
      if (frame > o->frames)
        return "--next-cell " + std::to_string(frame) + " is past the last frame (--frames " +
               std::to_string(o->frames) + ")";
    return std::string();
  });
}

}  // namespace footlight
