// The module's exception object: a 292-character text, then a 32-bit flag word. Every _EXS
// the module makes has the flag 0; it is copied byte for byte.
#pragma once
#include <cstdint>
#include <cstring>

struct _EXS {
  char text[292];
  uint32_t flag;

  static _EXS Make(const char* message, uint32_t flagWord = 0) {
    _EXS e{};
    if (message != nullptr) std::strncpy(e.text, message, sizeof(e.text) - 1);
    e.flag = flagWord;
    return e;
  }
};
static_assert(sizeof(_EXS) == 296, "_EXS is 292 characters and a 32-bit flag");
