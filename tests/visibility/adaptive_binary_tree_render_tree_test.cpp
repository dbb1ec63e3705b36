// The render tree: insertion, the split and its axis, the tie bias, the two exceptions, removal
// with merge and rebuild, and the re-placement of a batch that moved.
#include <gtest/gtest.h>

#include "frame/exs.h"
#include "support/abt_fixture.h"

using namespace abt_testing;

namespace {

// A tree root of its own (freed with everything below it) beside a module host.
struct RootHost {
  TreeHost host;
  AbtRenderNode* root = AbtRenderNode::Allocate();
  std::vector<AbtLeafBatch> batches;
  explicit RootHost(size_t reserve = 32) { batches.reserve(reserve); }
  ~RootHost() {
    AbtRenderNode::FreeSubtree(root);
    AbtRenderNode::Release(root);
  }
  AbtLeafBatch* Add(const AbtLeafBatch& b) {
    batches.push_back(b);
    return &batches.back();
  }
  size_t LiveBlocks() { return host.module.host.Allocator().LiveBlocks(); }
};

std::vector<float> CentresX(const AbtRenderNode* n) {
  std::vector<float> xs;
  for (uint32_t i = 0; i < n->m_nBatchCount; ++i) xs.push_back(n->m_pBatches[i]->m_vecCentre.x);
  return xs;
}

TEST(AbtRenderTree, SixthBatchSplitsAlongTheLongAxisThreeAndThree) {
  RootHost h;
  for (int i = 0; i < 5; ++i) h.root->InsertBatch(h.Add(CubeBatch(2.0f * static_cast<float>(i), 0, 0)));
  EXPECT_EQ(h.root->m_nBatchCount, 5u);
  EXPECT_FALSE(h.root->HasChildren());
  EXPECT_EQ(h.root->m_Box.Max().x, 9.0f);
  h.root->InsertBatch(h.Add(CubeBatch(10, 0, 0)));
  EXPECT_EQ(h.root->m_nBatchCount, 0u);
  ASSERT_TRUE(h.root->m_pChildA != nullptr && h.root->m_pChildB != nullptr);
  EXPECT_EQ(CentresX(h.root->m_pChildA), (std::vector<float>{0.5f, 2.5f, 4.5f}));
  EXPECT_EQ(CentresX(h.root->m_pChildB), (std::vector<float>{6.5f, 8.5f, 10.5f}));
  EXPECT_EQ(h.root->m_pChildA->m_pParent, h.root);
  EXPECT_EQ(h.root->m_pChildB->m_Box.Min().x, 6.0f);
  // Root box 0..11 x 0..1 x 0..1: half-diagonal sqrt(5.5² + 0.25 + 0.25).
  EXPECT_FLOAT_EQ(h.root->m_flRadius, std::sqrt(5.5f * 5.5f + 0.5f));
}

TEST(AbtRenderTree, EvenCentresAlongYSplitAlongY) {
  RootHost h;
  for (int i = 0; i < 6; ++i) h.root->InsertBatch(h.Add(CubeBatch(0, 3.0f * static_cast<float>(5 - i), 0)));
  ASSERT_TRUE(h.root->HasChildren());
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_LT(h.root->m_pChildA->m_pBatches[i]->m_vecCentre.y, 8.0f);
    EXPECT_GT(h.root->m_pChildB->m_pBatches[i]->m_vecCentre.y, 8.0f);
  }
}

TEST(AbtRenderTree, TiesGoToChildBFirstThenToChildA) {
  RootHost h;
  for (int i = 0; i < 6; ++i) h.root->InsertBatch(h.Add(CubeBatch(2.0f * static_cast<float>(i), 0, 0)));
  ASSERT_TRUE(g_InsertBiasToggle);  // no inner node was passed yet
  // Children 0..5 and 6..11: a batch over 5..6 grows both to a length of 6.
  AbtLeafBatch* first = h.Add(CubeBatch(5, 0, 0));
  h.root->InsertBatch(first);
  EXPECT_EQ(h.root->m_pChildB->m_nBatchCount, 4u);
  EXPECT_FALSE(g_InsertBiasToggle);
  h.root->InsertBatch(h.Add(CubeBatch(5, 0, 0)));
  EXPECT_EQ(h.root->m_pChildA->m_nBatchCount, 4u);
  EXPECT_TRUE(g_InsertBiasToggle);
}

TEST(AbtRenderTree, FarLeftCentreAndPointBatchesRaise) {
  {
    RootHost h;
    AbtLeafBatch b = CubeBatch(-100000.5f, 0, 0);
    EXPECT_THROW(h.root->InsertBatch(h.Add(b)), _EXS);
    EXPECT_EQ(h.root->m_nBatchCount, 1u);  // the batch stays appended
    EXPECT_EQ(h.host.RegistryLines("User Rised Exception"), 1);
    EXPECT_EQ(h.host.RegistryLines("AdaptiveBinaryTree line 3180"), 1);
  }
  RootHost h;
  for (int i = 0; i < 5; ++i) h.root->InsertBatch(h.Add(CubeBatch(1, 1, 1, 0)));
  EXPECT_THROW(h.root->InsertBatch(h.Add(CubeBatch(1, 1, 1, 0))), _EXS);
  EXPECT_EQ(h.host.RegistryLines("AdaptiveBinaryTree line 3451"), 1);
}

TEST(AbtRenderTree, RemovalAbsentMergeAndRoot) {
  RootHost h;
  std::vector<AbtLeafBatch*> b;
  for (int i = 0; i < 6; ++i) b.push_back(h.Add(CubeBatch(2.0f * static_cast<float>(i), 0, 0)));
  AbtLeafBatch stranger = CubeBatch(0, 0, 0);
  h.root->InsertBatch(b[0]);
  EXPECT_EQ(h.root->RemoveBatch(&stranger), 1);
  EXPECT_EQ(h.root->m_nBatchCount, 1u);
  // The only batch of a root leaf: removed, the box stays.
  EXPECT_EQ(h.root->RemoveBatch(b[0]), 0);
  EXPECT_EQ(h.root->m_nBatchCount, 0u);
  EXPECT_EQ(h.root->m_Box.Max().x, 1.0f);

  for (AbtLeafBatch* p : b) h.root->InsertBatch(p);
  const size_t split = h.LiveBlocks();
  EXPECT_EQ(h.root->RemoveBatch(b[1]), 0);
  EXPECT_EQ(h.root->RemoveBatch(b[0]), 0);
  EXPECT_EQ(h.root->RemoveBatch(b[2]), -1);  // child A emptied: merged into the root
  EXPECT_FALSE(h.root->HasChildren());
  EXPECT_EQ(CentresX(h.root), (std::vector<float>{6.5f, 8.5f, 10.5f}));
  EXPECT_EQ(h.root->m_Box.Min().x, 6.0f);
  EXPECT_EQ(h.LiveBlocks(), split - 2);
}

// root: A leaf of one batch, B inner with two leaves of three.
AbtRenderNode* Link(AbtRenderNode* parent, bool a) {
  AbtRenderNode* n = AbtRenderNode::Allocate();
  n->m_pParent = parent;
  (a ? parent->m_pChildA : parent->m_pChildB) = n;
  return n;
}

TEST(AbtRenderTree, RemovalBesideAnInnerNodeRebuildsTheSubtree) {
  RootHost h;
  AbtRenderNode* a = Link(h.root, true);
  AbtRenderNode* b = Link(h.root, false);
  AbtRenderNode* b1 = Link(b, true);
  AbtRenderNode* b2 = Link(b, false);
  AbtLeafBatch* lone = h.Add(CubeBatch(-5, 0, 0));
  a->InsertBatch(lone);
  for (int i = 0; i < 3; ++i) b1->InsertBatch(h.Add(CubeBatch(2.0f * static_cast<float>(i), 0, 0)));
  for (int i = 3; i < 6; ++i) b2->InsertBatch(h.Add(CubeBatch(2.0f * static_cast<float>(i), 0, 0)));
  const size_t before = h.LiveBlocks();
  EXPECT_EQ(h.root->RemoveBatch(lone), -1);
  // Six gathered batches refill the root and split it again: four nodes freed, two made.
  EXPECT_EQ(h.LiveBlocks(), before - 2);
  ASSERT_TRUE(h.root->HasChildren());
  EXPECT_EQ(h.root->m_pChildA->m_nBatchCount + h.root->m_pChildB->m_nBatchCount, 6u);
  EXPECT_FALSE(h.root->m_pChildA->HasChildren());
  EXPECT_EQ(CentresX(h.root->m_pChildA), (std::vector<float>{0.5f, 2.5f, 4.5f}));
}

TEST(AbtRenderTree, GatherTakesChildBBeforeChildA) {
  RootHost h;
  AbtRenderNode* a = Link(h.root, true);
  AbtRenderNode* b = Link(h.root, false);
  a->InsertBatch(h.Add(CubeBatch(1, 0, 0)));
  b->InsertBatch(h.Add(CubeBatch(2, 0, 0)));
  b->InsertBatch(h.Add(CubeBatch(3, 0, 0)));
  std::vector<AbtLeafBatch*> list;
  h.root->GatherBatches(list);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->m_vecCentre.x, 2.5f);
  EXPECT_EQ(list[2]->m_vecCentre.x, 1.5f);
  EXPECT_EQ(a->m_nBatchCount + b->m_nBatchCount, 0u);
}

TEST(AbtRenderTree, UpdateReplacesOnlyOnALargeRadiusChange) {
  RootHost h;
  AbtLeafBatch* p[3];
  for (int i = 0; i < 3; ++i) h.root->InsertBatch(p[i] = h.Add(CubeBatch(2.0f * static_cast<float>(i), 0, 0)));
  h.root->RefitNode();  // a root leaf has no parent to refit it on insertion
  // Radius of 0..5 x 0..1 x 0..1 is sqrt(6.75); growing the first batch to x = -0.2 changes it
  // by about 4 %: it stays first.
  p[0]->m_Box.m_vecMin.x = -0.2f;
  h.root->UpdateBatch(p[0]);
  EXPECT_EQ(h.root->m_pBatches[0], p[0]);
  // To x = -5: the radius almost doubles; removed and inserted again, now last.
  p[0]->m_Box.m_vecMin.x = -5.0f;
  h.root->UpdateBatch(p[0]);
  ASSERT_EQ(h.root->m_nBatchCount, 3u);
  EXPECT_EQ(h.root->m_pBatches[2], p[0]);
  EXPECT_EQ(h.root->m_Box.Min().x, -5.0f);
}

TEST(AbtRenderTree, UpdateThatEmptiesItsLeafReinsertsAtTheFormerParent) {
  RootHost h;
  AbtRenderNode* a = Link(h.root, true);
  AbtRenderNode* b = Link(h.root, false);
  AbtLeafBatch* moving = h.Add(CubeBatch(0, 0, 0));
  a->InsertBatch(moving);
  b->InsertBatch(h.Add(CubeBatch(4, 0, 0)));
  b->InsertBatch(h.Add(CubeBatch(6, 0, 0)));
  a->RefitNode();
  moving->m_Box.m_vecMax = D3DXVECTOR3(3, 3, 3);
  a->UpdateBatch(moving);  // a is freed by the merge; the batch goes to the root
  EXPECT_FALSE(h.root->HasChildren());
  ASSERT_EQ(h.root->m_nBatchCount, 3u);
  EXPECT_EQ(h.root->m_pBatches[2], moving);
}

TEST(AbtRenderTree, FreeNodeTreeKeepsTheRootAndCatchesABrokenLink) {
  RootHost h;
  Link(h.root, true);
  Link(h.root, false);
  const size_t before = h.LiveBlocks();
  h.host.tree->FreeNodeTree(h.root);
  EXPECT_EQ(h.LiveBlocks(), before - 2);
  EXPECT_FALSE(h.root->HasChildren());

  AbtRenderNode* stray = AbtRenderNode::Allocate();
  AbtRenderNode* child = Link(h.root, true);
  child->m_pParent = stray;  // names a node that does not link back
  EXPECT_THROW(h.host.tree->FreeNodeTree(h.root), _EXS);
  EXPECT_EQ(h.host.RegistryLines("AdaptiveBinaryTree line 102"), 1);
  child->m_pParent = h.root;
  AbtRenderNode::Release(stray);
}

}  // namespace
