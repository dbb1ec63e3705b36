// The debug gizmo through the scene's slots 60-62 and its post pass.
#include "render_members_fixture.h"
#include "scene/debug_gizmo.h"

namespace {
using scene_testing::SceneHost;

struct Corner {
  float x, y, z;
  uint32_t colour;
};

Corner VertexOf(const host::DrawRecord& d, UINT i) {
  return Corner{d.VertexFloat(i, 0), d.VertexFloat(i, 4), d.VertexFloat(i, 8), d.VertexDword(i, 12)};
}

TEST(DebugGizmo, ShownItDrawsThreeTranslucentQuadsAndThreeAxesLastInThePostPass) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  scene->sceneId = 0;  // the post pass runs only with a scene: an empty one
  host::Renderer& r = s.standard.renderer;
  EXPECT_EQ(scene->IsGizmoVisible(), 0);
  const D3DXVECTOR3 centre(10.0f, 20.0f, 30.0f);
  scene->SetGizmoPosition(&centre);
  r.ClearRecords();
  scene->RealizePost(0);
  EXPECT_TRUE(r.Draws().empty());  // hidden

  scene->SetGizmoVisible(1);
  EXPECT_EQ(scene->IsGizmoVisible(), 1);
  scene->RealizePost(0);
  ASSERT_EQ(r.Draws().size(), 2u);
  const host::DrawRecord& quads = r.Draws()[0];
  EXPECT_EQ(quads.slot, 56);
  EXPECT_EQ(quads.primitiveType, 4u);
  EXPECT_EQ(quads.fvf, 0x42u);
  EXPECT_EQ(quads.primitiveCount, 6u);
  EXPECT_EQ(quads.stride, 16u);
  EXPECT_EQ(quads.vertexCount, 18u);
  // Alpha 0.2 of 255 is 51 (0x33); the quads are 1000 wide, half 500 about the centre.
  const Corner expected[] = {
      {10, -480, -470, 0x33FF0000u}, {10, 520, -470, 0x33FF0000u}, {10, 520, 530, 0x33FF0000u},
      {-490, 20, -470, 0x3300FF00u}, {510, 20, 530, 0x3300FF00u}, {-490, 20, 530, 0x3300FF00u},
      {-490, -480, 30, 0x330000FFu}, {510, 520, 30, 0x330000FFu}, {-490, 520, 30, 0x330000FFu}};
  const UINT at[] = {0, 1, 2, 9, 10, 11, 15, 16, 17};
  for (size_t k = 0; k < 9; ++k) {
    const Corner v = VertexOf(quads, at[k]);
    EXPECT_EQ(v.x, expected[k].x) << at[k];
    EXPECT_EQ(v.y, expected[k].y) << at[k];
    EXPECT_EQ(v.z, expected[k].z) << at[k];
    EXPECT_EQ(v.colour, expected[k].colour) << at[k];
  }
  EXPECT_EQ(quads.state->RenderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(quads.state->RenderState(D3DRS_SRCBLEND), 5u);
  EXPECT_EQ(quads.state->RenderState(D3DRS_DESTBLEND), 2u);
  EXPECT_EQ(quads.state->RenderState(D3DRS_ZWRITEENABLE), 0u);
  EXPECT_EQ(quads.state->RenderState(D3DRS_ZFUNC), 4u);
  EXPECT_EQ(quads.state->RenderState(D3DRS_CULLMODE), 1u);
  EXPECT_EQ(quads.state->StageState(0, D3DTSS_COLOROP), 1u);
  EXPECT_EQ(quads.state->StageState(0, D3DTSS_ALPHAOP), 1u);
  EXPECT_EQ(quads.state->world._41, 0.0f);

  const host::DrawRecord& lines = r.Draws()[1];
  EXPECT_EQ(lines.primitiveType, 2u);
  EXPECT_EQ(lines.primitiveCount, 3u);
  EXPECT_EQ(lines.vertexCount, 6u);
  const Corner axes[] = {{-490, 20, 30, 0xFFFF0000u}, {510, 20, 30, 0xFFFF0000u}, {10, -480, 30, 0xFF00FF00u},
                         {10, 520, 30, 0xFF00FF00u},  {10, 20, -470, 0xFF0000FFu}, {10, 20, 530, 0xFF0000FFu}};
  for (UINT k = 0; k < 6; ++k) {
    const Corner v = VertexOf(lines, k);
    EXPECT_EQ(v.x, axes[k].x) << k;
    EXPECT_EQ(v.y, axes[k].y) << k;
    EXPECT_EQ(v.z, axes[k].z) << k;
    EXPECT_EQ(v.colour, axes[k].colour) << k;
  }
}

TEST(DebugGizmo, AMoveIsBuiltOnlyAtTheNextDraw) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  scene->gizmo.Draw(&s.standard.renderer);
  EXPECT_EQ(scene->gizmo.lines[1].x, 500.0f);
  const D3DXVECTOR3 moved(100.0f, 0.0f, 0.0f);
  scene->SetGizmoPosition(&moved);
  EXPECT_EQ(scene->gizmo.rebuild, 1);
  EXPECT_EQ(scene->gizmo.lines[1].x, 500.0f);
  scene->gizmo.Draw(&s.standard.renderer);
  EXPECT_EQ(scene->gizmo.rebuild, 0);
  EXPECT_EQ(scene->gizmo.lines[1].x, 600.0f);
  scene->SetGizmoPosition(nullptr);
  EXPECT_EQ(scene->gizmo.rebuild, 0);
}

TEST(DebugGizmo, EverySavedStateAndTheWorldReadBackUnchangedAfterADraw) {
  SceneHost s;
  host::Renderer& r = s.standard.renderer;
  const DWORD states[] = {27, 19, 20, 7, 14, 23, 137, 22, 15};
  for (DWORD i = 0; i < 9; ++i) r.SetRenderState(states[i], 100 + i);
  r.SetTextureStageState(0, D3DTSS_COLOROP, 7);
  r.SetTextureStageState(0, D3DTSS_ALPHAOP, 8);
  D3DXMATRIX world;
  D3DXMatrixTranslation(&world, 1.0f, 2.0f, 3.0f);
  r.SetTransform(D3DTS_WORLD, &world);
  CDebugGizmo gizmo;
  gizmo.alpha = 4.0f;  // out of range: held to a byte, never spilling into the red channel
  gizmo.Draw(&r);
  for (DWORD i = 0; i < 9; ++i) EXPECT_EQ(r.GetRenderState(states[i]), 100 + i) << states[i];
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_COLOROP), 7u);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_ALPHAOP), 8u);
  D3DMATRIX after;
  r.GetTransform(D3DTS_WORLD, &after);
  EXPECT_EQ(after._41, 1.0f);
  EXPECT_EQ(after._43, 3.0f);
  EXPECT_EQ(gizmo.quads[0].colour, 0xFFFF0000u);
}

}  // namespace
