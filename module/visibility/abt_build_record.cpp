#include "visibility/abt_build_record.h"

#include <cstring>

namespace {
// The stored layout is little-endian; so is every machine the module runs on, but the fields
// still pass through explicit byte order.
bool TransferU32(AbtTransferFn transfer, void* context, uint32_t* value, bool reading) {
  uint8_t b[4];
  if (!reading)
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(*value >> (8 * i));
  if (!transfer(b, 4, context)) return false;
  if (reading)
    *value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
             (static_cast<uint32_t>(b[3]) << 24);
  return true;
}

bool TransferVector(AbtTransferFn transfer, void* context, float* v, bool reading) {
  uint8_t b[12];
  uint32_t bits[3];
  if (!reading) {
    std::memcpy(bits, v, 12);
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 4; ++i) b[4 * k + i] = static_cast<uint8_t>(bits[k] >> (8 * i));
  }
  if (!transfer(b, 12, context)) return false;
  if (reading) {
    for (int k = 0; k < 3; ++k)
      bits[k] = static_cast<uint32_t>(b[4 * k]) | (static_cast<uint32_t>(b[4 * k + 1]) << 8) |
                (static_cast<uint32_t>(b[4 * k + 2]) << 16) | (static_cast<uint32_t>(b[4 * k + 3]) << 24);
    std::memcpy(v, bits, 12);
  }
  return true;
}

// The 108 bytes before the items, one transfer per field, in stream order.
// Writing only reads the fields it is handed.
bool TransferFixed(AbtBuildRecord* self, AbtTransferFn transfer, void* context, bool reading) {
  for (uint32_t* field : {&self->m_nCarried0, &self->m_nCarried1, &self->m_nCarried2})
    if (!TransferU32(transfer, context, field, reading)) return false;
  if (!TransferVector(transfer, context, self->m_vecCarried, reading)) return false;
  for (uint32_t* field : {&self->m_nCarried3, &self->m_nVertexBuffer, &self->m_nTriangleCount,
                          &self->m_nFirstTriangle, &self->m_nVertexCount, &self->m_nFirstVertex, &self->m_nMaterial})
    if (!TransferU32(transfer, context, field, reading)) return false;
  return transfer(self->m_Carried32, 32, context) && transfer(self->m_Carried16, 16, context) &&
         TransferU32(transfer, context, &self->m_nCarried4, reading);
}
}  // namespace

bool AbtBuildRecord::Read(AbtTransferFn transfer, void* context) {
  if (transfer == nullptr || !TransferFixed(this, transfer, context, true)) return false;
  uint32_t raw = 0;
  if (!TransferU32(transfer, context, &raw, true)) return false;
  const auto count = static_cast<int32_t>(raw);
  if (count < 0) return false;
  std::vector<Item> items;
  for (int32_t i = 0; i < count; ++i) {
    Item item;
    if (!transfer(item.data(), kItemSize, context)) return false;
    items.push_back(item);
  }
  m_Items = std::move(items);
  return true;
}

bool AbtBuildRecord::Write(AbtTransferFn transfer, void* context) const {
  if (transfer == nullptr) return false;
  if (!TransferFixed(const_cast<AbtBuildRecord*>(this), transfer, context, false)) return false;
  uint32_t count = static_cast<uint32_t>(m_Items.size());
  if (!TransferU32(transfer, context, &count, false)) return false;
  for (Item item : m_Items)
    if (!transfer(item.data(), kItemSize, context)) return false;
  return true;
}
