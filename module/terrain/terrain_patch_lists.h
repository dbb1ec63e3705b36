// The index lists a terrain patch is drawn from. A patch of level L (0 finest .. 5 coarsest)
// has S = 2^(5-L) quads a side and (S+1)^2 vertices, vertex (row r, column c) at r (S+1) + c,
// rows along X. Its triangle list is its level's interior list plus, on each side, the edge
// list of that side's family for its own level and the level of the neighbour across it, which
// samples the border at the neighbour's spacing so that the two meet without cracks.
//
// Families: 0 vertex row 0 (towards patch row - 1), 1 row S (row + 1), 2 column 0 (column - 1),
// 3 column S (column + 1).
#pragma once
#include <cstdint>

inline constexpr int kPatchLevels = 6;
inline constexpr int kPatchEdgeFamilies = 4;

// Triangles of the interior list of a level: 2 (S - 2)^2, none for levels 4 and 5.
int InteriorListTriangles(int level);
// Triangles of the edge list for own level L and neighbour level N: 2^(5-L) + 2^(5-N) - 2,
// none when N < L or L = N = 5.
int EdgeListTriangles(int level, int neighbour);

// Write the list, three indices a triangle, into out (room for 3 x the count above).
void BuildInteriorList(int level, uint16_t* out);
void BuildEdgeList(int family, int level, int neighbour, uint16_t* out);
