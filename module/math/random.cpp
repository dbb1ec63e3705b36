#include "math/random.h"

#include "math/crt_rand.h"

float RandomFloat(float range) {
  return static_cast<float>(static_cast<double>(CrtRand()) / 32767.0 * static_cast<double>(range));
}

float RandomFloatHalfToFull(float x) {
  const float half = x / 2.0f;
  return half + RandomFloat(half);
}
