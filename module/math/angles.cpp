#include "math/angles.h"

#include <cmath>

float WrapAngle(float angle) {
  float r = static_cast<float>(std::fmod(static_cast<double>(angle), 6.2831854820251465));
  if (angle < 0.0f) r += kTwoPi;
  // A negative angle a hair below a whole turn rounds up to 2 pi itself; that is 0.
  if (r >= kTwoPi) r = 0.0f;
  return r;
}

float VectorHeadingXZ(float x, float z) {
  if (x == 0.0f && z == 0.0f) return 0.0f;
  const double len = std::sqrt(static_cast<double>(x) * x + static_cast<double>(z) * z);
  double c = static_cast<double>(z) / len;
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  const double heading = std::acos(c);
  return static_cast<float>(x < 0.0f ? -heading : heading);
}
