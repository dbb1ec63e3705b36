#include "scene/scene_object_index.h"

#include "objects/scene_base_obj.h"

bool SceneObjectIndex::Current(size_t listSize) const {
  return !stale_ && wordChanges_ == CSceneBaseObj::UserWordsChanges() && listSize_ == listSize;
}

void SceneObjectIndex::Add(const ComponentHandle& handle, const uint32_t* key, size_t listSize) {
  // Current as it stood before the caller's one change of words and one append.
  if (stale_ || wordChanges_ + 1 != CSceneBaseObj::UserWordsChanges() || listSize_ + 1 != listSize) {
    stale_ = true;
    return;
  }
  byKey_[Key(key)].push_back(handle);
  wordChanges_ = CSceneBaseObj::UserWordsChanges();
  listSize_ = listSize;
}

const std::vector<ComponentHandle>& SceneObjectIndex::Find(const uint32_t* key, const std::vector<ComponentHandle>& list,
                                                           Resolver resolve) {
  static const std::vector<ComponentHandle> kNone;
  if (!Current(list.size())) {
    byKey_.clear();
    for (const ComponentHandle& handle : list) {
      CSceneBaseObj* object = resolve(handle);
      const uint32_t* words = object != nullptr ? object->GetUserWords() : nullptr;
      if (words != nullptr) byKey_[Key(words)].push_back(handle);
    }
    stale_ = false;
    wordChanges_ = CSceneBaseObj::UserWordsChanges();
    listSize_ = list.size();
  }
  const auto found = byKey_.find(Key(key));
  return found != byKey_.end() ? found->second : kNone;
}
