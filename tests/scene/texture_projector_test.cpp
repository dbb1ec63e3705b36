// Projected textures through a scripted ground model whose draw runs the installed callback.
#include <new>

#include "render_members_fixture.h"
#include "scene/texture_projector.h"

namespace {
using scene_testing::ScriptedReceiver;
using scene_testing::SceneHost;

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], 1e-4f) << i << "," << j;
}

struct ProjectorScene {
  SceneHost s;
  CSceneSystem* scene = nullptr;
  std::unique_ptr<ScriptedReceiver> ground;
  explicit ProjectorScene(bool border = true) {
    if (!border) {
      D3DCAPS8 caps = host::DefaultCaps();
      caps.TextureAddressCaps &= ~D3DPTADDRESSCAPS_BORDER;
      s.standard.renderer.device().SetCaps(caps);
    }
    scene = s.MakeScene();
    ground = std::make_unique<ScriptedReceiver>(s.standard.renderer);
    for (const char* name : {"textures/spot.tga", "textures/shine.tga", "textures/third.tga"}) {
      scene_testing::WriteTexture(s, name);
      textures.push_back(s.standard.renderer.LoadTexture(name, 0));
    }
  }
  std::vector<int> textures;
  host::Renderer& renderer() { return s.standard.renderer; }
};

TEST(TextureProjector, AProjectionDrawsTheGroundWithTheSpotStagesAndRestoresWhatItChanged) {
  ProjectorScene p;
  host::Renderer& r = p.renderer();
  // A view turned a quarter about y and moved: rigid, so its inverse is exact.
  D3DXMATRIX turn, move, view;
  D3DXMatrixRotationY(&turn, 1.5707964f);
  D3DXMatrixTranslation(&move, 3.0f, -2.0f, 7.0f);
  D3DXMatrixMultiply(&view, &turn, &move);
  r.SetTransform(D3DTS_VIEW, &view);
  r.SetRenderState(D3DRS_FOGENABLE, TRUE);

  CTextureProjector& projector = p.scene->projector;
  projector.BeginProjection(p.ground.get());
  EXPECT_EQ(p.ground->controller.calls, std::vector<int>({0}));
  EXPECT_NE(p.ground->geometry.renderHook, nullptr);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), 0x103u);

  D3DXMATRIX source;
  D3DXMatrixPerspectiveFovLH(&source, 0.8f, 1.0f, 0.1f, 1000.0f);
  const D3DXMATRIX given = source;
  projector.DrawProjected(p.ground.get(), &source, p.textures[1], 0x80FF8040u);

  // The caller's matrix is now the whole texture matrix: inverse view, source, bias.
  const D3DXMATRIX bias(0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 0, 0, 0.5f, 0.5f, 1, 1);
  D3DXMATRIX inverse, biased, expected;
  D3DXMatrixInverse(&inverse, nullptr, &view);
  D3DXMatrixMultiply(&biased, &given, &bias);
  D3DXMatrixMultiply(&expected, &inverse, &biased);
  ExpectMatrixNear(source, expected);

  ASSERT_EQ(p.ground->draws.size(), 1u);
  const ScriptedReceiver::Seen& seen = p.ground->draws[0];
  EXPECT_TRUE(seen.hookRan);
  EXPECT_EQ(seen.texture, p.textures[1]);
  ExpectMatrixNear(D3DXMATRIX(seen.textureMatrix), expected);
  const std::map<DWORD, DWORD> states = {{14, 0}, {20, 2}, {23, 3}, {28, 0}, {60, 0x80FF8040u}, {137, 0}};
  EXPECT_EQ(seen.states, states);
  const std::map<std::pair<DWORD, DWORD>, DWORD> stages = {
      {{0, 1}, 4}, {{0, 2}, 3}, {{0, 3}, 2}, {{0, 4}, 4}, {{0, 5}, 2}, {{0, 6}, 3}, {{0, 11}, 0x20000},
      {{0, 13}, 4}, {{0, 14}, 4}, {{0, 24}, 0x103}, {{1, 1}, 1}, {{1, 4}, 1}};
  for (const auto& [key, value] : stages) EXPECT_EQ(seen.stages.at(key), value) << key.first << "/" << key.second;

  EXPECT_EQ(r.GetRenderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(r.GetRenderState(D3DRS_ZFUNC), 4u);
  EXPECT_EQ(r.GetRenderState(D3DRS_DESTBLEND), 6u);
  EXPECT_EQ(r.GetRenderState(D3DRS_FOGENABLE), 0u);  // the pass restores fog, not the projector
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_TEXCOORDINDEX), 0u);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_ADDRESSU), 1u);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_ADDRESSV), 1u);

  projector.EndProjection(p.ground.get());
  EXPECT_EQ(p.ground->controller.calls, std::vector<int>({0, 1}));
  EXPECT_EQ(p.ground->geometry.renderHook, nullptr);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), 0u);
}

TEST(TextureProjector, WithoutBorderAddressingTheSpotIsClamped) {
  ProjectorScene p(false);
  EXPECT_EQ(p.scene->projector.borderAddressing, 0);
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  p.scene->projector.BeginProjection(p.ground.get());
  p.scene->projector.DrawProjected(p.ground.get(), &m, 1, 0);
  EXPECT_EQ(p.ground->draws.at(0).stages.at({0, 13}), 3u);
  EXPECT_EQ(p.ground->draws.at(0).stages.at({0, 14}), 3u);
}

TEST(TextureProjector, EverySourceCostsOneDrawEvenWithOneSharedTexture) {
  ProjectorScene p;
  CTextureProjector& projector = p.scene->projector;
  projector.BeginProjection(p.ground.get());
  for (uint32_t colour : {0xFF000000u, 0xFF00FF00u, 0xFFFFFFFFu}) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    projector.DrawProjected(p.ground.get(), &m, p.textures[0], colour);
  }
  projector.EndProjection(p.ground.get());
  ASSERT_EQ(p.ground->draws.size(), 3u);
  EXPECT_EQ(p.ground->draws[1].states.at(60), 0xFF00FF00u);
  EXPECT_EQ(p.ground->draws[2].texture, p.textures[0]);
}

TEST(TextureProjector, AGroundWithoutARenderRecordIsStillDrawn) {
  ProjectorScene p;
  p.ground->hasRecord = false;
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  p.scene->projector.BeginProjection(p.ground.get());
  p.scene->projector.DrawProjected(p.ground.get(), &m, 3, 0xFFFFFFFFu);
  p.scene->projector.EndProjection(p.ground.get());
  ASSERT_EQ(p.ground->draws.size(), 1u);
  EXPECT_FALSE(p.ground->draws[0].hookRan);
  EXPECT_TRUE(p.ground->controller.calls.empty());
  EXPECT_EQ(p.ground->draws[0].states.at(23), 3u);  // still drawn z-equal
}

class CountedAttachment : public CProjectionAttachment {
 public:
  ~CountedAttachment() override { ++destroyed; }
  static inline int destroyed = 0;
};

TEST(TextureProjector, ProjectionRecordsNeedAttachmentsWhichTheDestructorDestroys) {
  SceneHost s;
  {
    CTextureProjector projector;
    const float box[6] = {1, 2, 3, 4, 5, 6}, point[3] = {7, 8, 9};
    EXPECT_FALSE(projector.AddProjection(box, point, nullptr));
    auto* block = HostNewArray<CountedAttachment>(2);
    new (&block[0]) CountedAttachment;
    new (&block[1]) CountedAttachment;
    HostBlockCount(block) = 2;
    projector.attachments = block;
    EXPECT_TRUE(projector.AddProjection(box, point, nullptr));
    ASSERT_EQ(projector.records.size(), 1u);
    EXPECT_EQ(projector.records[0].box[5], 6.0f);
    EXPECT_EQ(projector.records[0].point[2], 9.0f);
    EXPECT_EQ(projector.records[0].words[7], 0u);
    CountedAttachment::destroyed = 0;
  }
  EXPECT_EQ(CountedAttachment::destroyed, 2);
}

TEST(TextureProjector, ClipListTakesUpwardFansUntilItIsFull) {
  SceneHost s;
  g_projectionClipVertexCount = 0;
  const D3DXVECTOR3 down[3] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
  const D3DXVECTOR3 up[4] = {{0, 0, 0}, {0, 0, 1}, {3, 0.5f, 1}, {1, -3, 0}};
  EXPECT_TRUE(CTextureProjector::ClipToProjection(down, 3));
  EXPECT_TRUE(CTextureProjector::ClipToProjection(up, 2));
  EXPECT_EQ(g_projectionClipVertexCount, 0);
  EXPECT_TRUE(CTextureProjector::ClipToProjection(up, 4));
  ASSERT_EQ(g_projectionClipVertexCount, 6);  // (p0, p1, p2), (p0, p2, p3)
  const ProjectionClipVertex& far = g_projectionClipVertices[2];
  EXPECT_EQ(far.x, 3.0f);
  EXPECT_EQ(far.u, 1.0f);  // (3 + 1) / 2 held to 1
  EXPECT_FLOAT_EQ(far.v, 0.75f);
  EXPECT_EQ(g_projectionClipVertices[5].v, 0.0f);  // (-3 + 1) / 2 held to 0
  // 6 + 3 x 339 - 6 = 1017 fits; 1017 + 9 - 6 reaches 1024 and does not.
  std::vector<D3DXVECTOR3> fan(341, D3DXVECTOR3(0, 0, 0));
  for (size_t k = 1; k < fan.size(); ++k) fan[k] = D3DXVECTOR3(std::cos(k * 0.018f), 0, -std::sin(k * 0.018f));
  EXPECT_TRUE(CTextureProjector::ClipToProjection(fan.data(), 341));
  EXPECT_EQ(g_projectionClipVertexCount, 1023 - 6 + 6);
  EXPECT_FALSE(CTextureProjector::ClipToProjection(up, 4));
  EXPECT_EQ(g_projectionClipVertexCount, 1023);
  g_projectionClipVertexCount = 0;
}

TEST(TextureProjector, MaterialStagesSelectTheTexturesOfTheMaterial) {
  ProjectorScene p;
  host::Renderer& r = p.renderer();
  const int* textures = p.textures.data();
  ProjectionMaterial two{2, 0, 1};
  CTextureProjector::MaterialStageCallback(&two, textures);
  EXPECT_EQ(r.StageTextureHandle(0), textures[2]);
  EXPECT_EQ(r.StageTextureHandle(1), textures[0]);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_COLOROP), 3u);
  EXPECT_EQ(r.GetTextureStageState(1, D3DTSS_COLOROP), 5u);
  EXPECT_EQ(r.GetTextureStageState(2, D3DTSS_COLOROP), 1u);
  EXPECT_EQ(r.GetTextureStageState(0, D3DTSS_ALPHAOP), 2u);
  ProjectionMaterial one{1, 0, 0};
  r.SetTextureStageState(2, D3DTSS_COLOROP, 4);
  CTextureProjector::MaterialStageCallback(&one, textures);
  EXPECT_EQ(r.StageTextureHandle(0), textures[1]);
  EXPECT_EQ(r.GetTextureStageState(1, D3DTSS_COLOROP), 1u);
  EXPECT_EQ(r.GetTextureStageState(2, D3DTSS_COLOROP), 4u);
}

}  // namespace
