#include "win32/crt_string.h"

namespace {
int Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
}  // namespace

int _strnicmp(const char* a, const char* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const int ca = Fold(static_cast<unsigned char>(a[i]));
    const int cb = Fold(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
  return 0;
}

int _stricmp(const char* a, const char* b) {
  for (size_t i = 0;; ++i) {
    const int ca = Fold(static_cast<unsigned char>(a[i]));
    const int cb = Fold(static_cast<unsigned char>(b[i]));
    if (ca != cb || ca == 0) return ca - cb;
  }
}
