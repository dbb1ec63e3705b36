// A node of the render tree: its leaves hold up to six draw batches. Nodes come from the host
// allocator one at a time (a counted block of one) and start zeroed.
#pragma once
#include <cstdint>
#include <vector>

#include "visibility/abt_records.h"

// A batch whose centre lies below this x is taken for a broken tree when it enters a leaf.
inline constexpr float kAbtCentreSanityBound = -99999.0f;

// Which child of an inner node carries the 0.01 tie bias of the next insertion; shared by every
// tree in the module and flipped once per inner node an insertion passes.
extern bool g_InsertBiasToggle;
// Back to its starting value (true), for a fresh scene in tests and tools.
void ResetInsertBiasToggle();

inline constexpr uint32_t kAbtLeafCapacity = 6;

struct AbtRenderNode {
  AbtBox m_Box;
  float m_flRadius;
  AbtRenderNode* m_pChildA;
  AbtRenderNode* m_pChildB;
  AbtRenderNode* m_pParent;
  AbtRenderNode* m_pReinsertion;
  AbtLeafBatch* m_pBatches[kAbtLeafCapacity];
  uint32_t m_nBatchCount;

  // A zeroed node from the host allocator; null when it fails.
  static AbtRenderNode* Allocate();
  static void Release(AbtRenderNode* node);
  // Frees every node below `root` (not the root), after unlinking them.
  static void FreeSubtree(AbtRenderNode* root);

  bool HasChildren() const { return m_pChildA != nullptr || m_pChildB != nullptr; }
  void InsertBatch(AbtLeafBatch* batch);
  // 1 not found, 0 removed, -1 removed and the emptied leaf's parent collapsed (the leaf freed).
  int32_t RemoveBatch(AbtLeafBatch* batch);
  void UpdateBatch(AbtLeafBatch* batch);
  void CollapseNode();
  void GatherBatches(std::vector<AbtLeafBatch*>& list);
  void RefitNode();

 private:
  void InsertIntoLeaf(AbtLeafBatch* batch);
  void Split();
};

// The split's comparator on (key, batch) pairs: 1 when a's key is greater, -1 when smaller.
struct AbtSortPair {
  float m_flKey;
  AbtLeafBatch* m_pBatch;
};
int CompareSortKey(const void* a, const void* b);
