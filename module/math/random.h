// Random floats drawn from the module's C-runtime-compatible generator (math/crt_rand.h).
#pragma once

// rand() / 32767.0 x range: 0 .. range, both ends included.
float RandomFloat(float range);
// x/2 + RandomFloat(x/2): x/2 .. x.
float RandomFloatHalfToFull(float x);
