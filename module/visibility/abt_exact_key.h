// Float keys looked up exactly, as floats compare (0 and -0 alike), in hash maps: for the welded
// points and the occluder planes, whose lookups give each key the index it first took and whose
// order is never read.
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

template <size_t N>
struct AbtExactKeyHash {
  size_t operator()(const std::array<float, N>& key) const {
    uint64_t h = 0;
    for (const float v : key) h = (h ^ std::bit_cast<uint32_t>(v == 0.0f ? 0.0f : v)) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};
