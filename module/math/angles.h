// Angle helpers in radians. Headings are measured in the x-z plane from +z towards +x.
#pragma once
#include "math/vector.h"

inline constexpr float kTwoPi = 6.2831855f;

// The angle mapped to [0, 2 pi).
float WrapAngle(float angle);

// The heading of the direction (x, z): 0 along +z, pi/2 along +x, -pi/2 along -x, pi along -z.
// The zero vector has heading 0.
float VectorHeadingXZ(float x, float z);
template <xyz_vector V>
float VectorHeadingXZ(const V& v) { return VectorHeadingXZ(v.x, v.z); }
