#include "math/crt_rand.h"

#include <cstdint>

namespace {

thread_local uint32_t t_crtRandState = 1;

}  // namespace

int CrtRand() {
  t_crtRandState = t_crtRandState * 214013u + 2531011u;
  return static_cast<int>((t_crtRandState >> 16) & 0x7fffu);
}

void CrtSrand(unsigned seed) { t_crtRandState = static_cast<uint32_t>(seed); }
