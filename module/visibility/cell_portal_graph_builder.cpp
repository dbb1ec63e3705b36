#include "visibility/cell_portal_graph_builder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "frame/scene_model.h"
#include "math/planes.h"

uint32_t g_nSelectedCell = 0;

namespace {

// Vertices of triangles are on a plane within this distance; portal points use the plane
// classifier's own tolerance.
constexpr float kTriangleOnPlane = 0.001f;
constexpr float kPlaneEqual = 1e-4f;
constexpr float kCoveringDistance = 1e-4f;
constexpr float kSegmentTolerance = 1e-3f;
constexpr float kEdgeTolerance = 0.001f;
constexpr int kSpanning = 3;

constexpr uint32_t kKeyDown = 256;

// The cuts of rooms, buildings and rolling sheets make a few pieces per triangle given. Long
// triangles crossing each other's planes make pieces in the cube of their count; past this many
// the build stops instead of taking ever more time and memory.
constexpr size_t kPiecesPerTriangle = 32;
constexpr size_t kLeastPieceBudget = 4096;

using Segment = std::pair<D3DXVECTOR3, D3DXVECTOR3>;

D3DXVECTOR3 Normal(const D3DXPLANE& p) { return D3DXVECTOR3(p.a, p.b, p.c); }
float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
  D3DXVECTOR3 out;
  D3DXVec3Cross(&out, &a, &b);
  return out;
}
D3DXVECTOR3 Unit(const D3DXVECTOR3& v) {
  D3DXVECTOR3 out;
  D3DXVec3Normalize(&out, &v);
  return out;
}
float Length(const D3DXVECTOR3& v) { return D3DXVec3Length(&v); }

// The in-plane basis shared by the area of a plane entry and the square of a portal.
void PlaneBasis(const D3DXVECTOR3& n, D3DXVECTOR3* e1, D3DXVECTOR3* e2) {
  D3DXVECTOR3 u = Cross(n, D3DXVECTOR3(1, 0, 0));
  if (Length(u) < 1e-4f) u = Cross(n, D3DXVECTOR3(0, 1, 0));
  *e1 = Unit(Cross(u, n));
  *e2 = Unit(Cross(n, *e1));
}

// The parameter where the segment p -> q meets the plane; a segment parallel to the plane
// takes its first end point.
float CutParameter(const D3DXPLANE& plane, const D3DXVECTOR3& p, const D3DXVECTOR3& q) {
  const float denominator = Dot(Normal(plane), q - p);
  if (denominator == 0.0f) return 0.0f;
  return -(Dot(Normal(plane), p) + plane.d) / denominator;
}

int ClassifyPolygon(const std::vector<D3DXVECTOR3>& points, const D3DXPLANE& plane) {
  bool front = false, back = false;
  for (const auto& p : points) {
    const int side = ClassifyPointPlane(plane, p);
    front |= side == kPlaneFront;
    back |= side == kPlaneBack;
  }
  if (!front && !back) return kPlaneOn;
  if (!back) return kPlaneFront;
  if (!front) return kPlaneBack;
  return kSpanning;
}

// Points on the plane go to both parts; where an edge crosses, the crossing goes to both
// parts before the point.
void SplitPolygon(const std::vector<D3DXVECTOR3>& points, const D3DXPLANE& plane, std::vector<D3DXVECTOR3>* front,
                  std::vector<D3DXVECTOR3>* back) {
  const size_t n = points.size();
  for (size_t i = 0; i < n; ++i) {
    const D3DXVECTOR3& q = points[i];
    const D3DXVECTOR3& p = points[(i + n - 1) % n];
    const int sq = ClassifyPointPlane(plane, q);
    if (sq == kPlaneOn) {
      front->push_back(q);
      back->push_back(q);
      continue;
    }
    const int sp = ClassifyPointPlane(plane, p);
    if (sp != kPlaneOn && sp != sq) {
      const D3DXVECTOR3 cut = p + (q - p) * CutParameter(plane, p, q);
      front->push_back(cut);
      back->push_back(cut);
    }
    (sq == kPlaneFront ? front : back)->push_back(q);
  }
}

std::vector<D3DXVECTOR3> ClipPolygon(const std::vector<D3DXVECTOR3>& points, const D3DXPLANE& plane, bool keepFront) {
  std::vector<D3DXVECTOR3> front, back;
  SplitPolygon(points, plane, &front, &back);
  return keepFront ? front : back;
}

// When `s` and `edge` lie on one line within the tolerance and share a stretch, the parts of
// `s` outside the stretch go to `rest` and the answer is true.
bool SegmentsOverlap(const Segment& s, const Segment& edge, std::vector<Segment>* rest) {
  const D3DXVECTOR3 d = s.second - s.first;
  const float length = Length(d);
  if (length <= kSegmentTolerance) return false;
  const D3DXVECTOR3 u = d / length;
  const float t0 = Dot(edge.first - s.first, u);
  const float t1 = Dot(edge.second - s.first, u);
  if (Length(edge.first - s.first - u * t0) > kSegmentTolerance) return false;
  if (Length(edge.second - s.first - u * t1) > kSegmentTolerance) return false;
  const float lo = std::max(0.0f, std::min(t0, t1));
  const float hi = std::min(length, std::max(t0, t1));
  if (hi - lo <= kSegmentTolerance) return false;
  if (lo > kSegmentTolerance) rest->emplace_back(s.first, s.first + u * lo);
  if (length - hi > kSegmentTolerance) rest->emplace_back(s.first + u * hi, s.second);
  return true;
}

// The pieces made for one inner node's portal. Those no group took are freed when it goes: when
// the node is done, or when the build stops on the way.
struct MadePieces {
  std::vector<PortalPiece*> list;
  MadePieces() = default;
  MadePieces(const MadePieces&) = delete;
  MadePieces& operator=(const MadePieces&) = delete;
  ~MadePieces() {
    for (PortalPiece* p : list)
      if (p->group == nullptr) delete p;
  }
};

PortalPiece* NewPiece(std::vector<PortalPiece*>* made) {
  auto piece = std::make_unique<PortalPiece>();
  made->push_back(piece.get());
  return piece.release();
}

PortalPiece* ChainEnd(PortalPiece* piece) {
  while (piece->link != nullptr) piece = piece->link;
  return piece;
}

template <class T>
void AppendOnce(std::vector<T>* list, const T& value) {
  if (std::find(list->begin(), list->end(), value) == list->end()) list->push_back(value);
}

}  // namespace

// ---- Planes ----

bool PlaneLess(const D3DXPLANE& p, const D3DXPLANE& q) {
  const float k = p.a * q.a + p.b * q.b + p.c * q.c;
  if (std::fabs(1.0f - std::fabs(k)) <= kPlaneEqual) {
    if (k < 0 && std::fabs(q.d + p.d) <= kPlaneEqual) return false;
    if (k > 0 && std::fabs(q.d - p.d) <= kPlaneEqual) return false;
  }
  if (std::fabs(q.a - p.a) > kPlaneEqual) return p.a < q.a;
  if (std::fabs(q.b - p.b) > kPlaneEqual) return p.b < q.b;
  if (std::fabs(q.c - p.c) > kPlaneEqual) return p.c < q.c;
  return p.d < q.d;
}

bool PointInTriangle(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                     const D3DXVECTOR3& normal) {
  const float s[3] = {Dot(Cross(b - a, p - a), normal), Dot(Cross(c - b, p - b), normal),
                      Dot(Cross(a - c, p - c), normal)};
  int sign = 0;
  for (float v : s) {
    if (std::fabs(v) < kEdgeTolerance) continue;
    const int here = v > 0 ? 1 : -1;
    if (sign != 0 && here != sign) return false;
    sign = here;
  }
  return true;
}

PlaneEntry* PlaneMap::FindOrInsert(const D3DXPLANE& plane, uint8_t used) {
  size_t at = entries.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const D3DXPLANE& q = entries[i]->plane;
    const bool before = PlaneLess(plane, q);
    if (!before && !PlaneLess(q, plane)) return entries[i];
    if (at == entries.size() && before) at = i;
  }
  return Insert(plane, used, at);
}

PlaneEntry* PlaneMap::InsertUnequal(const D3DXPLANE& plane, uint8_t used) {
  // An entry whose a lies more than twice the tolerance below the plane's is one the plane
  // does not order before (equal or not), and the largest a of a run of entries tells that of
  // the whole run: the look for the first entry the plane orders before starts past the run,
  // and ends at the latest at an entry whose a lies above the plane's by as much.
  if (m_prefixMaxA.size() != entries.size()) {
    m_prefixMaxA.clear();
    for (const PlaneEntry* e : entries)
      m_prefixMaxA.push_back(m_prefixMaxA.empty() ? e->plane.a : std::max(m_prefixMaxA.back(), e->plane.a));
  }
  const float below = plane.a - 2.0f * kPlaneEqual;
  size_t at = static_cast<size_t>(std::lower_bound(m_prefixMaxA.begin(), m_prefixMaxA.end(), below) -
                                  m_prefixMaxA.begin());
  while (at < entries.size() && !PlaneLess(plane, entries[at]->plane)) ++at;
  PlaneEntry* entry = Insert(plane, used, at);
  m_prefixMaxA.resize(at);
  for (size_t i = at; i < entries.size(); ++i)
    m_prefixMaxA.push_back(i == 0 ? entries[i]->plane.a : std::max(m_prefixMaxA.back(), entries[i]->plane.a));
  return entry;
}

PlaneEntry* PlaneMap::Insert(const D3DXPLANE& plane, uint8_t used, size_t at) {
  auto entry = std::make_unique<PlaneEntry>();
  entry->plane = plane;
  entry->used = used;
  entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), entry.get());
  return entry.release();
}

void PlaneMap::Clear() {
  for (PlaneEntry* e : entries) delete e;
  entries.clear();
  m_prefixMaxA.clear();
}

// ---- Component ----

struct CCellPortalGraphBuilder::BuildTask {
  PlaneMap* map;
  int32_t parent;
  bool back;
};

struct CCellPortalGraphBuilder::BuildWork {
  std::vector<BuildTask> tasks;
  // Every map made for a back child, kept until the whole tree stands.
  std::vector<std::unique_ptr<PlaneMap>> maps;
};

CCellPortalGraphBuilder::CCellPortalGraphBuilder() { ResetTables(); }

CCellPortalGraphBuilder::~CCellPortalGraphBuilder() { Clear(); }

bool CCellPortalGraphBuilder::Init() {
  m_pRenderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  return true;
}

void CCellPortalGraphBuilder::Destroy() {}
void CCellPortalGraphBuilder::Execute(uint32_t) {}

void CCellPortalGraphBuilder::Realize(uint32_t) {
  if (!m_nodes.empty() && m_pRenderer != nullptr) DrawGraph();
}

void CCellPortalGraphBuilder::OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t) {
  if (message != kKeyDown || (wParam != 'N' && wParam != 'n')) return;
  if (m_cells.empty()) return;
  g_nSelectedCell = static_cast<uint32_t>((static_cast<uint64_t>(g_nSelectedCell) + 1) % m_cells.size());
}

void CCellPortalGraphBuilder::Reserve(uint32_t vertexCount, uint32_t triangleCount) {
  m_vertices.reserve(vertexCount);
  m_triangles.reserve(triangleCount);
  m_triangleIndices.reserve(2ull * triangleCount);
}

void CCellPortalGraphBuilder::Slot13(uint32_t) {}

void CCellPortalGraphBuilder::AddVertex(const CellPortalVertex* vertex) {
  m_flBoundingRadius = std::max(m_flBoundingRadius, Length(vertex->position));
  m_vertices.push_back(*vertex);
}

void CCellPortalGraphBuilder::AddTriangle(const CellPortalTriangle* triangle) { m_triangles.push_back(*triangle); }

void CCellPortalGraphBuilder::SetProgressListener(ICellPortalProgressListener* listener) { m_pListener = listener; }

void CCellPortalGraphBuilder::AddModel(ComponentHandle object) {
  void* found = g_pHost->GetObject(&object);
  if (found == nullptr || m_pRenderer == nullptr) return;
  ISceneModel* model = static_cast<ISceneModelOwner*>(found)->GetModel();
  if (model == nullptr) return;
  ISceneMesh* mesh = model->GetMesh();
  if (mesh == nullptr) return;
  const SceneMeshDescription* description = mesh->GetDescription();
  if (description == nullptr) return;
  const int buffer = mesh->GetVertexBuffer();
  // The vertices are read before any triangle is taken, so that a mesh whose buffer cannot
  // be read adds nothing at all.
  const auto* data = static_cast<const uint8_t*>(m_pRenderer->LockVertexBuffer(buffer, 0, 0, 0));
  if (data == nullptr) return;
  const uint32_t stride = mesh->GetVertexStride();
  const uint16_t* indices = mesh->GetIndices();
  if (stride < sizeof(D3DXVECTOR3)) {
    m_pRenderer->UnlockVertexBuffer(buffer);
    return;
  }
  // The mesh counts its vertices from 0; in the table they follow what is already there.
  const auto base = static_cast<uint32_t>(m_vertices.size());
  const uint32_t vertexCount = mesh->GetVertexCount();
  if (indices != nullptr) {
    for (uint32_t t = 0; t < description->triangleCount; ++t) {
      const uint16_t* i = indices + 3ull * t;
      if (i[0] >= vertexCount || i[1] >= vertexCount || i[2] >= vertexCount) continue;
      const CellPortalTriangle triangle{{base + i[0], base + i[1], base + i[2]}, 0};
      AddTriangle(&triangle);
    }
  }
  for (uint32_t v = 0; v < mesh->GetVertexCount(); ++v) {
    CellPortalVertex record{};
    std::memcpy(&record.position, data + static_cast<size_t>(v) * stride, sizeof(record.position));
    AddVertex(&record);
  }
  m_pRenderer->UnlockVertexBuffer(buffer);
}

void CCellPortalGraphBuilder::Slot18() {}
void CCellPortalGraphBuilder::Slot19() {}
void CCellPortalGraphBuilder::Slot20() {}

void CCellPortalGraphBuilder::Build(bool first, bool second) {
  // Further stages that do nothing yet; they report nothing either.
  (void)first;
  (void)second;
  m_szFailure[0] = 0;
  // Cuts rewrite given triangle records; a build that stops puts them back.
  const size_t givenVertices = m_vertices.size();
  std::vector<CellPortalTriangle> given;
  bool copied = false;
  try {
    given = m_triangles;
    copied = true;
    ResetTables();
    CollectCoplanarTriangles();
    if (BuildTree()) {
      BuildPortals();
      LinkCells();
      return;
    }
  } catch (const std::bad_alloc&) {
    std::snprintf(m_szFailure, sizeof m_szFailure, "the build ran out of memory");
  }
  Abandon(givenVertices, copied ? &given : nullptr);
}

void CCellPortalGraphBuilder::Abandon(size_t givenVertices, const std::vector<CellPortalTriangle>* givenTriangles) {
  FreeGraph();
  m_statistics = CellPortalStatistics{};
  // Without the copy nothing has touched the two tables. The build only appends to them, so
  // the given records fit without allocating.
  if (givenTriangles != nullptr) {
    m_vertices.erase(m_vertices.begin() + static_cast<std::ptrdiff_t>(givenVertices), m_vertices.end());
    m_triangles.assign(givenTriangles->begin(), givenTriangles->end());
  }
  std::vector<TriangleState>().swap(m_triangleStates);
  std::vector<std::vector<uint32_t>>().swap(m_splitters);
  std::vector<D3DXPLANE>().swap(m_lineagePlanes);
  for (auto& tally : m_lineageTally) std::vector<int32_t>().swap(tally);
  std::vector<uint32_t>().swap(m_sideStamp);
  std::vector<uint8_t>().swap(m_sides);
  m_countSplits = false;
  m_boxes.Clear();
}

void CCellPortalGraphBuilder::ReportProgress() {
  if (m_pListener != nullptr) m_pListener->OnProgress(&m_progress);
}

void CCellPortalGraphBuilder::FreePortals() {
  for (PortalPiece* p : m_pieces) delete p;
  m_pieces.clear();
  for (PortalGroup* g : m_groups) delete g;
  m_groups.clear();
}

void CCellPortalGraphBuilder::FreeCells() {
  for (CellRecord* c : m_cells) delete c;
  m_cells.clear();
}

void CCellPortalGraphBuilder::FreeGraph() {
  FreePortals();
  FreeCells();
  m_planes.Clear();
  m_nodes.clear();
  m_leaves.clear();
  m_triangleIndices.clear();
  m_pointMap.clear();
}

void CCellPortalGraphBuilder::Clear() {
  FreeGraph();
  m_vertices.clear();
  m_triangles.clear();
}

// ---- Drawing ----

void CCellPortalGraphBuilder::DrawGraph() {
  static const D3DXMATRIX identity = [] {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
  }();
  IRenderer* r = m_pRenderer;
  r->SetTransform(D3DTS_WORLD, &identity);
  r->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  r->SetRenderState(D3DRS_LIGHTING, 0);
  r->SetRenderState(D3DRS_FOGENABLE, 0);
  r->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  r->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  r->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
  r->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  r->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  r->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);

  // The buffer grows to whatever one outline or one cell needs.
  std::vector<D3DXVECTOR3> points;
  for (const PortalGroup* group : m_groups) {
    for (const PortalPiece* piece : group->pieces) {
      points.assign(piece->points.begin(), piece->points.end());
      if (!piece->points.empty()) points.push_back(piece->points.front());
      if (!points.empty())
        r->DrawPrimitiveUP(D3DPT_LINESTRIP, D3DFVF_XYZ, static_cast<UINT>(points.size() - 1), points.data(),
                           sizeof(D3DXVECTOR3), -1, 0);
    }
  }
  if (g_nSelectedCell < m_cells.size()) {
    points.clear();
    for (int32_t leaf : m_cells[g_nSelectedCell]->leaves) {
      const CellPortalNode& node = m_nodes[static_cast<size_t>(leaf)];
      for (uint32_t k = node.first; k < node.first + node.count; ++k) {
        const CellPortalTriangle& t = m_triangles[m_triangleIndices[k]];
        for (uint32_t i : t.index) points.push_back(m_vertices[i].position);
      }
    }
    if (points.size() >= 3)
      r->DrawPrimitiveUP(D3DPT_TRIANGLELIST, D3DFVF_XYZ, static_cast<UINT>(points.size() / 3), points.data(),
                         sizeof(D3DXVECTOR3), -1, 0);
  }
  r->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  r->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  r->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
}

// ---- Stage 0 and 1 ----

void CCellPortalGraphBuilder::ResetTables() {
  m_progress.stage = 0;
  m_progress.vertices = &m_vertices;
  m_progress.triangles = &m_triangles;
  m_progress.nodes = &m_nodes;
  m_progress.triangleIndices = &m_triangleIndices;
  m_progress.planes = &m_planes;
  m_progress.pieces = &m_pieces;
  m_progress.groups = &m_groups;
  m_progress.cells = &m_cells;
  m_progress.statistics = &m_statistics;
  m_statistics = CellPortalStatistics{};
  ReportProgress();
}

bool CCellPortalGraphBuilder::TrianglePlane(const CellPortalTriangle& triangle, D3DXPLANE* out) const {
  for (uint32_t i : triangle.index)
    if (i >= m_vertices.size()) return false;
  const D3DXVECTOR3& p0 = m_vertices[triangle.index[0]].position;
  const D3DXVECTOR3 cross =
      Cross(m_vertices[triangle.index[1]].position - p0, m_vertices[triangle.index[2]].position - p0);
  const float length = Length(cross);
  if (!(length > 0.0f) || !std::isfinite(length)) return false;
  const D3DXVECTOR3 n = cross / length;
  *out = D3DXPLANE(n.x, n.y, n.z, -Dot(n, p0));
  return true;
}

void CCellPortalGraphBuilder::ComputePlaneArea(PlaneEntry* entry) const {
  D3DXVECTOR3 e1, e2;
  PlaneBasis(Normal(entry->plane), &e1, &e2);
  float area = 0.0f;
  for (uint32_t t : entry->triangles) {
    const CellPortalTriangle& tri = m_triangles[t];
    const D3DXVECTOR3& p0 = m_vertices[tri.index[0]].position;
    const D3DXVECTOR3 d1 = m_vertices[tri.index[1]].position - p0;
    const D3DXVECTOR3 d2 = m_vertices[tri.index[2]].position - p0;
    area += 0.5f * (Dot(d1, e1) * Dot(d2, e2) - Dot(d1, e2) * Dot(d2, e1));
  }
  entry->area = area;
}

void CCellPortalGraphBuilder::CollectCoplanarTriangles() {
  m_progress.stage = 1;
  m_planes.Clear();
  for (size_t i = 0; i < m_triangles.size(); ++i) {
    // A triangle naming a missing vertex, or one without area (its normal would be zero),
    // has no plane and stays out of the build.
    D3DXPLANE plane;
    if (!TrianglePlane(m_triangles[i], &plane)) continue;
    PlaneEntry* entry = m_planes.FindOrInsert(plane, 0);
    entry->triangles.push_back(static_cast<uint32_t>(i));
    ++entry->count;
  }
  for (PlaneEntry* e : m_planes.entries) ComputePlaneArea(e);
  ReportProgress();
}

// ---- Stage 2 ----

int CCellPortalGraphBuilder::VertexSide(const D3DXPLANE& plane, uint32_t vertex) const {
  const D3DXVECTOR3& p = m_vertices[vertex].position;
  if (std::fabs(PlaneDistance(plane, p)) < kTriangleOnPlane) return kPlaneOn;
  return ClassifyPointPlane(plane, p);
}

void CCellPortalGraphBuilder::BeginSides(const D3DXPLANE& plane) {
  m_sidePlane = plane;
  if (m_sideStamp.size() < m_vertices.size()) {
    m_sideStamp.resize(m_vertices.size(), 0);
    m_sides.resize(m_vertices.size());
  }
  if (++m_sideGeneration == 0) {
    std::fill(m_sideStamp.begin(), m_sideStamp.end(), 0);
    m_sideGeneration = 1;
  }
}

int CCellPortalGraphBuilder::TriangleSides(uint32_t triangle, int* sides) {
  bool front = false, back = false;
  for (int i = 0; i < 3; ++i) {
    const uint32_t v = m_triangles[triangle].index[i];
    // Vertices cut during this plane's split come after the stamps; no triangle of the split
    // asks for them.
    if (v >= m_sideStamp.size()) {
      sides[i] = VertexSide(m_sidePlane, v);
    } else {
      if (m_sideStamp[v] != m_sideGeneration) {
        m_sideStamp[v] = m_sideGeneration;
        m_sides[v] = static_cast<uint8_t>(VertexSide(m_sidePlane, v));
      }
      sides[i] = m_sides[v];
    }
    front |= sides[i] == kPlaneFront;
    back |= sides[i] == kPlaneBack;
  }
  if (!front && !back) return kPlaneOn;
  if (front && back) return kSpanning;
  return back ? kPlaneBack : kPlaneFront;
}

TriangleBoxTree::Box CCellPortalGraphBuilder::TriangleBox(uint32_t triangle) const {
  const CellPortalTriangle& t = m_triangles[triangle];
  TriangleBoxTree::Box box{m_vertices[t.index[0]].position, m_vertices[t.index[0]].position};
  for (int i = 1; i < 3; ++i) {
    const D3DXVECTOR3& p = m_vertices[t.index[i]].position;
    D3DXVec3Minimize(&box.lo, &box.lo, &p);
    D3DXVec3Maximize(&box.hi, &box.hi, &p);
  }
  return box;
}

bool CCellPortalGraphBuilder::BuildTree() {
  m_progress.stage = 2;
  const size_t given = m_triangles.size();
  const size_t budget = std::max(kLeastPieceBudget, kPiecesPerTriangle * given);
  const auto withinBudget = [&] {
    if (m_triangles.size() - given <= budget) return true;
    std::snprintf(m_szFailure, sizeof m_szFailure, "cutting %zu triangles made more than %zu pieces, the piece budget",
                  given, budget);
    return false;
  };
  m_nodes.clear();
  m_triangleIndices.clear();
  m_nodes.reserve(m_triangles.size() / 2);
  std::vector<uint32_t> ids;
  std::vector<TriangleBoxTree::Box> boxes(m_triangles.size());
  for (const PlaneEntry* e : m_planes.entries)
    for (uint32_t t : e->triangles) {
      ids.push_back(t);
      boxes[t] = TriangleBox(t);
    }
  m_boxes.Build(ids, std::move(boxes));
  BuildWork work;
  BuildNode(&m_planes, -1, &work);
  while (!work.tasks.empty()) {
    if (!withinBudget()) return false;
    const BuildTask task = work.tasks.back();
    work.tasks.pop_back();
    const int32_t child = BuildNode(task.map, task.parent, &work);
    CellPortalNode& parent = m_nodes[static_cast<size_t>(task.parent)];
    (task.back ? parent.back : parent.front) = child;
  }
  if (!withinBudget()) return false;
  ReportProgress();
  return true;
}

namespace {

// The lowest score a criterion can give: no split and no cosine are 0; minus an area has none.
float ScoreFloor(uint32_t criterion) { return criterion == 0 || criterion == 2 ? 0.0f : -3.4e38f; }

}  // namespace

int32_t CCellPortalGraphBuilder::BuildNode(PlaneMap* map, int32_t parent, BuildWork* work) {
  if (map->empty()) return -1;
  // Which entry of this map holds each triangle, and the boxes that hold them, for scoring.
  if (m_triangleStates.size() < m_triangles.size()) m_triangleStates.resize(m_triangles.size());
  if (++m_mapGeneration == 0) {
    for (TriangleState& state : m_triangleStates) state.stamp = 0;
    m_boxes.ClearMarks();
    m_mapGeneration = 1;
  }
  for (uint32_t i = 0; i < map->entries.size(); ++i)
    for (uint32_t t : map->entries[i]->triangles) {
      m_triangleStates[t].stamp = m_mapGeneration;
      m_triangleStates[t].entry = i;
      m_triangleStates[t].normal = Normal(map->entries[i]->plane);
      m_boxes.Mark(t, m_mapGeneration);
    }
  if (parent < 0) CountRootSplits(map);
  // The best is the lowest (primary, secondary, place in the map). While splits come first, the
  // entry known to split fewest is looked at first: it is nearly always the best, and every
  // entry known to split more than the best is left without a look.
  PlaneEntry* best = nullptr;
  uint32_t bestIndex = 0;
  float bestPrimary = 3.4e38f, bestSecondary = 3.4e38f;
  const auto consider = [&](uint32_t index) {
    PlaneEntry* e = map->entries[index];
    const bool winsTies = best == nullptr || index < bestIndex;
    float primary = 0, secondary = 0;
    ScorePlane(e, index, bestPrimary, bestSecondary, winsTies, &primary, &secondary);
    if (primary < bestPrimary || (primary == bestPrimary && secondary < bestSecondary) ||
        (winsTies && primary == bestPrimary && secondary == bestSecondary)) {
      best = e;
      bestIndex = index;
      bestPrimary = primary;
      bestSecondary = secondary;
    }
  };
  uint32_t first = UINT32_MAX;
  for (uint32_t index = 0; index < map->entries.size(); ++index) {
    const PlaneEntry* e = map->entries[index];
    if (e->used == 0 && (first == UINT32_MAX || e->knownSplits < map->entries[first]->knownSplits)) first = index;
  }
  if (first != UINT32_MAX) consider(first);
  for (uint32_t index = 0; index < map->entries.size(); ++index) {
    // Nothing scores below the floor, so past the best no later entry can take its place.
    if (index > bestIndex && bestPrimary <= ScoreFloor(m_nPrimaryCriterion) &&
        bestSecondary <= ScoreFloor(m_nSecondaryCriterion))
      break;
    const PlaneEntry* e = map->entries[index];
    if (e->used != 0 || index == first) continue;
    if (m_countSplits && static_cast<float>(e->knownSplits) > bestPrimary) continue;
    consider(index);
  }
  return best != nullptr ? SplitNode(map, parent, best, work) : MakeLeaf(map, parent);
}

void CCellPortalGraphBuilder::ScorePlane(PlaneEntry* candidate, uint32_t index, float bestPrimary,
                                         float bestSecondary, bool winsTies, float* primary, float* secondary) {
  float splits = 0.0f, largestCosine = 0.0f;
  const auto score = [&](uint32_t c) {
    switch (c) {
      case 0: return splits;
      case 1: return -candidate->area;
      case 2: return largestCosine;
      default: return 0.0f;
    }
  };
  // The scores only grow as triangles are looked at: once they are no better than the best,
  // they will not be at the end either, and the candidate is left. A candidate that may still
  // win is looked at whole, so the order of the look changes nothing.
  const auto beaten = [&] {
    const float p = score(m_nPrimaryCriterion);
    if (p != bestPrimary) return p > bestPrimary;
    const float q = score(m_nSecondaryCriterion);
    return q > bestSecondary || (q == bestSecondary && !winsTies);
  };
  const D3DXVECTOR3 n = Normal(candidate->plane);
  // Counts a split triangle; true when the candidate is beaten. The cosine with the split
  // triangle's plane is only needed while the count alone does not beat it.
  const auto split = [&](uint32_t t) {
    splits += 1.0f;
    if (beaten()) return true;
    largestCosine = std::max(largestCosine, std::fabs(Dot(n, m_triangleStates[t].normal)));
    return beaten();
  };
  const auto inThisNode = [&](uint32_t t) {
    const TriangleState& state = m_triangleStates[t];
    return state.stamp == m_mapGeneration && state.entry != index;
  };
  const auto finish = [&] {
    *primary = score(m_nPrimaryCriterion);
    *secondary = score(m_nSecondaryCriterion);
  };
  const auto wants = [&](uint32_t c) { return m_nPrimaryCriterion == c || m_nSecondaryCriterion == c; };
  if (!wants(0) && !wants(2)) return finish();
  BeginSides(candidate->plane);
  // The triangles this plane split when it was last scored, in this node or an ancestor, often
  // still lie in this node and beat it again; a record no cut has changed since is split still.
  // A triangle that has left the node is in none of its descendants either, so it leaves the
  // list as it is passed (the last taking its place: the order only decides how soon a beaten
  // candidate is left); in a deep tree it would otherwise be passed again at every node below.
  std::vector<PlaneEntry::Witness>& witnesses = candidate->witnesses;
  for (size_t i = 0; i < witnesses.size();) {
    const PlaneEntry::Witness w = witnesses[i];
    if (w.triangle < m_triangleStates.size() && m_triangleStates[w.triangle].stamp != m_mapGeneration) {
      witnesses[i] = witnesses.back();
      witnesses.pop_back();
      continue;
    }
    ++i;
    int sides[3];
    if (w.triangle < m_triangleStates.size() && inThisNode(w.triangle) &&
        (m_triangleStates[w.triangle].version == w.version || TriangleSides(w.triangle, sides) == kSpanning) &&
        split(w.triangle))
      return finish();
  }
  splits = 0.0f;
  largestCosine = 0.0f;
  candidate->witnesses.clear();
  // Only a box with a vertex beyond the on-plane distance on each side can hold a triangle
  // that the plane splits.
  m_boxes.ForEachAcross(candidate->plane, kTriangleOnPlane, m_mapGeneration, [&](uint32_t t) {
    int sides[3];
    if (!inThisNode(t) || TriangleSides(t, sides) != kSpanning) return true;
    candidate->witnesses.push_back({t, m_triangleStates[t].version});
    return !split(t);
  });
  finish();
}

int32_t CCellPortalGraphBuilder::SplitNode(PlaneMap* map, int32_t parent, PlaneEntry* chosen, BuildWork* work) {
  ++m_statistics.innerNodes;
  chosen->used = 1;
  const auto index = static_cast<int32_t>(m_nodes.size());
  CellPortalNode node;
  node.kind = kCellPortalInner;
  node.plane = chosen->plane;
  node.parent = parent;
  m_nodes.push_back(node);

  const D3DXPLANE plane = chosen->plane;
  work->maps.push_back(std::make_unique<PlaneMap>());
  PlaneMap* back = work->maps.back().get();
  BeginSides(plane);
  std::vector<PlaneEntry*> kept;
  kept.reserve(map->entries.size());
  // For the children's split counts: whole triangles by side, and each cut triangle's planes
  // with its pieces.
  std::vector<uint32_t> whole[2];
  std::vector<std::vector<uint32_t>> cutSplitters;
  struct Piece {
    uint32_t triangle, cut;
    bool front;
  };
  std::vector<Piece> pieces;
  // Most entries lose nothing to the split: they keep their list, and these two are reused.
  std::vector<uint32_t> stay, behind;
  for (PlaneEntry*& listed : map->entries) {
    PlaneEntry* e = listed;
    if (e == chosen) {
      kept.push_back(e);
      if (m_countSplits) whole[0].insert(whole[0].end(), e->triangles.begin(), e->triangles.end());
      continue;
    }
    stay.clear();
    behind.clear();
    for (uint32_t t : e->triangles) {
      int sides[3];
      const int cls = TriangleSides(t, sides);
      const size_t stayBefore = stay.size(), behindBefore = behind.size();
      if (cls == kPlaneOn) {
        // A coplanar triangle goes with its own facing: one facing like the splitter stays
        // in front, one facing away goes behind.
        const CellPortalTriangle& tri = m_triangles[t];
        const D3DXVECTOR3& p0 = m_vertices[tri.index[0]].position;
        const float k = Dot(Cross(m_vertices[tri.index[1]].position - p0, m_vertices[tri.index[2]].position - p0),
                            Normal(plane));
        (k < 0 ? behind : stay).push_back(t);
      } else if (cls == kPlaneFront) {
        stay.push_back(t);
      } else if (cls == kPlaneBack) {
        behind.push_back(t);
      } else if (sides[0] == kPlaneOn || sides[1] == kPlaneOn || sides[2] == kPlaneOn) {
        SplitTriangleAtVertex(t, plane, sides, &stay, &behind);
      } else {
        SplitTriangle(t, plane, sides, &stay, &behind);
      }
      if (!m_countSplits) continue;
      if (cls != kSpanning) {
        whole[stay.size() > stayBefore ? 0 : 1].push_back(t);
        continue;
      }
      const auto cut = static_cast<uint32_t>(cutSplitters.size());
      cutSplitters.push_back(std::move(m_splitters[t]));
      for (size_t k = stayBefore; k < stay.size(); ++k) pieces.push_back({stay[k], cut, true});
      for (size_t k = behindBefore; k < behind.size(); ++k) pieces.push_back({behind[k], cut, false});
    }
    if (!behind.empty()) {
      // No two entries of one map are equal, so the back map finds none of these planes.
      PlaneEntry* target = back->InsertUnequal(e->plane, e->used);
      target->witnesses = e->witnesses;
      target->lineage = e->lineage;
      target->knownSplits = e->knownSplits;
      target->triangles.insert(target->triangles.end(), behind.begin(), behind.end());
      target->count = static_cast<uint32_t>(target->triangles.size());
    }
    const bool changed = stay.size() != e->triangles.size() || !behind.empty();
    if (changed) e->triangles.assign(stay.begin(), stay.end());
    e->count = static_cast<uint32_t>(e->triangles.size());
    if (e->triangles.empty()) {
      // The map stops listing it at once, so that a build stopped on the way frees it once.
      listed = nullptr;
      delete e;
      continue;
    }
    if (changed) ComputePlaneArea(e);
    kept.push_back(e);
  }
  map->entries = std::move(kept);
  for (PlaneEntry* e : back->entries) ComputePlaneArea(e);
  if (m_countSplits) {
    // A child's count is the parent's less what left it, plus what its new pieces bring. Only the
    // smaller side's whole triangles are looked at: the other side's count is what remains.
    const int walked = whole[1].size() <= whole[0].size() ? 1 : 0;
    std::vector<int32_t>* tally = m_lineageTally;  // [0] front, [1] back: added to the base
    for (uint32_t t : whole[walked])
      for (uint32_t lineage : m_splitters[t]) {
        ++tally[walked][lineage];
        --tally[1 - walked][lineage];
      }
    for (const auto& splitters : cutSplitters)
      for (uint32_t lineage : splitters) --tally[1 - walked][lineage];
    if (m_splitters.size() < m_triangles.size()) m_splitters.resize(m_triangles.size());
    for (const Piece& piece : pieces) {
      std::vector<uint32_t>& list = m_splitters[piece.triangle];
      list.clear();
      for (uint32_t lineage : cutSplitters[piece.cut])
        if (LineageSplits(lineage, piece.triangle)) {
          list.push_back(lineage);
          ++tally[piece.front ? 0 : 1][lineage];
        }
    }
    // The side looked at starts from nothing, the other from the parent's count.
    for (int side = 0; side < 2; ++side)
      for (PlaneEntry* e : (side == 0 ? map : back)->entries) {
        const int64_t base = side == walked ? 0 : e->knownSplits;
        e->knownSplits = static_cast<uint32_t>(std::max<int64_t>(0, base + tally[side][e->lineage]));
      }
    for (int side = 0; side < 2; ++side) {
      for (uint32_t t : whole[walked])
        for (uint32_t lineage : m_splitters[t]) tally[side][lineage] = 0;
      for (const auto& splitters : cutSplitters)
        for (uint32_t lineage : splitters) tally[side][lineage] = 0;
    }
  }
  m_pointMap.clear();
  // Front before back: the back task is taken last.
  work->tasks.push_back(BuildTask{back, index, true});
  work->tasks.push_back(BuildTask{map, index, false});
  return index;
}

uint32_t CCellPortalGraphBuilder::CutEdge(uint32_t a, uint32_t b, const D3DXPLANE& plane) {
  // The edge is keyed and cut from its lower index, so that both triangles sharing it get
  // the very same vertex.
  if (b < a) std::swap(a, b);
  const auto key = std::make_pair(a, b);
  if (auto it = m_pointMap.find(key); it != m_pointMap.end()) return it->second;
  const CellPortalVertex va = m_vertices[a];
  const CellPortalVertex vb = m_vertices[b];
  const float t = CutParameter(plane, va.position, vb.position);
  CellPortalVertex v;
  v.position = va.position + (vb.position - va.position) * t;
  v.normal = Unit(va.normal + (vb.normal - va.normal) * t);
  for (int i = 0; i < 2; ++i) {
    v.uv0[i] = va.uv0[i] + (vb.uv0[i] - va.uv0[i]) * t;
    v.uv1[i] = va.uv1[i] + (vb.uv1[i] - va.uv1[i]) * t;
  }
  const auto index = static_cast<uint32_t>(m_vertices.size());
  m_vertices.push_back(v);
  m_pointMap.emplace(key, index);
  return index;
}

void CCellPortalGraphBuilder::SplitTriangle(uint32_t triangle, const D3DXPLANE& plane, const int* sides,
                                            std::vector<uint32_t>* front, std::vector<uint32_t>* back) {
  int lone = 0;
  for (int i = 0; i < 3; ++i)
    if (sides[i] != sides[(i + 1) % 3] && sides[i] != sides[(i + 2) % 3]) lone = i;
  const CellPortalTriangle tri = m_triangles[triangle];
  const uint32_t a = tri.index[lone], b = tri.index[(lone + 1) % 3], c = tri.index[(lone + 2) % 3];
  const uint32_t cab = CutEdge(a, b, plane);
  const uint32_t cac = CutEdge(a, c, plane);
  m_triangles[triangle] = CellPortalTriangle{{a, cab, cac}, tri.flags};
  if (triangle < m_triangleStates.size()) ++m_triangleStates[triangle].version;
  const auto first = static_cast<uint32_t>(m_triangles.size());
  m_triangles.push_back(CellPortalTriangle{{cab, b, c}, tri.flags});
  m_triangles.push_back(CellPortalTriangle{{cab, c, cac}, tri.flags});
  m_boxes.Reshape(triangle, TriangleBox(triangle));
  m_boxes.AddPiece(first, triangle, TriangleBox(first));
  m_boxes.AddPiece(first + 1, triangle, TriangleBox(first + 1));
  const bool loneInFront = sides[lone] == kPlaneFront;
  (loneInFront ? front : back)->push_back(triangle);
  (loneInFront ? back : front)->push_back(first);
  (loneInFront ? back : front)->push_back(first + 1);
}

void CCellPortalGraphBuilder::SplitTriangleAtVertex(uint32_t triangle, const D3DXPLANE& plane, const int* sides,
                                                    std::vector<uint32_t>* front, std::vector<uint32_t>* back) {
  int on = 0;
  for (int i = 0; i < 3; ++i)
    if (sides[i] == kPlaneOn) on = i;
  const CellPortalTriangle tri = m_triangles[triangle];
  const uint32_t a = tri.index[on], b = tri.index[(on + 1) % 3], c = tri.index[(on + 2) % 3];
  const uint32_t cut = CutEdge(b, c, plane);
  m_triangles[triangle] = CellPortalTriangle{{a, b, cut}, tri.flags};
  if (triangle < m_triangleStates.size()) ++m_triangleStates[triangle].version;
  const auto added = static_cast<uint32_t>(m_triangles.size());
  m_triangles.push_back(CellPortalTriangle{{a, cut, c}, tri.flags});
  m_boxes.Reshape(triangle, TriangleBox(triangle));
  m_boxes.AddPiece(added, triangle, TriangleBox(added));
  (sides[(on + 1) % 3] == kPlaneFront ? front : back)->push_back(triangle);
  (sides[(on + 2) % 3] == kPlaneFront ? front : back)->push_back(added);
}

bool CCellPortalGraphBuilder::LineageSplits(uint32_t lineage, uint32_t triangle) const {
  bool front = false, back = false;
  for (uint32_t v : m_triangles[triangle].index) {
    const int side = VertexSide(m_lineagePlanes[lineage], v);
    front |= side == kPlaneFront;
    back |= side == kPlaneBack;
  }
  return front && back;
}

void CCellPortalGraphBuilder::CountRootSplits(PlaneMap* map) {
  // The lists hold one entry per plane and triangle it splits: on a mesh of long triangles
  // crossing each other's planes that grows with the square of the triangles. Past this many
  // the build goes without the counts, which only spare work, and keeps its memory linear.
  constexpr size_t kMostSplitPairs = size_t{1} << 24;
  m_countSplits = m_nPrimaryCriterion == 0;
  m_splitters.assign(m_countSplits ? m_triangles.size() : 0, {});
  m_lineagePlanes.clear();
  if (!m_countSplits) return;
  size_t pairs = 0;
  for (uint32_t index = 0; index < map->entries.size(); ++index) {
    PlaneEntry* e = map->entries[index];
    e->lineage = index;
    m_lineagePlanes.push_back(e->plane);
    BeginSides(e->plane);
    uint32_t splits = 0;
    m_boxes.ForEachAcross(e->plane, kTriangleOnPlane, m_mapGeneration, [&](uint32_t t) {
      int sides[3];
      const TriangleState& state = m_triangleStates[t];
      if (state.stamp == m_mapGeneration && state.entry != index && TriangleSides(t, sides) == kSpanning) {
        m_splitters[t].push_back(index);
        ++splits;
      }
      return pairs + splits <= kMostSplitPairs;
    });
    pairs += splits;
    e->knownSplits = splits;
    if (pairs > kMostSplitPairs) {
      m_countSplits = false;
      std::vector<std::vector<uint32_t>>().swap(m_splitters);
      m_lineagePlanes.clear();
      for (PlaneEntry* counted : map->entries) counted->knownSplits = 0;
      return;
    }
  }
  for (auto& tally : m_lineageTally) tally.assign(map->entries.size(), 0);
}

int32_t CCellPortalGraphBuilder::MakeLeaf(PlaneMap* map, int32_t parent) {
  ++m_statistics.leaves;
  CellPortalNode node;
  node.kind = kCellPortalLeaf;
  node.parent = parent;
  node.first = static_cast<uint32_t>(m_triangleIndices.size());
  for (const PlaneEntry* e : map->entries)
    for (uint32_t t : e->triangles) {
      m_triangleIndices.push_back(t);
      ++node.count;
    }
  m_nodes.push_back(node);
  return static_cast<int32_t>(m_nodes.size() - 1);
}

// ---- Stage 3 ----

void CCellPortalGraphBuilder::MakePlaneSquare(const D3DXPLANE& plane, std::vector<D3DXVECTOR3>* out) const {
  const D3DXVECTOR3 n = Normal(plane);
  D3DXVECTOR3 e1, e2;
  PlaneBasis(n, &e1, &e2);
  const D3DXVECTOR3 centre = n * -plane.d;
  const float r = m_flBoundingRadius;
  out->assign({centre - e1 * r - e2 * r, centre + e1 * r - e2 * r, centre + e1 * r + e2 * r,
               centre - e1 * r + e2 * r});
}

void CCellPortalGraphBuilder::PushPiece(PortalPiece* start, int32_t from, std::vector<PortalPiece*>* made,
                                        std::vector<PortalPiece*>* placed) {
  std::vector<std::pair<PortalPiece*, int32_t>> work{{start, from}};
  while (!work.empty()) {
    const auto [piece, index] = work.back();
    work.pop_back();
    if (index < 0) continue;
    const CellPortalNode& node = m_nodes[static_cast<size_t>(index)];
    if (node.kind == kCellPortalLeaf) {
      if (!piece->placed) {
        piece->placed = true;
        placed->push_back(piece);
      }
      piece->leaves.push_back(index);
      continue;
    }
    switch (ClassifyPolygon(piece->points, node.plane)) {
      case kPlaneFront:
        work.emplace_back(piece, node.front);
        break;
      case kPlaneBack:
        work.emplace_back(piece, node.back);
        break;
      case kPlaneOn:
        work.emplace_back(piece, node.back);
        work.emplace_back(piece, node.front);
        break;
      default: {
        PortalPiece* front = NewPiece(made);
        PortalPiece* back = NewPiece(made);
        SplitPolygon(piece->points, node.plane, &front->points, &back->points);
        front->node = back->node = piece->node;
        front->leaves = back->leaves = piece->leaves;
        work.emplace_back(back, node.back);
        work.emplace_back(front, node.front);
        break;
      }
    }
  }
}

bool CCellPortalGraphBuilder::PieceIsCovered(const PortalPiece& piece, const D3DXPLANE& plane) const {
  const D3DXVECTOR3 normal = Normal(plane);
  for (int32_t leaf : piece.leaves) {
    const CellPortalNode& node = m_nodes[static_cast<size_t>(leaf)];
    for (uint32_t k = node.first; k < node.first + node.count; ++k) {
      const CellPortalTriangle& t = m_triangles[m_triangleIndices[k]];
      const D3DXVECTOR3& a = m_vertices[t.index[0]].position;
      const D3DXVECTOR3& b = m_vertices[t.index[1]].position;
      const D3DXVECTOR3& c = m_vertices[t.index[2]].position;
      if (std::fabs(PlaneDistance(plane, a)) > kCoveringDistance || std::fabs(PlaneDistance(plane, b)) > kCoveringDistance ||
          std::fabs(PlaneDistance(plane, c)) > kCoveringDistance)
        continue;
      if (PointInTriangle(piece.centre, a, b, c, normal)) return true;
    }
  }
  return false;
}

void CCellPortalGraphBuilder::BuildPortals() {
  m_progress.stage = 3;
  FreePortals();
  // Every leaf record starts empty: the pieces a former build listed are gone.
  m_leaves.assign(m_nodes.size(), CellPortalLeaf{});
  for (size_t i = 0; i < m_nodes.size(); ++i) {
    const CellPortalNode& node = m_nodes[i];
    if (node.kind != kCellPortalInner || node.front < 0 || node.back < 0) continue;
    std::vector<D3DXVECTOR3> polygon;
    MakePlaneSquare(node.plane, &polygon);
    auto child = static_cast<int32_t>(i);
    for (int32_t up = node.parent; up >= 0; child = up, up = m_nodes[static_cast<size_t>(up)].parent) {
      const CellPortalNode& ancestor = m_nodes[static_cast<size_t>(up)];
      if (ClassifyPolygon(polygon, ancestor.plane) == kSpanning)
        polygon = ClipPolygon(polygon, ancestor.plane, ancestor.front == child);
    }
    MadePieces made;
    PortalPiece* piece = NewPiece(&made.list);
    piece->points = std::move(polygon);
    piece->node = static_cast<int32_t>(i);
    std::vector<PortalPiece*> placed;
    PushPiece(piece, static_cast<int32_t>(i), &made.list, &placed);

    auto group = std::make_unique<PortalGroup>();
    for (PortalPiece* p : placed) {
      if (p->leaves.size() != 2 || p->points.empty()) continue;
      D3DXVECTOR3 sum(0, 0, 0);
      for (const auto& point : p->points) sum += point;
      p->centre = sum / static_cast<float>(p->points.size());
      if (PieceIsCovered(*p, node.plane)) {
        ++m_statistics.coveredPieces;
        continue;
      }
      m_pieces.push_back(p);
      p->group = group.get();  // the piece list owns it now
      group->pieces.push_back(p);
      for (int32_t leaf : p->leaves) m_leaves[static_cast<size_t>(leaf)].pieces.push_back(p);
    }
    if (!group->pieces.empty()) {
      m_groups.push_back(group.get());
      group.release();
    }
  }
  ReportProgress();
}

// ---- Stage 4 ----

bool CCellPortalGraphBuilder::TrimByLeafEdges(const PortalPiece& piece, std::vector<Segment>* segments) const {
  for (int32_t leaf : piece.leaves) {
    const CellPortalNode& node = m_nodes[static_cast<size_t>(leaf)];
    for (uint32_t k = node.first; k < node.first + node.count && !segments->empty(); ++k) {
      const CellPortalTriangle& t = m_triangles[m_triangleIndices[k]];
      D3DXPLANE plane;
      if (!TrianglePlane(t, &plane) || ClassifyPointPlane(plane, piece.centre) == kPlaneBack) continue;
      for (int e = 0; e < 3; ++e) {
        const Segment edge(m_vertices[t.index[e]].position, m_vertices[t.index[(e + 1) % 3]].position);
        std::vector<Segment> left;
        for (const Segment& s : *segments)
          if (!SegmentsOverlap(s, edge, &left)) left.push_back(s);
        segments->swap(left);
      }
    }
  }
  return segments->empty();
}

bool CCellPortalGraphBuilder::EdgeIsBounded(PortalPiece* piece, PortalGroup* group, const D3DXVECTOR3& a,
                                            const D3DXVECTOR3& b) {
  std::vector<Segment> work{Segment(a, b)}, open;
  while (!work.empty()) {
    const Segment s = work.back();
    work.pop_back();
    if (Length(s.second - s.first) <= kSegmentTolerance) continue;
    bool shared = false;
    for (PortalPiece* other : group->pieces) {
      if (other == piece) continue;
      const size_t n = other->points.size();
      for (size_t i = 0; i < n && !shared; ++i) {
        if (!SegmentsOverlap(s, Segment(other->points[i], other->points[(i + 1) % n]), &work)) continue;
        shared = true;
        PortalPiece* end = ChainEnd(other);
        if (end != ChainEnd(piece)) end->link = piece;
      }
      if (shared) break;
    }
    if (!shared) open.push_back(s);
  }
  return TrimByLeafEdges(*piece, &open);
}

void CCellPortalGraphBuilder::ResolveGroup(PortalGroup* group) {
  for (bool opened = true; opened;) {
    opened = false;
    group->settled = 1;
    for (PortalPiece* p : group->pieces) p->link = nullptr;
    for (size_t i = 0; i < group->pieces.size();) {
      PortalPiece* p = group->pieces[i];
      const size_t n = p->points.size();
      bool bounded = true;
      for (size_t e = 0; e < n && bounded; ++e) bounded = EdgeIsBounded(p, group, p->points[e], p->points[(e + 1) % n]);
      if (bounded) {
        ++i;
        continue;
      }
      p->group = nullptr;
      group->pieces.erase(group->pieces.begin() + static_cast<std::ptrdiff_t>(i));
      group->settled = 0;
      opened = true;
    }
  }
  FinishGroup(group);
}

void CCellPortalGraphBuilder::FinishGroup(PortalGroup* group) {
  // Chains in the order their first piece stands in the group.
  std::vector<PortalPiece*> ends;
  std::vector<std::vector<PortalPiece*>> chains;
  for (PortalPiece* p : group->pieces) {
    PortalPiece* end = ChainEnd(p);
    const auto at = std::find(ends.begin(), ends.end(), end);
    if (at == ends.end()) {
      ends.push_back(end);
      chains.push_back({p});
    } else {
      chains[static_cast<size_t>(at - ends.begin())].push_back(p);
    }
  }
  if (chains.size() <= 1) return;
  group->pieces = chains[0];
  for (size_t c = 1; c < chains.size(); ++c) {
    auto split = std::make_unique<PortalGroup>();
    split->settled = 1;
    split->pieces = chains[c];
    m_groups.push_back(split.get());
    for (PortalPiece* p : split->pieces) p->group = split.get();
    split.release();
  }
}

void CCellPortalGraphBuilder::FloodCell(int32_t start, uint32_t cellIndex) {
  CellRecord* cell = m_cells[cellIndex];
  const auto visit = [&](int32_t leaf) {
    CellPortalLeaf& record = m_leaves[static_cast<size_t>(leaf)];
    record.visited = 1;
    record.cell = cellIndex;
    cell->leaves.push_back(leaf);
  };
  // Each frame is a leaf and the next of its pieces to follow, as a depth-first walk would.
  std::vector<std::pair<int32_t, size_t>> work;
  visit(start);
  work.emplace_back(start, 0);
  while (!work.empty()) {
    const size_t top = work.size() - 1;
    const int32_t leaf = work[top].first;
    const std::vector<PortalPiece*>& pieces = m_leaves[static_cast<size_t>(leaf)].pieces;
    if (work[top].second >= pieces.size()) {
      work.pop_back();
      continue;
    }
    PortalPiece* piece = pieces[work[top].second++];
    if (piece->group == nullptr || piece->group->settled == 0) {
      const int32_t other = piece->leaves[0] == leaf ? piece->leaves[1] : piece->leaves[0];
      if (m_leaves[static_cast<size_t>(other)].visited == 0) {
        visit(other);
        work.emplace_back(other, 0);
      }
    } else {
      AppendOnce(&cell->groups, piece->group);
      AppendOnce(&piece->group->cells, cellIndex);
    }
  }
}

void CCellPortalGraphBuilder::LinkCells() {
  m_progress.stage = 4;
  // Groups split off while resolving are appended and resolved in their turn.
  for (size_t g = 0; g < m_groups.size(); ++g) ResolveGroup(m_groups[g]);
  FreeCells();
  for (CellPortalLeaf& leaf : m_leaves) {
    leaf.visited = 0;
    leaf.cell = 0;
  }
  for (size_t i = 0; i < m_nodes.size(); ++i) {
    if (m_nodes[i].kind != kCellPortalLeaf || m_leaves[i].visited != 0) continue;
    auto cell = std::make_unique<CellRecord>();
    m_cells.push_back(cell.get());
    cell.release();
    FloodCell(static_cast<int32_t>(i), static_cast<uint32_t>(m_cells.size() - 1));
  }
  ReportProgress();
}
