#include "host/allocator.h"

#include <cstdlib>
#include <cstring>

namespace host {
namespace {
constexpr size_t kHeader = 16;
constexpr uint32_t kGuard = 0x4B4C4248u;

unsigned char* BaseOf(void* block) { return static_cast<unsigned char*>(block) - kHeader; }
uint32_t* Words(void* block) { return reinterpret_cast<uint32_t*>(BaseOf(block)); }
}  // namespace

HostAllocator::~HostAllocator() {
  for (const void* p : live_) std::free(BaseOf(const_cast<void*>(p)));
}

bool HostAllocator::ShouldFail() {
  if (failCount_ == 0) return false;
  if (failSkip_ > 0) {
    --failSkip_;
    return false;
  }
  --failCount_;
  return true;
}

void* HostAllocator::Alloc(uint32_t size, const char*, int) {
  ++allocCalls_;
  if (ShouldFail()) return nullptr;
  auto* base = static_cast<unsigned char*>(std::malloc(kHeader + (size ? size : 1)));
  if (base == nullptr) return nullptr;
  auto* words = reinterpret_cast<uint32_t*>(base);
  words[0] = kGuard;
  words[1] = 0;
  words[2] = size;  // p - 8
  words[3] = 0;     // p - 4, the caller's
  void* p = base + kHeader;
  live_.insert(p);
  return p;
}

void* HostAllocator::Realloc(void* block, uint32_t size, const char* tag, int line) {
  ++reallocCalls_;
  if (block == nullptr) return Alloc(size, tag, line);
  if (!IsLive(block)) {
    errors_.push_back("Realloc of a block that is not live");
    return nullptr;
  }
  if (ShouldFail()) return nullptr;
  live_.erase(block);
  auto* base = static_cast<unsigned char*>(std::realloc(BaseOf(block), kHeader + (size ? size : 1)));
  if (base == nullptr) {
    live_.insert(block);
    return nullptr;
  }
  reinterpret_cast<uint32_t*>(base)[2] = size;
  void* p = base + kHeader;
  live_.insert(p);
  return p;
}

void HostAllocator::Free(void* block, const char*, int) {
  ++freeCalls_;
  if (block == nullptr) return;
  if (!IsLive(block) || Words(block)[0] != kGuard) {
    errors_.push_back("Free of a block that is not live");
    return;
  }
  live_.erase(block);
  Words(block)[0] = 0;
  std::free(BaseOf(block));
}

}  // namespace host
