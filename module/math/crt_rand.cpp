#include "math/crt_rand.h"

#include "win32/win32.h"

// The module draws from the platform's C runtime generator, so there is one sequence per
// thread whichever name a caller uses.
int CrtRand() { return win32::rand(); }

void CrtSrand(unsigned seed) { win32::srand(seed); }
