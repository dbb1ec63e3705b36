// The collision-tree and occluder-tree files: six chunks each in a fixed order. A file is taken
// only whole: every record inside its chunk and every child, parent, leaf range, point, plane and
// index inside its array; otherwise the tree keeps the arrays it had.
#include "frame/host_blocks.h"
#include "visibility/abt_build_input.h"
#include "visibility/adaptive_binary_tree.h"

namespace {

struct PointRecord {
  D3DXVECTOR3 m_vec{0.0f, 0.0f, 0.0f};
  bool Read(ByteCursor& c) { return ReadAbtPoint(c, &m_vec); }
};
struct PlaneRecord {
  D3DXPLANE m_Plane{0.0f, 0.0f, 0.0f, 0.0f};
  bool Read(ByteCursor& c) { return ReadAbtPlane(c, &m_Plane); }
};
struct IndexRecord {
  uint32_t m_nIndex = 0;
  bool Read(ByteCursor& c) { return c.ReadU32(&m_nIndex); }
};

// Children come after their parent and name it back, once each, so that every walk from the
// root visits each node at most once and ends; leaves name runs inside `items`.
bool NodesAreSound(const std::vector<AbtIndexNode>& nodes, uint64_t items) {
  if (nodes.empty() || nodes[0].m_nParent != -1) return false;
  const auto count = static_cast<int64_t>(nodes.size());
  for (int64_t i = 0; i < count; ++i) {
    const AbtIndexNode& n = nodes[i];
    if (n.m_nParent < -1 || n.m_nParent >= count || (i > 0 && n.m_nParent < 0)) return false;
    for (int32_t c : {n.m_nChildA, n.m_nChildB}) {
      if (c == -1) continue;
      if (c <= i || c >= count || nodes[c].m_nParent != i) return false;
    }
    if (n.m_nChildA != -1 && n.m_nChildA == n.m_nChildB) return false;
    if (n.m_nCount < 0 || n.m_nFirst < 0 || static_cast<uint64_t>(n.m_nFirst) + n.m_nCount > items) return false;
  }
  return true;
}

template <class T, class Record>
T* Flatten(const std::vector<Record>& records, T Record::*field) {
  T* block = HostNewArray<T>(static_cast<uint32_t>(records.size()));
  for (size_t i = 0; i < records.size(); ++i) block[i] = records[i].*field;
  return block;
}

template <class T>
T* Flatten(const std::vector<T>& records) {
  T* block = HostNewArray<T>(static_cast<uint32_t>(records.size()));
  for (size_t i = 0; i < records.size(); ++i) block[i] = records[i];
  return block;
}

template <class T>
void Replace(T*& slot, T* block) {
  HostDeleteArray(slot);
  slot = block;
}

}  // namespace

bool CAdaptiveBinaryTree::LoadCollisionTree(const char* path) {
  std::vector<uint8_t> bytes;
  if (ReadWholeHostFile(path, kAbtTreeFileMaxBytes, &bytes) != HostFileRead::Read) return false;
  ByteCursor c(bytes.data(), bytes.size());
  ByteCursor unread(nullptr, 0), pool(nullptr, 0), materials(nullptr, 0), nodeBody(nullptr, 0),
      triangleBody(nullptr, 0), pointBody(nullptr, 0);
  if (!ReadChunk(c, 0x1000, &unread) || !ReadChunk(c, 0x2000, &pool) || !ReadChunk(c, 0x3000, &materials) ||
      !ReadChunk(c, 0x4000, &nodeBody) || !ReadChunk(c, 0x5000, &triangleBody) || !ReadChunk(c, 0x6000, &pointBody))
    return false;
  std::vector<AbtIndexNode> nodes;
  std::vector<AbtCollisionTriangle> triangles;
  std::vector<PointRecord> points;
  if (materials.Remaining() % kAbtMaterialSize != 0 || !ReadAbtRecords(nodeBody, kAbtIndexNodeSize, &nodes) ||
      !ReadAbtRecords(triangleBody, kAbtCollisionTriangleSize, &triangles) ||
      !ReadAbtRecords(pointBody, kAbtPointSize, &points) || !NodesAreSound(nodes, triangles.size()))
    return false;
  for (const AbtCollisionTriangle& t : triangles)
    for (uint32_t p : t.m_Points)
      if (p >= points.size()) return false;
  Replace(m_pCollisionNodes, Flatten(nodes));
  Replace(m_pCollisionTriangles, Flatten(triangles));
  Replace(m_pCollisionPoints, Flatten(points, &PointRecord::m_vec));
  return true;
}

bool CAdaptiveBinaryTree::LoadOccluderTree(const char* path) {
  std::vector<uint8_t> bytes;
  if (ReadWholeHostFile(path, kAbtTreeFileMaxBytes, &bytes) != HostFileRead::Read) return false;
  ByteCursor c(bytes.data(), bytes.size());
  ByteCursor unread(nullptr, 0), nodeBody(nullptr, 0), polygonBody(nullptr, 0), indexBody(nullptr, 0),
      pointBody(nullptr, 0), planeBody(nullptr, 0);
  if (!ReadChunk(c, 0x1000, &unread) || !ReadChunk(c, 0x2000, &nodeBody) || !ReadChunk(c, 0x3000, &polygonBody) ||
      !ReadChunk(c, 0x4000, &indexBody) || !ReadChunk(c, 0x5000, &pointBody) || !ReadChunk(c, 0x6000, &planeBody))
    return false;
  std::vector<AbtIndexNode> nodes;
  std::vector<AbtOccluderPolygon> polygons;
  std::vector<IndexRecord> indices;
  std::vector<PointRecord> points;
  std::vector<PlaneRecord> planes;
  if (!ReadAbtRecords(nodeBody, kAbtIndexNodeSize, &nodes) ||
      !ReadAbtRecords(polygonBody, kAbtOccluderPolygonSize, &polygons) || !ReadAbtRecords(indexBody, 4, &indices) ||
      !ReadAbtRecords(pointBody, kAbtPointSize, &points) || !ReadAbtRecords(planeBody, kAbtPlaneSize, &planes) ||
      !NodesAreSound(nodes, polygons.size()))
    return false;
  for (const AbtOccluderPolygon& p : polygons)
    if (p.m_nPlane >= planes.size() || static_cast<uint64_t>(p.m_nFirst) + p.m_nVertexCount > indices.size())
      return false;
  for (const IndexRecord& i : indices)
    if (i.m_nIndex >= points.size()) return false;
  Replace(m_pOccluderNodes, Flatten(nodes));
  Replace(m_pOccluderPolygons, Flatten(polygons));
  Replace(m_pOccluderIndices, Flatten(indices, &IndexRecord::m_nIndex));
  Replace(m_pOccluderPoints, Flatten(points, &PointRecord::m_vec));
  Replace(m_pOccluderPlanes, Flatten(planes, &PlaneRecord::m_Plane));
  return true;
}
