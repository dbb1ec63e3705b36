// A tree of boxes over triangles, for finding the triangles a plane may cross without looking
// at the others: the cell-portal builder scores every candidate plane of a node this way.
//
// Leaves hold a few triangles; a triangle cut later joins the leaf of the one it was cut from,
// the boxes growing to hold it, and a leaf grown too large is split again, so the tree is built
// once per build. A node of the builder marks the leaves of its own triangles (and the boxes
// above them) with a generation, and a walk looks only into boxes of that generation.
#pragma once
#include <cstdint>
#include <vector>

#include "d3dx8/d3dx8math.h"

class TriangleBoxTree {
 public:
  struct Box {
    D3DXVECTOR3 lo, hi;
  };

  // The tree over triangles `ids`, boxes[t] being the box of triangle t's corners.
  void Build(const std::vector<uint32_t>& ids, std::vector<Box> boxes);
  // Triangle `piece`, of the given box, cut from `original`, joins its leaf.
  void AddPiece(uint32_t piece, uint32_t original, const Box& box);
  // A cut left the triangle with this box (within its former one but for rounding).
  void Reshape(uint32_t triangle, const Box& box);
  // Marks the leaf of the triangle and every box above it with the generation.
  void Mark(uint32_t triangle, uint32_t generation);
  // Frees everything the tree holds.
  void Clear();
  void ClearMarks() {
    for (Node& n : m_nodes) n.mark = 0;
  }
  // Calls visit(triangle) for every triangle of a leaf marked with the generation whose boxes
  // reach both beyond `reach` in front of the plane and beyond it behind; visit returns false to
  // end the walk. Distances are those of PlaneDistance, largest and smallest at the box corners
  // that make them so.
  template <class Visit>
  void ForEachAcross(const D3DXPLANE& plane, float reach, uint32_t generation, Visit visit) const;

 private:
  struct Node {
    Box box;
    int32_t parent = -1;
    int32_t children[2] = {-1, -1};
    uint32_t leaf = 0;  // into m_leaves, for a node without children
    uint32_t mark = 0;
  };

  bool Reaches(const Box& box, const D3DXPLANE& plane, float reach) const;
  void Grow(int32_t node, const Box& box);
  // Makes `root` (a new node, or a leaf whose list is `order`) the top of a tree over `order`;
  // the first leaf made takes the list slot `spareLeaf` when it is not negative.
  void Subdivide(int32_t root, std::vector<uint32_t> order, int64_t spareLeaf);

  std::vector<Node> m_nodes;
  std::vector<std::vector<uint32_t>> m_leaves;
  std::vector<int32_t> m_leafOf;  // per triangle: its leaf node, -1 when in none
  std::vector<Box> m_boxes;       // per triangle: its box when placed or last cut
  mutable std::vector<int32_t> m_walk;
};

template <class Visit>
void TriangleBoxTree::ForEachAcross(const D3DXPLANE& plane, float reach, uint32_t generation, Visit visit) const {
  if (m_nodes.empty()) return;
  m_walk.clear();
  m_walk.push_back(0);
  while (!m_walk.empty()) {
    const Node& n = m_nodes[static_cast<size_t>(m_walk.back())];
    m_walk.pop_back();
    if (n.mark != generation || !Reaches(n.box, plane, reach)) continue;
    if (n.children[0] < 0) {
      for (uint32_t t : m_leaves[n.leaf])
        if (!visit(t)) return;
      continue;
    }
    m_walk.push_back(n.children[1]);
    m_walk.push_back(n.children[0]);
  }
}
