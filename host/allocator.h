// The reference host's allocator. Each block carries a 16-byte header: a guard word, the
// requested size at p - 8 and the caller's word at p - 4, so that the module's counted
// blocks work as they do under the real host.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "frame/host_interfaces.h"

namespace host {

class HostAllocator final : public IHostAllocator {
 public:
  HostAllocator() = default;
  ~HostAllocator();
  HostAllocator(const HostAllocator&) = delete;
  HostAllocator& operator=(const HostAllocator&) = delete;

  void* Alloc(uint32_t size, const char* tag, int line) override;
  void* Realloc(void* block, uint32_t size, const char* tag, int line) override;
  void Free(void* block, const char* tag, int line) override;

  // Blocks handed out and not yet freed.
  size_t LiveBlocks() const { return live_.size(); }
  bool IsLive(const void* block) const { return live_.count(block) != 0; }
  uint64_t AllocCalls() const { return allocCalls_; }
  uint64_t ReallocCalls() const { return reallocCalls_; }
  uint64_t FreeCalls() const { return freeCalls_; }
  // Frees and reallocs of blocks this allocator never handed out (or handed out and freed).
  const std::vector<std::string>& Errors() const { return errors_; }

  // Failure injection: the next `count` Alloc/Realloc calls fail after `skip` have succeeded.
  void FailNext(uint32_t count, uint32_t skip = 0) {
    failCount_ = count;
    failSkip_ = skip;
  }

 private:
  bool ShouldFail();

  std::unordered_set<const void*> live_;
  std::vector<std::string> errors_;
  uint64_t allocCalls_ = 0, reallocCalls_ = 0, freeCalls_ = 0;
  uint32_t failCount_ = 0, failSkip_ = 0;
};

}  // namespace host
