// One drawable part of the static scene in the tree's build input: its vertex buffer, its ranges
// of vertices and triangles and its material, plus data the module carries without reading. The
// record is streamed field by field through a transfer function, so one pair of operations
// serves any medium.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

// Moves size bytes between the record and the medium; false when the medium cannot.
using AbtTransferFn = bool (*)(void* bytes, uint32_t size, void* context);

struct AbtBuildRecord {
  static constexpr uint32_t kFixedSize = 108;
  static constexpr uint32_t kItemSize = 64;
  using Item = std::array<uint8_t, kItemSize>;

  uint32_t m_nCarried0 = 0;
  uint32_t m_nCarried1 = 0;
  uint32_t m_nCarried2 = 0;
  float m_vecCarried[3] = {0.0f, 0.0f, 0.0f};
  uint32_t m_nCarried3 = 0;
  uint32_t m_nVertexBuffer = 0;
  uint32_t m_nTriangleCount = 0;
  uint32_t m_nFirstTriangle = 0;
  uint32_t m_nVertexCount = 0;
  uint32_t m_nFirstVertex = 0;
  uint32_t m_nMaterial = 0;
  uint8_t m_Carried32[32] = {};
  uint8_t m_Carried16[16] = {};
  uint32_t m_nCarried4 = 0;
  std::vector<Item> m_Items;

  // A negative item count fails. The items are gathered one by one as they arrive and replace
  // the record's only when all came, so a count larger than the medium fails at its end without
  // that many items ever being made, and the array is as it was after any failure.
  bool Read(AbtTransferFn transfer, void* context);
  bool Write(AbtTransferFn transfer, void* context) const;
};
