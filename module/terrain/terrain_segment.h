// Helpers of the front-to-back segment walks of the block tree and of each block's tree.
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
