// The identity of a component or host object: six 32-bit words filled by the host's registry.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

struct ComponentHandle {
  uint32_t words[6];

  bool IsZero() const {
    for (uint32_t w : words)
      if (w != 0) return false;
    return true;
  }
  void Clear() { std::memset(words, 0, sizeof(words)); }
  uint32_t Serial() const { return words[3]; }
  uint32_t Id() const { return words[4]; }
  friend bool operator==(const ComponentHandle& a, const ComponentHandle& b) {
    return std::memcmp(a.words, b.words, sizeof(a.words)) == 0;
  }
  // Word by word, for ordered containers keyed by handle.
  friend bool operator<(const ComponentHandle& a, const ComponentHandle& b) {
    for (size_t i = 0; i < 6; ++i)
      if (a.words[i] != b.words[i]) return a.words[i] < b.words[i];
    return false;
  }
};
static_assert(sizeof(ComponentHandle) == 24, "ComponentHandle is six 32-bit words");
