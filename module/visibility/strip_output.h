// One output group of the stripifier: a triangle list or a triangle strip of 16-bit indices.
#pragma once
#include <cstdint>

struct StripOutput {
  static constexpr uint32_t kList = 0;
  static constexpr uint32_t kStrip = 1;

  StripOutput() = default;
  ~StripOutput();
  StripOutput(const StripOutput&) = delete;
  StripOutput& operator=(const StripOutput&) = delete;

  // Sizes the group for `count` indices; the caller fills them.
  void Allocate(uint32_t groupType, uint32_t indexCount);

  uint32_t type = kStrip;
  uint32_t count = 0;
  uint16_t* indices = nullptr;  // owned; array-new
};
