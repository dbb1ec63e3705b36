#include "frame/host_blocks.h"

#include <cstring>

#include "frame/module_globals.h"

void* HostNewArrayBytes(uint32_t count, uint32_t elementSize) {
  const uint32_t n = count == 0 ? 1 : count;
  void* p = g_pAllocator->Alloc(n * elementSize + 4, nullptr, 0);
  if (p == nullptr) return nullptr;
  HostBlockCount(p) = n;
  return p;
}

ComponentHandle* HostAllocArray24(uint32_t count) {
  auto* handles = static_cast<ComponentHandle*>(HostNewArrayBytes(count, sizeof(ComponentHandle)));
  if (handles == nullptr) return nullptr;
  std::memset(static_cast<void*>(handles), 0, HostBlockCount(handles) * sizeof(ComponentHandle));
  return handles;
}

void HostDeleteArray(void* block) {
  if (block != nullptr) g_pAllocator->Free(block, "", 0);
}

void* HostReallocBlock(void* block, uint32_t sizeBytes, uint32_t elementSize) {
  if (sizeBytes == 0) {
    HostDeleteArray(block);
    return nullptr;
  }
  const uint32_t count = sizeBytes / elementSize;
  if (block == nullptr) {
    void* p = g_pAllocator->Alloc(sizeBytes + 4, nullptr, 0);
    if (p == nullptr) return nullptr;
    HostBlockCount(p) = count;
    return p;
  }
  if (HostBlockCount(block) == count) return block;
  void* q = g_pAllocator->Realloc(block, sizeBytes + 4, "", 0);
  if (q == nullptr) return nullptr;
  HostBlockCount(q) = count;
  return q;
}

void ReleaseIniFile(IIniFile* file) {
  if (file == nullptr) return;
  const uint32_t n = HostBlockCount(file);
  if (n != 1) {
    if (g_pHost != nullptr) g_pHost->Log("[ERROR] ReleaseIniFile: a block of %u INI objects is not released.", n);
    return;
  }
  file->~IIniFile();
  g_pAllocator->Free(file, "", 0);
}
