// The scene's objects by their key (the two user words), so that finding the object of a key,
// which every creation does first, does not walk the whole list. The index holds, for each key,
// the handles of the list whose objects had that key when it was last built. It answers only
// while it still stands for the list: a change of the list other than Add, or a change of any
// object's words (each one is counted module-wide), makes it stale, and it is built again from
// the list before the next answer.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "frame/component_handle.h"

class CSceneBaseObj;

class SceneObjectIndex {
 public:
  using Resolver = CSceneBaseObj* (*)(const ComponentHandle& handle);

  // Anything but Add changed the list.
  void Invalidate() { stale_ = true; }
  // The handle just appended to the list, its object's words set to `key` by the caller just
  // before; any other change since the last answer leaves the index stale instead.
  void Add(const ComponentHandle& handle, const uint32_t* key, size_t listSize);
  // The handles of the list whose objects have `key` (empty when none), the index built again
  // first when it is stale.
  const std::vector<ComponentHandle>& Find(const uint32_t* key, const std::vector<ComponentHandle>& list,
                                           Resolver resolve);

 private:
  static uint64_t Key(const uint32_t* words) { return (static_cast<uint64_t>(words[1]) << 32) | words[0]; }
  bool Current(size_t listSize) const;

  std::unordered_map<uint64_t, std::vector<ComponentHandle>> byKey_;
  bool stale_ = true;
  uint64_t wordChanges_ = 0;  // the module-wide count the index was built at
  size_t listSize_ = 0;
};
