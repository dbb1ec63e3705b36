#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/renderer.h"

namespace {

struct PosColour {
  float x, y, z;
  uint32_t colour;
};
static_assert(sizeof(PosColour) == 16);

int FilledBuffer(host::Renderer& r, const std::vector<PosColour>& vertices, DWORD pool = D3DPOOL_MANAGED) {
  const int vb = r.CreateVertexBuffer(D3DFVF_XYZ | D3DFVF_DIFFUSE, static_cast<UINT>(vertices.size() * 16),
                                      D3DUSAGE_WRITEONLY, pool);
  void* p = r.LockVertexBuffer(vb, 0, 0, 0);
  if (p) std::memcpy(p, vertices.data(), vertices.size() * 16);
  r.UnlockVertexBuffer(vb);
  return vb;
}

std::vector<PosColour> Ramp(int n) {
  std::vector<PosColour> v;
  for (int i = 0; i < n; ++i) v.push_back({float(i), float(i * 2), float(i * 3), 0xFF000000u | uint32_t(i)});
  return v;
}

TEST(RendererDraw, BufferLocksReturnTheMemoryAtTheOffsetAsked) {
  host::Renderer r;
  const int vb = r.CreateVertexBuffer(D3DFVF_XYZ, 120, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
  const int ib = r.CreateIndexBuffer(64, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, D3DFMT_INDEX16);
  ASSERT_GE(vb, 1);
  ASSERT_GE(ib, 1);
  EXPECT_NE(vb, ib);

  auto* whole = static_cast<uint8_t*>(r.LockVertexBuffer(vb, 0, 0, 0));
  ASSERT_NE(whole, nullptr);
  r.UnlockVertexBuffer(vb);
  auto* part = static_cast<uint8_t*>(r.LockVertexBuffer(vb, 24, 36, D3DLOCK_NOOVERWRITE));
  EXPECT_EQ(part, whole + 24);
  std::memset(part, 0xAB, 36);
  r.UnlockVertexBuffer(vb);
  auto* tail = static_cast<uint8_t*>(r.LockVertexBuffer(vb, 100, 0, 0));  // to the end
  EXPECT_EQ(tail, whole + 100);
  r.UnlockVertexBuffer(vb);
  EXPECT_EQ(whole[23], 0);
  EXPECT_EQ(whole[24], 0xAB);
  EXPECT_EQ(whole[59], 0xAB);
  EXPECT_EQ(whole[60], 0);

  // Beyond the end: refused, nothing stays locked.
  EXPECT_EQ(r.LockVertexBuffer(vb, 100, 21, 0), nullptr);
  EXPECT_EQ(r.LockVertexBuffer(vb, 121, 0, 0), nullptr);
  EXPECT_EQ(r.LockIndexBuffer(ib, 60, 8, 0), nullptr);
  EXPECT_NE(r.LockIndexBuffer(ib, 60, 4, 0), nullptr);
  EXPECT_EQ(r.UnlockIndexBuffer(ib), D3D_OK);
  EXPECT_EQ(r.UnlockIndexBuffer(ib), D3DERR_INVALIDCALL);
  // A vertex-buffer handle is not an index buffer.
  EXPECT_EQ(r.LockIndexBuffer(vb, 0, 0, 0), nullptr);

  EXPECT_EQ(r.CreateIndexBuffer(64, 0, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8), -1);
  EXPECT_EQ(r.CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED), -1);
  EXPECT_EQ(r.LiveVertexBuffers(), 1u);
  EXPECT_EQ(r.LiveIndexBuffers(), 1u);
  r.ReleaseVertexBuffer(vb);
  r.ReleaseIndexBuffer(ib);
  EXPECT_EQ(r.LiveBuffers(), 0u);
  EXPECT_EQ(r.LockVertexBuffer(vb, 0, 0, 0), nullptr);
}

TEST(RendererDraw, DrawPrimitiveRecordsItsVerticesAndTheStateInForce) {
  host::Renderer r;
  const int vb = FilledBuffer(r, Ramp(10));
  const int effect = r.GetEffect("lightHull");
  D3DMATRIX world{};
  world._11 = world._22 = world._33 = world._44 = 2.0f;
  r.SetTransform(D3DTS_WORLD, &world);
  r.SetRenderState(D3DRS_ZWRITEENABLE, 0);
  r.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  const float c4[4] = {1, 2, 3, 4};
  r.SetVertexShaderConstant(4, c4, 1);
  r.BeginScene();

  // A strip of 3 triangles from vertex 2 uses vertices 2..6.
  EXPECT_EQ(r.DrawPrimitive(D3DPT_TRIANGLESTRIP, vb, 16, 2, 3, effect, 0), D3D_OK);
  r.SetRenderState(D3DRS_ZWRITEENABLE, 1);  // after the draw: not in its record
  r.EndScene();

  ASSERT_EQ(r.Draws().size(), 1u);
  const host::DrawRecord& d = r.Draws()[0];
  EXPECT_EQ(d.slot, 55);
  EXPECT_EQ(d.result, D3D_OK);
  EXPECT_TRUE(d.inScene);
  EXPECT_EQ(d.vertexCount, 5u);
  EXPECT_EQ(d.vertices.size(), 5u * 16);
  EXPECT_EQ(d.Vertex(1), nullptr);
  EXPECT_EQ(d.Vertex(7), nullptr);
  EXPECT_FLOAT_EQ(d.VertexFloat(2, 0), 2.0f);
  EXPECT_FLOAT_EQ(d.VertexFloat(6, 8), 18.0f);
  EXPECT_EQ(d.VertexDword(6, 12), 0xFF000006u);
  EXPECT_EQ(d.fvf, D3DFVF_XYZ | D3DFVF_DIFFUSE);
  EXPECT_EQ(d.effect, effect);
  EXPECT_FLOAT_EQ(d.state->world._11, 2.0f);
  EXPECT_EQ(d.state->RenderState(D3DRS_ZWRITEENABLE), 0u);
  EXPECT_EQ(d.state->StageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_ADD));
  EXPECT_FLOAT_EQ(d.state->vertexConstants[4 * 4 + 2], 3.0f);
  EXPECT_EQ(r.DrawCount(), 1u);
}

TEST(RendererDraw, StrideZeroTakesTheBufferFormatAndBadDrawsAreRefused) {
  host::Renderer r;
  const int vb = FilledBuffer(r, Ramp(6));
  // Stride 0: the 16 bytes of XYZ | DIFFUSE.
  EXPECT_EQ(r.DrawPrimitive(D3DPT_LINELIST, vb, 0, 0, 3, -1, 0), D3D_OK);
  EXPECT_EQ(r.Draws().back().stride, 16u);
  // 4 lines from vertex 0 need 8 vertices of the 6.
  EXPECT_EQ(r.DrawPrimitive(D3DPT_LINELIST, vb, 16, 0, 4, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "vertices outside the buffer");
  EXPECT_TRUE(r.Draws().back().vertices.empty());
  EXPECT_EQ(r.DrawPrimitive(9, vb, 16, 0, 1, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.DrawPrimitive(D3DPT_POINTLIST, 99, 16, 0, 1, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.DrawPrimitive(D3DPT_POINTLIST, vb, 16, 0, 1, 42, 0), D3DERR_INVALIDCALL);
  ASSERT_NE(r.LockVertexBuffer(vb, 0, 0, 0), nullptr);
  EXPECT_EQ(r.DrawPrimitive(D3DPT_POINTLIST, vb, 16, 0, 1, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "vertex buffer is locked");
  r.UnlockVertexBuffer(vb);
  EXPECT_EQ(r.DrawCount(), 6u);
  EXPECT_EQ(r.RefusedDraws(), 5u);
}

// Indices are relative to the base vertex: two quads in one buffer, drawn with the same six
// indices from base 0 and base 4, are two different quads.
TEST(RendererDraw, IndexedDrawsAddTheBaseVertexToEveryIndex) {
  host::Renderer r;
  const std::vector<PosColour> ramp = Ramp(8);
  const int vb = FilledBuffer(r, ramp);
  const int ib = r.CreateIndexBuffer(18, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, D3DFMT_INDEX16);
  const uint16_t indices[9] = {0, 1, 2, 2, 1, 3, 0, 1, 4};
  std::memcpy(r.LockIndexBuffer(ib, 0, 0, 0), indices, sizeof indices);
  r.UnlockIndexBuffer(ib);

  EXPECT_EQ(r.DrawIndexed(vb, 16, ib, 0, 4, 0, 2, -1, 0), D3D_OK);
  EXPECT_EQ(r.DrawIndexed(vb, 16, ib, 4, 4, 0, 2, -1, 0), D3D_OK);
  ASSERT_EQ(r.Draws().size(), 2u);
  for (UINT base : {0u, 4u}) {
    const host::DrawRecord& d = r.Draws()[base / 4];
    EXPECT_EQ(d.slot, 52);
    EXPECT_EQ(d.primitiveType, static_cast<DWORD>(D3DPT_TRIANGLELIST));
    EXPECT_EQ(d.minIndex, base);
    EXPECT_EQ(d.baseVertex, base);
    EXPECT_EQ(d.firstVertex, base);
    EXPECT_EQ(d.vertexCount, 4u);
    EXPECT_EQ(d.indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
    ASSERT_EQ(d.vertices.size(), 4u * 16);
    EXPECT_EQ(std::memcmp(d.vertices.data(), &ramp[base], 4 * 16), 0) << base;
    // Index 3 is the quad's last corner: vertex 3 of the buffer, then vertex 7.
    EXPECT_FLOAT_EQ(d.VertexFloat(3, 0), float(base + 3));
    EXPECT_EQ(d.VertexDword(3, 12), 0xFF000000u | (base + 3));
    EXPECT_EQ(d.Vertex(4), nullptr);
  }

  // Slot 53 the same way: a strip over the second quad.
  EXPECT_EQ(r.DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, vb, 16, ib, 4, 4, 2, 2, -1, 0), D3D_OK);
  EXPECT_EQ(r.Draws().back().slot, 53);
  EXPECT_EQ(r.Draws().back().indices, (std::vector<uint32_t>{2, 2, 1, 3}));
  EXPECT_FLOAT_EQ(r.Draws().back().VertexFloat(1, 4), 10.0f);  // vertex 5: y = 2 x 5

  // Index 4 is vertex 4 from base 0, but past the buffer from base 4: refused, as is any
  // index at or past the vertex count.
  EXPECT_EQ(r.DrawIndexed(vb, 16, ib, 0, 5, 6, 1, -1, 0), D3D_OK);
  EXPECT_FLOAT_EQ(r.Draws().back().VertexFloat(4, 0), 4.0f);
  EXPECT_EQ(r.DrawIndexed(vb, 16, ib, 4, 4, 6, 1, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "index 4 outside the vertex range");
  EXPECT_EQ(r.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, vb, 16, ib, 0, 3, 0, 2, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "index 3 outside the vertex range");
  // A base and count that run past the buffer, even with indices that stay below the count.
  EXPECT_EQ(r.DrawIndexed(vb, 16, ib, 5, 4, 0, 2, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "vertices outside the buffer");
  EXPECT_EQ(r.DrawIndexed(vb, 16, ib, 0xFFFFFFFFu, 4, 0, 2, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "vertices outside the buffer");
  // Indices past the end of the index buffer.
  EXPECT_EQ(r.DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, vb, 16, ib, 0, 8, 8, 1, -1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "indices outside the buffer");
  EXPECT_EQ(r.RefusedDraws(), 5u);
}

TEST(RendererDraw, UserMemoryDrawsCopyWhatTheyUse) {
  host::Renderer r;
  std::vector<PosColour> v = Ramp(8);
  const uint16_t lines[4] = {5, 6, 6, 7};
  r.SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  EXPECT_EQ(r.DrawIndexedPrimitiveUP(D3DPT_LINELIST, 5, 3, 2, lines, D3DFMT_INDEX16, v.data(), 16, -1, 0), D3D_OK);
  const host::DrawRecord& d = r.Draws().back();
  EXPECT_EQ(d.slot, 57);
  EXPECT_EQ(d.fvf, D3DFVF_XYZ | D3DFVF_DIFFUSE);
  // Absolute indices from the data's vertex 0: the copy is vertices 5..7, no base is added.
  EXPECT_EQ(d.baseVertex, 0u);
  EXPECT_EQ(d.firstVertex, 5u);
  EXPECT_EQ(d.vertices.size(), 3u * 16);
  EXPECT_FLOAT_EQ(d.VertexFloat(7, 0), 7.0f);
  EXPECT_EQ(d.indices, (std::vector<uint32_t>{5, 6, 6, 7}));

  // The copy is the draw's own: later changes of the caller's memory do not reach it.
  v[0].x = 99;
  EXPECT_EQ(r.DrawPrimitiveUP(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, 2, v.data(), 16, -1, 0), D3D_OK);
  v[0].x = -1;
  EXPECT_FLOAT_EQ(r.Draws().back().VertexFloat(0, 0), 99.0f);
  EXPECT_EQ(r.Draws().back().vertices.size(), 6u * 16);
  EXPECT_EQ(r.DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 3, 1, lines, 0x20, v.data(), 16, -1, 0), D3DERR_INVALIDCALL);
  // Index 5 lies below the lowest index 6 the call gives.
  EXPECT_EQ(r.DrawIndexedPrimitiveUP(D3DPT_LINELIST, 6, 2, 2, lines, D3DFMT_INDEX16, v.data(), 16, -1, 0),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Draws().back().error, "index 5 outside the vertex range");
}

TEST(RendererDraw, DynamicVerticesComeFromARingOnStrideMultiples) {
  host::RendererConfig config;
  config.dynamicBufferBytes = 1000;
  host::Renderer r(config);
  int buffer = -7;
  UINT first = 99;
  auto* a = static_cast<uint8_t*>(r.LockDynamicVertices(0x142, 24, 4, &buffer, &first));
  ASSERT_NE(a, nullptr);
  EXPECT_GE(buffer, 1);
  EXPECT_EQ(first, 0u);
  std::memset(a, 1, 96);
  r.UnlockDynamicVertices(buffer);
  EXPECT_EQ(r.DrawPrimitive(D3DPT_TRIANGLESTRIP, buffer, 24, first, 2, -1, 0), D3D_OK);
  EXPECT_EQ(r.Draws().back().fvf, 0x142u);

  // 96 bytes used; the next 20-byte vertices start at byte 100 = vertex 5.
  int b2 = -1;
  auto* b = static_cast<uint8_t*>(r.LockDynamicVertices(0x102, 20, 10, &b2, &first));
  EXPECT_EQ(b2, buffer);
  EXPECT_EQ(first, 5u);
  EXPECT_EQ(b, a + 100);
  r.UnlockDynamicVertices(b2);
  // 300 bytes used; 800 more do not fit behind them, so they start over.
  auto* c = static_cast<uint8_t*>(r.LockDynamicVertices(0x102, 20, 40, &b2, &first));
  EXPECT_EQ(c, a);
  EXPECT_EQ(first, 0u);
  r.UnlockDynamicVertices(b2);
  // More than the whole ring: no memory, but the buffer can still be unlocked.
  b2 = -1;
  EXPECT_EQ(r.LockDynamicVertices(0x102, 20, 51, &b2, &first), nullptr);
  EXPECT_EQ(b2, buffer);
  r.UnlockDynamicVertices(b2);
  // The ring is the renderer's own: not a live buffer of anybody's.
  EXPECT_EQ(r.LiveVertexBuffers(), 0u);
  r.ReleaseVertexBuffer(buffer);
  EXPECT_NE(r.LockDynamicVertices(0x102, 20, 1, &b2, &first), nullptr);
}

TEST(RendererDraw, RecordingCanBeSwitchedOffWhileDrawsAreStillCounted) {
  host::Renderer r;
  const int vb = FilledBuffer(r, Ramp(3));
  r.SetRecording(false);
  r.DrawPrimitive(D3DPT_TRIANGLELIST, vb, 16, 0, 1, -1, 0);
  r.Tick();
  r.DrawPrimitive(D3DPT_TRIANGLELIST, vb, 16, 0, 1, -1, 0);
  EXPECT_TRUE(r.Draws().empty());
  EXPECT_EQ(r.DrawCount(), 2u);
  EXPECT_EQ(r.DrawsThisTick(), 1u);
}

TEST(RendererDraw, ArrangedFailures) {
  host::Renderer r;
  r.FailCall(host::RendererCall::CreateVertexBuffer);
  EXPECT_EQ(r.CreateVertexBuffer(D3DFVF_XYZ, 12, 0, D3DPOOL_MANAGED), -1);
  const int vb = r.CreateVertexBuffer(D3DFVF_XYZ, 12, 0, D3DPOOL_MANAGED);
  EXPECT_GE(vb, 1);
  r.FailCall(host::RendererCall::LockVertexBuffer, -1);
  EXPECT_EQ(r.LockVertexBuffer(vb, 0, 0, 0), nullptr);
  EXPECT_EQ(r.LockVertexBuffer(vb, 0, 0, 0), nullptr);
  r.ClearFailures();
  EXPECT_NE(r.LockVertexBuffer(vb, 0, 0, 0), nullptr);
  r.FailCall(host::RendererCall::LockDynamicVertices);
  int buffer = -1;
  UINT first = 0;
  EXPECT_EQ(r.LockDynamicVertices(0x42, 16, 1, &buffer, &first), nullptr);
  EXPECT_GE(buffer, 1);
}

}  // namespace
