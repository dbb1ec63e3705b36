// Waving flags on the host renderer's real index and vertex memory.
#include <cmath>

#include "render_members_fixture.h"
#include "scene/dynamic_flag_system.h"

namespace {
using scene_testing::FlagScene;

constexpr double kPi = 3.14159265358979323846;

const char* kFlatFlag =
    "[flagA]\nnumVerticalSegment=1\nnumHorizonalSegment=1\nwaveBase=0.5\nwaveAmplitude=0\n"
    "texStage0=textures/cloth.tga\ntexStage1=textures/detail.tga\ncolor=128,255,0,0\n"
    "[flagB]\nnumVerticalSegment=1\nnumHorizonalSegment=2\n";

std::vector<uint32_t> Indices(std::initializer_list<uint32_t> list) { return list; }

TEST(DynamicFlags, AOneByOneGridIsTwoTrianglesFlatAtTheWaveBaseInOneDraw) {
  FlagScene f(kFlatFlag);
  f.Add("flagA", {0, 0, 0}, {2, 0, 0}, {0, 3, 0});
  f.renderer().ClearRecords();
  f.scene->flags.SetTime(1.0f);
  f.scene->flags.Render();
  ASSERT_EQ(f.renderer().Draws().size(), 1u);
  const host::DrawRecord& d = f.renderer().Draws()[0];
  EXPECT_EQ(d.slot, 52);
  EXPECT_EQ(d.stride, 40u);
  EXPECT_EQ(d.vertexCount, 4u);
  EXPECT_EQ(d.primitiveCount, 2u);
  EXPECT_EQ(d.startIndex, 0u);
  EXPECT_EQ(d.indices, Indices({0, 3, 2, 0, 1, 3}));
  EXPECT_EQ(d.effect, f.renderer().GetEffect("DynamicFlag"));
  EXPECT_EQ(d.state->RenderState(D3DRS_TEXTUREFACTOR), 0x80FF0000u);
  EXPECT_EQ(f.renderer().TextureName(d.state->textureHandle[0]), "textures/cloth.tga");
  EXPECT_EQ(f.renderer().TextureName(d.state->textureHandle[1]), "textures/detail.tga");
  // Corner order: column then row; the normal is x cross y = +z, the cloth lifted 0.5 along it.
  const float expected[4][4] = {{0, 0, 0, 0}, {2, 0, 1, 0}, {0, 3, 0, 1}, {2, 3, 1, 1}};
  for (UINT v = 0; v < 4; ++v) {
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 0), expected[v][0]) << v;
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 4), expected[v][1]) << v;
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 8), 0.5f) << v;
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 20), 1.0f) << v;
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 24), expected[v][2]) << v;
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 28), expected[v][3]) << v;
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 32), expected[v][2]) << v;
    EXPECT_FLOAT_EQ(d.VertexFloat(v, 36), expected[v][3]) << v;
  }
}

TEST(DynamicFlags, InstancesOfOneTypeShareADrawAndOnlyTheLastCreatedTypeGrows) {
  FlagScene f(kFlatFlag);
  f.Add("flagA", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  f.Add("flagA", {5, 0, 0}, {6, 0, 0}, {5, 1, 0});
  f.Add("flagB", {0, 0, 9}, {2, 0, 9}, {0, 1, 9});
  f.Add("flagA", {7, 0, 0}, {8, 0, 0}, {7, 1, 0});  // A is no longer the newest type: dropped
  ASSERT_EQ(f.scene->flags.types.size(), 2u);
  EXPECT_EQ(f.scene->flags.types[0].instances.size(), 2u);
  EXPECT_EQ(f.scene->flags.types[1].firstIndex, 12u);
  f.renderer().ClearRecords();
  f.scene->flags.Render();
  ASSERT_EQ(f.renderer().Draws().size(), 2u);
  const host::DrawRecord& a = f.renderer().Draws()[0];
  EXPECT_EQ(a.vertexCount, 8u);
  EXPECT_EQ(a.primitiveCount, 4u);
  EXPECT_EQ(a.indices, Indices({0, 3, 2, 0, 1, 3, 4, 7, 6, 4, 5, 7}));
  EXPECT_FLOAT_EQ(a.VertexFloat(4, 0), 5.0f);
  const host::DrawRecord& b = f.renderer().Draws()[1];
  EXPECT_EQ(b.startIndex, 12u);
  EXPECT_EQ(b.vertexCount, 6u);
  // Two quads in a row of three columns: p = 0 and 1, q = p + 3.
  EXPECT_EQ(b.indices, Indices({0, 4, 3, 0, 1, 4, 1, 5, 4, 1, 2, 5}));
  EXPECT_EQ(b.state->RenderState(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);  // the default colour
}

TEST(DynamicFlags, EachFlagSystemKeepsItsOwnNewestType) {
  FlagScene f(kFlatFlag);
  CDynamicFlagSystem other;
  other.Init();
  const D3DXVECTOR3 c0(0, 0, 0), c1(1, 0, 0), c2(0, 1, 0);
  f.Add("flagA", c0, c1, c2);
  f.Add("flagB", c0, c1, c2);
  other.AddFlag("x", "flagA", &c0.x, &c1.x, &c2.x, f.material);
  f.Add("flagB", c0, c1, c2);  // still this system's newest type
  EXPECT_EQ(f.scene->flags.types[1].instances.size(), 2u);
  EXPECT_EQ(other.types.size(), 1u);
}

TEST(DynamicFlags, TheWaveFollowsTheSineTableAndSpreadHalvesItsSpatialFrequency) {
  FlagScene f(
      "[wave1]\nnumVerticalSegment=1\nnumHorizonalSegment=2\nwaveAmplitude=2\nwaveBase=0.25\n"
      "[wave2]\nnumVerticalSegment=1\nnumHorizonalSegment=2\nwaveAmplitude=2\nwaveBase=0.25\ndeformationSpread=2\n"
      "waveFrequency=0.5\n");
  // Along +x with the second edge +z: the normal x cross z is -y.
  f.Add("wave1", {0, 0, 0}, {0.5f, 0, 0}, {0, 0, 1});
  f.Add("wave2", {0, 0, 0}, {0.5f, 0, 0}, {0, 0, 1});
  f.scene->flags.SetTime(0.5f);
  f.renderer().ClearRecords();
  f.scene->flags.Render();
  ASSERT_EQ(f.renderer().Draws().size(), 2u);
  const auto sine = [](int entry) { return std::sin(entry * 2.0 * kPi / 1023.0); };
  // Vertex 1 sits at x = 0.25: a quarter period (entry 256) with spread 1; with spread 2 an
  // eighth (128) plus 0.5 x 0.5 s of travel (another 256 entries).
  EXPECT_NEAR(f.renderer().Draws()[0].VertexFloat(1, 4), -(2.0 * sine(256) + 0.25), 1e-4);
  EXPECT_NEAR(f.renderer().Draws()[1].VertexFloat(1, 4), -(2.0 * sine(384) + 0.25), 1e-4);
  EXPECT_NEAR(f.renderer().Draws()[1].VertexFloat(2, 4), -(2.0 * sine(512) + 0.25), 1e-4);
  // The rest pose is never changed by a frame.
  EXPECT_FLOAT_EQ(f.scene->flags.types[0].instances[0].vertices[1].y, 0.0f);
}

TEST(DynamicFlags, BadValuesReadAsSoundDefaults) {
  FlagScene f(
      "[odd]\nnumVerticalSegment=0\nnumHorizonalSegment=-4\ndeformationSpread=0\ncolor=128,300\n"
      "[huge]\nnumVerticalSegment=100\nnumHorizonalSegment=100\n");
  f.Add("odd", {0, 0, 0}, {0, 0, 0}, {0, 1, 0});  // no first edge: not added
  EXPECT_TRUE(f.scene->flags.types.empty());
  f.Add("odd", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  ASSERT_EQ(f.scene->flags.types.size(), 1u);
  const DynamicFlagType& odd = f.scene->flags.types[0];
  EXPECT_EQ(odd.verticalSegments, 1);
  EXPECT_EQ(odd.horizontalSegments, 1);
  EXPECT_EQ(odd.inverseSpread, 1.0f);
  EXPECT_EQ(odd.colour, 0x80FF0000u);  // 300 held to 255; the missing blue and green read 0
  f.Add("huge", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  const DynamicFlagType& huge = f.scene->flags.types[1];
  EXPECT_EQ(huge.verticalSegments, 100);
  EXPECT_LE(huge.verticalSegments * huge.horizontalSegments, 512);
}

TEST(DynamicFlags, AFullIndexBufferKeepsLaterVerticesWithoutTriangles) {
  FlagScene f("[big]\nnumVerticalSegment=16\nnumHorizonalSegment=32\n[late]\nnumVerticalSegment=1\nnumHorizonalSegment=1\n");
  f.Add("big", {0, 0, 0}, {32, 0, 0}, {0, 16, 0});  // 512 quads: all 3072 indices
  f.Add("big", {0, 0, 5}, {32, 0, 5}, {0, 16, 5});
  f.Add("late", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  const auto& types = f.scene->flags.types;
  EXPECT_EQ(types[0].triangleCount, 1024u);
  EXPECT_EQ(types[0].vertexCount, 2u * 33 * 17);
  EXPECT_EQ(types[1].firstIndex, 3072u);
  EXPECT_EQ(types[1].triangleCount, 0u);
  EXPECT_TRUE(f.renderer().Log().empty()) << f.renderer().Log().front();
  f.renderer().ClearRecords();
  f.scene->flags.Render();
  ASSERT_EQ(f.renderer().Draws().size(), 1u);  // the late type has nothing to draw
  const host::DrawRecord& d = f.renderer().Draws()[0];
  EXPECT_EQ(d.primitiveCount, 1024u);
  EXPECT_EQ(d.vertexCount, 2u * 33 * 17);
  // The last quad of the first grid: column 31, row 15.
  const uint32_t p = 15 * 33 + 31, q = p + 33;
  EXPECT_EQ(std::vector<uint32_t>(d.indices.end() - 6, d.indices.end()), Indices({p, q + 1, q, p, p + 1, q + 1}));
}

TEST(DynamicFlags, ModifiersOfTheMaterialSectionAnimateTheDrawOnly) {
  FlagScene f(kFlatFlag, "[flagA]\nNum_Coord_Tex_Mods_0=1\nTex_Coord_Mod_0_0=scroll,0.5,0.25\n");
  f.Add("flagA", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  f.scene->flags.SetTime(2.0f);
  f.renderer().ClearRecords();
  f.scene->flags.Render();
  const host::DrawRecord& d = f.renderer().Draws().at(0);
  EXPECT_EQ(d.state->StageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), 2u);
  EXPECT_FLOAT_EQ(d.state->textureTransform[0]._31, 1.0f);
  EXPECT_FLOAT_EQ(d.state->textureTransform[0]._32, 0.5f);
  EXPECT_EQ(f.renderer().GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), 0u);
}

TEST(DynamicFlags, AFailedIndexLockKeepsTheVerticesAndTheNextFlagFillsTheSpace) {
  FlagScene f(kFlatFlag);
  f.renderer().FailCall(host::RendererCall::LockIndexBuffer);
  f.Add("flagA", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  f.Add("flagA", {3, 0, 0}, {4, 0, 0}, {3, 1, 0});
  const DynamicFlagType& a = f.scene->flags.types.at(0);
  EXPECT_EQ(a.vertexCount, 8u);
  EXPECT_EQ(a.triangleCount, 2u);
  f.renderer().ClearRecords();
  f.scene->flags.Render();
  // The second grid's triangles sit where the first's would have: indices 0-5, naming vertices 4-7.
  EXPECT_EQ(f.renderer().Draws().at(0).indices, Indices({4, 7, 6, 4, 5, 7}));
  EXPECT_TRUE(f.renderer().Log().empty()) << f.renderer().Log().front();
}

TEST(DynamicFlags, NoRoomForVerticesSkipsTheDraw) {
  FlagScene f(kFlatFlag);
  f.Add("flagA", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  f.renderer().ClearRecords();
  f.renderer().FailCall(host::RendererCall::LockDynamicVertices);
  f.scene->flags.Render();
  EXPECT_TRUE(f.renderer().Draws().empty());
  EXPECT_TRUE(f.renderer().Log().empty());
  f.scene->flags.Render();
  EXPECT_EQ(f.renderer().Draws().size(), 1u);
}

TEST(DynamicFlags, ClearGivesBackEveryGridAndTextureAndStartsTheIndicesAgain) {
  FlagScene f(kFlatFlag);
  const size_t blocks = f.s.host.Allocator().LiveBlocks();
  const size_t textures = f.renderer().LiveTextures();
  f.Add("flagA", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  f.Add("flagA", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  f.Add("flagB", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  EXPECT_EQ(f.s.host.Allocator().LiveBlocks(), blocks + 3);
  EXPECT_EQ(f.renderer().LiveTextures(), textures + 2);
  f.scene->flags.Clear();
  EXPECT_TRUE(f.scene->flags.types.empty());
  EXPECT_EQ(f.s.host.Allocator().LiveBlocks(), blocks);
  EXPECT_EQ(f.renderer().LiveTextures(), textures);
  EXPECT_EQ(f.renderer().LiveIndexBuffers(), 1u);  // the shared buffer stays
  f.Add("flagB", {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  EXPECT_EQ(f.scene->flags.types[0].firstIndex, 0u);
}

TEST(DynamicFlags, WithoutAFlagListNoFlagIsAdded) {
  scene_testing::SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  s.WriteFile("m.ini", "[x]\n");
  IIniFile* material = s.standard.ini.OpenIni("m.ini", 0);
  const float c0[3] = {0, 0, 0}, c1[3] = {1, 0, 0}, c2[3] = {0, 1, 0};
  scene->flags.AddFlag("f", "flagA", c0, c1, c2, material);
  scene->flags.AddFlag("f", "flagA", c0, c1, c2, nullptr);
  EXPECT_TRUE(scene->flags.types.empty());
  ReleaseIniFile(material);
}

}  // namespace
