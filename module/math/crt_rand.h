// The random generator of the Windows C runtime: a 32-bit linear congruential state (x 214013
// + 2531011) of which rand returns bits 16..30, 0..32767. Each thread has its own state, which
// starts as if seeded with 1. Everything in the module that draws random numbers uses this.
#pragma once

inline constexpr int kCrtRandMax = 0x7fff;

// The next value in 0..32767.
int CrtRand();
// Restarts the calling thread's sequence from seed.
void CrtSrand(unsigned seed);
