#include "visibility/abt_render_node.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "frame/exception.h"
#include "frame/host_blocks.h"

bool g_InsertBiasToggle = true;
void ResetInsertBiasToggle() { g_InsertBiasToggle = true; }

namespace {
constexpr float kChildBias = 0.01f;
constexpr float kAxisPenalty = 0.2f;
constexpr float kReplaceThreshold = 0.1f;
constexpr float kEmptyBound = 3.4e38f;
const char kSourceName[] = "AdaptiveBinaryTree";

float Axis(const D3DXVECTOR3& v, int i) { return (&v.x)[i]; }

AbtBox BatchesBox(AbtLeafBatch* const* batches, uint32_t count) {
  AbtBox box = batches[0]->m_Box;
  for (uint32_t i = 1; i < count; ++i) box.Grow(batches[i]->m_Box);
  return box;
}
}  // namespace

int CompareSortKey(const void* a, const void* b) {
  const float ka = static_cast<const AbtSortPair*>(a)->m_flKey;
  const float kb = static_cast<const AbtSortPair*>(b)->m_flKey;
  if (ka > kb) return 1;
  if (ka < kb) return -1;
  return 0;
}

AbtRenderNode* AbtRenderNode::Allocate() {
  auto* node = HostNewArray<AbtRenderNode>(1);
  if (node != nullptr) std::memset(static_cast<void*>(node), 0, sizeof(AbtRenderNode));
  return node;
}

void AbtRenderNode::Release(AbtRenderNode* node) { HostDeleteArray(node); }

void AbtRenderNode::FreeSubtree(AbtRenderNode* root) {
  if (root == nullptr) return;
  std::vector<AbtRenderNode*> stack;
  if (root->m_pChildA != nullptr) stack.push_back(root->m_pChildA);
  if (root->m_pChildB != nullptr) stack.push_back(root->m_pChildB);
  root->m_pChildA = root->m_pChildB = nullptr;
  while (!stack.empty()) {
    AbtRenderNode* n = stack.back();
    stack.pop_back();
    if (n->m_pChildA != nullptr) stack.push_back(n->m_pChildA);
    if (n->m_pChildB != nullptr) stack.push_back(n->m_pChildB);
    Release(n);
  }
}

void AbtRenderNode::InsertBatch(AbtLeafBatch* batch) {
  // Every inner node on the way down reads the same toggle (it flips only on the way back), so
  // the descent is a loop and the flips are counted.
  AbtRenderNode* n = this;
  const bool biasA = g_InsertBiasToggle;
  uint32_t innerPassed = 0;
  while (n->m_pChildA != nullptr && n->m_pChildB != nullptr) {
    AbtBox ga = n->m_pChildA->m_Box;
    ga.Grow(batch->m_Box);
    AbtBox gb = n->m_pChildB->m_Box;
    gb.Grow(batch->m_Box);
    const float s = n->m_Box.HalfDiagonalSquared();
    const float costA = ga.HalfDiagonalSquared() / s + (biasA ? kChildBias : 0.0f);
    const float costB = gb.HalfDiagonalSquared() / s + (biasA ? 0.0f : kChildBias);
    n = costA < costB ? n->m_pChildA : n->m_pChildB;
    ++innerPassed;
  }
  n->InsertIntoLeaf(batch);
  if (innerPassed % 2 == 1) g_InsertBiasToggle = !g_InsertBiasToggle;
}

void AbtRenderNode::InsertIntoLeaf(AbtLeafBatch* batch) {
  m_pBatches[m_nBatchCount++] = batch;
  if (m_pBatches[0]->m_vecCentre.x < kAbtCentreSanityBound) RaiseExs(kSourceName, 3180);
  if (m_nBatchCount < kAbtLeafCapacity) {
    if (m_nBatchCount == 1)
      m_Box = batch->m_Box;
    else
      m_Box.Grow(batch->m_Box);
    if (m_pParent != nullptr) m_pParent->RefitNode();
    return;
  }
  m_Box.Grow(batch->m_Box);
  Split();
}

void AbtRenderNode::Split() {
  AbtSortPair pairs[3][kAbtLeafCapacity];
  float score[3];
  const float* mx = &m_Box.m_vecMax.x;
  const float* mn = &m_Box.m_vecMin.x;
  float half[3];
  for (int axis = 0; axis < 3; ++axis) {
    for (uint32_t i = 0; i < kAbtLeafCapacity; ++i) pairs[axis][i] = {Axis(m_pBatches[i]->m_vecCentre, axis), m_pBatches[i]};
    std::qsort(pairs[axis], kAbtLeafCapacity, sizeof(AbtSortPair), CompareSortKey);
    const float median = (pairs[axis][2].m_flKey + pairs[axis][3].m_flKey) * 0.5f;
    half[axis] = (mx[axis] - mn[axis]) * 0.5f;
    const float centre = (mx[axis] + mn[axis]) * 0.5f;
    score[axis] = std::fabs(median - centre) / half[axis];
  }
  // The longer axis of each pair goes free, so the longest axis gathers no penalty.
  const int order[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (const auto& p : order) score[half[p[0]] > half[p[1]] ? p[1] : p[0]] += kAxisPenalty;
  int best = 0;
  for (int axis = 1; axis < 3; ++axis)
    if (score[axis] <= score[best]) best = axis;

  AbtRenderNode* children[2] = {Allocate(), Allocate()};
  for (AbtRenderNode* child : children) {
    child->m_Box.m_vecMin = D3DXVECTOR3(kEmptyBound, kEmptyBound, kEmptyBound);
    child->m_Box.m_vecMax = D3DXVECTOR3(-kEmptyBound, -kEmptyBound, -kEmptyBound);
    child->m_pParent = this;
    child->m_pReinsertion = m_pReinsertion;
  }
  m_pChildA = children[0];
  m_pChildB = children[1];
  for (uint32_t i = 0; i < kAbtLeafCapacity; ++i) children[i < 3 ? 0 : 1]->InsertIntoLeaf(pairs[best][i].m_pBatch);
  m_nBatchCount = 0;
  RefitNode();
}

void AbtRenderNode::RefitNode() {
  for (AbtRenderNode* n = this; n != nullptr; n = n->m_pParent) {
    if (n->HasChildren()) {
      // Children come in pairs; a lone child stands for both.
      AbtRenderNode* a = n->m_pChildA != nullptr ? n->m_pChildA : n->m_pChildB;
      AbtRenderNode* b = n->m_pChildB != nullptr ? n->m_pChildB : n->m_pChildA;
      n->m_Box = a->m_Box;
      n->m_Box.Grow(b->m_Box);
    } else if (n->m_nBatchCount == 0) {
      return;
    } else {
      n->m_Box = BatchesBox(n->m_pBatches, n->m_nBatchCount);
    }
    const float hx = (n->m_Box.m_vecMax.x - n->m_Box.m_vecMin.x) * 0.5f;
    const float hy = (n->m_Box.m_vecMax.y - n->m_Box.m_vecMin.y) * 0.5f;
    const float hz = (n->m_Box.m_vecMax.z - n->m_Box.m_vecMin.z) * 0.5f;
    if (hx == 0.0f && hy == 0.0f && hz == 0.0f) RaiseExs(kSourceName, 3451);
    n->m_flRadius = std::sqrt(hx * hx + hy * hy + hz * hz);
  }
}

int32_t AbtRenderNode::RemoveBatch(AbtLeafBatch* batch) {
  // Child A's subtree is searched before child B's; the first leaf holding the batch loses it.
  std::vector<AbtRenderNode*> stack{this};
  while (!stack.empty()) {
    AbtRenderNode* n = stack.back();
    stack.pop_back();
    if (n->HasChildren()) {
      if (n->m_pChildB != nullptr) stack.push_back(n->m_pChildB);
      if (n->m_pChildA != nullptr) stack.push_back(n->m_pChildA);
      continue;
    }
    uint32_t i = 0;
    while (i < n->m_nBatchCount && n->m_pBatches[i] != batch) ++i;
    if (i == n->m_nBatchCount) continue;
    for (; i + 1 < n->m_nBatchCount; ++i) n->m_pBatches[i] = n->m_pBatches[i + 1];
    --n->m_nBatchCount;
    if (n->m_nBatchCount > 0) {
      n->RefitNode();
      return 0;
    }
    if (n->m_pParent == nullptr) return 0;
    n->m_pParent->CollapseNode();
    return -1;
  }
  return 1;
}

void AbtRenderNode::CollapseNode() {
  AbtRenderNode* a = m_pChildA;
  AbtRenderNode* b = m_pChildB;
  const bool leaves = (a == nullptr || !a->HasChildren()) && (b == nullptr || !b->HasChildren());
  const uint32_t countA = a != nullptr ? a->m_nBatchCount : 0;
  const uint32_t countB = b != nullptr ? b->m_nBatchCount : 0;
  if (leaves && countA + countB < kAbtLeafCapacity) {
    m_nBatchCount = 0;
    for (AbtRenderNode* child : {a, b}) {
      if (child == nullptr) continue;
      for (uint32_t i = 0; i < child->m_nBatchCount; ++i) m_pBatches[m_nBatchCount++] = child->m_pBatches[i];
      child->m_nBatchCount = 0;
      Release(child);
    }
    m_pChildA = m_pChildB = nullptr;
    RefitNode();
    return;
  }
  std::vector<AbtLeafBatch*> gathered;
  if (b != nullptr) b->GatherBatches(gathered);
  if (a != nullptr) a->GatherBatches(gathered);
  FreeSubtree(this);
  m_nBatchCount = 0;
  for (AbtLeafBatch* batch : gathered) InsertBatch(batch);
}

void AbtRenderNode::GatherBatches(std::vector<AbtLeafBatch*>& list) {
  std::vector<AbtRenderNode*> stack{this};
  while (!stack.empty()) {
    AbtRenderNode* n = stack.back();
    stack.pop_back();
    if (n->HasChildren()) {
      // Popped first, so child B's batches come before child A's.
      if (n->m_pChildA != nullptr) stack.push_back(n->m_pChildA);
      if (n->m_pChildB != nullptr) stack.push_back(n->m_pChildB);
      continue;
    }
    for (uint32_t i = 0; i < n->m_nBatchCount; ++i) list.push_back(n->m_pBatches[i]);
    n->m_nBatchCount = 0;
  }
}

void AbtRenderNode::UpdateBatch(AbtLeafBatch* batch) {
  const float oldRadius = m_flRadius;
  RefitNode();
  if (!(std::fabs(1.0f - m_flRadius / oldRadius) > kReplaceThreshold)) return;
  AbtRenderNode* reinsertion = m_pReinsertion;
  AbtRenderNode* parent = m_pParent;
  // The removal may free this node (its parent collapses); the target is chosen afterwards.
  const int32_t removed = RemoveBatch(batch);
  if (removed == 1) return;
  AbtRenderNode* target = reinsertion;
  if (target == nullptr) target = removed == -1 ? parent : this;
  target->InsertBatch(batch);
}
