// Counted blocks from the host allocator: the element count sits in the 32-bit word just
// before the block, a word the allocator leaves to its caller.
#pragma once
#include <cstdint>

#include "frame/component_handle.h"
#include "frame/host_interfaces.h"

// The element count kept in front of a counted block.
inline uint32_t& HostBlockCount(void* block) { return static_cast<uint32_t*>(block)[-1]; }

// n elements of elementSize bytes (n = count, at least 1) plus 4 spare bytes; no constructor
// runs. Null when the allocator fails.
void* HostNewArrayBytes(uint32_t count, uint32_t elementSize);

template <class T>
T* HostNewArray(uint32_t count) {
  return static_cast<T*>(HostNewArrayBytes(count, static_cast<uint32_t>(sizeof(T))));
}

// count handles (at least one), each all zeros.
ComponentHandle* HostAllocArray24(uint32_t count);

// Gives a counted block back to the allocator; null is accepted.
void HostDeleteArray(void* block);

// Grows or shrinks a counted block of elementSize-byte elements to sizeBytes bytes. Size 0
// frees the block and returns null; an unchanged count returns the block as it is.
void* HostReallocBlock(void* block, uint32_t sizeBytes, uint32_t elementSize);

// Text blocks (1-byte elements) and pointer tables (pointer-sized elements: callers grow a
// table by passing (entries + 1) * sizeof(void*)).
inline void* HostRealloc(void* block, uint32_t sizeBytes) { return HostReallocBlock(block, sizeBytes, 1); }
inline void* HostReallocArray(void* block, uint32_t sizeBytes) {
  return HostReallocBlock(block, sizeBytes, static_cast<uint32_t>(sizeof(void*)));
}

// Releases an IIniFile the service handed out: the destructor, then the block. The service
// hands out blocks of one object; a block that claims more is left alone with a log line
// (its further objects could not be found without knowing their size).
void ReleaseIniFile(IIniFile* file);
