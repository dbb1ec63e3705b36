// The class-factory records through which the host creates the module's components.
#pragma once
#include <cstdint>
#include <new>

#include "frame/component_base.h"
#include "frame/module_globals.h"

class CComponentFactory {
 public:
  // Links the record at the head of the module's factory list.
  CComponentFactory();

  virtual ~CComponentFactory();                // slot 0 (the records are static, never freed)
  virtual bool Flag1();                        // slot 1
  virtual const char* GetClassName();          // slot 2
  virtual CComponentBase* CreateInstance();    // slot 3
  virtual void Release();                      // slot 4
  virtual uint32_t GetInstanceCount();         // slot 5
  virtual void ResetInstanceCount();           // slot 6
  virtual bool Flag7();                        // slot 7

  CComponentFactory(const CComponentFactory&) = delete;
  CComponentFactory& operator=(const CComponentFactory&) = delete;

  CComponentFactory* next;
  uint32_t reserved;
  uint32_t instanceCount;
};

// Allocates count objects of T (at least one) in a counted host block and constructs each in
// address order. A constructor that throws leaves no object and no block behind.
template <class T>
T* AllocateObjects(uint32_t count) {
  const uint32_t n = count == 0 ? 1 : count;
  void* block = g_pAllocator->Alloc(static_cast<uint32_t>(n * sizeof(T) + 4), nullptr, 0);
  if (block == nullptr) return nullptr;
  reinterpret_cast<uint32_t*>(block)[-1] = n;
  T* objects = static_cast<T*>(block);
  uint32_t built = 0;
  try {
    for (; built < n; ++built) new (&objects[built]) T();
  } catch (...) {
    while (built > 0) objects[--built].~T();
    g_pAllocator->Free(block, "", 0);
    throw;
  }
  return objects;
}

// One record per class: the class name and the allocation of one T per CreateInstance.
template <class T, const char* Name>
class TComponentFactory final : public CComponentFactory {
 public:
  const char* GetClassName() override { return Name; }
  CComponentBase* CreateInstance() override {
    ++instanceCount;  // counted before the allocation, also when it fails
    return AllocateObjects<T>(1);
  }
};
