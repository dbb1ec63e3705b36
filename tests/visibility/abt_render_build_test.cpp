// The render-geometry build: batches per record or per piece, the buffer each batch draws from,
// strips and lists, the colour file, and files the loader takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "frame/module_globals.h"
#include "support/abt_build_files.h"
#include "support/abt_build_fixture.h"
#include "support/abt_fixture.h"
#include "visibility/abt_strip_check.h"
#include "visibility/stripifier.h"
#include "win32/file_system.h"

using namespace abt_build_testing;
using abt_testing::TreeHost;

namespace {

struct Built {
  bool ok = false;
  std::vector<uint8_t> file;
  std::map<uint16_t, std::vector<uint8_t>> chunks;
  std::vector<AbtLeafBatch> batches;
};

Built Build(TreeHost& h, const std::vector<uint8_t>& input, const char* colours = nullptr) {
  h.Write("in.bin", input);
  std::filesystem::remove(h.dir.path / "out.geo");
  Built b;
  b.ok = h.tree->BuildRenderGeometry("in.bin", colours, "out.geo");
  b.file = ReadBytes(h.dir.path / "out.geo");
  for (const auto& [tag, body] : Chunks(b.file)) b.chunks[tag] = body;
  const std::vector<uint8_t>& batches = b.chunks[0x5000];
  ByteCursor c(batches.data(), batches.size());
  for (size_t i = 0; i < batches.size() / 80; ++i) {
    AbtLeafBatch batch;
    batch.Read(c);
    b.batches.push_back(batch);
  }
  return b;
}

std::vector<VertexFields> Corners(std::initializer_list<D3DXVECTOR3> points) {
  std::vector<VertexFields> v;
  for (const D3DXVECTOR3& p : points) {
    VertexFields f;
    f.position = p;
    v.push_back(f);
  }
  return v;
}

InputBuilder Quad() {
  InputBuilder b;
  b.Add(Corners({{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}}), {0, 1, 2, 0, 2, 3});
  return b;
}

TEST(AbtRenderBuild, ASmallInputGivesItsChunksAndLoads) {
  TreeHost h;
  InputBuilder in = Quad();
  in.in.names = {"wall.bmp"};
  in.in.materials[0] = host::MakeBuildMaterial(0);
  const std::vector<uint8_t> input = in.Bytes();
  const Built b = Build(h, input);
  ASSERT_TRUE(b.ok);
  // Tags in order, each body as the input has it or as the batch and buffer layouts make it.
  std::vector<uint16_t> tags;
  for (const auto& [tag, body] : Chunks(b.file)) tags.push_back(tag);
  EXPECT_EQ(tags, (std::vector<uint16_t>{0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000}));
  EXPECT_EQ(b.chunks.at(0x1000), std::vector<uint8_t>(input.begin(), input.begin() + 72));
  EXPECT_EQ(b.chunks.at(0x2000), std::vector<uint8_t>({'w', 'a', 'l', 'l', '.', 'b', 'm', 'p', 0}));
  EXPECT_EQ(b.chunks.at(0x3000), std::vector<uint8_t>({0, 0, 0, 0}));
  EXPECT_EQ(b.chunks.at(0x4000), std::vector<uint8_t>(in.in.materials[0].begin(), in.in.materials[0].end()));
  ASSERT_EQ(b.batches.size(), 1u);
  const AbtLeafBatch& batch = b.batches[0];
  EXPECT_EQ(batch.m_Box.m_vecMax, D3DXVECTOR3(1, 0, 1));
  EXPECT_EQ(batch.m_Box.m_vecMin, D3DXVECTOR3(0, 0, 0));
  EXPECT_EQ(batch.m_vecCentre, D3DXVECTOR3(0.5f, 0, 0.5f));
  EXPECT_EQ(batch.m_nVertexFormat, 0x152u);  // one coordinate pair, position, normal, diffuse
  EXPECT_EQ(batch.m_nVertexCount, 4u);
  EXPECT_EQ(batch.m_nMinVertexIndex, 0u);
  EXPECT_EQ(batch.m_nStartIndex, 0u);
  // Two triangles sharing an edge make one strip: its count is its indices less two.
  EXPECT_EQ(batch.m_nPrimitiveKind, kAbtTriangleStrip);
  const std::vector<uint8_t>& indexBytes = b.chunks.at(0x7000);
  const auto indexCount = static_cast<uint32_t>(indexBytes.size() / 2);
  EXPECT_EQ(batch.m_nPrimitiveCount, indexCount - 2);
  std::vector<uint16_t> idx(indexCount);
  std::memcpy(idx.data(), indexBytes.data(), indexBytes.size());
  std::set<std::array<uint16_t, 3>> drawn, expected = {Canonical({0, 1, 2}), Canonical({0, 2, 3})};
  for (auto t : DrawnTriangles(idx.data(), indexCount, true)) drawn.insert(Canonical(t));
  EXPECT_EQ(drawn, expected);
  // The vertex chunk: code, count and the input's vertices unchanged.
  const std::vector<uint8_t>& vb = b.chunks.at(0x6000);
  ASSERT_EQ(vb.size(), 8u + 4 * 36);
  EXPECT_EQ(b.file.size(), 7 * 6 + 72 + 9 + 4 + 56 + 80 + vb.size() + indexBytes.size());
  EXPECT_EQ(U32At(&vb[0]), 0u);
  EXPECT_EQ(U32At(&vb[4]), 4u);
  EXPECT_TRUE(std::equal(vb.begin() + 8, vb.end(), input.end() - 4 * 36));

  h.WriteTexture("wall.bmp");
  ASSERT_TRUE(h.tree->Load("out.geo", 0));
  EXPECT_EQ(abt_testing::Hook::Batches(*h.tree).size(), 1u);
}

using PositionFace = std::array<std::array<float, 3>, 3>;

std::array<float, 3> PositionAt(const uint8_t* vertex) {
  return {FloatAt(vertex), FloatAt(vertex + 4), FloatAt(vertex + 8)};
}

// Every face the file draws, by its corners' positions in drawing order, sorted.
std::vector<PositionFace> FacesOfFile(const Built& b) {
  std::vector<const uint8_t*> buffers;
  std::vector<uint32_t> strides;
  const std::vector<uint8_t>& vb = b.chunks.at(0x6000);
  for (size_t at = 0; at + 8 <= vb.size();) {
    const uint32_t stride = Layout(U32At(&vb[at])).stride;
    buffers.push_back(&vb[at + 8]);
    strides.push_back(stride);
    at += 8 + static_cast<size_t>(U32At(&vb[at + 4])) * stride;
  }
  const std::vector<uint8_t>& ib = b.chunks.at(0x7000);
  std::vector<PositionFace> faces;
  for (const AbtLeafBatch& batch : b.batches) {
    const bool strip = batch.m_nPrimitiveKind == kAbtTriangleStrip;
    std::vector<uint16_t> idx(strip ? batch.m_nPrimitiveCount + 2 : 3 * batch.m_nPrimitiveCount);
    std::memcpy(idx.data(), &ib[2 * batch.m_nStartIndex], 2 * idx.size());
    for (const auto& t : DrawnTriangles(idx.data(), static_cast<uint32_t>(idx.size()), strip)) {
      PositionFace f;
      for (int k = 0; k < 3; ++k)
        f[k] = PositionAt(buffers[batch.m_nVertexBuffer] +
                          static_cast<size_t>(batch.m_nMinVertexIndex + t[k]) * strides[batch.m_nVertexBuffer]);
      faces.push_back(RotateToLeast(f));
    }
  }
  std::sort(faces.begin(), faces.end());
  return faces;
}

// Every face of the input once, by its corners' positions, sorted.
std::vector<PositionFace> FacesOfInput(const host::BuildInput& in) {
  std::set<PositionFace> faces;
  for (const host::BuildInputRecord& r : in.records) {
    const host::BuildInputBuffer& buffer = in.buffers[r.buffer];
    const uint32_t stride = Layout(buffer.code).stride;
    for (uint32_t i = 3 * r.firstTriangle; i < 3 * (r.firstTriangle + r.triangleCount); i += 3) {
      PositionFace f;
      for (int k = 0; k < 3; ++k)
        f[k] = PositionAt(&buffer.bytes[static_cast<size_t>(r.firstVertex + in.triangles[i + k]) * stride]);
      faces.insert(RotateToLeast(f));
    }
  }
  return std::vector<PositionFace>(faces.begin(), faces.end());
}

TEST(AbtRenderBuild, EveryFaceIsDrawnOnceWithItsWinding) {
  // Faces that no single strip covers exactly: the sample rooms (walls with a face into each
  // room, edges of more than two faces), a quad given both ways round, and two quads that run
  // their shared edge the same way.
  TreeHost h;
  std::vector<host::BuildInput> inputs(1);
  win32::SetResourceRoot(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource");
  std::string error;
  const bool rooms = host::BuildInputFromObj("models\\rooms.obj", &inputs[0], &error);
  win32::SetResourceRoot(h.dir.path.string());
  ASSERT_TRUE(rooms) << error;
  const std::vector<VertexFields> quad = Corners({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}});
  InputBuilder both;
  both.Add(quad, {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2});
  InputBuilder opposite;
  opposite.Add(Corners({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {2, 0, 0}, {2, 0, 1}}),
               {0, 1, 2, 0, 2, 3, 1, 5, 4, 1, 2, 5});
  for (InputBuilder* b : {&both, &opposite}) {
    b->Frame();
    inputs.push_back(b->in);
  }
  for (const host::BuildInput& in : inputs) {
    const Built b = Build(h, host::WriteBuildInput(in));
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(FacesOfFile(b), FacesOfInput(in)) << in.triangles.size() / 3 << " triangles";
  }
}

TEST(AbtRenderBuild, AStripPassesOnlyWhenItDrawsEachFaceOnceWithItsWinding) {
  // The faces (0 1 2) and (2 1 3) of a quad; strips drawn as the loader draws them.
  const std::vector<uint16_t> quad = {0, 1, 2, 2, 1, 3};
  struct Case {
    std::vector<uint16_t> strip;
    bool exact;
  };
  const Case cases[] = {
      {{0, 1, 2, 3}, true},
      {{0, 0, 0, 1, 2, 3, 3}, true},          // degenerate ends draw nothing
      {{0, 1, 2}, false},                     // one face left out
      {{0, 1, 2, 3, 4}, false},               // one face of its own
      {{3, 1, 2, 0}, false},                  // both faces mirrored
      {{0, 1, 2, 3, 3, 0, 0, 1, 2, 3}, false},  // every face twice
      {{0, 1, 2, 3, 3, 0, 0, 1, 2}, false},     // the first face twice
  };
  for (const Case& c : cases)
    EXPECT_EQ(AbtStripDrawsExactly(quad, c.strip.data(), static_cast<uint32_t>(c.strip.size())), c.exact)
        << ::testing::PrintToString(c.strip);
  // A face the list gives twice is drawn once; one the list gives both ways round needs both.
  EXPECT_TRUE(AbtStripDrawsExactly({0, 1, 2, 1, 2, 0}, std::vector<uint16_t>{0, 1, 2}.data(), 3));
  EXPECT_FALSE(AbtStripDrawsExactly({0, 1, 2, 0, 2, 1}, std::vector<uint16_t>{0, 1, 2}.data(), 3));
}

TEST(AbtRenderBuild, ARecordOver800TrianglesIsSplitIntoBatches) {
  for (int extra : {0, 1}) {
    TreeHost h;
    InputBuilder in;
    std::vector<VertexFields> v;
    std::vector<uint16_t> t;
    Sheet(20, 20, 1.0f, 0, 0, 0, &v, &t);  // 800 triangles
    if (extra == 1) t.insert(t.end(), {0, 21, 1});
    in.Add(v, t);
    const Built b = Build(h, in.Bytes());
    ASSERT_TRUE(b.ok);
    if (extra == 0) {
      ASSERT_EQ(b.batches.size(), 1u);
      continue;
    }
    ASSERT_GE(b.batches.size(), 2u);
    uint32_t drawnTotal = 0;
    for (const AbtLeafBatch& batch : b.batches) {
      // Every piece draws from the record's vertices (and any cut added) at one base.
      EXPECT_EQ(batch.m_nMinVertexIndex, 0u);
      EXPECT_GE(batch.m_nVertexCount, 441u);
      std::vector<uint16_t> idx(batch.m_nPrimitiveKind == kAbtTriangleStrip ? batch.m_nPrimitiveCount + 2
                                                                            : 3 * batch.m_nPrimitiveCount);
      std::memcpy(idx.data(), &b.chunks.at(0x7000)[2 * batch.m_nStartIndex], 2 * idx.size());
      drawnTotal += static_cast<uint32_t>(
          DrawnTriangles(idx.data(), static_cast<uint32_t>(idx.size()), batch.m_nPrimitiveKind == kAbtTriangleStrip)
              .size());
    }
    EXPECT_GE(drawnTotal, 801u);
    ASSERT_TRUE(h.tree->Load("out.geo", 0));
  }
}

// `count` vertices with one triangle over the first three.
std::vector<VertexFields> Many(uint32_t count, float x) {
  std::vector<VertexFields> v(count);
  v[0].position = D3DXVECTOR3(x, 0, 0);
  v[1].position = D3DXVECTOR3(x, 0, 1);
  v[2].position = D3DXVECTOR3(x + 1, 0, 0);
  for (uint32_t i = 3; i < count; ++i) v[i].position = v[0].position;
  return v;
}

TEST(AbtRenderBuild, AFullBufferSendsTheRecordToAnotherOfTheSameCode) {
  // Buffer 0 (code 4, 44 bytes) fills with the first record; the second goes past the
  // buffer 1 of code 1 (also 44 bytes, another layout) to buffer 2 of code 4.
  TreeHost h;
  InputBuilder in;
  in.Add(Many(40000, 0), {0, 1, 2}, 4);
  in.Add(Many(40000, 2), {0, 1, 2}, 4, 0);
  in.Add(Many(10, 4), {0, 1, 2}, 1);
  in.Add(Many(10, 6), {0, 1, 2}, 4);
  ASSERT_EQ(Layout(1).stride, Layout(4).stride);
  const Built b = Build(h, in.Bytes());
  ASSERT_TRUE(b.ok);
  ASSERT_EQ(b.batches.size(), 4u);
  EXPECT_EQ(b.batches[1].m_nVertexBuffer, 2u);
  EXPECT_EQ(b.batches[1].m_nMinVertexIndex, 0u);
  EXPECT_EQ(b.batches[2].m_nVertexBuffer, 1u);
  EXPECT_EQ(b.batches[3].m_nVertexBuffer, 2u);
  EXPECT_EQ(b.batches[3].m_nMinVertexIndex, 40000u);
  EXPECT_EQ(U32At(&b.chunks.at(0x1000)[40]), 3u);  // no new buffer
  ASSERT_TRUE(h.tree->Load("out.geo", 0));
}

TEST(AbtRenderBuild, ARecordThatFitsNowhereMakesANewBufferAndRaisesTheCount) {
  TreeHost h;
  InputBuilder in;
  in.Add(Many(40000, 0), {0, 1, 2}, 0);
  in.Add(Many(40000, 2), {0, 1, 2}, 0, 0);
  const Built b = Build(h, in.Bytes());
  ASSERT_TRUE(b.ok);
  ASSERT_EQ(b.batches.size(), 2u);
  EXPECT_EQ(b.batches[1].m_nVertexBuffer, 1u);
  EXPECT_EQ(U32At(&b.chunks.at(0x1000)[40]), 2u);
  const std::vector<uint8_t>& vb = b.chunks.at(0x6000);
  ASSERT_EQ(vb.size(), 2 * (8u + 40000u * 36));
  EXPECT_EQ(U32At(&vb[8 + 40000 * 36]), 0u);       // the new buffer copies the code
  EXPECT_EQ(U32At(&vb[8 + 40000 * 36 + 4]), 40000u);
  ASSERT_TRUE(h.tree->Load("out.geo", 0));

  // A record of 65,536 vertices fits no buffer: the build fails and writes nothing.
  InputBuilder big;
  big.Add(Many(65536, 0), {0, 1, 2});
  EXPECT_FALSE(Build(h, big.Bytes()).ok);
  EXPECT_FALSE(std::filesystem::exists(h.dir.path / "out.geo"));
}

TEST(AbtRenderBuild, TrianglesThatFormNoSingleStripAreAList) {
  TreeHost h;
  InputBuilder in;
  std::vector<VertexFields> v;
  std::vector<uint16_t> t;
  // Three triangles apart from each other, with strips left unjoined: three strips, so the
  // batch is drawn as one list.
  Scatter(3, &v, &t);
  in.Add(v, t);
  Stripifier::SetJoinStrips(false);
  const Built b = Build(h, in.Bytes());
  Stripifier::ResetSettings();
  ASSERT_TRUE(b.ok);
  ASSERT_EQ(b.batches.size(), 1u);
  const AbtLeafBatch& batch = b.batches[0];
  const bool strip = batch.m_nPrimitiveKind == kAbtTriangleStrip;
  const uint32_t indexCount = static_cast<uint32_t>(b.chunks.at(0x7000).size() / 2);
  EXPECT_EQ(batch.m_nPrimitiveCount, strip ? indexCount - 2 : indexCount / 3);
  std::vector<uint16_t> idx(indexCount);
  std::memcpy(idx.data(), b.chunks.at(0x7000).data(), 2 * indexCount);
  std::set<std::array<uint16_t, 3>> drawn, expected;
  for (auto tri : DrawnTriangles(idx.data(), indexCount, strip)) drawn.insert(Canonical(tri));
  for (size_t i = 0; i < t.size(); i += 3) expected.insert(Canonical({t[i], t[i + 1], t[i + 2]}));
  EXPECT_EQ(drawn, expected);
  EXPECT_EQ(batch.m_nPrimitiveKind, kAbtTriangleList);
}

TEST(AbtRenderBuild, FacesOnACrowdedEdgeAreSaidOnceABatchWithTheirCount) {
  // Two fans of four faces round one edge each, strips left unjoined: the batch is tried as a
  // strip and made a list, and the four faces past their edge's second are said once.
  TreeHost h;
  InputBuilder in;
  std::vector<VertexFields> v;
  std::vector<uint16_t> t;
  for (float x : {0.0f, 5.0f}) {
    const auto base = static_cast<uint16_t>(v.size());
    for (const D3DXVECTOR3& p : {D3DXVECTOR3(x, 0, 0), D3DXVECTOR3(x + 1, 0, 0), D3DXVECTOR3(x, 0, 1),
                                 D3DXVECTOR3(x, 0, -1), D3DXVECTOR3(x, 1, 0), D3DXVECTOR3(x, -1, 0)}) {
      v.emplace_back();
      v.back().position = p;
    }
    for (uint16_t i : {0, 1, 2, 1, 0, 3, 0, 1, 4, 1, 0, 5}) t.push_back(static_cast<uint16_t>(base + i));
  }
  in.Add(v, t);
  Stripifier::SetJoinStrips(false);
  testing::internal::CaptureStdout();
  const Built b = Build(h, in.Bytes());
  const std::string printed = testing::internal::GetCapturedStdout();
  Stripifier::ResetSettings();
  ASSERT_TRUE(b.ok);
  ASSERT_EQ(b.batches.size(), 1u);
  EXPECT_EQ(b.batches[0].m_nPrimitiveKind, kAbtTriangleList);
  EXPECT_EQ(printed, "BuildStripifyInfo: > 2 triangles on an edge... uncertain consequences (4 times)\n");
}

TEST(AbtRenderBuild, ABatchOfNothingDrawableIsNotMade) {
  TreeHost h;
  InputBuilder in;
  in.Add(Corners({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}), {0, 1, 1, 2, 2, 2});  // degenerate only
  in.Add(Corners({{5, 5, 5}, {5, 5, 5}, {5, 5, 5}}), {0, 1, 2});           // a point
  in.Add(Corners({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}), {0, 1, 2});
  const Built b = Build(h, in.Bytes());
  ASSERT_TRUE(b.ok);
  ASSERT_EQ(b.batches.size(), 1u);
  EXPECT_EQ(b.batches[0].m_nPrimitiveCount, 1u);
  ASSERT_TRUE(h.tree->Load("out.geo", 0));
}

TEST(AbtRenderBuild, AColourFileGoesIntoEachFormatsDiffuseColour) {
  TreeHost h;
  InputBuilder in;
  in.Add(Corners({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}), {0, 1, 2}, 0);
  std::vector<VertexFields> skinned = Corners({{0, 1, 0}, {1, 1, 0}, {0, 1, 1}});
  for (VertexFields& f : skinned) f.fill = 0x5A;
  in.Add(skinned, {0, 1, 2}, 8);
  const std::vector<uint8_t> input = in.Bytes();
  std::vector<uint8_t> colours;
  for (uint32_t c = 1; c <= 6; ++c) abt_testing::PutU32(colours, 0xAA000000u + c);
  h.Write("colours.bin", colours);
  const Built b = Build(h, input, "colours.bin");
  ASSERT_TRUE(b.ok);
  const std::vector<uint8_t>& vb = b.chunks.at(0x6000);
  const Layout plain(0), weighted(8);
  EXPECT_EQ(U32At(&vb[8 + 2 * plain.stride + plain.diffuse]), 0xAA000003u);
  const size_t second = 8 + 3 * plain.stride + 8;
  EXPECT_EQ(U32At(&vb[second + weighted.diffuse]), 0xAA000004u);
  EXPECT_EQ(weighted.diffuse, 32u);
  // The weight and the index word stay as they were, and so does the normal.
  for (uint32_t i = 12; i < weighted.normal; ++i) EXPECT_EQ(vb[second + i], 0x5A) << i;
  EXPECT_EQ(FloatAt(&vb[second + weighted.normal + 4]), 1.0f);

  // No colour file: the colours of the input stay.
  const Built none = Build(h, input, "missing.bin");
  ASSERT_TRUE(none.ok);
  EXPECT_EQ(U32At(&none.chunks.at(0x6000)[8 + plain.diffuse]), 0xFFFFFFFFu);
  // Fewer colours than vertices, or a colour file that opens but does not read: the build fails.
  colours.resize(5 * 4);
  h.Write("short.bin", colours);
  EXPECT_FALSE(Build(h, input, "short.bin").ok);
  EXPECT_FALSE(std::filesystem::exists(h.dir.path / "out.geo"));
  FailingFiles failing(h.ini.get());
  failing.failReadsOf = "colours.bin";
  IIniService* real = g_pIniService;
  g_pIniService = &failing;
  EXPECT_FALSE(Build(h, input, "colours.bin").ok);
  EXPECT_TRUE(Build(h, input, nullptr).ok);
  g_pIniService = real;
}

TEST(AbtRenderBuild, EveryKindOfFailureNamesItsOwnReason) {
  TreeHost h;
  const std::vector<uint8_t> input = Quad().Bytes();
  std::vector<uint8_t> wrongMagic = input, cut(input.begin(), input.end() - 10), colours(4 * 3, 0);
  wrongMagic[0] = 0;
  std::vector<uint8_t> endless = input;  // a scene size of +infinity along x
  const uint8_t infinity[4] = {0x00, 0x00, 0x80, 0x7F};
  std::copy(infinity, infinity + 4, endless.begin() + 44);
  InputBuilder big;
  big.Add(Many(65536, 0), {0, 1, 2});
  h.Write("in.bin", input);
  h.Write("magic.bin", wrongMagic);
  h.Write("cut.bin", cut);
  h.Write("endless.bin", endless);
  h.Write("big.bin", big.Bytes());
  h.Write("short.bin", colours);
  h.Write("colours.bin", std::vector<uint8_t>(4 * 4, 0));
  FailingFiles failing(h.ini.get());
  failing.failReadsOf = "colours.bin";
  IIniService* real = g_pIniService;
  g_pIniService = &failing;
  std::set<std::string> reasons;
  const auto fails = [&](const char* in, const char* colour, const char* out) {
    const bool ok = h.tree->BuildRenderGeometry(in, colour, out);
    const char* why = h.tree->LastBuildStats().m_szFailure;
    EXPECT_FALSE(ok) << in;
    EXPECT_NE(why, nullptr) << in;
    if (why != nullptr) reasons.insert(why);
  };
  fails("absent.bin", nullptr, "out.geo");
  fails("magic.bin", nullptr, "out.geo");
  fails("cut.bin", nullptr, "out.geo");
  fails("endless.bin", nullptr, "out.geo");
  fails("big.bin", nullptr, "out.geo");
  fails("in.bin", "short.bin", "out.geo");
  fails("in.bin", "colours.bin", "out.geo");
  fails("in.bin", nullptr, "..\\out.geo");
  failing.writesBeforeFailure = 3;
  fails("in.bin", nullptr, "out.geo");
  EXPECT_EQ(reasons.size(), 9u);
  failing.writesBeforeFailure = -1;
  EXPECT_TRUE(h.tree->BuildRenderGeometry("in.bin", nullptr, "out.geo"));
  EXPECT_EQ(h.tree->LastBuildStats().m_szFailure, nullptr);
  // The tree builds read the input alike and name the same reasons.
  EXPECT_FALSE(h.tree->BuildCollisionTree("magic.bin", "out.collision"));
  EXPECT_EQ(reasons.count(h.tree->LastBuildStats().m_szFailure), 1u);
  EXPECT_FALSE(h.tree->BuildOccluderTree("in.bin", "..\\out.occluder"));
  EXPECT_EQ(reasons.count(h.tree->LastBuildStats().m_szFailure), 1u);
  g_pIniService = real;
}

TEST(AbtRenderBuild, AFailedWriteOrABadInputAnswersFalse) {
  TreeHost h;
  const std::vector<uint8_t> input = Quad().Bytes();
  FailingFiles failing(h.ini.get());
  IIniService* real = g_pIniService;
  g_pIniService = &failing;
  // Seven chunk headers and five bodies (block A and the names are empty).
  for (int writes : {0, 1, 5, 11}) {
    failing.writesBeforeFailure = writes;
    EXPECT_FALSE(Build(h, input).ok) << writes;
  }
  failing.writesBeforeFailure = 12;
  EXPECT_TRUE(Build(h, input).ok);
  g_pIniService = real;

  std::vector<uint8_t> wrong = input;
  wrong[0] = 0;
  EXPECT_FALSE(Build(h, wrong).ok);
  EXPECT_FALSE(std::filesystem::exists(h.dir.path / "out.geo"));
  EXPECT_FALSE(h.tree->BuildRenderGeometry("absent.bin", nullptr, "out.geo"));
}

}  // namespace
