// The walks over the block tree and over each block's tree: cells named by their first corner
// (x, z) and a level; a cell of level L > 0 has four children of level L - 1, offset by 2^(L-1).
#pragma once
#include <algorithm>

// Narrows [*t0, *t1] of from + t d to where the segment lies between lo and hi on one axis.
// An axis the segment runs parallel to keeps the range when from lies in the slab.
inline bool ClipSegmentAxis(float from, float d, float lo, float hi, float* t0, float* t1) {
  if (d == 0.0f) return from >= lo && from <= hi;
  float a = (lo - from) / d, b = (hi - from) / d;
  if (a > b) std::swap(a, b);
  *t0 = std::max(*t0, a);
  *t1 = std::min(*t1, b);
  return *t0 <= *t1;
}

// Orders up to four cells so that the one the segment enters first comes last (popped first).
template <class Cell>
void OrderLastEnteredFirst(Cell* cells, int count) {
  for (int i = 1; i < count; ++i)
    for (int j = i; j > 0 && cells[j - 1].t0 < cells[j].t0; --j) std::swap(cells[j - 1], cells[j]);
}

// Visits the cells from the root of the given level down; visit(x, z, level) returns whether to
// go on into the cell's children. Children are visited in the order (x, z), (x + h, z),
// (x, z + h), (x + h, z + h) are pushed, the last first.
template <class Visit>
void WalkCells(int rootLevel, Visit visit) {
  struct Cell {
    int x, z, level;
  };
  Cell stack[64];  // three waiting cells a level and four children: far from full
  int top = 0;
  stack[top++] = {0, 0, rootLevel};
  while (top > 0) {
    const Cell c = stack[--top];
    if (!visit(c.x, c.z, c.level) || c.level == 0) continue;
    const int h = 1 << (c.level - 1);
    stack[top++] = {c.x, c.z, c.level - 1};
    stack[top++] = {c.x + h, c.z, c.level - 1};
    stack[top++] = {c.x, c.z + h, c.level - 1};
    stack[top++] = {c.x + h, c.z + h, c.level - 1};
  }
}
