// The fixed work stack of the tree's off-line splits: at most 512 pending items. A push past
// them raises _EXS (source "AdaptiveBinaryTree", the split's own line) before anything goes past
// the stack, so a split deeper than the stack was made for ends as the module's own failure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "frame/exception.h"

inline constexpr uint32_t kAbtWorkStackSize = 512;
inline constexpr int kAbtNodeStackLine = 1425;   // CAdaptiveBinaryTree::BuildNodeTree
inline constexpr int kAbtSplitStackLine = 3495;  // CAdaptiveBinaryTree::SplitGeometry

template <class Item, int Line>
class AbtWorkStack {
 public:
  AbtWorkStack() { m_Items.reserve(kAbtWorkStackSize); }

  void Push(Item&& item) {
    if (m_Items.size() >= kAbtWorkStackSize) RaiseExs("AdaptiveBinaryTree", Line);
    m_Items.push_back(std::move(item));
  }
  Item Pop() {
    Item top = std::move(m_Items.back());
    m_Items.pop_back();
    return top;
  }
  bool Empty() const { return m_Items.empty(); }
  size_t Size() const { return m_Items.size(); }

 private:
  std::vector<Item> m_Items;
};
