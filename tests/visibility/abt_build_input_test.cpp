// The build record's stream and the build input: every section, count, range and index checked
// against the file before a build takes it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/abt_build_fixture.h"
#include "support/abt_fixture.h"
#include "visibility/abt_build_input.h"

using namespace abt_build_testing;

namespace {

// A memory medium that fails at the `failAt`-th transfer (counting from 0; -1: never).
struct Medium {
  Medium() = default;
  explicit Medium(std::vector<uint8_t> b) : bytes(std::move(b)) {}
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  int calls = 0;
  int failAt = -1;
  std::vector<uint32_t> sizes;
};

bool WriteTo(void* data, uint32_t size, void* context) {
  auto* m = static_cast<Medium*>(context);
  if (m->calls++ == m->failAt) return false;
  m->sizes.push_back(size);
  const auto* p = static_cast<const uint8_t*>(data);
  m->bytes.insert(m->bytes.end(), p, p + size);
  return true;
}

bool ReadFrom(void* data, uint32_t size, void* context) {
  auto* m = static_cast<Medium*>(context);
  if (m->calls++ == m->failAt || size > m->bytes.size() - m->pos) return false;
  std::memcpy(data, m->bytes.data() + m->pos, size);
  m->pos += size;
  return true;
}

AbtBuildRecord RecordWithItems(int n) {
  AbtBuildRecord r;
  r.m_nCarried0 = 0x01020304;
  r.m_vecCarried[1] = 2.5f;
  r.m_nVertexBuffer = 3;
  r.m_nTriangleCount = 4;
  r.m_nFirstTriangle = 5;
  r.m_nVertexCount = 6;
  r.m_nFirstVertex = 7;
  r.m_nMaterial = 8;
  r.m_Carried32[31] = 0xAB;
  r.m_nCarried4 = 9;
  for (int i = 0; i < n; ++i) {
    AbtBuildRecord::Item item{};
    item.fill(static_cast<uint8_t>(i + 1));
    r.m_Items.push_back(item);
  }
  return r;
}

TEST(AbtBuildRecord, StreamsFieldByFieldAndReadsBackWhole) {
  const AbtBuildRecord r = RecordWithItems(2);
  Medium m;
  ASSERT_TRUE(r.Write(WriteTo, &m));
  EXPECT_EQ(m.sizes, (std::vector<uint32_t>{4, 4, 4, 12, 4, 4, 4, 4, 4, 4, 4, 32, 16, 4, 4, 64, 64}));
  ASSERT_EQ(m.bytes.size(), 108u + 128u);
  // The used fields at their stream offsets.
  EXPECT_EQ(U32At(&m.bytes[28]), 3u);
  EXPECT_EQ(U32At(&m.bytes[32]), 4u);
  EXPECT_EQ(U32At(&m.bytes[36]), 5u);
  EXPECT_EQ(U32At(&m.bytes[40]), 6u);
  EXPECT_EQ(U32At(&m.bytes[44]), 7u);
  EXPECT_EQ(U32At(&m.bytes[48]), 8u);
  EXPECT_EQ(m.bytes[83], 0xAB);
  EXPECT_EQ(U32At(&m.bytes[104]), 2u);
  EXPECT_EQ(FloatAt(&m.bytes[16]), 2.5f);

  AbtBuildRecord back = RecordWithItems(5);
  back.m_nMaterial = 99;
  Medium in{m.bytes};
  ASSERT_TRUE(back.Read(ReadFrom, &in));
  EXPECT_EQ(in.pos, in.bytes.size());
  EXPECT_EQ(back.m_nMaterial, 8u);
  EXPECT_EQ(back.m_nCarried0, 0x01020304u);
  EXPECT_EQ(back.m_Carried32[31], 0xAB);
  ASSERT_EQ(back.m_Items.size(), 2u);  // five held, two read: exactly two
  EXPECT_EQ(back.m_Items[1][63], 2);

  AbtBuildRecord empty = RecordWithItems(0);
  Medium e;
  ASSERT_TRUE(empty.Write(WriteTo, &e));
  EXPECT_EQ(e.bytes.size(), 108u);
  Medium ein{e.bytes};
  AbtBuildRecord emptyBack = RecordWithItems(3);
  ASSERT_TRUE(emptyBack.Read(ReadFrom, &ein));
  EXPECT_TRUE(emptyBack.m_Items.empty());
}

TEST(AbtBuildRecord, FailedTransfersAndBadCountsFail) {
  EXPECT_FALSE(RecordWithItems(1).Write(nullptr, nullptr));
  AbtBuildRecord r;
  EXPECT_FALSE(r.Read(nullptr, nullptr));
  Medium stream;
  ASSERT_TRUE(RecordWithItems(2).Write(WriteTo, &stream));
  // Every transfer in turn fails: the operation fails, and from the count on the items are as
  // they were.
  for (int fail = 0; fail < 17; ++fail) {
    Medium w;
    w.failAt = fail;
    EXPECT_FALSE(RecordWithItems(2).Write(WriteTo, &w)) << fail;
    Medium in{stream.bytes};
    in.failAt = fail;
    AbtBuildRecord held = RecordWithItems(5);
    EXPECT_FALSE(held.Read(ReadFrom, &in)) << fail;
    if (fail >= 14) {
      EXPECT_EQ(held.m_Items.size(), 5u) << fail;
    }
  }
  // A negative count, and a count far beyond the medium, fail without making that many items.
  for (uint32_t count : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}) {
    Medium in{stream.bytes};
    for (int i = 0; i < 4; ++i) in.bytes[104 + i] = static_cast<uint8_t>(count >> (8 * i));
    AbtBuildRecord held = RecordWithItems(1);
    EXPECT_FALSE(held.Read(ReadFrom, &in)) << count;
    EXPECT_EQ(held.m_Items.size(), 1u);
  }
}

// One record of two triangles over four vertices of code 0, one material: 72 + 56 + 108 + 12 +
// 8 + 4 x 36 bytes.
InputBuilder Quad() {
  InputBuilder b;
  std::vector<VertexFields> v(4);
  v[0].position = D3DXVECTOR3(0, 0, 0);
  v[1].position = D3DXVECTOR3(0, 0, 1);
  v[2].position = D3DXVECTOR3(1, 0, 1);
  v[3].position = D3DXVECTOR3(1, 0, 0);
  b.Add(v, {0, 1, 2, 0, 2, 3});
  return b;
}

bool Parses(const std::vector<uint8_t>& bytes) {
  AbtBuildInput in;
  const bool ok = ParseBuildInput(bytes, &in);
  if (!ok) {
    EXPECT_TRUE(in.m_Records.empty() && in.m_Buffers.empty() && in.m_Bytes.empty());
  }
  return ok;
}

void PutU32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(AbtBuildInput, ReadsTheSectionsInOrder) {
  InputBuilder b = Quad();
  b.in.names = {"a.tga", "bb.tga"};
  b.in.firstArrayCount = 3;
  b.in.records80 = 1;
  b.in.records108 = 2;
  b.in.materials.push_back(host::MakeBuildMaterial(1));
  const std::vector<uint8_t> bytes = b.Bytes();
  ASSERT_EQ(bytes.size(), 72u + 13 + 12 + 8 + 2 * 56 + 80 + 216 + 108 + 12 + 8 + 4 * 36);
  AbtBuildInput in;
  ASSERT_TRUE(ParseBuildInput(bytes, &in));
  EXPECT_EQ(in.m_nBlockASize, 13u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.m_pBlockA) + 6), "bb.tga");
  EXPECT_EQ(in.m_nNameCount, 2u);
  EXPECT_EQ(U32At(in.m_pNameOffsets + 4), 6u);
  EXPECT_EQ(in.m_nMaterialCount, 2u);
  EXPECT_EQ(U32At(in.m_pMaterials + 56 + 40), 1u);
  ASSERT_EQ(in.m_Records.size(), 1u);
  EXPECT_EQ(in.m_Records[0].m_nTriangleCount, 2u);
  EXPECT_EQ(in.Corner(1, 2), 3);
  ASSERT_EQ(in.m_Buffers.size(), 1u);
  EXPECT_EQ(in.m_Buffers[0].VertexCount(), 4u);
  EXPECT_EQ(FloatAt(in.Vertex(in.m_Records[0], 2)), 1.0f);
  EXPECT_EQ(in.m_vecSize, D3DXVECTOR3(1, 0, 1));
  EXPECT_EQ(in.m_vecCentre, D3DXVECTOR3(0.5f, 0, 0.5f));
}

TEST(AbtBuildInput, EveryTruncationAndTheWrongMagicFail) {
  const std::vector<uint8_t> bytes = Quad().Bytes();
  ASSERT_TRUE(Parses(bytes));
  for (size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(Parses(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)))) << n;
  std::vector<uint8_t> magic = bytes;
  magic[3] = '0';
  EXPECT_FALSE(Parses(magic));
}

TEST(AbtBuildInput, CountsBeyondTheFileFail) {
  const std::vector<uint8_t> bytes = Quad().Bytes();
  // Each header count made huge or negative: the sections no longer fit in the file.
  for (size_t at : {8, 12, 16, 20, 24, 28, 32, 36, 40}) {
    for (uint32_t v : {0xFFFFFFFFu, 0x80000000u, 0x10000000u}) {
      std::vector<uint8_t> b = bytes;
      PutU32At(b, at, v);
      EXPECT_FALSE(Parses(b)) << at << " " << v;
    }
  }
  // A second record announced: the file holds 108 bytes too few for it.
  std::vector<uint8_t> b = bytes;
  PutU32At(b, 32, 2);
  EXPECT_FALSE(Parses(b));
  // Scene size or centre not finite.
  b = bytes;
  const float inf = std::numeric_limits<float>::infinity();
  std::memcpy(&b[48], &inf, 4);
  EXPECT_FALSE(Parses(b));
}

TEST(AbtBuildInput, RecordsOutsideTheirArraysFail) {
  const size_t record = 72 + 56;  // no block A, arrays or skipped records
  const size_t triangles = record + 108;
  const size_t descriptors = triangles + 12;
  const size_t vertices = descriptors + 8;
  const std::vector<uint8_t> good = Quad().Bytes();
  struct Damage {
    size_t at;
    uint32_t value;
    const char* what;
  };
  const Damage damages[] = {
      {record + 28, 1, "buffer index"},
      {record + 48, 1, "material index"},
      {record + 32, 3, "triangle count past the array"},
      {record + 36, 1, "first triangle past the array"},
      {record + 40, 5, "vertex count past the buffer"},
      {record + 44, 1, "first vertex past the buffer"},
      {record + 44, 0xFFFFFFFFu, "first vertex wrapping"},
      {descriptors, 5 << 2, "five blend values"},
      {descriptors + 4, 4 * 36 - 1, "byte size not whole vertices"},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> b = good;
    PutU32At(b, d.at, d.value);
    EXPECT_FALSE(Parses(b)) << d.what;
  }
  // A triangle index at the record's vertex count.
  std::vector<uint8_t> b = good;
  b[triangles + 10] = 4;
  EXPECT_FALSE(Parses(b));
  // A position that is not finite.
  b = good;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::memcpy(&b[vertices + 36 + 4], &nan, 4);
  EXPECT_FALSE(Parses(b));
  // Format code 16 (four blend values) and code 4 (one) are read with their own strides.
  for (uint32_t code : {4u, 16u, 3u}) {
    InputBuilder c;
    std::vector<VertexFields> v(3);
    v[1].position = D3DXVECTOR3(1, 0, 0);
    v[2].position = D3DXVECTOR3(0, 0, 1);
    c.Add(v, {0, 1, 2}, code);
    AbtBuildInput in;
    ASSERT_TRUE(ParseBuildInput(c.Bytes(), &in)) << code;
    EXPECT_EQ(in.m_Buffers[0].m_Layout.m_nStride, Layout(code).stride);
    EXPECT_EQ(FloatAt(in.Vertex(in.m_Records[0], 1)), 1.0f);
  }
}

TEST(AbtBuildInput, ARecordSpansAtMost65536Vertices) {
  for (uint32_t count : {65536u, 65537u}) {
    InputBuilder b;
    std::vector<VertexFields> v(count);
    b.Add(v, {0, 1, 2});
    EXPECT_EQ(Parses(b.Bytes()), count == 65536u) << count;
  }
}

}  // namespace
