// One frame of the tree: culling, the two passes with their states and draws, the keys, the
// cost line, and a frame whose occlusion system asserts.
#include <gtest/gtest.h>

#include "support/abt_fixture.h"
#include "win32/win32_state.h"

using namespace abt_testing;

namespace {

void LookAlongX(host::Renderer& r, const D3DXVECTOR3& eye, float farPlane = 100.0f) {
  D3DXMATRIX view, projection;
  const D3DXVECTOR3 at(eye.x + 10.0f, eye.y, eye.z), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, 0.898513f, 1.0f, 0.1f, farPlane);
  r.SetTransform(2, &view);
  r.SetTransform(3, &projection);
}

// Opaque cubes at x 0 and 2, an alpha-tested one at 4, blended ones at 6 (drawn) and 8 (kind 2).
struct ClassesScene : TreeHost {
  ClassesScene() {
    WriteTextures(SmallScene());
    EXPECT_TRUE(Load("o.geo", WriteGeometry(SmallScene(2, 0.0f)), 0));
    EXPECT_TRUE(Load("t.geo", WriteGeometry(SmallScene(1, 4.0f)), 1));
    GeometrySpec blended = SmallScene(2, 6.0f);
    blended.batches[1].m_nPrimitiveKind = 2;
    EXPECT_TRUE(Load("b.geo", WriteGeometry(blended), 2));
    tree->RebuildRenderTree();
    LookAlongX(renderer, D3DXVECTOR3(-10, 0.5f, 0.5f));
    renderer.SetRecording(true);
  }
  int VertexBufferOf(size_t batch) { return static_cast<int>(Hook::Batches(*tree)[batch].m_nVertexBuffer); }
};

TEST(AbtFrame, TwoPassesDrawInOrderWithTheirStates) {
  ClassesScene h;
  h.renderer.ClearRenderStateCalls();
  h.tree->DetermineVisibility();
  const auto& draws = h.renderer.Draws();
  ASSERT_EQ(draws.size(), 5u);
  // Near first: x 0, 2 (opaque), 4 (alpha-tested); far first: 6 (blended), 4 again.
  const size_t expected[5] = {0, 1, 2, 3, 2};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(draws[i].vertexBuffer, h.VertexBufferOf(expected[i])) << i;
    EXPECT_EQ(draws[i].slot, 52) << i;
    EXPECT_EQ(draws[i].indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3})) << i;
  }
  EXPECT_EQ(draws[1].minIndex, 4u);  // the odd batch starts at vertex 4
  // Material 0 of each file has texture slot 0; material 1 (odd batches) none.
  EXPECT_NE(draws[0].state->textureHandle[0], -1);
  EXPECT_EQ(draws[1].state->textureHandle[0], -1);
  const std::vector<std::pair<DWORD, DWORD>> states = {
      {137, 0}, {28, 0}, {27, 0}, {24, 1}, {24, 1}, {24, 0xE0}, {24, 1}, {27, 1},
      {14, 0},  {23, 4}, {23, 4}, {23, 2}, {14, 1}, {23, 4}};
  EXPECT_EQ(h.renderer.RenderStateCalls(), states);
  EXPECT_EQ(h.tree->LastFrameStats().m_nOpaque, 3u);
  EXPECT_EQ(h.tree->LastFrameStats().m_nBlended, 3u);
}

TEST(AbtFrame, StripsSetTheirFormatAndDrawAsStrips) {
  TreeHost h;
  GeometrySpec s = SmallScene(1);
  s.batches[0].m_nPrimitiveKind = kAbtTriangleStrip;
  s.batches[0].m_nVertexFormat = 0x252;
  s.batches[0].m_nPrimitiveCount = 2;
  ASSERT_TRUE(h.Load("s.geo", WriteGeometry(s)));
  h.tree->RebuildRenderTree();
  LookAlongX(h.renderer, D3DXVECTOR3(-10, 0.5f, 0.5f));
  h.renderer.SetRecording(true);
  h.tree->DetermineVisibility();
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  EXPECT_EQ(h.renderer.Draws()[0].slot, 53);
  EXPECT_EQ(h.renderer.Draws()[0].primitiveType, 5u);
  EXPECT_EQ(h.renderer.VertexShader(), 0x252u);
}

TEST(AbtFrame, CulledBatchesAndAnEmptyTreeDrawNothing) {
  ClassesScene h;
  LookAlongX(h.renderer, D3DXVECTOR3(20, 0.5f, 0.5f));  // everything behind the eye
  h.tree->DetermineVisibility();
  EXPECT_TRUE(h.renderer.Draws().empty());
  EXPECT_EQ(h.renderer.Texts().size(), 1u);

}

TEST(AbtFrame, AnEmptyTreeSetsNothing) {
  TreeHost empty;
  empty.renderer.SetRecording(true);
  empty.renderer.ClearRenderStateCalls();
  empty.tree->DetermineVisibility();
  EXPECT_TRUE(empty.renderer.Texts().empty());
  EXPECT_TRUE(empty.renderer.RenderStateCalls().empty());
}

TEST(AbtFrame, KeysToggleDrawingAndOcclusion) {
  ClassesScene h;
  h.module.host.SystemMessage(0x100, 'B', 0);
  h.tree->DetermineVisibility();
  EXPECT_TRUE(h.renderer.Draws().empty());
  EXPECT_EQ(h.renderer.Texts().size(), 1u);  // the walk and its cost line still run
  h.module.host.SystemMessage(0x101, 'B', 0);  // a key release changes nothing
  h.module.host.SystemMessage(0x100, 'X', 0);
  EXPECT_FALSE(Hook::DrawBatches(*h.tree));
  h.module.host.SystemMessage(0x100, 'B', 0);
  h.tree->DetermineVisibility();
  EXPECT_EQ(h.renderer.Draws().size(), 5u);
  EXPECT_EQ(h.tree->LastFrameStats().m_nTested, 5u);  // every batch in view was asked about
  h.module.host.SystemMessage(0x100, 'O', 0);
  EXPECT_FALSE(Hook::OcclusionCulling(*h.tree));
  h.tree->DetermineVisibility();
  EXPECT_EQ(h.tree->LastFrameStats().m_nTested, 0u);
}

TEST(AbtFrame, CostLineUnderTheTestClock) {
  ClassesScene h;
  win32::UseManualClock(5000);
  h.tree->DetermineVisibility();
  ASSERT_EQ(h.renderer.Texts().size(), 1u);
  EXPECT_EQ(h.renderer.Texts()[0].x, 739);
  EXPECT_EQ(h.renderer.Texts()[0].y, 180);
  EXPECT_EQ(h.renderer.Texts()[0].text, "Visibility Determination Cost Time: 0 ms");
  win32::UseRealClock();
}

TEST(AbtFrame, AnOcclusionAssertionStillDrawsEachBatchOnceAndIsPassedOn) {
  TreeHost h;
  ASSERT_TRUE(h.Load("a.geo", WriteGeometry(SmallScene(2))));
  h.tree->RebuildRenderTree();
  AbtIndexNode leaf;
  leaf.m_Box = Box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(4, 1, 1));
  Hook::SetOccluders(*h.tree, {leaf}, {}, {}, {}, {});
  // A view that stretches depth by 1e25: the eye's forward axis is 1e-25 long, so the near
  // plane 0.1 ahead lies on the eye in single precision, which the occlusion system asserts
  // against.
  D3DXMATRIX view, stretch, projection;
  const D3DXVECTOR3 eye(1.5f, 0.5f, -10.0f), at(1.5f, 0.5f, 0.0f), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixScaling(&stretch, 1.0f, 1.0f, 1.0e25f);
  view *= stretch;
  D3DXMatrixPerspectiveFovLH(&projection, 0.898513f, 1.0f, 0.1f, 100.0f);
  h.renderer.SetTransform(2, &view);
  h.renderer.SetTransform(3, &projection);
  h.renderer.SetRecording(true);
  for (int frame = 1; frame <= 2; ++frame) {
    const char* thrown = nullptr;
    try {
      h.tree->DetermineVisibility();
    } catch (const char* text) {
      thrown = text;
    }
    EXPECT_STREQ(thrown, "assert");
    EXPECT_TRUE(h.tree->LastFrameStats().m_bOcclusionAsserted);
    EXPECT_EQ(h.renderer.Draws().size(), 2u * static_cast<size_t>(frame));
  }
  EXPECT_EQ(h.RegistryLines("Assert failed in OcclusionSystem line 119"), 2);
}

TEST(AbtFrame, DestroyTakesTheOcclusionSystemOnceAndFramesGoOnWithoutIt) {
  ClassesScene h;
  ASSERT_NE(Hook::Occlusion(*h.tree), nullptr);
  const size_t destroyed = h.module.host.ObjectsDestroyed();
  h.tree->Destroy();
  h.tree->Destroy();
  EXPECT_EQ(h.module.host.ObjectsDestroyed(), destroyed + 1);
  EXPECT_EQ(Hook::Occlusion(*h.tree), nullptr);
  h.tree->DetermineVisibility();
  EXPECT_EQ(h.renderer.Draws().size(), 5u);
  EXPECT_EQ(h.tree->LastFrameStats().m_nTested, 0u);
  EXPECT_FALSE(h.tree->LastFrameStats().m_bOcclusionAsserted);
}

}  // namespace
