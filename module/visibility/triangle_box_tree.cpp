#include "visibility/triangle_box_tree.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "math/planes.h"

namespace {

constexpr size_t kLeafTriangles = 8;

TriangleBoxTree::Box Union(const TriangleBoxTree::Box& a, const TriangleBoxTree::Box& b) {
  TriangleBoxTree::Box u;
  for (int k = 0; k < 3; ++k) {
    (&u.lo.x)[k] = std::min((&a.lo.x)[k], (&b.lo.x)[k]);
    (&u.hi.x)[k] = std::max((&a.hi.x)[k], (&b.hi.x)[k]);
  }
  return u;
}

bool Holds(const TriangleBoxTree::Box& outer, const TriangleBoxTree::Box& inner) {
  for (int k = 0; k < 3; ++k)
    if ((&inner.lo.x)[k] < (&outer.lo.x)[k] || (&inner.hi.x)[k] > (&outer.hi.x)[k]) return false;
  return true;
}

}  // namespace

void TriangleBoxTree::Build(const std::vector<uint32_t>& ids, std::vector<Box> boxes) {
  m_nodes.clear();
  m_leaves.clear();
  m_leafOf.assign(boxes.size(), -1);
  m_boxes = std::move(boxes);
  if (ids.empty()) return;
  m_nodes.emplace_back();
  Subdivide(0, ids, -1);
}

void TriangleBoxTree::Subdivide(int32_t root, std::vector<uint32_t> order, int64_t spareLeaf) {
  struct Range {
    int32_t node;
    size_t begin, end;
  };
  std::vector<Range> work{{root, 0, order.size()}};
  while (!work.empty()) {
    const Range r = work.back();
    work.pop_back();
    Box box = m_boxes[order[r.begin]];
    for (size_t i = r.begin + 1; i < r.end; ++i) box = Union(box, m_boxes[order[i]]);
    m_nodes[static_cast<size_t>(r.node)].box = box;
    if (r.end - r.begin <= kLeafTriangles) {
      const auto first = order.begin() + static_cast<std::ptrdiff_t>(r.begin);
      const auto last = order.begin() + static_cast<std::ptrdiff_t>(r.end);
      if (spareLeaf >= 0) {
        m_leaves[static_cast<size_t>(spareLeaf)].assign(first, last);
        m_nodes[static_cast<size_t>(r.node)].leaf = static_cast<uint32_t>(spareLeaf);
        spareLeaf = -1;
      } else {
        m_nodes[static_cast<size_t>(r.node)].leaf = static_cast<uint32_t>(m_leaves.size());
        m_leaves.emplace_back(first, last);
      }
      for (size_t i = r.begin; i < r.end; ++i) m_leafOf[order[i]] = r.node;
      continue;
    }
    // Halves at the median of the box centres along the box's longest side.
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if ((&box.hi.x)[k] - (&box.lo.x)[k] > (&box.hi.x)[axis] - (&box.lo.x)[axis]) axis = k;
    const auto centre = [&](uint32_t t) { return (&m_boxes[t].lo.x)[axis] + (&m_boxes[t].hi.x)[axis]; };
    const size_t mid = (r.begin + r.end) / 2;
    std::nth_element(order.begin() + static_cast<std::ptrdiff_t>(r.begin),
                     order.begin() + static_cast<std::ptrdiff_t>(mid),
                     order.begin() + static_cast<std::ptrdiff_t>(r.end),
                     [&](uint32_t a, uint32_t b) { return centre(a) < centre(b); });
    for (int c = 0; c < 2; ++c) {
      const auto child = static_cast<int32_t>(m_nodes.size());
      m_nodes.emplace_back();
      m_nodes.back().parent = r.node;
      m_nodes[static_cast<size_t>(r.node)].children[c] = child;
      work.push_back(c == 0 ? Range{child, r.begin, mid} : Range{child, mid, r.end});
    }
  }
}

void TriangleBoxTree::Clear() {
  std::vector<Node>().swap(m_nodes);
  std::vector<std::vector<uint32_t>>().swap(m_leaves);
  std::vector<int32_t>().swap(m_leafOf);
  std::vector<Box>().swap(m_boxes);
  std::vector<int32_t>().swap(m_walk);
}

void TriangleBoxTree::Grow(int32_t node, const Box& box) {
  while (node >= 0) {
    Node& n = m_nodes[static_cast<size_t>(node)];
    if (Holds(n.box, box)) return;
    n.box = Union(n.box, box);
    node = n.parent;
  }
}

void TriangleBoxTree::AddPiece(uint32_t piece, uint32_t original, const Box& box) {
  if (original >= m_leafOf.size() || m_leafOf[original] < 0) return;
  if (piece >= m_leafOf.size()) {
    m_leafOf.resize(piece + 1, -1);
    m_boxes.resize(piece + 1);
  }
  const int32_t leaf = m_leafOf[original];
  m_leafOf[piece] = leaf;
  m_boxes[piece] = box;
  const uint32_t slot = m_nodes[static_cast<size_t>(leaf)].leaf;
  m_leaves[slot].push_back(piece);
  Grow(leaf, box);
  // A leaf that gathered the pieces of many cuts becomes a tree of its own, so that a walk
  // reaching one of them looks at a few triangles, not at every piece of the original.
  if (m_leaves[slot].size() > 2 * kLeafTriangles) Subdivide(leaf, m_leaves[slot], slot);
}

void TriangleBoxTree::Reshape(uint32_t triangle, const Box& box) {
  if (triangle >= m_leafOf.size() || m_leafOf[triangle] < 0) return;
  m_boxes[triangle] = box;
  Grow(m_leafOf[triangle], box);
}

void TriangleBoxTree::Mark(uint32_t triangle, uint32_t generation) {
  if (triangle >= m_leafOf.size()) return;
  for (int32_t n = m_leafOf[triangle]; n >= 0 && m_nodes[static_cast<size_t>(n)].mark != generation;
       n = m_nodes[static_cast<size_t>(n)].parent)
    m_nodes[static_cast<size_t>(n)].mark = generation;
}

bool TriangleBoxTree::Reaches(const Box& box, const D3DXPLANE& plane, float reach) const {
  // Rounded products and sums still grow with each coordinate, so the corners bound the
  // distances of every point in the box as PlaneDistance computes them; the margin covers a
  // compiler that fuses them differently in the two places.
  D3DXVECTOR3 far, near;
  float size = std::fabs(plane.d);
  for (int k = 0; k < 3; ++k) {
    const float coefficient = (&plane.a)[k];
    const float lo = (&box.lo.x)[k], hi = (&box.hi.x)[k];
    (&far.x)[k] = coefficient >= 0.0f ? hi : lo;
    (&near.x)[k] = coefficient >= 0.0f ? lo : hi;
    size += std::fabs(coefficient) * std::max(std::fabs(lo), std::fabs(hi));
  }
  const float margin = 1e-6f * size;
  return PlaneDistance(plane, far) >= reach - margin && PlaneDistance(plane, near) <= -reach + margin;
}
