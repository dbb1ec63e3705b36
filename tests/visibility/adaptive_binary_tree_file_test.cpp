// The render-geometry file: record layouts, two files appended and rebased, and every damaged
// file refused before anything is appended or created.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include <functional>

#include "support/abt_fixture.h"

using namespace abt_testing;

namespace {

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(AbtRecords, BatchAndNodeSitAtTheirFixedOffsets) {
  AbtLeafBatch b = CubeBatch(1, 2, 3);
  b.m_nVertexFormat = 0x252;
  b.m_nPrimitiveCount = 11;
  b.m_nStartIndex = 12;
  b.m_nVertexCount = 13;
  b.m_nMinVertexIndex = 14;
  b.m_nMaterial = 15;
  b.m_nBlendClass = 2;
  b.m_nPrimitiveKind = 1;
  ByteWriter w;
  b.Write(w);
  const std::vector<uint8_t>& bytes = w.Bytes();
  ASSERT_EQ(bytes.size(), kAbtLeafBatchSize);
  float maxX;
  std::memcpy(&maxX, &bytes[0], 4);
  EXPECT_EQ(maxX, 2.0f);  // the maximum corner comes first
  float minX;
  std::memcpy(&minX, &bytes[12], 4);
  EXPECT_EQ(minX, 1.0f);
  EXPECT_EQ(U32At(bytes, 36), 0x252u);
  EXPECT_EQ(U32At(bytes, 48), 11u);
  EXPECT_EQ(U32At(bytes, 60), 14u);
  EXPECT_EQ(U32At(bytes, 64), 15u);
  EXPECT_EQ(U32At(bytes, 76), 1u);
  ByteCursor c(bytes.data(), bytes.size());
  AbtLeafBatch back;
  ASSERT_TRUE(back.Read(c));
  EXPECT_EQ(back.m_nMinVertexIndex, 14u);
  EXPECT_EQ(back.m_Box.Min().z, 3.0f);
  ByteCursor shortCursor(bytes.data(), bytes.size() - 1);
  EXPECT_FALSE(back.Read(shortCursor));

  AbtIndexNode n;
  n.m_nChildB = 4;
  n.m_bDisjointChildren = 1;
  ByteWriter nw;
  n.Write(nw);
  ASSERT_EQ(nw.Bytes().size(), kAbtIndexNodeSize);
  EXPECT_EQ(U32At(nw.Bytes(), 40), 0xFFFFFFFFu);
  EXPECT_EQ(U32At(nw.Bytes(), 44), 4u);
  EXPECT_EQ(nw.Bytes()[56], 1);
  EXPECT_FALSE(n.IsLeaf());  // one child is an inner node
}

TEST(AbtFile, ChunkHeaderIsTagThenLength) {
  TreeHost h;
  HANDLE f = h.ini->OpenFile("chunk.bin", 0x40000000u, 0, 2);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  WriteChunkHeader(h.ini.get(), f, 0x5000, 0x01020304);
  h.ini->CloseFile(f);
  std::ifstream in(h.dir.path / "chunk.bin", std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes, (std::vector<uint8_t>{0x00, 0x50, 0x04, 0x03, 0x02, 0x01}));
  ByteCursor c(bytes.data(), bytes.size());
  uint16_t tag;
  uint32_t length;
  ASSERT_TRUE(ReadChunkHeader(c, &tag, &length));
  EXPECT_EQ(tag, 0x5000);
  EXPECT_EQ(length, 0x01020304u);
  EXPECT_EQ(c.Remaining(), 0u);
}

TEST(AbtFile, TwoFilesAreAppendedAndRebased) {
  TreeHost h;
  h.WriteTextures(SmallScene());
  ASSERT_TRUE(h.Load("a.geo", WriteGeometry(SmallScene(3)), 0));
  GeometrySpec second = SmallScene(2, 20.0f);
  second.names = {"x.bmp", "y.bmp", "z.bmp"};
  h.WriteTextures(second);
  second.materials[0].m_Texture[0] = 2;
  ASSERT_TRUE(h.Load("b.geo", WriteGeometry(second), 2));

  auto& batches = Hook::Batches(*h.tree);
  auto& materials = Hook::Materials(*h.tree);
  auto& textures = Hook::Textures(*h.tree);
  ASSERT_EQ(batches.size(), 5u);
  ASSERT_EQ(materials.size(), 4u);
  ASSERT_EQ(textures.size(), 5u);
  ASSERT_EQ(Hook::IndexBuffers(*h.tree).size(), 2u);
  EXPECT_EQ(h.renderer.TextureName(textures[0]), "scene\\wall.bmp");
  EXPECT_EQ(h.renderer.TextureName(textures[4]), "scene\\z.bmp");
  // File one's material 0 names its texture 1; file two's names its texture 2 = entry 4.
  EXPECT_EQ(static_cast<int32_t>(materials[0].m_Texture[0]), textures[1]);
  EXPECT_EQ(static_cast<int32_t>(materials[2].m_Texture[0]), textures[4]);
  EXPECT_EQ(materials[3].m_Texture[0], 77u);  // unused slot kept as stored
  EXPECT_EQ(batches[3].m_nMaterial, 2u);
  EXPECT_EQ(batches[4].m_nMaterial, 3u);
  for (int i = 0; i < 5; ++i) {
    const int file = i < 3 ? 0 : 1;
    EXPECT_EQ(batches[i].m_nBlendClass, file == 0 ? 0u : 2u);
    EXPECT_EQ(static_cast<int32_t>(batches[i].m_nIndexBuffer), Hook::IndexBuffers(*h.tree)[file]);
    EXPECT_EQ(static_cast<int32_t>(batches[i].m_nVertexBuffer), Hook::VertexBuffers(*h.tree)[file]);
    EXPECT_EQ(batches[i].m_flEyeDistance, 0.0f);
  }
  EXPECT_EQ(h.renderer.LiveVertexBuffers(), 2u);
}

// Every damage below must leave the tree and the renderer as they were.
void ExpectRefused(TreeHost& h, const std::vector<uint8_t>& bytes, const std::string& what) {
  EXPECT_FALSE(h.Load("bad.geo", bytes)) << what;
  EXPECT_TRUE(Hook::Batches(*h.tree).empty()) << what;
  EXPECT_TRUE(Hook::Materials(*h.tree).empty()) << what;
  EXPECT_TRUE(Hook::Textures(*h.tree).empty()) << what;
  EXPECT_EQ(h.renderer.TextureLoads(), 0u) << what;
  EXPECT_EQ(h.renderer.LiveBuffers(), 0u) << what;
}

void ExpectRefused(const std::vector<uint8_t>& bytes, const std::string& what) {
  TreeHost h;
  h.WriteTextures(SmallScene());
  ExpectRefused(h, bytes, what);
}

TEST(AbtFile, EveryTruncationIsRefused) {
  const std::vector<uint8_t> whole = WriteGeometry(SmallScene(2));
  TreeHost h;  // a refused file leaves the tree empty, so one tree serves every prefix
  h.WriteTextures(SmallScene());
  for (size_t n = 0; n < whole.size(); ++n)
    ExpectRefused(h, std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n)), "prefix " + std::to_string(n));
}

TEST(AbtFile, CorruptFieldsAreRefused) {
  const std::vector<std::pair<std::string, std::function<void(GeometrySpec&)>>> damages = {
      {"texture index", [](GeometrySpec& s) { s.materials[0].m_Texture[0] = 2; }},
      {"material index", [](GeometrySpec& s) { s.batches[1].m_nMaterial = 2; }},
      {"vertex buffer index", [](GeometrySpec& s) { s.batches[0].m_nVertexBuffer = 1; }},
      {"blend weights", [](GeometrySpec& s) { s.buffers[0].code = 5 << 2; }},
      {"index past vertex count", [](GeometrySpec& s) { s.indices[3] = 4; }},
      {"start index past the end", [](GeometrySpec& s) { s.batches[0].m_nStartIndex = 7; }},
      {"strip past the end", [](GeometrySpec& s) {
         s.batches[0].m_nPrimitiveKind = kAbtTriangleStrip;
         s.batches[0].m_nPrimitiveCount = 11;
       }},
      {"vertices past the buffer", [](GeometrySpec& s) { s.batches[1].m_nVertexCount = 5; }},
      {"batch on an empty buffer", [](GeometrySpec& s) {
         s.buffers.push_back({0, 0, {}});
         s.batches[0].m_nVertexBuffer = 1;
       }},
      {"name of 254 characters", [](GeometrySpec& s) { s.names[0] = std::string(254, 'n'); }},
      {"box of a single point", [](GeometrySpec& s) { s.batches[0].m_Box.m_vecMin = s.batches[0].m_Box.m_vecMax; }},
      {"box turned inside out", [](GeometrySpec& s) { std::swap(s.batches[1].m_Box.m_vecMin, s.batches[1].m_Box.m_vecMax); }},
      {"box not finite", [](GeometrySpec& s) { s.batches[0].m_Box.m_vecMax.y = std::nanf(""); }},
      {"centre below the tree's bound", [](GeometrySpec& s) { s.batches[1].m_vecCentre.x = -100000.0f; }},
  };
  for (const auto& [what, damage] : damages) {
    GeometrySpec s = SmallScene(2);
    damage(s);
    ExpectRefused(WriteGeometry(s), what);
  }

  const std::vector<uint8_t> good = WriteGeometry(SmallScene(2));
  std::vector<uint8_t> b = good;
  b[1] = 0x20;  // first tag 0x2000
  ExpectRefused(b, "tag order");
  b = good;
  b[6 + 72 + 1] = 0x30;  // the name pool's tag made 0x3000
  ExpectRefused(b, "missing chunk");
  b = good;
  b[2] = 71;  // a header of 71 bytes
  ExpectRefused(b, "short header");
  b = good;
  const size_t offsets = 6 + 72 + 6 + 19 + 6;  // first name offset ("wall.dds\0floor.dds\0" pool)
  b[offsets] = 19;
  ExpectRefused(b, "name offset outside the pool");
  b = good;
  b[6 + 72 + 6 + 18] = 'x';  // the last name loses its NUL
  ExpectRefused(b, "name without end");
}

TEST(AbtFile, RecordChunksMustHoldWholeRecords) {
  std::vector<uint8_t> bytes = WriteGeometry(SmallScene(1));
  // The materials chunk follows header, pool and offsets; claim one byte less of it and
  // shift nothing: its body is no longer whole records (and what follows is misread).
  const size_t materialHeader = 6 + 72 + 6 + 19 + 6 + 8;
  ASSERT_EQ(bytes[materialHeader + 1], 0x40);
  bytes[materialHeader + 2] -= 1;
  ExpectRefused(bytes, "material length");
}

TEST(AbtFile, EmptyBufferKeepsItsPlaceAndLongestNameLoads) {
  TreeHost h;
  GeometrySpec s = SmallScene(1);
  s.buffers.insert(s.buffers.begin(), {0, 0, {}});
  s.batches[0].m_nVertexBuffer = 1;
  s.names[0] = std::string(253, 'n');
  h.WriteTextures(s);
  ASSERT_TRUE(h.Load("a.geo", WriteGeometry(s)));
  ASSERT_EQ(Hook::VertexBuffers(*h.tree).size(), 2u);
  EXPECT_EQ(Hook::VertexBuffers(*h.tree)[0], -1);
  EXPECT_EQ(static_cast<int32_t>(Hook::Batches(*h.tree)[0].m_nVertexBuffer), Hook::VertexBuffers(*h.tree)[1]);
  EXPECT_EQ(h.renderer.LiveVertexBuffers(), 1u);
  EXPECT_EQ(h.renderer.TextureName(Hook::Textures(*h.tree)[0]), "scene\\" + std::string(253, 'n'));
}

TEST(AbtFile, VertexDataReachesTheRendererWithItsFormat) {
  TreeHost h;
  GeometrySpec s = SmallScene(1);
  s.buffers[0].code = 16;  // four blend values: stride 52, format 0x115C
  ASSERT_TRUE(h.Load("a.geo", WriteGeometry(s)));
  h.renderer.SetRecording(true);
  h.tree->RebuildRenderTree();
  D3DXMATRIX view, projection;
  const D3DXVECTOR3 eye(0.5f, 0.5f, -5.0f), at(0.5f, 0.5f, 0.0f), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, 0.898513f, 1.0f, 0.1f, 100.0f);
  h.renderer.SetTransform(2, &view);
  h.renderer.SetTransform(3, &projection);
  h.tree->DetermineVisibility();
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  const host::DrawRecord& d = h.renderer.Draws()[0];
  EXPECT_EQ(d.fvf, 0x115Cu);
  EXPECT_EQ(d.stride, 52u);
  ASSERT_EQ(d.vertices.size(), 4u * 52u);
  EXPECT_EQ(d.vertices[1], 7u);  // the writer's pattern byte i * 7 at vertex 0, byte 1
  EXPECT_EQ(d.indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
}

TEST(AbtFile, MissingFileNoRendererAndLoadAfterRebuild) {
  {
    TreeHost h;
    EXPECT_FALSE(h.tree->Load("absent.geo", 0));
    ASSERT_TRUE(h.Load("a.geo", WriteGeometry(SmallScene(3))));
    h.tree->RebuildRenderTree();
    ASSERT_NE(Hook::Root(*h.tree), nullptr);
    // Loading moves the batch container: the tree that pointed into it is dropped.
    ASSERT_TRUE(h.Load("b.geo", WriteGeometry(SmallScene(3, 10.0f))));
    EXPECT_EQ(Hook::Root(*h.tree), nullptr);
    h.tree->RebuildRenderTree();
    EXPECT_EQ(Hook::Root(*h.tree)->m_nBatchCount, 0u);  // six batches split the root
  }
  TreeHost bare(false);
  EXPECT_FALSE(bare.Load("a.geo", WriteGeometry(SmallScene(1))));
  EXPECT_TRUE(Hook::Batches(*bare.tree).empty());
}

TEST(AbtFile, DestructionReleasesWhatLoadMade) {
  TreeHost h;
  h.WriteTextures(SmallScene());
  ASSERT_TRUE(h.Load("a.geo", WriteGeometry(SmallScene(2))));
  EXPECT_EQ(h.renderer.LiveTextures(), 2u);
  EXPECT_EQ(h.renderer.LiveBuffers(), 2u);
  h.module.host.DestroyAll();
  EXPECT_EQ(h.renderer.LiveTextures(), 0u);
  EXPECT_EQ(h.renderer.LiveBuffers(), 0u);
}

}  // namespace
