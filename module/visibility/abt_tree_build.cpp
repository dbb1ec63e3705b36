// The off-line builds of the collision tree and the occluder tree: the input's triangle corners
// welded into points, the triangles partitioned into index-linked nodes, and, for the occluder
// tree, each leaf's triangles merged into convex plane polygons.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <queue>
#include <unordered_map>

#include "visibility/abt_build_input.h"
#include "visibility/abt_chunk_file.h"
#include "visibility/abt_partition.h"
#include "visibility/abt_split_geometry.h"
#include "visibility/abt_work_stack.h"
#include "visibility/adaptive_binary_tree.h"

std::vector<D3DXPLANE> g_OccluderPlanes;

namespace {

constexpr uint32_t kCollisionLeafLimit = 10;
constexpr uint32_t kOccluderLeafLimit = 30;
constexpr float kPlaneTolerance = 1e-5f;

struct PendingNode {
  D3DXVECTOR3 m_vecHalfExtent;
  D3DXVECTOR3 m_vecCentre;
  std::vector<AbtCollisionTriangle> m_Triangles;
  int32_t m_nNode = 0;
  bool m_bStop = false;
};

// Touching boxes do not overlap: the children of such a node are disjoint.
bool BoxesOverlapStrictly(const AbtBox& a, const AbtBox& b) {
  for (int k = 0; k < 3; ++k)
    if (!((&a.m_vecMin.x)[k] < (&b.m_vecMax.x)[k] && (&b.m_vecMin.x)[k] < (&a.m_vecMax.x)[k])) return false;
  return true;
}

AbtIndexNode MakeNode(const AbtBox& box, int32_t parent) {
  AbtIndexNode n;
  n.m_Box = box;
  n.m_vecCentre = (box.m_vecMax + box.m_vecMin) * 0.5f;
  n.m_nParent = parent;
  return n;
}

using PointKey = std::array<float, 3>;

// The welded points and triangles of the whole input, in record, triangle and corner order.
void Weld(const AbtBuildInput& in, std::vector<D3DXVECTOR3>* points, std::vector<AbtCollisionTriangle>* triangles) {
  std::unordered_map<PointKey, uint32_t, AbtExactKeyHash<3>> welded;
  welded.reserve(in.m_nTriangleCount);
  for (const AbtBuildRecord& r : in.m_Records) {
    for (uint32_t t = 0; t < r.m_nTriangleCount; ++t) {
      AbtCollisionTriangle tri;
      tri.m_nMaterial = r.m_nMaterial;
      for (int k = 0; k < 3; ++k) {
        PointKey p;
        std::memcpy(p.data(), in.Vertex(r, in.Corner(r.m_nFirstTriangle + t, k)), 12);
        const auto [it, added] = welded.emplace(p, static_cast<uint32_t>(points->size()));
        if (added) points->push_back(D3DXVECTOR3(p[0], p[1], p[2]));
        tri.m_Points[k] = it->second;
      }
      triangles->push_back(tri);
    }
  }
}

void CountTree(const std::vector<AbtIndexNode>& nodes, AbtBuildStats* stats) {
  stats->m_nNodes = static_cast<uint32_t>(nodes.size());
  stats->m_nLeaves = 0;
  for (const AbtIndexNode& n : nodes) stats->m_nLeaves += n.IsLeaf() ? 1 : 0;
}

template <class Record>
std::vector<uint8_t> Serialize(const std::vector<Record>& records) {
  ByteWriter w;
  for (const Record& r : records) r.Write(w);
  return std::move(w.Bytes());
}

std::vector<uint8_t> SerializePoints(const std::vector<D3DXVECTOR3>& points) {
  ByteWriter w;
  for (const D3DXVECTOR3& p : points) WriteAbtPoint(w, p);
  return std::move(w.Bytes());
}

// The plane of a triangle through its corners, a p = d; false when it has none.
bool PlaneOf(const AbtCollisionTriangle& t, const std::vector<D3DXVECTOR3>& points, D3DXPLANE* plane) {
  D3DXPlaneFromPoints(plane, &points[t.m_Points[0]], &points[t.m_Points[1]], &points[t.m_Points[2]]);
  plane->d = -plane->d;
  // A normal that did not come out of unit length (no area, or too little for the precision of
  // floats) gives no plane.
  const float length = plane->a * plane->a + plane->b * plane->b + plane->c * plane->c;
  return std::fabs(length - 1.0f) < 1e-3f && std::isfinite(plane->d);
}

// The outline stays convex: every corner turns the same way about the plane's normal as the
// polygon's own, allowing straight corners.
bool OutlineIsConvex(const std::vector<uint32_t>& outline, const std::vector<D3DXVECTOR3>& points,
                     const D3DXPLANE& plane) {
  const D3DXVECTOR3 normal(plane.a, plane.b, plane.c);
  const size_t n = outline.size();
  for (size_t i = 0; i < n; ++i) {
    const D3DXVECTOR3& a = points[outline[i]];
    const D3DXVECTOR3& b = points[outline[(i + 1) % n]];
    const D3DXVECTOR3& c = points[outline[(i + 2) % n]];
    const D3DXVECTOR3 e1 = b - a, e2 = c - b;
    D3DXVECTOR3 turn;
    D3DXVec3Cross(&turn, &e1, &e2);
    const float scale = D3DXVec3Length(&e1) * D3DXVec3Length(&e2);
    if (D3DXVec3Dot(&turn, &normal) < -kPlaneTolerance * scale) return false;
  }
  return true;
}

// Where the triangle joins the outline: the outline edge (i, i + 1) that the triangle runs the
// other way, with the triangle's third corner; -1 when they share no edge or the corner is
// already on the outline.
int SharedEdge(const std::vector<uint32_t>& outline, const AbtCollisionTriangle& t, uint32_t* apex) {
  const size_t n = outline.size();
  for (size_t i = 0; i < n; ++i) {
    const uint32_t a = outline[i], b = outline[(i + 1) % n];
    for (int k = 0; k < 3; ++k) {
      if (t.m_Points[k] == b && t.m_Points[(k + 1) % 3] == a) {
        *apex = t.m_Points[(k + 2) % 3];
        if (std::find(outline.begin(), outline.end(), *apex) != outline.end()) return -1;
        return static_cast<int>(i);
      }
    }
  }
  return -1;
}

// The triangles of one plane merged greedily into convex polygons: the first triangle left opens
// a polygon, and each later one in turn joins it when SharedEdge finds it against the outline and
// the outline stays convex; what did not join starts over. Only a triangle that runs an outline
// edge the other way can join, so each pass tests just those, found by their edges in group
// order, and a plane of many triangles that never join (copies of one) merges in linear time.
void MergeGroup(const std::vector<AbtCollisionTriangle>& group, const std::vector<D3DXVECTOR3>& points,
                std::vector<AbtOccluderPolygon>* polygons, std::vector<uint32_t>* indices) {
  const auto n = static_cast<uint32_t>(group.size());
  auto key = [](uint32_t a, uint32_t b) { return uint64_t{a} << 32 | b; };
  // Per directed edge, the triangles that run it, in group order.
  struct Runners {
    std::vector<uint32_t> at;
    size_t dead = 0;  // entries of joined triangles passed over since the last sweep
  };
  std::unordered_map<uint64_t, Runners> runners;
  for (uint32_t i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) runners[key(group[i].m_Points[k], group[i].m_Points[(k + 1) % 3])].at.push_back(i);
  std::vector<uint8_t> taken(n, 0);
  std::vector<uint32_t> testedIn(n, 0);
  // (triangle, the outline edge it was found by), the nearest in group order first.
  using Candidate = std::pair<uint32_t, uint64_t>;
  std::priority_queue<Candidate, std::vector<Candidate>, std::greater<>> next;
  // Per edge of the outline: where its runners are read from. Kept through the passes, emptied
  // edge by edge, so that a pass costs what its own outline does.
  std::unordered_map<uint64_t, size_t> cursor;
  // Queues the first triangle after `from` left in the list of those running `edge` backwards.
  auto follow = [&](uint64_t edge, uint32_t from) {
    const auto found = runners.find(edge << 32 | edge >> 32);
    if (found == runners.end()) return;
    Runners& r = found->second;
    size_t& c = cursor[edge];
    c = std::max(c, static_cast<size_t>(std::upper_bound(r.at.begin(), r.at.end(), from) - r.at.begin()));
    for (; c < r.at.size() && taken[r.at[c]] != 0; ++c) ++r.dead;
    if (c < r.at.size()) next.emplace(r.at[c], edge);
    // The joined are swept out once they are many: an entry is passed over a bounded number of times.
    if (r.dead > r.at.size() / 2 + 8) {
      const size_t before = c;
      size_t kept = 0, keptBefore = 0;
      for (size_t j = 0; j < r.at.size(); ++j)
        if (taken[r.at[j]] == 0) {
          keptBefore += j < before ? 1 : 0;
          r.at[kept++] = r.at[j];
        }
      r.at.resize(kept);
      r.dead = 0;
      c = keptBefore;
    }
  };
  std::vector<uint32_t> outline;
  uint32_t pass = 0, first = 0;
  while (true) {
    while (first < n && taken[first] != 0) ++first;
    if (first == n) break;
    ++pass;
    const AbtCollisionTriangle& opening = group[first];
    taken[first] = 1;
    const D3DXPLANE& plane = g_OccluderPlanes[opening.m_nMaterial];
    outline.assign(opening.m_Points, opening.m_Points + 3);
    for (int k = 0; k < 3; ++k) {
      cursor.emplace(key(outline[k], outline[(k + 1) % 3]), 0);
      follow(key(outline[k], outline[(k + 1) % 3]), first);
    }
    while (!next.empty()) {
      const auto [i, edge] = next.top();
      next.pop();
      if (cursor.find(edge) == cursor.end()) continue;  // the edge left the outline
      if (taken[i] == 0 && testedIn[i] != pass) {
        testedIn[i] = pass;
        uint32_t apex = 0;
        const int at = SharedEdge(outline, group[i], &apex);
        if (at >= 0) {
          std::vector<uint32_t> grown = outline;
          grown.insert(grown.begin() + at + 1, apex);
          if (OutlineIsConvex(grown, points, plane)) {
            const auto edgeAt = static_cast<size_t>(at);
            const uint32_t a = outline[edgeAt], b = outline[(edgeAt + 1) % outline.size()];
            outline = std::move(grown);
            taken[i] = 1;
            cursor.erase(key(a, b));
            for (const uint64_t added : {key(a, apex), key(apex, b)}) {
              cursor.emplace(added, 0);
              follow(added, i);
            }
          }
        }
      }
      if (cursor.find(edge) != cursor.end()) follow(edge, i);
    }
    for (size_t k = 0; k < outline.size(); ++k) cursor.erase(key(outline[k], outline[(k + 1) % outline.size()]));
    AbtOccluderPolygon polygon;
    polygon.m_nPlane = opening.m_nMaterial;
    polygon.m_nVertexCount = static_cast<uint32_t>(outline.size());
    polygon.m_nFirst = static_cast<uint32_t>(indices->size());
    indices->insert(indices->end(), outline.begin(), outline.end());
    polygons->push_back(polygon);
  }
}

}  // namespace

int CompareOccluderPlaneDistance(const void* a, const void* b) {
  const float da = g_OccluderPlanes[static_cast<const AbtCollisionTriangle*>(a)->m_nMaterial].d;
  const float db = g_OccluderPlanes[static_cast<const AbtCollisionTriangle*>(b)->m_nMaterial].d;
  if (std::fabs(da - db) <= kPlaneTolerance) return 0;
  return da < db ? -1 : 1;
}

void CAdaptiveBinaryTree::BuildNodeTree(const D3DXVECTOR3& boxMax, const D3DXVECTOR3& boxMin,
                                        std::vector<AbtCollisionTriangle> triangles, std::vector<D3DXVECTOR3>* points,
                                        std::vector<AbtIndexNode>* nodes, std::vector<AbtCollisionTriangle>* output,
                                        uint32_t leafLimit) {
  AbtWorkStack<PendingNode, kAbtNodeStackLine> stack;
  AbtBox root;
  root.m_vecMax = boxMax;
  root.m_vecMin = boxMin;
  nodes->push_back(MakeNode(root, -1));
  PendingNode first{(boxMax - boxMin) * 0.5f, (boxMax + boxMin) * 0.5f, std::move(triangles),
                    static_cast<int32_t>(nodes->size() - 1), false};
  stack.Push(std::move(first));

  while (!stack.Empty()) {
    PendingNode entry = stack.Pop();
    const uint32_t n = static_cast<uint32_t>(entry.m_Triangles.size());
    if (n < leafLimit || entry.m_bStop) {
      AbtIndexNode& node = (*nodes)[entry.m_nNode];
      node.m_nFirst = static_cast<int32_t>(output->size());
      node.m_nCount = static_cast<int32_t>(n);
      output->insert(output->end(), entry.m_Triangles.begin(), entry.m_Triangles.end());
      continue;
    }

    const std::vector<AbtCollisionTriangle>& tris = entry.m_Triangles;
    const float* half = &entry.m_vecHalfExtent.x;
    const float* centre = &entry.m_vecCentre.x;
    AbtAxisCount counts[3];
    float scores[3];
    const D3DXVECTOR3* p = points->data();
    AbtCountAxes(n, half, centre, [&](uint32_t i, int k, int a) { return (&p[tris[i].m_Points[k]].x)[a]; }, counts,
                 scores);
    const int axis = AbtChooseAxis(counts, scores);
    const AbtAxisCount& chosen = counts[axis];

    points->reserve(points->size() + chosen.m_nNewPoints);
    std::vector<AbtCollisionTriangle> sides[2];
    AbtBox boxes[2] = {AbtEmptyBox(), AbtEmptyBox()};
    sides[0].reserve(chosen.m_nLeft);
    sides[1].reserve(chosen.m_nRight);
    uint32_t tag = 0;
    auto emit = [&](bool right, uint32_t p0, uint32_t p1, uint32_t p2) {
      AbtCollisionTriangle t;
      t.m_Points[0] = p0;
      t.m_Points[1] = p1;
      t.m_Points[2] = p2;
      t.m_nMaterial = tag;
      sides[right ? 1 : 0].push_back(t);
      for (uint32_t p : {p0, p1, p2}) AbtGrowBox(boxes[right ? 1 : 0], &(*points)[p].x);
    };
    auto make = [&](uint32_t a, uint32_t b, float t) {
      const D3DXVECTOR3 pa = (*points)[a], pb = (*points)[b];
      points->push_back(pa + (pb - pa) * t);
      return static_cast<uint32_t>(points->size() - 1);
    };
    for (uint32_t i = 0; i < n; ++i) {
      const AbtCollisionTriangle& t = tris[i];
      tag = t.m_nMaterial;
      const AbtSide side = chosen.m_Sides[i];
      if (side == AbtSide::kLeft || side == AbtSide::kRight) {
        emit(side == AbtSide::kRight, t.m_Points[0], t.m_Points[1], t.m_Points[2]);
        continue;
      }
      float coord[3];
      for (int k = 0; k < 3; ++k) coord[k] = (&(*points)[t.m_Points[k]].x)[axis];
      AbtCutTriangle(t.m_Points, coord, side, chosen.m_flMean, make, emit);
    }
    entry.m_Triangles.clear();
    entry.m_Triangles.shrink_to_fit();

    const bool oneSided = sides[0].empty() || sides[1].empty();
    (*nodes)[entry.m_nNode].m_bDisjointChildren = oneSided || !BoxesOverlapStrictly(boxes[0], boxes[1]) ? 1 : 0;
    // The left child first, the right one on top of the stack. A side that holds no fewer
    // triangles than its parent (everything was cut) would be divided the same way again and
    // again: it stops, like a side whose other side is empty.
    for (int k = 0; k < 2; ++k) {
      if (sides[k].empty()) continue;
      nodes->push_back(MakeNode(boxes[k], entry.m_nNode));
      const auto child = static_cast<int32_t>(nodes->size() - 1);
      if (k == 0)
        (*nodes)[entry.m_nNode].m_nChildA = child;
      else
        (*nodes)[entry.m_nNode].m_nChildB = child;
      const bool stop = oneSided || sides[k].size() >= n;
      stack.Push(PendingNode{(boxes[k].m_vecMax - boxes[k].m_vecMin) * 0.5f,
                             (boxes[k].m_vecMax + boxes[k].m_vecMin) * 0.5f, std::move(sides[k]), child, stop});
    }
  }
}

void CAdaptiveBinaryTree::BuildOccluderPolygons(AbtCollisionTriangle* triangles, uint32_t count,
                                                const std::vector<D3DXVECTOR3>& points, AbtPlaneMap* planeMap,
                                                uint32_t* planeCounter, std::vector<AbtOccluderPolygon>* polygons,
                                                std::vector<uint32_t>* indices) {
  // A triangle without area has no plane and hides nothing: it is left out.
  std::vector<AbtCollisionTriangle> leaf;
  for (uint32_t i = 0; i < count; ++i) {
    AbtCollisionTriangle t = triangles[i];
    D3DXPLANE plane;
    if (!PlaneOf(t, points, &plane)) continue;
    const auto [it, added] = planeMap->emplace(std::array<float, 4>{plane.a, plane.b, plane.c, plane.d}, *planeCounter);
    if (added) {
      g_OccluderPlanes.push_back(plane);
      ++*planeCounter;
    }
    t.m_nMaterial = it->second;
    leaf.push_back(t);
  }
  // A merge sort: the comparator's tolerance makes it no strict order, which a sort that
  // partitions may not be given.
  std::stable_sort(leaf.begin(), leaf.end(), [](const AbtCollisionTriangle& a, const AbtCollisionTriangle& b) {
    return CompareOccluderPlaneDistance(&a, &b) < 0;
  });

  std::vector<std::vector<AbtCollisionTriangle>> groups;
  for (const AbtCollisionTriangle& t : leaf) {
    if (groups.empty() ||
        std::fabs(g_OccluderPlanes[t.m_nMaterial].d - g_OccluderPlanes[groups.back().front().m_nMaterial].d) >
            kPlaneTolerance)
      groups.emplace_back();
    groups.back().push_back(t);
  }
  for (size_t g = 0; g < groups.size(); ++g) {
    const D3DXPLANE& p0 = g_OccluderPlanes[groups[g].front().m_nMaterial];
    // The first triangle stays whatever its normal gives with itself, so that every pass takes
    // at least one triangle out and the groups come to an end.
    std::vector<AbtCollisionTriangle> stay{groups[g].front()}, other;
    for (size_t i = 1; i < groups[g].size(); ++i) {
      const D3DXPLANE& p = g_OccluderPlanes[groups[g][i].m_nMaterial];
      (p.a * p0.a + p.b * p0.b + p.c * p0.c > 1.0f - kPlaneTolerance ? stay : other).push_back(groups[g][i]);
    }
    groups[g] = std::move(stay);
    if (!other.empty()) groups.push_back(std::move(other));
  }

  for (const std::vector<AbtCollisionTriangle>& group : groups) MergeGroup(group, points, polygons, indices);
}

namespace {

AbtTreeArrays WeldAndPartition(const AbtBuildInput& in, uint32_t leafLimit) {
  AbtTreeArrays t;
  std::vector<AbtCollisionTriangle> welded;
  Weld(in, &t.m_Points, &welded);
  // The header's box is only what the input claims; one too small or inside out would leave
  // points outside the root, which every query tests first.
  const D3DXVECTOR3 half = in.m_vecSize * 0.5f;
  AbtBox root;
  root.m_vecMax = in.m_vecCentre + half;
  root.m_vecMin = in.m_vecCentre - half;
  for (const D3DXVECTOR3& p : t.m_Points) AbtGrowBox(root, &p.x);
  CAdaptiveBinaryTree::BuildNodeTree(root.m_vecMax, root.m_vecMin, std::move(welded), &t.m_Points, &t.m_Nodes,
                                     &t.m_Triangles, leafLimit);
  return t;
}

}  // namespace

AbtTreeArrays CAdaptiveBinaryTree::BuildCollisionArrays(const AbtBuildInput& input) {
  return WeldAndPartition(input, kCollisionLeafLimit);
}

AbtTreeArrays CAdaptiveBinaryTree::BuildOccluderArrays(const AbtBuildInput& input) {
  AbtTreeArrays t = WeldAndPartition(input, kOccluderLeafLimit);
  g_OccluderPlanes.clear();
  AbtPlaneMap planeMap;
  uint32_t planeCounter = 0;
  for (AbtIndexNode& node : t.m_Nodes) {
    if (!node.IsLeaf()) continue;
    const auto before = static_cast<int32_t>(t.m_Polygons.size());
    if (node.m_nCount > 0)
      BuildOccluderPolygons(&t.m_Triangles[node.m_nFirst], static_cast<uint32_t>(node.m_nCount), t.m_Points,
                            &planeMap, &planeCounter, &t.m_Polygons, &t.m_Indices);
    // A leaf of no triangles names an empty run of polygons where it stands.
    node.m_nFirst = before;
    node.m_nCount = static_cast<int32_t>(t.m_Polygons.size()) - before;
  }
  return t;
}

bool CAdaptiveBinaryTree::BuildCollisionTree(const char* input, const char* output) {
  m_BuildStats = AbtBuildStats{};
  AbtBuildInput in;
  if (!ReadBuildInput(input, &in, &m_BuildStats.m_szFailure)) return false;
  const AbtTreeArrays t = BuildCollisionArrays(in);
  AbtChunkFile file(output);
  if (!file.IsOpen()) return m_BuildStats.Fail(kAbtOutputDoesNotOpen);
  const uint8_t unread[8] = {};
  file.Chunk(0x1000, unread, 8);
  file.Chunk(0x2000, in.m_pBlockA, in.m_nBlockASize);
  file.Chunk(0x3000, in.m_pMaterials, 56 * in.m_nMaterialCount);
  file.Chunk(0x4000, Serialize(t.m_Nodes));
  file.Chunk(0x5000, Serialize(t.m_Triangles));
  file.Chunk(0x6000, SerializePoints(t.m_Points));
  if (!file.Close()) return m_BuildStats.Fail(kAbtOutputNotWritten);
  CountTree(t.m_Nodes, &m_BuildStats);
  m_BuildStats.m_nTriangles = static_cast<uint32_t>(t.m_Triangles.size());
  m_BuildStats.m_nPoints = static_cast<uint32_t>(t.m_Points.size());
  return true;
}

bool CAdaptiveBinaryTree::BuildOccluderTree(const char* input, const char* output) {
  m_BuildStats = AbtBuildStats{};
  AbtBuildInput in;
  if (!ReadBuildInput(input, &in, &m_BuildStats.m_szFailure)) return false;
  const AbtTreeArrays t = BuildOccluderArrays(in);
  AbtChunkFile file(output);
  if (!file.IsOpen()) return m_BuildStats.Fail(kAbtOutputDoesNotOpen);
  const uint8_t unread[8] = {};
  file.Chunk(0x1000, unread, 8);
  file.Chunk(0x2000, Serialize(t.m_Nodes));
  file.Chunk(0x3000, Serialize(t.m_Polygons));
  ByteWriter w;
  for (uint32_t i : t.m_Indices) w.WriteU32(i);
  file.Chunk(0x4000, w.Bytes());
  file.Chunk(0x5000, SerializePoints(t.m_Points));
  ByteWriter pw;
  for (const D3DXPLANE& p : g_OccluderPlanes) WriteAbtPlane(pw, p);
  file.Chunk(0x6000, pw.Bytes());
  if (!file.Close()) return m_BuildStats.Fail(kAbtOutputNotWritten);
  CountTree(t.m_Nodes, &m_BuildStats);
  m_BuildStats.m_nPolygons = static_cast<uint32_t>(t.m_Polygons.size());
  m_BuildStats.m_nPlanes = static_cast<uint32_t>(g_OccluderPlanes.size());
  m_BuildStats.m_nPoints = static_cast<uint32_t>(t.m_Points.size());
  return true;
}
